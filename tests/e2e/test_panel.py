#!/usr/bin/env python3
"""End-to-end tests of the real kelvrix.exe under Wine.

The panel runs in the test prefix with COM1 on a pty whose other end the unit
simulator holds, and COM2 on a folder (no port behind it). kelvrix_driver.exe
finds windows, reads and closes message boxes. Every Wine process writes to a
file or nowhere, never to a pipe: Wine's helper processes would keep a pipe open.
"""
import os
import subprocess
import termios
import tempfile
import time
import unittest

PREFIX = os.environ["WINEPREFIX"]
PANEL = os.environ["KELVRIX_EXE"]
DRIVER = os.environ["KELVRIX_DRIVER"]
MAIN_CLASS = "Kelvrix TCP Server"
INI = os.path.join(PREFIX, "drive_c", "windows", "kelvrix.ini")
ENV = dict(os.environ, WINEDEBUG="-all")
SERIAL_DIR = os.environ["KELVRIX_SERIAL_DIR"]
COM1 = os.path.join(SERIAL_DIR, "com1")

# Command and control ids of resources/resource.h that the tests use.
IDM_VIDEO_ADJUST = 32784
IDC_CLOSE = 2
IDC_SLAVE_ADDRESS = 1015
IDC_VIDEO_BRIGHTNESS = 1076
IDC_VIDEO_SEND_BRIGHTNESS = 1082
IDC_CHANNEL = 1090


def write_ini(**keys):
    lines = ["[Kelvrix_Section]"] + [f"{k}={v}" for k, v in keys.items()]
    with open(INI, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def driver(*args, timeout=30):
    with tempfile.TemporaryFile() as out:
        rc = subprocess.run(["wine", DRIVER, *map(str, args)], stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.DEVNULL, env=ENV, timeout=timeout).returncode
        out.seek(0)
        return rc, out.read().decode("utf-8").splitlines()


def set_simulator_mode(mode):
    with open(os.path.join(SERIAL_DIR, "sim.control"), "w") as f:
        f.write(mode + "\n")


def simulator_frames():
    """The frames the simulator received, CR and LF written as \\r and \\n."""
    try:
        with open(os.path.join(SERIAL_DIR, "sim.log")) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def fresh_line():
    """Makes COM1's pty look unconfigured again.

    A pty cannot keep parity: it drops PARENB, and Linux refuses with EINVAL a
    tcsetattr whose only change it dropped. So the panel's line settings fail on
    a pty that an earlier start has already set, and apply on one that differs
    in a bit a pty keeps, such as the stop bits. A real COM port keeps its parity.
    """
    fd = os.open(COM1, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        mode = termios.tcgetattr(fd)
        mode[2] |= termios.CSTOPB
        termios.tcsetattr(fd, termios.TCSANOW, mode)
    finally:
        os.close(fd)


def start_panel():
    fresh_line()
    return subprocess.Popen(["wine", PANEL], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=ENV)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


class PanelTest(unittest.TestCase):
    def setUp(self):
        self.panels = []

    def tearDown(self):
        driver("close", MAIN_CLASS)
        for panel in self.panels:
            try:
                panel.wait(timeout=10)
            except subprocess.TimeoutExpired:
                panel.kill()
                panel.wait()

    def launch(self):
        panel = start_panel()
        self.panels.append(panel)
        return panel

    def test_second_start_is_refused_and_the_first_keeps_running(self):
        write_ini(com_port=0)
        first = self.launch()
        rc, caption = driver("wait-window", MAIN_CLASS, 15000)
        self.assertEqual(rc, 0)
        self.assertEqual(caption, ["Kelvrix Client Program"])

        second = self.launch()
        rc, boxes = driver("boxes", 1, 15000)
        self.assertEqual(boxes, ["Kelvrix\t２重に起動はできません"])
        self.assertEqual(second.wait(timeout=10), 0)
        self.assertIsNone(first.poll())
        self.assertEqual(driver("window-exists", MAIN_CLASS)[0], 0)

        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(first.wait(timeout=10), 0)

    def test_missing_port_warns_five_times_then_idles(self):
        write_ini(com_port=1, ClientServer=1)
        panel = self.launch()
        rc, boxes = driver("boxes", 5, 15000)
        self.assertEqual(boxes, ["Error\tMiss! File Open", "Error\tMiss! Mask Set", "Error\tMiss! Buffer Set",
                                 "Error\tMiss! Time Out Set", "Error\tMiss! Set Comm State"])
        rc, caption = driver("wait-window", MAIN_CLASS, 15000, "Kelvrix Server Program")
        self.assertEqual((rc, caption), (0, ["Kelvrix Server Program"]))

        with open(f"/proc/{panel.pid}/cmdline", "rb") as f:
            self.assertIn(b"kelvrix.exe", f.read(), "the measured process is the panel itself")
        time.sleep(1)
        before = cpu_ticks(panel.pid)
        time.sleep(4)
        used = cpu_ticks(panel.pid) - before
        hz = os.sysconf("SC_CLK_TCK")
        print(f"idle CPU over 4 s: {used} ticks of 1/{hz} s")
        self.assertLessEqual(used, 0.02 * 4 * hz, "the panel does not idle")  # under 2 %

    def test_interface_tcpip_opens_no_port(self):
        write_ini(Interface=1, com_port=1)
        self.launch()
        rc, caption = driver("wait-window", MAIN_CLASS, 15000)
        self.assertEqual(rc, 0)
        rc, boxes = driver("boxes", 1, 1500)
        self.assertEqual(boxes, [], "no Miss! box: no port is opened on TCP/IP")

    def test_brightness_set_in_the_video_dialog_reaches_the_unit(self):
        cases = [  # rs_control, simulator mode, slave address entry, the frame the unit gets
            (0, "normal", None, r"VAB03120\r\n"),
            (1, "rs485", 7, r"07VAB03120\r\n"),
        ]
        self.addCleanup(set_simulator_mode, "normal")
        for rs_control, mode, address, frame in cases:
            with self.subTest(rs_control=rs_control):
                set_simulator_mode(mode)
                write_ini(com_port=0, rs_control=rs_control)
                panel = self.launch()
                self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)
                self.assertEqual(driver("command", MAIN_CLASS, IDM_VIDEO_ADJUST)[0], 0)
                rc, caption = driver("wait-window", "#32770", 10000, "ビデオ調整 ")
                self.assertEqual((rc, caption), (0, ["ビデオ調整 "]))
                if address is not None:
                    self.assertEqual(driver("dialog-choose", IDC_SLAVE_ADDRESS, address)[0], 0)
                self.assertEqual(driver("dialog-choose", IDC_CHANNEL, 2)[0], 0)
                self.assertEqual(driver("dialog-choose", IDC_VIDEO_BRIGHTNESS, 120)[0], 0)
                already = len(simulator_frames())
                self.assertEqual(driver("dialog-click", IDC_VIDEO_SEND_BRIGHTNESS)[0], 0)

                rc, boxes = driver("boxes", 1, 5000)
                self.assertEqual(boxes, ["Success\tSuccess"])
                self.assertEqual(simulator_frames()[already:], [frame])

                self.assertEqual(driver("dialog-click", IDC_CLOSE)[0], 0)
                self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
                self.assertEqual(panel.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
