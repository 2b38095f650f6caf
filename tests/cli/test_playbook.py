#!/usr/bin/env python3
"""The example playbooks (docs/examples/) run on localhost against a
simulated unit on a pty: the site playbook's first run backs up and changes
the unit, its second finds nothing to change; the replacement playbook finds
the backed-up unit already there.

    KELVRIX_CLI=... KELVRIX_SIMULATOR=... test_playbook.py
"""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CLI = os.environ["KELVRIX_CLI"]
SIMULATOR = os.environ["KELVRIX_SIMULATOR"]


class PlaybookTest(unittest.TestCase):
    def test_backup_then_apply_changes_once(self):
        folder = tempfile.mkdtemp(prefix="kelvrix-playbook-")
        self.addCleanup(shutil.rmtree, folder, True)
        pair = os.path.join(ROOT, "scripts", "serial-pair.sh")
        state = os.path.join(folder, "state.dat")
        subprocess.run(["bash", pair, "start", folder, SIMULATOR, "--state", state], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(subprocess.run, ["bash", pair, "stop", folder], stdout=subprocess.DEVNULL)
        with open(state, "rb") as f:
            lines = f.read().split(b"\r\n")
        lines[42] = b"200"  # the brightness of channel 1
        prepared = os.path.join(folder, "prepared.dat")
        with open(prepared, "wb") as f:
            f.write(b"\r\n".join(lines))
        variables = json.dumps({"prepared": prepared, "kelvrix_cli": CLI,
                                "kelvrix_link": ["--serial", os.path.join(folder, "com1")],
                                "kelvrix_backup": os.path.join(folder, "backup")})

        def play(playbook="kelvrix-site.yml", extra=variables):
            done = subprocess.run(
                ["ansible-playbook", "-i", "localhost,", "-c", "local",
                 os.path.join(ROOT, "docs", "examples", playbook), "-e", extra],
                capture_output=True, text=True, timeout=300, env=dict(os.environ, ANSIBLE_NOCOLOR="1"))
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            return done.stdout

        self.assertRegex(play(), r"localhost\s*: ok=2\s+changed=1\s+unreachable=0\s+failed=0")
        with open(state, "rb") as f:
            self.assertEqual(f.read(), b"\r\n".join(lines), "the unit holds the prepared file")
        self.assertTrue(os.path.isfile(os.path.join(folder, "backup", "inventory.csv")))
        self.assertRegex(play(), r"localhost\s*: ok=2\s+changed=0\s+unreachable=0\s+failed=0")
        backup = json.dumps({"backup": os.path.join(folder, "backup"), "kelvrix_cli": CLI,
                             "kelvrix_link": ["--serial", os.path.join(folder, "com1")]})
        self.assertRegex(play("kelvrix-replace.yml", backup), r"localhost\s*: ok=1\s+changed=0\s+unreachable=0\s+failed=0",
                         "the backed-up unit itself: nothing to replace")


if __name__ == "__main__":
    unittest.main(verbosity=2)
