#!/usr/bin/env python3
"""Checks the operator's guide as built against the program it describes.

    check_guide.py GUIDE.html GUIDE.md SOURCE_ROOT

- the sections an installer needs are in the page, with the contents;
- every picture the page shows exists (beside the guide's Markdown);
- every link inside the page leads to a heading of it;
- every text the guide quotes as the program's, in 「」 or in the first
  column of a message table, is in the program's resources or code (where
  the guide writes "N" or "（パス）" the program puts a number or a path).

Prints one line per fault and exits 1 when there is any.
"""
import html.parser
import os
import re
import sys

SECTIONS = [
    "目次", "2. 各部の名前と用語", "ツールバーのボタン", "「はい」と「いいえ」の意味", "9. バックアップと復元",
    "10. コマンドラインツール（kelvrix-cli）", "夜間のバックアップ（Windows タスク スケジューラ）",
    "11. 現場での立ち上げチェックリスト", "13. メッセージ一覧", "付録A 配線", "付録B TCP/IPの設定とファイアウォール",
    "Windows のファイアウォール（サーバーのとき）",
]

# Quoted, but not the program's: Windows' own words, the installer's pages
# (the installer's system texts), the unit's, and the guide's examples of an
# operator's input or of a result the program builds from parts.
NOT_THE_PROGRAM = {
    "設定", "アプリ", "インストールされているアプリ", "アンインストール", "はい", "いいえ", "キャンセル", "次へ", "インストール",
    "完了", "ポート（COM と LPT）", "Windows セキュリティの重要な警告", "プライベート ネットワーク", "ドメイン ネットワーク",
    "アクセスを許可する", "コントロール パネル", "Windows Defender ファイアウォール", "詳細設定", "受信の規則", "新しい規則...",
    "ポート", "TCP", "特定のローカル ポート", "接続を許可する", "ドメイン", "プライベート", "パブリック",
    "Kelvrix サーバー 9004", "ネットワークとインターネット", "前回の実行結果", "COM7", "−", "D−", "TX−", "＋", "D＋", "TX＋",
    "Kelvrix コントロールパネル @VERSION@ を実行", "操作ガイドを表示", "Kelvrix コントロールパネル", "操作ガイド", "Kelvrix",
    "5", "1", "2", "'", "→", "←", "●", "ON", "OFF", "WINSOCK.DLL…", "Error (40)",
    "5 件を変更、確認済み", "接続が切れました: 確認済み 1 件、書き込み済み 2 件、応答なし 1 件", "設定: 応答なし",
    "交換 前のMACアドレス → 新しいMACアドレス: 確認済み N 件", "読めない設定 N 件: …",
    "ch.05 ENTRANCE", "4分割A（01 CH01、…）",
}


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.links, self.images, self.headings, self.heading = set(), [], [], [], None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and attrs.get("href", "").startswith("#"):
            self.links.append(attrs["href"][1:])
        if tag == "img":
            self.images.append(attrs.get("src", ""))
        if re.fullmatch(r"h[1-6]", tag) or (tag == "span" and attrs.get("class") == "toctitle"):
            self.heading = ""

    def handle_data(self, data):
        if self.heading is not None:
            self.heading += data

    def handle_endtag(self, tag):
        if self.heading is not None and (re.fullmatch(r"h[1-6]", tag) or tag == "span"):
            self.headings.append(self.heading.strip())
            self.heading = None


def program_text(root):
    texts = []
    for folder in ("app", "dialogs", "link", "model", "tools", "cli", "resources"):
        for base, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith((".cpp", ".h", ".rc", ".nsi")):
                    with open(os.path.join(base, name), encoding="utf-8", errors="replace") as f:
                        texts.append(f.read())
    return "\n".join(texts)


def quoted(markdown):
    """The guide's quotes: 「…」 outside code, and the first cells of the message tables."""
    prose = re.sub(r"```.*?```", "", markdown, flags=re.S)
    prose = re.sub(r"`[^`]*`", "", prose)
    found = set(re.findall(r"「([^「」]+)」", prose))
    messages = prose.split("## 13. メッセージ一覧", 1)[-1].split("## 付録A", 1)[0]
    for line in messages.splitlines():
        if line.startswith("| ") and not line.startswith("| メッセージ"):
            cell = line.split("|")[1].strip()
            cell = re.sub(r"（ほかの「Miss!」が続きます）", "", cell)
            found.update(part.strip() for part in cell.split("／"))
    return found


def in_program(text, program):
    """Whether the program holds the text, its placeholders standing for what it fills in."""
    parts = re.split(r"\s*(?:\bN\b|（パス）|（?ファイル名）?|（ユニットの内容）|…)\s*", text)
    return all(part.strip() in program for part in parts if part.strip())


def main():
    page_path, markdown_path, root = sys.argv[1:4]
    with open(page_path, encoding="utf-8") as f:
        page = Page()
        page.feed(f.read())
    with open(markdown_path, encoding="utf-8") as f:
        markdown = f.read()
    faults = [f"section missing: {s}" for s in SECTIONS if s not in page.headings]
    faults += [f"no heading for link #{link}" for link in page.links if link not in page.ids]
    pictures = os.path.dirname(os.path.abspath(markdown_path))
    faults += [f"picture missing: {src}" for src in page.images if not os.path.isfile(os.path.join(pictures, src))]
    program = program_text(root)
    own_sections = {re.sub(r"^[0-9]+\. ", "", heading) for heading in page.headings}
    faults += [f"not in the program: 「{text}」" for text in sorted(quoted(markdown) - NOT_THE_PROGRAM - own_sections)
               if not in_program(text, program)]
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
