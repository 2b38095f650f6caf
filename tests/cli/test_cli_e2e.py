#!/usr/bin/env python3
"""kelvrix-cli end to end, natively: against kelvrix-sim on a pty pair
(RS-232C, and an RS-485 bus whose units 05 share an address) and over TCP/IP.

    KELVRIX_CLI=... KELVRIX_SIMULATOR=... test_cli_e2e.py
"""
import json
import os
import resource
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

CLI = os.environ["KELVRIX_CLI"]
SIMULATOR = os.environ["KELVRIX_SIMULATOR"]
PAIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "serial-pair.sh")


def cli(*args, raw=False, timeout=60):
    """Exit code, standard output (bytes when `raw`: a settings file is not UTF-8), standard error."""
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, timeout=timeout, stdin=subprocess.DEVNULL)
    return done.returncode, done.stdout if raw else done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def frames(folder):
    """The frames the simulator of `folder` received, as its log shows them."""
    with open(os.path.join(folder, "sim.log"), encoding="utf-8", errors="replace") as f:
        return f.read().splitlines()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def today():
    """The date a backup's file names carry."""
    return time.strftime("%Y%m%d")


def with_hue(source, target, hue=b"200"):
    """`source`'s settings file with the hue of channel 3 changed, as `target`."""
    lines = read_bytes(source).split(b"\r\n")
    lines[92] = hue
    with open(target, "wb") as f:
        f.write(b"\r\n".join(lines))


class SerialTest(unittest.TestCase):
    """A unit, or a bus of them, on one end of a pty pair."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvrix-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.state = os.path.join(self.dir, "state.dat")

    def start(self, *options):
        subprocess.run(["bash", PAIR, "start", self.dir, SIMULATOR, "--state", self.state, *options],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(subprocess.run, ["bash", PAIR, "stop", self.dir], stdout=subprocess.DEVNULL)
        return os.path.join(self.dir, "com1")

    def mode(self, line):
        with open(os.path.join(self.dir, "sim.control"), "w") as f:
            f.write(line + "\n")

    def test_read_gives_the_file_the_panel_saves_and_diff_names_what_differs(self):
        device = self.start("--off-default")
        read = os.path.join(self.dir, "read.dat")
        self.assertEqual(cli("read", "-o", read, "--serial", device)[0], 0)
        self.assertEqual(read_bytes(read), read_bytes(self.state), "byte for byte what the unit holds")
        self.assertEqual(cli("diff", read, "--serial", device), (0, "相違なし\n", ""))

        changed = os.path.join(self.dir, "changed.dat")
        with_hue(read, changed)
        rc, out, _ = cli("diff", changed, "--serial", device, "--json")
        self.assertEqual(rc, 1)
        self.assertEqual(json.loads(out)["differences"][0]["setting"], "ビデオ調整 ch.03 Hue")
        self.assertEqual(json.loads(out)["summary"], "1 件の相違")

    def test_a_bus_with_two_units_on_one_address(self):
        device = self.start("--addresses", "0,5,5,7")
        self.mode("rs485")
        rc, out, _ = cli("scan", "--serial", device, "--json")
        self.assertEqual(rc, 0)
        units = json.loads(out)["units"]
        self.assertEqual([(u["address"], u["mac"], u["conflict"]) for u in units],
                         [("00", "02-00-00-00-01-00", False), ("05", "", True), ("07", "02-00-00-00-01-07", False)])
        self.assertEqual(cli("send", "RVN", "--address", "07", "--serial", device)[1], "Ver. 1.00\n")

    def test_apply_write_show_clock_and_history_on_one_unit(self):
        device = self.start("--alarm-history", "3")
        original = os.path.join(self.dir, "original.dat")
        self.assertEqual(cli("read", "-o", original, "--serial", device)[0], 0)
        changed = os.path.join(self.dir, "changed.dat")
        with_hue(original, changed)
        rc, out, _ = cli("show", changed, "--json")
        self.assertEqual(rc, 0)
        self.assertIn({"setting": "ビデオ調整 ch.03 Hue", "value": "200"}, json.loads(out)["settings"])

        rc, out, _ = cli("apply", changed, "--serial", device, "--json")
        self.assertEqual((rc, json.loads(out)["summary"]), (0, "1 件を変更、確認済み"))
        self.assertEqual(read_bytes(self.state), read_bytes(changed))
        self.assertEqual(cli("apply", changed, "--serial", device), (0, "変更なし\n", ""))
        rc, out, _ = cli("write", original, "--serial", device)
        self.assertEqual((rc, out.splitlines()[-1]), (0, "152 / 152 項目を書き込みました"))
        self.assertEqual(read_bytes(self.state), read_bytes(original), "the write-all run undid the change")

        already = len(frames(self.dir))
        self.assertEqual(cli("clock", "--serial", device)[0], 0)
        self.assertEqual([f[:3] for f in frames(self.dir)[already:]], ["DSY", "DSM", "DSD", "TSH", "TSM", "TSS"])
        rc, out, _ = cli("history", "alarm", "--csv", "--serial", device)
        self.assertEqual((rc, len(out.splitlines())), (0, 1 + 3), "the heading and the three entries held")

    def test_backup_of_the_bus(self):
        device = self.start("--addresses", "0,5,5,7")
        self.mode("rs485")
        backup = os.path.join(self.dir, "backup")
        rc, out, _ = cli("backup", backup, "--bus", "--serial", device)
        self.assertEqual(rc, 1, "05 holds two units")
        self.assertEqual([line.split(",")[0] + "," + line.split(",")[5] for line in out.splitlines()[1:-1]],
                         ["00,ok", "05,重複の疑い: 応答が乱れています", "07,ok"])
        self.assertEqual(sorted(os.listdir(backup)), sorted(
            [f"{unit}_{today()}.{kind}" for unit in ("00_02-00-00-00-01-00", "07_02-00-00-00-01-07")
             for kind in ("dat", "network.csv")] + ["inventory.csv"]))

    def test_replace_a_unit_of_the_bus(self):
        """05 backed up, then swapped for a new unit (another MAC address,
        factory settings and network values): one replace makes it the old one."""
        self.start("--addresses", "0,5,7", "--off-default")
        self.mode("rs485")
        backup = os.path.join(self.dir, "backup")
        self.assertEqual(cli("backup", backup, "--bus", "--serial", self.dir + "/com1")[0], 0)
        old = read_bytes(os.path.join(backup, f"05_02-00-00-00-01-05_{today()}.dat"))
        network = read_bytes(os.path.join(backup, f"05_02-00-00-00-01-05_{today()}.network.csv")).decode("utf-8-sig")

        subprocess.run(["bash", PAIR, "stop", self.dir], stdout=subprocess.DEVNULL)
        device = self.start("--addresses", "0,5,7", "--mac", "5=02-00-00-00-09-99")
        self.mode("rs485")
        rc, out, err = cli("replace", backup, "--serial", device, "--address", "05", "--dry-run")
        self.assertEqual(rc, 0, err)
        self.assertIn("MAC アドレス: 02-00-00-00-01-05 → 02-00-00-00-09-99", out)
        rc, out, err = cli("replace", backup, "--serial", device, "--address", "05")
        self.assertEqual(rc, 0, err + out)
        self.assertEqual(cli("read", "--serial", device, "--address", "05", raw=True)[1], old, "byte for byte")
        rc, out, _ = cli("backup", os.path.join(self.dir, "after"), "--serial", device, "--address", "05")
        after = os.path.join(self.dir, "after", f"05_02-00-00-00-09-99_{today()}.network.csv")
        self.assertEqual(read_bytes(after).decode("utf-8-sig").splitlines()[1].split(",")[2:],
                         network.splitlines()[1].split(",")[2:], "its network read-back is the backup's")
        inventory = read_bytes(os.path.join(backup, "inventory.csv")).decode("utf-8-sig")
        self.assertIn("交換 02-00-00-00-01-05 → 02-00-00-00-09-99: 確認済み", inventory)
        rc, _, err = cli("replace", backup, "--serial", device, "--address", "05")
        self.assertEqual((rc, err.startswith("kelvrix-cli: バックアップと同じユニットです")), (1, True), "not again")

    def test_a_unit_that_falls_silent_mid_run(self):
        device = self.start()
        self.mode("silent from 150")
        started = time.monotonic()
        rc, out, err = cli("read", "--serial", device, "--timeout", "100", raw=True)
        self.assertEqual((rc, out), (1, b""), "no file with the initial values where nothing came")
        self.assertIn("応答なし: 読めない設定 11 件", err)
        self.assertLess(time.monotonic() - started, 5, "three silent requests, each asked twice, end it")

    def test_a_unit_that_answers_but_not_what_was_asked(self):
        """Its menu open, or a MAC address that would climb out of the folder,
        code page 932 in its version: nothing is called read that was not,
        and nothing it sends chooses a path."""
        version = "ｶﾒﾗ".encode("cp932") + b"1"
        device = self.start("--mac", "../../../../evil1", "--version", version)
        backup = os.path.join(self.dir, "backup")
        rc, out, _ = cli("backup", backup, "--serial", device, "--json")
        self.assertEqual(rc, 0, out)
        unit = json.loads(out)["units"][0]
        self.assertEqual((unit["mac"], unit["version"], unit["file"]),
                         ("../../../../evil1", "ｶﾒﾗ1", "unit_" + today() + ".dat"))
        self.assertEqual(sorted(os.listdir(self.dir + "/backup")),
                         ["inventory.csv", "unit_" + today() + ".dat", "unit_" + today() + ".network.csv"])

        good = os.path.join(self.dir, "good.dat")
        self.assertEqual(cli("read", "-o", good, "--serial", device)[0], 0)
        kept = read_bytes(good)
        self.mode("reply MENU")
        rc, out, err = cli("read", "-o", good, "--serial", device)
        self.assertEqual((rc, err), (1, "kelvrix-cli: 読めない設定 160 件: タイトル ch.01、タイトル ch.02、タイトル ch.03…\n"))
        self.assertEqual(read_bytes(good), kept, "the good file stays")
        rc, out, _ = cli("backup", os.path.join(self.dir, "menu"), "--serial", device, "--json")
        self.assertEqual(rc, 1)
        self.assertEqual(json.loads(out)["units"][0]["file"], "")
        self.assertEqual(json.loads(out)["exit"], 1)
        self.assertEqual(os.listdir(os.path.join(self.dir, "menu")), ["inventory.csv"])

    def test_a_full_disk_leaves_the_file_it_would_have_replaced(self):
        device = self.start("--off-default")
        good = os.path.join(self.dir, "good.dat")
        with open(good, "wb") as f:
            f.write(b"kept")

        def small_files():  # writes past 100 bytes fail as on a full disk
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))

        done = subprocess.run([CLI, "read", "-o", good, "--serial", device], capture_output=True, timeout=60,
                              stdin=subprocess.DEVNULL, preexec_fn=small_files)
        self.assertEqual((done.returncode, done.stderr.decode()), (4, f"kelvrix-cli: cannot write {good}\n"))
        self.assertEqual(read_bytes(good), b"kept")
        self.assertEqual(sorted(os.listdir(self.dir)).count("good.dat"), 1)
        self.assertFalse([name for name in os.listdir(self.dir) if name.endswith(".tmp")], "no part file left")

    def test_a_missing_device_and_bad_arguments(self):
        self.assertEqual(cli("read", "--serial", os.path.join(self.dir, "none"))[0], 3)
        rc, _, err = cli("read", "--serial", "x", "--address", "40")
        self.assertEqual((rc, err), (2, "kelvrix-cli: --address needs a slave address 00..31\n"))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class NetworkTest(unittest.TestCase):
    """Units on loopback: one that takes TCP connections (the client role), or
    units that dial in (the server role)."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kelvrix-cli-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.state = os.path.join(self.folder, "state.dat")

    def simulate(self, *options):
        unit = subprocess.Popen([SIMULATOR, *options, "--state", self.state], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.addCleanup(unit.wait)
        self.addCleanup(unit.terminate)
        return unit

    def test_backup_of_units_that_dial_in(self):
        port = free_port()
        self.assertEqual(cli("read", "--listen", port, "--wait", "1"),
                         (3, "", f"kelvrix-cli: no unit dialled in to port {port} within 1 s\n"))
        self.simulate("--dial", str(port), "--units", "5", "--off-default")
        backup = os.path.join(self.folder, "backup")
        rc, out, _ = cli("backup", backup, "--listen", port, "--units", "5", "--wait", "20")
        self.assertEqual(rc, 0, out)
        note = "ユニットから読めないビデオロスの設定（VL、VLD、VLBC）、画面の切替、時計は、設定ファイルでは初期値です"
        self.assertEqual(out.splitlines()[-1], "," * 5 + note)
        rows = sorted(line.split(",") for line in out.splitlines()[1:-1])
        names = [f"127.0.0.{k + 2}_02-00-00-00-00-0{k + 1}_{today()}.dat" for k in range(5)]
        self.assertEqual([(r[0], r[1], r[4], r[5]) for r in rows],
                         [(f"127.0.0.{k + 2}", f"02-00-00-00-00-0{k + 1}", names[k], "ok") for k in range(5)])
        for name in names:
            self.assertEqual(read_bytes(os.path.join(backup, name)), read_bytes(self.state))
        self.assertEqual(read_bytes(os.path.join(backup, "inventory.csv")).decode(), out)

        rc, out, _ = cli("read", "--listen", port, "--wait", "20", raw=True)  # the units dial again
        self.assertEqual(rc, 0)
        self.assertEqual(out, read_bytes(self.state))

        changed = os.path.join(self.folder, "changed.dat")
        with_hue(self.state, changed)
        rc, out, _ = cli("apply", changed, "--listen", port, "--units", "5", "--wait", "20", "--json")
        self.assertEqual(rc, 0, out)
        self.assertEqual(sorted((u["unit"], u["result"]) for u in json.loads(out)["units"]),
                         [(f"127.0.0.{k + 2}", "1 件を変更、確認済み") for k in range(5)])
        self.assertEqual(read_bytes(self.state), read_bytes(changed), "the first unit holds the file")
        rc, out, _ = cli("clock", "--listen", port, "--units", "5", "--wait", "20")
        self.assertEqual((rc, out.count("時刻を設定しました")), (0, 5))

    def test_replace_a_unit_that_dials_in(self):
        """A unit dialling in backed up by its IP address; a new one (another
        MAC address, factory settings) dials in from it and is made the old one."""
        port = free_port()
        old = self.simulate("--dial", str(port), "--units", "1")
        changed = os.path.join(self.folder, "changed.dat")
        rc, out, _ = cli("read", "--listen", port, "--wait", "20", raw=True)
        with open(changed, "wb") as f:
            f.write(out)
        with_hue(changed, changed)
        self.assertEqual(cli("apply", changed, "--listen", port, "--wait", "20")[0], 0)
        backup = os.path.join(self.folder, "backup")
        self.assertEqual(cli("backup", backup, "--listen", port, "--wait", "20")[0], 0)
        old.terminate()
        old.wait()
        self.simulate("--dial", str(port), "--units", "1", "--mac", "1=02-00-00-00-09-99")
        rc, out, err = cli("replace", backup, "--listen", port, "--wait", "20", "--json")
        self.assertEqual(rc, 0, err + out)
        self.assertEqual(json.loads(out)["units"][0]["result"], "交換 02-00-00-00-00-01 → 02-00-00-00-09-99: 確認済み 1 件")
        self.assertEqual(read_bytes(self.state), read_bytes(changed), "its settings the backed-up ones")

    def test_read_and_send_over_tcp(self):
        port = free_port()
        state = self.state
        unit = self.simulate("--listen", str(port))
        for _ in range(50):
            if cli("send", "RVN", "--tcp", f"127.0.0.1:{port}")[0] == 0:
                break
            time.sleep(0.1)
        rc, out, _ = cli("read", "--tcp", f"127.0.0.1:{port}", raw=True)
        self.assertEqual(rc, 0)
        self.assertEqual(out, read_bytes(state))
        unit.terminate()
        unit.wait()
        self.assertEqual(cli("read", "--tcp", f"127.0.0.1:{port}")[0], 3, "a refused connection")


if __name__ == "__main__":
    unittest.main(verbosity=2)
