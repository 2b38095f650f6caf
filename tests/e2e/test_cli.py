#!/usr/bin/env python3
"""kelvrix-cli.exe under Wine: it reads the simulated unit on the prefix's COM1
and gives the file the panel saves; the panel's comparison of that file with
the unit then finds nothing.
"""
import os
import subprocess
import tempfile
import unittest

from test_panel import ENV, PREFIX, SIM_STATE, fresh_line, read_bytes, restart_simulator

CLI = os.environ["KELVRIX_CLI_EXE"]


def cli(*args):
    with tempfile.TemporaryFile() as out:
        rc = subprocess.run(["wine", CLI, *args], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                            env=ENV, timeout=120).returncode
        out.seek(0)
        return rc, out.read()


class CliUnderWineTest(unittest.TestCase):
    def setUp(self):
        self.addCleanup(restart_simulator)

    def test_read_on_com1_gives_the_units_file_and_diff_finds_nothing(self):
        restart_simulator("--off-default")
        fresh_line()
        saved = os.path.join(PREFIX, "drive_c", "cli-read.dat")
        self.addCleanup(lambda: os.path.exists(saved) and os.remove(saved))
        self.assertEqual(cli("read", "--serial", "COM1", "-o", r"C:\cli-read.dat")[0], 0)
        self.assertEqual(read_bytes(saved), read_bytes(SIM_STATE), "byte for byte what the unit holds")
        self.assertEqual(cli("diff", r"C:\cli-read.dat", "--serial", "COM1"), (0, "相違なし\n".encode("utf-8")))
        rc, out = cli("send", "RVN", "--serial", "COM1", "--json")
        self.assertEqual((rc, out), (0, b'{"reply": "Ver. 2.31"}\n'))

    def test_a_port_the_machine_lacks(self):
        self.assertEqual(cli("read", "--serial", "COM9")[0], 3)


if __name__ == "__main__":
    unittest.main(verbosity=2)
