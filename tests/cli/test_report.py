#!/usr/bin/env python3
"""The settings report end to end, natively: kelvrix-cli writes it from a
settings data file and from a simulated unit, and headless Chromium renders
it to PNG and to an A4 PDF whose text shows every layout drawn.

    KELVRIX_CLI=... KELVRIX_SIMULATOR=... test_report.py
"""
import os
import shutil
import subprocess
import tempfile
import unittest

from test_cli_e2e import PAIR, SIMULATOR, cli, read_bytes

HERE = os.path.dirname(os.path.abspath(__file__))
REFERENCE = os.path.join(HERE, "..", "data", "reference.dat")
RENDER = os.path.join(HERE, "..", "..", "scripts", "render-report.sh")
LAYOUTS = ["4分割A", "4分割B", "4分割C", "4分割D", "6分割A", "6分割B", "6分割C", "9分割A", "9分割B", "12分割A",
           "12分割B", "16分割"]


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvrix-report-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_a_files_report_renders_on_a4_with_every_layout_drawn(self):
        self.assertEqual(cli("report", REFERENCE, "-o", self.path("r.html"), "--csv", self.path("r.csv"))[0], 0)
        csv = read_bytes(self.path("r.csv")).decode("utf-8")
        self.assertTrue(csv.startswith("\ufeffgroup,setting,value\n"))
        self.assertIn("タイトル,ch.01,\"\"\"NORTH 01\"\"\"\n", csv)

        subprocess.run(["bash", RENDER, self.path("r.html"), self.path("r")], check=True, timeout=120)
        self.assertGreater(os.path.getsize(self.path("r.png")), 20000, "the page drawn, not blank")
        pages = int(next(line.split()[1] for line in subprocess.run(
            ["pdfinfo", self.path("r.pdf")], capture_output=True, text=True, check=True).stdout.splitlines()
            if line.startswith("Pages:")))
        self.assertGreaterEqual(pages, 4)
        text = subprocess.run(["pdftotext", "-layout", self.path("r.pdf"), "-"], capture_output=True, text=True,
                              check=True).stdout
        by_page = text.split("\f")
        first = by_page[0]
        self.assertIn("設定レポート", first)
        self.assertIn("reference.dat", first)
        layouts = next(page for page in by_page if "分割画面の配置" in page)
        for caption in LAYOUTS:
            self.assertIn(caption, layouts)
        self.assertEqual(layouts.count("No.01"), 12, "every layout's first pane drawn")
        self.assertIn("No.16", layouts)
        for title in ("NORTH 01", "16 END"):
            self.assertIn(title, layouts, "titles readable in their panes")

    def test_a_units_report_names_it_and_holds_its_histories(self):
        subprocess.run(["bash", PAIR, "start", self.dir, SIMULATOR, "--alarm-history", "3", "--off-default"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(subprocess.run, ["bash", PAIR, "stop", self.dir], stdout=subprocess.DEVNULL)
        rc, out, err = cli("report", "--serial", self.path("com1"))
        self.assertEqual(rc, 0, err)
        self.assertIn("<td>ユニット</td><td>RS-232C</td>", out)
        self.assertIn("<h2>アラーム履歴</h2>", out)
        history = out[out.index("<h2>アラーム履歴</h2>"):out.index("<h2>ビデオロス履歴</h2>")]
        self.assertEqual(history.count("<tr><td>"), 3)
        with open(self.path("sim.control"), "w") as f:
            f.write("reply E3\n")
        rc, out, err = cli("report", "--serial", self.path("com1"))
        self.assertEqual((rc, err), (1, "kelvrix-cli: 読めない設定 160 件、読めない履歴 200 件\n"))
        self.assertIn("<td>ボーダーライン</td><td>読めない値</td>", out)
        self.assertNotIn("記録はありません", out, "a history not read is not an empty one")

    def test_refusals(self):
        for args, error in [(("report", "a.dat", "b.dat"), "report: usage"),
                            (("report", "a.dat", "--json"), "report gives a page"),
                            (("report", "missing.dat", "--serial", "/dev/no-such"), "ファイルを読めません: missing.dat"),
                            (("report", "--serial", "/dev/null", "-o", "/no-such/r.html"), "cannot write /no-such/r.html")]:
            rc, _, err = cli(*args)
            self.assertIn(error, err)
            self.assertNotEqual(rc, 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
