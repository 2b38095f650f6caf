#!/usr/bin/env python3
"""kelvrix-cli.exe under Wine: it reads the simulated unit on the prefix's COM1
and gives the file the panel saves; its comparison and bus scan give the rows
the panel's tools give for the same units.
"""
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from test_panel import (ENV, PREFIX, SIM_STATE, SimulatorCase, fresh_line, read_bytes, restart_simulator,
                        set_simulator_mode, windows_path)
from test_panel import driver, simulator_frames
from test_tools import (COMPARE, IDC_COMPARE_START, IDC_SCAN_LIST, IDC_SCAN_START, IDC_UNITS_LIST, IDM_BUS_SCAN,
                        IDM_COMPARE, IDM_UNIT_LIST, SCAN, TWELVE, UNITS, rows, run_tool, wait_status)

IDC_UNITS_APPLY = 1247

CLI = os.environ["KELVRIX_CLI_EXE"]


def cli(*args):
    with tempfile.TemporaryFile() as out:
        rc = subprocess.run(["wine", CLI, *args], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                            env=ENV, timeout=120).returncode
        out.seek(0)
        return rc, out.read()


class CliUnderWineTest(SimulatorCase):
    def test_read_on_com1_gives_the_file_the_panel_opens_and_saves_unchanged(self):
        restart_simulator("--off-default")
        fresh_line()
        saved = os.path.join(PREFIX, "drive_c", "cli-read.dat")
        self.addCleanup(lambda: os.path.exists(saved) and os.remove(saved))
        self.assertEqual(cli("read", "--serial", "COM1", "-o", r"C:\cli-read.dat")[0], 0)
        self.assertEqual(read_bytes(saved), read_bytes(SIM_STATE), "byte for byte what the unit holds")
        self.assertEqual(cli("diff", r"C:\cli-read.dat", "--serial", "COM1"), (0, "相違なし\n".encode("utf-8")))
        rc, out = cli("send", "RVN", "--serial", "COM1", "--json")
        self.assertEqual((rc, out), (0, b'{"reply": "Ver. 2.31"}\n'))
        opened = os.path.join(self.folder, "read.dat")
        shutil.copyfile(saved, opened)
        self.start()
        self.open_file(opened)
        self.assertEqual(self.save_as("again"), read_bytes(SIM_STATE))

    def test_watch_writes_each_line_to_the_event_log(self):
        """Wine's Event Log keeps nothing: its eventlog channel shows what
        reached it, each event's id in the call and its text after."""
        restart_simulator("--alarm-history", "2")
        fresh_line()
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:  # files: the Wine server keeps pipes open
            rc = subprocess.run(["wine", CLI, "watch", "--serial", "COM1", "--once", "--all", "--eventlog"],
                                stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=120,
                                env=dict(ENV, WINEDEBUG="fixme+advapi,warn+eventlog")).returncode
            out.seek(0)
            err.seek(0)
            lines = [json.loads(line) for line in out.read().decode("utf-8").splitlines()]
            log = err.read().decode("utf-8", "replace")
        self.assertEqual(rc, 0)
        self.assertEqual([(line["kind"], line["channel"]) for line in lines], [("alarm", 1), ("alarm", 2)])
        self.assertEqual(len(re.findall(r"ReportEventW \(\w+,0x0002,0x0000,0x00000001,", log)), 2, "warnings, event id 1")
        self.assertIn(json.dumps(lines[0], ensure_ascii=False).replace('"', '\\"'), log)

    def test_a_port_the_machine_lacks(self):
        self.assertEqual(cli("read", "--serial", "COM9")[0], 3)

    def test_a_japanese_folder_name(self):
        """Paths are the console's wide text: a folder named in Japanese on a
        machine whose code page is 932 takes the backup and gives its file back."""
        restart_simulator("--off-default")
        fresh_line()
        folder = os.path.join(PREFIX, "drive_c", "山田", "バックアップ")
        self.addCleanup(shutil.rmtree, os.path.join(PREFIX, "drive_c", "山田"), True)
        rc, out = cli("backup", r"C:\山田\バックアップ", "--serial", "COM1", "--json")
        self.assertEqual(rc, 0, out)
        saved = json.loads(out)["units"][0]["file"]
        self.assertEqual(read_bytes(os.path.join(folder, saved)), read_bytes(SIM_STATE))
        self.assertEqual(cli("show", "C:\\山田\\バックアップ\\" + saved)[0], 0)


class SameRowsAsThePanelTest(SimulatorCase):
    """The tool first (the panel would hold COM1), then the panel's own tool."""

    def test_the_comparison(self):
        prepared = self.prepared_file({line: text for line, text, _ in TWELVE})
        fresh_line()
        rc, out = cli("diff", windows_path(prepared), "--serial", "COM1", "--json")
        self.assertEqual(rc, 1)
        listed = [(d["setting"], d["file"], d["unit"], d["result"]) for d in json.loads(out)["differences"]]
        self.assertEqual(len(listed), 12)
        self.start()
        self.open_file(prepared)
        self.open_dialog(IDM_COMPARE, COMPARE)
        run_tool(IDC_COMPARE_START)
        self.assertEqual([row[1:] for row in rows()], listed)

    def test_the_bus_scan(self):
        restart_simulator("--addresses", "0,5,5,7")
        set_simulator_mode("rs485")
        fresh_line()
        rc, out = cli("scan", "--serial", "COM1", "--json")
        self.assertEqual(rc, 0)
        listed = [("0", u["address"], u["version"], u["mac"], u["status"]) for u in json.loads(out)["units"]]
        self.assertEqual(len(listed), 3)
        self.start(rs_control=1)
        self.open_dialog(IDM_BUS_SCAN, SCAN)
        run_tool(IDC_SCAN_START, SCAN, IDC_SCAN_START)
        self.assertEqual(rows(SCAN, IDC_SCAN_LIST), listed)


class UnitListApplyTest(SimulatorCase):
    """The unit list applies the loaded file to a bus: unit 00 differs in five
    settings, unit 05 (given the file by kelvrix-cli.exe first) in none, and
    unit 07 falls silent for its last twenty reads: three unanswered end it."""

    def test_each_unit_gets_its_own_result(self):
        restart_simulator()
        set_simulator_mode("rs485")
        prepared = self.prepared_file({92 + k: str(200 + k) for k in range(5)})  # the hue of channels 1..5
        fresh_line()
        self.assertEqual(cli("apply", windows_path(prepared), "--serial", "COM1", "--address", "05")[0], 0)
        self.start(rs_control=1)
        self.open_file(prepared)
        self.open_dialog(IDM_UNIT_LIST, UNITS)
        wait_status("3 台が応答")
        already = len(simulator_frames())
        set_simulator_mode(f"rs485\nsilent from {already + 170 + 160 + 141}")
        self.assertEqual(driver("in", UNITS, "dialog-click", IDC_UNITS_APPLY)[0], 0)
        self.assertEqual(driver("answer", "yes", 10000)[0], 0)
        self.assertEqual(wait_status("台が失敗", 90), "2 台が完了、1 台が失敗")
        self.assertEqual([(row[1], row[4], row[5]) for row in rows(UNITS, IDC_UNITS_LIST)],
                         [("00", "完了", "5 件を変更、確認済み"), ("05", "完了", "変更なし"),
                          ("07", "失敗", "応答なし")])
        to07 = [f for f in simulator_frames()[already:] if f.startswith("07")]
        self.assertEqual(len(to07), 140 + 3 * 2, "three silent reads, each once more, and no write to a unit half read")
        self.assertEqual(self.save_as("after"), read_bytes(prepared), "the program's own settings untouched")


if __name__ == "__main__":
    unittest.main(verbosity=2)
