#!/usr/bin/env python3
"""kelvrix-cli watch end to end, natively, against kelvrix-sim: an RS-485 bus
on a pty pair, a unit over TCP/IP and units that dial in. Every sink is read
back: the JSON lines, the Prometheus textfile (parsed, and checked by
promtool when the machine has it), the system logger through a socket of
the test's own, and the state file across restarts.

    KELVRIX_CLI=... KELVRIX_SIMULATOR=... test_watch_e2e.py
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import yaml

from test_cli_e2e import CLI, PAIR, SIMULATOR, cli, free_port

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "examples")

SAMPLE = re.compile(r'([a-z_]+)(?:\{((?:[a-z_]+="[^"\\]*",?)*)\})? ([0-9.]+)')


def lines_of(out):
    return [json.loads(line) for line in out.splitlines()]


def brief(lines):
    """(kind, unit, channel or reason) per line."""
    return [(l["kind"], l["unit"], l.get("channel", l.get("reason", l.get("history", l.get("was"))))) for l in lines]


def metrics(path):
    """The samples of a Prometheus textfile: {(name, labels): value}; fails on a line of no sample."""
    samples = {}
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("# HELP ") or line.startswith("# TYPE "):
                continue
            match = SAMPLE.fullmatch(line)
            assert match, line
            samples[(match[1], match[2] or "")] = float(match[3])
    return samples


class WatchCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvrix-watch-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.state = os.path.join(self.dir, "watch.state")
        self.prometheus = os.path.join(self.dir, "kelvrix.prom")

    def mode(self, text):
        with open(os.path.join(self.dir, "sim.control"), "w") as f:
            f.write(text + "\n")

    def simulate(self, *options):
        sim = subprocess.Popen([SIMULATOR, "--control", os.path.join(self.dir, "sim.control"), *map(str, options)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(sim.wait)
        self.addCleanup(sim.terminate)
        time.sleep(0.3)


class BusWatchTest(WatchCase):
    def test_each_entry_once_to_every_sink_across_restarts_erases_and_swaps(self):
        subprocess.run(["bash", PAIR, "start", self.dir, SIMULATOR, "--addresses", "0,5,7"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(subprocess.run, ["bash", PAIR, "stop", self.dir], stdout=subprocess.DEVNULL)
        device = os.path.join(self.dir, "com1")
        logger = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        logger.bind(os.path.join(self.dir, "log"))
        logger.settimeout(1)
        self.addCleanup(logger.close)

        def watch():
            rc, out, err = cli("watch", "--bus", "--serial", device, "--once", "--timeout", 60, "--state", self.state,
                               "--prometheus", self.prometheus, "--syslog", "--syslog-socket", os.path.join(self.dir, "log"))
            self.assertEqual((rc, err), (0, ""))
            return lines_of(out)

        def logged(count):
            return [logger.recv(4096).decode("utf-8") for _ in range(count)]

        self.mode("rs485\nalarms 2")
        self.assertEqual(brief(watch()), [("known", unit, None) for unit in ("00", "05", "07")])
        self.assertTrue(all(m.startswith("<134>") for m in logged(3)), "facility local0, informational")

        self.mode("rs485\nalarms 4\nvideo-losses 1")
        news = watch()
        self.assertEqual(brief(news), [(kind, unit, channel) for unit in ("00", "05", "07")
                                       for kind, channel in (("alarm", 3), ("alarm", 4), ("video-loss", 6))])
        self.assertEqual((news[0]["mac"], news[0]["time"], news[0]["entry"]), ("02-00-00-00-01-00", "2026-12-03T02:02:14", 3))
        messages = logged(9)
        self.assertTrue(messages[0].startswith("<132>") and messages[0].endswith(json.dumps(news[0], ensure_ascii=False)),
                        messages[0])
        samples = metrics(self.prometheus)
        self.assertEqual(sum(v for (name, labels), v in samples.items() if name == "kelvrix_events_total"), 9)
        self.assertEqual(samples[("kelvrix_events_total", 'unit="05",kind="alarm",channel="4"')], 1)
        self.assertEqual(samples[("kelvrix_unit_up", 'unit="07",mac="02-00-00-00-01-07"')], 1)
        if shutil.which("promtool"):
            with open(self.prometheus, "rb") as f:
                self.assertEqual(subprocess.run(["promtool", "check", "metrics"], stdin=f).returncode, 0)

        self.examples_read(news, samples)

        self.assertEqual(watch(), [], "a restart reports nothing again")
        self.assertEqual(cli("send", "AHD", "--address", "05", "--serial", device)[0], 0)  # 全消去
        self.assertEqual(brief(watch()), [("history_cleared", "05", "alarm")])
        self.mode("rs485\nalarms 4\nvideo-losses 1\nswap 5 02-00-00-00-09-99")
        self.assertEqual(brief(watch()), [("unit_replaced", "05", "02-00-00-00-01-05"), ("known", "05", None)])
        self.assertEqual(watch(), [])


    def examples_read(self, lines, samples):
        """The examples take what watch writes: the Zabbix items' patterns
        find the lines of their kinds, the alert rules name its metrics."""
        with open(os.path.join(EXAMPLES, "kelvrix-zabbix-template.yaml"), encoding="utf-8") as f:
            template = yaml.safe_load(f)
        texts = [json.dumps(line, ensure_ascii=False) for line in lines]
        for item in template["zabbix_export"]["templates"][0]["items"]:
            pattern = re.search(r',"(.*)",,,skip\]$', item["key"])[1].replace('\\"', '"')
            self.assertTrue(any(re.search(pattern, text) for text in texts) or "unit_" in pattern, item["name"])
            self.assertFalse(any(re.search(pattern, t) for t in texts if '"kind": "known"' in t), "no known line matches")
        with open(os.path.join(EXAMPLES, "kelvrix-alerts.yml"), encoding="utf-8") as f:
            rules = [rule for group in yaml.safe_load(f)["groups"] for rule in group["rules"]]
        names = {name for name, _ in samples}
        for rule in rules:
            used = set(re.findall(r"kelvrix_[a-z_]+", rule["expr"]))
            self.assertTrue(used <= names | {"kelvrix_watch_round_seconds"}, rule["alert"])


class NetworkWatchTest(WatchCase):
    def test_a_unit_in_its_menu_is_down_and_a_stopped_service_keeps_its_state(self):
        port = free_port()
        self.mode("alarms 1")
        self.simulate("--listen", port)
        rc, out, _ = cli("watch", "--tcp", f"127.0.0.1:{port}", "--once", "--state", self.state)
        self.assertEqual((rc, brief(lines_of(out))), (0, [("known", f"127.0.0.1-{port}", None)]))
        self.mode("alarms 1\nreply MENU")  # the front panel's menu open: no "nothing new"
        rc, out, _ = cli("watch", "--tcp", f"127.0.0.1:{port}", "--once", "--state", self.state)
        self.assertEqual((rc, brief(lines_of(out))), (3, [("unit_down", f"127.0.0.1-{port}", "読めない履歴 200 件")]))

        self.mode("alarms 1")
        service = subprocess.Popen([CLI, "watch", "--tcp", f"127.0.0.1:{port}", "--interval", "1", "--state",
                                    self.state], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(service.kill)
        self.assertEqual(brief([json.loads(service.stdout.readline())]), [("unit_up", f"127.0.0.1-{port}", None)])
        self.mode("alarms 3")
        self.assertEqual([json.loads(service.stdout.readline())["channel"] for _ in range(2)], [2, 3])
        service.send_signal(signal.SIGTERM)
        self.assertEqual(service.wait(timeout=10), 0, "SIGTERM ends it, between rounds or after the request out")
        with open(self.state, encoding="utf-8") as f:
            self.assertEqual(len([l for l in f if l.startswith("seen\t")]), 3, "the state as the last whole round left it")

    def test_units_that_dial_in_one_silent_the_others_still_reported(self):
        port = free_port()
        self.mode("silent unit 2\nalarms 1")
        watch = subprocess.Popen([CLI, "watch", "--listen", str(port), "--units", "3", "--wait", "20", "--once", "--all",
                                  "--timeout", "300"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(watch.kill)
        time.sleep(0.3)
        self.simulate("--dial", port, "--units", 3)
        out, _ = watch.communicate(timeout=60)
        self.assertEqual(watch.returncode, 1, "a unit down")
        self.assertEqual(sorted(brief(lines_of(out))), [("alarm", "127.0.0.2", 1), ("alarm", "127.0.0.4", 1),
                                                        ("unit_down", "127.0.0.3", "応答なし")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
