#!/usr/bin/env python3
"""Turns the operator's guide (Markdown) into one HTML page for Windows users.

    guide_html.py GUIDE.md OUT.html VERSION

"@VERSION@" in the guide becomes VERSION, the project's one version number.

The guide keeps to a small part of Markdown, which this reads: headings,
paragraphs, "-" and "1." lists, tables, images on a line of their own,
fenced code, and `code` and **bold** inside a line. Image paths are kept,
so the page wants the screenshots folder beside it.
"""
import html
import re
import sys


def inline(text):
    text = html.escape(text, quote=False)
    text = re.sub(r"`([^`]+)`", r"<code>\1</code>", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"<strong>\1</strong>", text)
    return re.sub(r"\[([^\]]+)\]\(([^)]+)\)", r'<a href="\2">\1</a>', text)


def cells(line):
    return [cell.strip() for cell in line.strip().strip("|").split("|")]


def convert(lines):
    out = []
    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\n")
        if not line.strip():
            i += 1
        elif line.startswith("```"):
            block = []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                block.append(html.escape(lines[i].rstrip("\n"), quote=False))
                i += 1
            out.append("<pre>" + "\n".join(block) + "</pre>")
            i += 1
        elif m := re.match(r"(#{1,4}) (.*)", line):
            level = len(m.group(1))
            out.append(f"<h{level}>{inline(m.group(2))}</h{level}>")
            i += 1
        elif m := re.fullmatch(r"!\[([^\]]*)\]\(([^)]+)\)", line.strip()):
            out.append(f'<p class="shot"><img src="{html.escape(m.group(2))}" alt="{html.escape(m.group(1))}"></p>')
            i += 1
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                if not re.fullmatch(r"[\s|:-]+", lines[i].strip()):
                    rows.append(cells(lines[i]))
                i += 1
            head = "".join(f"<th>{inline(c)}</th>" for c in rows[0])
            body = "".join("<tr>" + "".join(f"<td>{inline(c)}</td>" for c in row) + "</tr>" for row in rows[1:])
            out.append(f"<table><thead><tr>{head}</tr></thead><tbody>{body}</tbody></table>")
        elif re.match(r"(- |\d+\. )", line):
            tag = "ul" if line.startswith("- ") else "ol"
            items = []
            while i < len(lines) and re.match(r"(- |\d+\. |  )", lines[i]):
                text = lines[i].rstrip("\n")
                if text.startswith("  "):
                    items[-1] += " " + text.strip()
                else:
                    items.append(re.sub(r"^(- |\d+\. )", "", text))
                i += 1
            out.append(f"<{tag}>" + "".join(f"<li>{inline(item)}</li>" for item in items) + f"</{tag}>")
        else:
            paragraph = []
            while i < len(lines) and lines[i].strip() and not re.match(r"(#|- |\d+\. |\||```|!\[)", lines[i]):
                paragraph.append(lines[i].strip())
                i += 1
            out.append("<p>" + inline(" ".join(paragraph)) + "</p>")
    return out


STYLE = """body { font-family: "Meiryo", "MS UI Gothic", sans-serif; max-width: 56em; margin: 2em auto; padding: 0 1em;
       line-height: 1.6; color: #222; }
h1, h2, h3 { color: #1a3d6d; } h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; } th, td { border: 1px solid #bbc; padding: .3em .6em; vertical-align: top; }
th { background: #eef; } code, pre { font-family: "MS Gothic", monospace; background: #f4f4f8; }
pre { padding: .6em; overflow-x: auto; } .shot img { max-width: 100%; border: 1px solid #ccc; }"""


def main():
    source, target, version = sys.argv[1], sys.argv[2], sys.argv[3]
    with open(source, encoding="utf-8") as f:
        lines = [line.replace("@VERSION@", version) for line in f]
    title = next((l[2:].strip() for l in lines if l.startswith("# ")), "Kelvrix")
    page = ["<!DOCTYPE html>", '<html lang="ja">', '<head><meta charset="utf-8">', f"<title>{html.escape(title)}</title>",
            f"<style>{STYLE}</style></head>", "<body>", *convert(lines), "</body></html>"]
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(page) + "\n")


if __name__ == "__main__":
    main()
