#!/usr/bin/env python3
"""Turns the operator's guide (Markdown) into one HTML page for Windows users.

    guide_html.py GUIDE.md OUT.html VERSION

"@VERSION@" in the guide becomes VERSION, the project's one version number.
Python-Markdown (Debian's python3-markdown) reads it, with its tables, fenced
code and table of contents: each heading gets an anchor of its own words
("#7-保守ツール"), which the guide's links between chapters use, and "[TOC]"
becomes the contents. Image paths are kept, so the page wants the
screenshots folder beside it.
"""
import html
import sys

import markdown
from markdown.extensions.toc import slugify_unicode

STYLE = """body { font-family: "Meiryo", "MS UI Gothic", sans-serif; max-width: 56em; margin: 2em auto; padding: 0 1em;
       line-height: 1.6; color: #222; }
h1, h2, h3 { color: #1a3d6d; } h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; } th, td { border: 1px solid #bbc; padding: .3em .6em; vertical-align: top; }
th { background: #eef; } code, pre { font-family: "MS Gothic", monospace; background: #f4f4f8; }
pre { padding: .6em; overflow-x: auto; } p > img { max-width: 100%; border: 1px solid #ccc; }
.toc { background: #f6f7fb; border: 1px solid #dde; padding: .5em 1.5em; } .toc ul { margin: .2em 0; }
@media print { h2 { page-break-before: always; } .toc { page-break-after: always; } a { color: inherit; } }"""


def main():
    source, target, version = sys.argv[1], sys.argv[2], sys.argv[3]
    with open(source, encoding="utf-8") as f:
        text = f.read().replace("@VERSION@", version)
    converter = markdown.Markdown(extensions=["tables", "fenced_code", "toc", "sane_lists"],
                                  extension_configs={"toc": {"slugify": slugify_unicode, "toc_depth": "2-3",
                                                             "title": "目次"}})
    body = converter.convert(text)
    title = next((line[2:].strip() for line in text.splitlines() if line.startswith("# ")), "Kelvrix")
    page = ["<!DOCTYPE html>", '<html lang="ja">', '<head><meta charset="utf-8">', f"<title>{html.escape(title)}</title>",
            f"<style>{STYLE}</style></head>", "<body>", body, "</body></html>"]
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(page) + "\n")


if __name__ == "__main__":
    main()
