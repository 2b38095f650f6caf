#!/usr/bin/env python3
"""End-to-end tests of the real kelvrix.exe under Wine.

The panel runs in the test prefix with COM1 on a pty whose other end the unit
simulator holds, and COM2 on a folder (no port behind it). kelvrix_driver.exe
finds windows, reads and closes message boxes. Every Wine process writes to a
file or nowhere, never to a pipe: Wine's helper processes would keep a pipe open.
"""
import glob
import os
import shutil
import statistics
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
SIM_STATE = os.path.join(SERIAL_DIR, "sim.state")

# Command and control ids of resources/resource.h that the tests use.
IDM_FILE_NEW = 32771
IDM_SERIAL = 32776
IDC_COM_PORT = 1019
IDC_RS_CONTROL = 1020
IDC_VIDEO_SEND_BRIGHTNESS = 1082
IDM_FILE_OPEN = 32772
IDM_FILE_SAVE_AS = 32774
IDM_VIDEO_ADJUST = 32784
IDM_WRITE_ALL = 32787
IDM_READ_ALL = 32796
IDM_TITLE = 32779
IDM_VIDEO_LOSS = 32791
IDM_ALARM_HISTORY = 32793
IDM_VIDEO_LOSS_HISTORY = 32794
IDM_PROTOCOL = 32789
IDM_DATE_TIME = 32778
IDM_TITLE_DISPLAY = 32780
IDM_ASPECT_RATIO = 32783
IDM_SCREEN = 32785
IDM_OTHER = 32786
IDC_TIME_SEND_CORRECTION = 1006
IDC_TITLE_DISPLAY_SEND_SINGLE = 1028
IDC_ASPECT_SEND_DIV12 = 1032
IDC_SCREEN_SEND_SWITCH = 1067
IDC_OTHER_MENU_OFF = 1069
IDC_TITLE_SEND = 1092
IDC_VIDEO_LOSS_SEND_DISPLAY = 1102
IDC_HISTORY_COUNT = 1142
IDC_HISTORY_READ = 1144
IDC_HISTORY_ERASE = 1145
IDC_UNIT_SEND_SUBNET = 1113
IDC_UNIT_MAC = 1124
IDC_UNIT_VERSION = 1129
IDC_UNIT_READ = 1130
IDOK = 1
IDC_CLOSE = 2
IDC_SLAVE_ADDRESS = 1015
IDC_VIDEO_BRIGHTNESS = 1076
IDC_VIDEO_SEND_BRIGHTNESS = 1082
IDC_CHANNEL = 1090
IDC_READ_ALL_START = 1132
IDC_READ_ALL_PERCENT = 1133
IDC_READ_ALL_PROGRESS = 1134
IDC_WRITE_ALL_START = 1135
BROADCAST_ENTRY = 32
READ_ALL_CAPTION = "設定項目の読み込み"
WRITE_ALL_CAPTION = "全項目の設定"


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


def restart_simulator(*options):
    """A new simulator on the serial line, writing the settings it holds to SIM_STATE."""
    subprocess.run(["bash", os.environ["KELVRIX_SERIAL_PAIR"], "start", SERIAL_DIR, os.environ["KELVRIX_SIMULATOR"],
                    "--addresses", "0,5,7", "--state", SIM_STATE, *options], check=True, stdin=subprocess.DEVNULL)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def wait_for_frames(count, seconds):
    """Waits until the simulator has `count` frames; returns when each new one was seen."""
    seen = {}
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        frames = len(simulator_frames())
        now = time.monotonic()
        for n in range(len(seen), frames):
            seen[n] = now
        if frames >= count:
            break
        time.sleep(0.01)
    return [seen[n] for n in sorted(seen)]


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


def start_panel(cwd=None):
    fresh_line()
    return subprocess.Popen(["wine", PANEL], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=ENV, cwd=cwd)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


class PanelCase(unittest.TestCase):
    """Starts panels and closes them at the end of each test."""

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

    def launch(self, cwd=None):
        panel = start_panel(cwd)
        self.panels.append(panel)
        return panel

    def start(self, cwd=None, **ini):
        write_ini(**{"com_port": 0, **ini})
        panel = self.launch(cwd)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)
        return panel

    def open_dialog(self, command, caption):
        self.assertEqual(driver("command", MAIN_CLASS, command)[0], 0)
        self.assertEqual(driver("wait-window", "#32770", 10000, caption), (0, [caption]))

    def set_and_close(self, caption, button, frame):
        already = len(simulator_frames())
        self.assertEqual(driver("in", caption, "dialog-click", button)[0], 0)
        self.assertEqual(driver("boxes", 1, 15000), (0, ["Success\tSuccess"]))
        self.assertEqual(simulator_frames()[already:], [frame])
        self.assertEqual(driver("in", caption, "dialog-click", IDC_CLOSE)[0], 0)
        self.assertEqual(driver("wait-gone", "#32770", caption, 15000)[0], 0)


class PanelTest(PanelCase):
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



class SimulatorCase(PanelCase):
    """A folder for the test's files; the simulator as it was after each test."""

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="kelvrix-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.addCleanup(set_simulator_mode, "normal")
        self.addCleanup(restart_simulator)

    def file_dialog(self, command, caption, path):
        self.assertEqual(driver("command", MAIN_CLASS, command)[0], 0)
        self.assertEqual(driver("file-dialog", caption, windows_path(path), 10000)[0], 0)

    def prepared_file(self, changes):
        """A settings file: what the unit holds, with `changes` {line: text}."""
        lines = read_bytes(SIM_STATE).split(b"\r\n")
        for number, text in changes.items():
            lines[number - 1] = text.encode()
        path = os.path.join(self.folder, "prepared.dat")
        with open(path, "wb") as f:
            f.write(b"\r\n".join(lines))
        return path

    def open_file(self, path):
        self.file_dialog(IDM_FILE_OPEN, "ファイルのオープン", path)
        name = os.path.basename(path)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 10000, f"{name} - Kelvrix Client Program")[0], 0)

    def save_as(self, name):
        """Saves the program's settings as the test folder's NAME.dat; gives the file's bytes."""
        saved = os.path.join(self.folder, name)
        self.file_dialog(IDM_FILE_SAVE_AS, "ファイルの保存", saved)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 10000, f"{name}.dat - Kelvrix Client Program")[0], 0)
        return read_bytes(saved + ".dat")


class SettingsFileTest(SimulatorCase):
    """The File menu's questions, as the operator meets them."""

    def test_save_as_asks_before_replacing_the_file_the_suffix_names(self):
        existing = os.path.join(self.folder, "setup.dat")
        with open(existing, "wb") as f:
            f.write(b"kept\r\n")
        self.start()
        question = "Kelvrix\tsetup.dat は既に存在します。上書きしますか？\t" + MAIN_CLASS
        self.file_dialog(IDM_FILE_SAVE_AS, "ファイルの保存", os.path.join(self.folder, "setup"))
        self.assertEqual(driver("answer", "no", 10000), (0, [question]))
        self.assertEqual(driver("wait-gone", "#32770", "Kelvrix", 5000)[0], 0)
        self.assertEqual(read_bytes(existing), b"kept\r\n", "No writes nothing")
        self.assertEqual(driver("wait-window", MAIN_CLASS, 1000), (0, ["Kelvrix Client Program"]))

        self.file_dialog(IDM_FILE_SAVE_AS, "ファイルの保存", os.path.join(self.folder, "setup"))
        self.assertEqual(driver("answer", "yes", 10000), (0, [question]))
        self.assertEqual(driver("wait-window", MAIN_CLASS, 10000, "setup.dat - Kelvrix Client Program")[0], 0)
        self.assertEqual(read_bytes(existing).count(b"\r\n"), 282)

    def test_opening_the_title_dialog_alone_makes_new_and_exit_ask(self):
        panel = self.start()
        self.open_dialog(IDM_TITLE, "タイトルの設定 ")
        self.assertEqual(driver("in", "タイトルの設定 ", "dialog-click", IDC_CLOSE)[0], 0)
        self.assertEqual(driver("wait-gone", "#32770", "タイトルの設定 ", 10000)[0], 0)
        self.assertEqual(driver("command", MAIN_CLASS, IDM_FILE_NEW)[0], 0)
        self.assertEqual(driver("answer", "no", 10000),
                         (0, ["Kelvrix\tデータを保存せずに新規作成しますか？\t"]))
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(driver("answer", "yes", 10000), (0, ["Kelvrix\tデータを保存せずに終了しますか？\t"]))
        self.assertEqual(panel.wait(timeout=10), 0)


    def test_exit_stays_open_when_the_save_it_asked_for_is_cancelled_or_fails(self):
        panel = self.start()
        self.open_dialog(IDM_TITLE, "タイトルの設定 ")  # a change not saved
        self.assertEqual(driver("in", "タイトルの設定 ", "dialog-click", IDC_CLOSE)[0], 0)
        self.assertEqual(driver("wait-gone", "#32770", "タイトルの設定 ", 10000)[0], 0)
        question = ["Kelvrix\tデータを保存せずに終了しますか？\t"]
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(driver("answer", "no", 10000), (0, question), "no: save first")
        self.assertEqual(driver("wait-window", "#32770", 10000, "ファイルの保存")[0], 0)
        self.assertEqual(driver("close", "#32770")[0], 0)  # the save dialog cancelled
        time.sleep(1)
        self.assertIsNone(panel.poll(), "still open, the changes kept")

        os.mkdir(os.path.join(self.folder, "taken.dat"))  # where the file would go, a folder is
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(driver("answer", "no", 10000), (0, question))
        self.assertEqual(driver("file-dialog", "ファイルの保存", windows_path(os.path.join(self.folder, "taken")), 10000)[0], 0)
        rc, boxes = driver("boxes", 1, 10000)
        self.assertEqual((rc, [box.split("\t")[1] for box in boxes]), (0, ["Can't file open"]))
        time.sleep(1)
        self.assertIsNone(panel.poll(), "a failed save keeps it open too")
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(driver("answer", "yes", 10000), (0, question), "yes: end without saving")
        self.assertEqual(panel.wait(timeout=10), 0)


class WindowsDeskTest(PanelCase):
    """What a standard user meets: a Windows directory that refuses writes, an adapter above COM6."""

    SERIAL = "シリアル通信の設定"

    def serial_dialog(self):
        """The serial dialog's ports and its two choices; the dialog is closed again."""
        self.open_dialog(IDM_SERIAL, self.SERIAL)
        ports = driver("in", self.SERIAL, "dialog-list", IDC_COM_PORT)[1]
        chosen = [driver("in", self.SERIAL, "dialog-item", item)[1][0].split("\t")[1]
                  for item in (IDC_COM_PORT, IDC_RS_CONTROL)]
        self.assertEqual(driver("in", self.SERIAL, "dialog-click", IDOK)[0], 0)
        return ports, chosen

    def test_ports_above_com6_are_listed_and_open(self):
        # The prefix maps COM7 and COM10 to the simulator's line, as it does COM1.
        for com_port, name, path in ((6, "COM 7", "COM7"), (9, "COM 10", r"\\.\COM10")):
            with self.subTest(port=name):
                self.start(com_port=com_port)
                ports, chosen = self.serial_dialog()
                self.assertEqual(ports[:6], ["COM 1", "COM 2", "COM 3", "COM 4", "COM 5", "COM 6"])
                self.assertIn("COM 7", ports)
                self.assertIn("COM 10", ports)
                self.assertEqual(chosen[0], name)
                self.open_dialog(IDM_VIDEO_ADJUST, "ビデオ調整 ")
                self.set_and_close("ビデオ調整 ", IDC_VIDEO_SEND_BRIGHTNESS, r"VAB01000\r\n")
                driver("close", MAIN_CLASS)
                self.panels.pop().wait(timeout=10)

    def test_settings_persist_when_the_windows_directory_refuses_writes(self):
        # Under Wine as root no permission stops a write; a folder in the
        # file's place does, as the Windows directory does a standard user.
        personal = glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData", "Roaming"))[0]
        personal = os.path.join(personal, "Kelvrix", "kelvrix.ini")
        if os.path.exists(INI):
            os.remove(INI)
        os.mkdir(INI)
        self.addCleanup(write_ini, com_port=0)
        self.addCleanup(os.rmdir, INI)
        self.addCleanup(lambda: os.path.exists(personal) and os.remove(personal))
        self.launch()
        self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)
        self.open_dialog(IDM_SERIAL, self.SERIAL)
        self.assertEqual(driver("in", self.SERIAL, "dialog-choose", IDC_RS_CONTROL, 1)[0], 0)
        self.assertEqual(driver("in", self.SERIAL, "dialog-click", IDOK)[0], 0)
        self.assertEqual(driver("boxes", 1, 1500)[0], 1, "no warning: the user's own file took it")
        driver("close", MAIN_CLASS)
        self.panels.pop().wait(timeout=10)
        with open(personal, encoding="ascii") as f:
            self.assertIn("rs_control=1", f.read())

        self.launch()
        self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)
        self.assertEqual(self.serial_dialog()[1], ["COM 1", "RS-485"], "kept across the restart")


class AllSettingsTest(SimulatorCase):
    """Reading every setting from the unit and writing a loaded file back, over COM1."""

    def run_to_the_end(self, command, caption, start, steps, address=None):
        """Runs the dialog's steps; returns the frames and when each was seen."""
        self.open_dialog(command, caption)
        if address is not None:
            self.assertEqual(driver("dialog-choose", IDC_SLAVE_ADDRESS, address)[0], 0)
        already = len(simulator_frames())
        self.assertEqual(driver("dialog-click", start)[0], 0)
        seen = wait_for_frames(already + steps, steps * 0.1 + 20)
        self.assertEqual(driver("wait-gone", "#32770", caption, 10000)[0], 0, "the dialog closes itself")
        return simulator_frames()[already:], seen[already:]

    def test_read_all_fills_the_model_with_the_units_settings(self):
        restart_simulator("--off-default")
        self.start()
        frames, seen = self.run_to_the_end(IDM_READ_ALL, READ_ALL_CAPTION, IDC_READ_ALL_START, 160)
        self.assertEqual(len(frames), 160)
        self.assertEqual((frames[0], frames[64], frames[111], frames[112], frames[159]),
                         (r"RCT01\r\n", r"RVASH01\r\n", r"RVASV16\r\n", r"RAD\r\n", r"RVN\r\n"))
        gaps = [b - a for a, b in zip(seen, seen[1:])]
        print(f"read all: 160 requests in {seen[-1] - seen[0]:.2f} s, gaps median {statistics.median(gaps) * 1000:.0f} ms,"
              f" min {min(gaps) * 1000:.0f} ms, max {max(gaps) * 1000:.0f} ms")
        self.assertTrue(0.09 <= statistics.median(gaps) <= 0.15, "about 100 ms apart")
        self.assertGreaterEqual(min(gaps), 0.06)
        self.assertEqual(driver("boxes", 1, 5000), (0, ["Success\tSuccess"]), "the version's answer comes last")

        saved = os.path.join(self.folder, "read")
        self.file_dialog(IDM_FILE_SAVE_AS, "ファイルの保存", saved)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 10000, "read.dat - Kelvrix Client Program")[0], 0)
        self.assertEqual(read_bytes(saved + ".dat"), read_bytes(SIM_STATE), "the file holds what the unit holds")

    def test_write_all_of_a_loaded_file_reaches_the_unit(self):
        restart_simulator("--off-default")
        loaded = os.path.join(self.folder, "prepared.dat")
        shutil.copy(SIM_STATE, loaded)
        restart_simulator()
        self.start()
        self.file_dialog(IDM_FILE_OPEN, "ファイルのオープン", loaded)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 10000, "prepared.dat - Kelvrix Client Program")[0], 0)

        frames, _ = self.run_to_the_end(IDM_WRITE_ALL, WRITE_ALL_CAPTION, IDC_WRITE_ALL_START, 152)
        self.assertEqual(len(frames), 152)
        self.assertEqual((frames[0], frames[120], frames[151]),
                         (r"CT01CAM-01\xDF.\r\n", r"CASTM" + "".join(f"{99 - k:02d}" for k in range(28)) + r"\r\n",
                          r"VLBCN\r\n"))
        self.assertEqual(driver("boxes", 1, 5000), (0, ["Success\tSuccess"]), "the last step's GO, after the run")
        expected = read_bytes(loaded).split(b"\r\n")
        held = read_bytes(SIM_STATE).split(b"\r\n")
        # Lines the run does not write: the screen size, and the unit's network settings.
        not_written = {250, 263, 264, 265}
        for line in range(1, 283):
            if line not in not_written:
                self.assertEqual(held[line - 1], expected[line - 1], f"line {line}")

    def test_ending_the_program_under_the_save_dialog_saves_nothing(self):
        panel = self.start(cwd=self.folder)
        self.assertEqual(driver("command", MAIN_CLASS, IDM_FILE_SAVE_AS)[0], 0)
        self.assertEqual(driver("wait-window", "#32770", 10000, "ファイルの保存")[0], 0)
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(panel.wait(timeout=10), 0)
        self.assertEqual(os.listdir(self.folder), [], "no nameless file beside the panel")

    def test_broadcast_write_all_awaits_no_reply(self):
        set_simulator_mode("rs485")
        self.start(rs_control=1)
        frames, _ = self.run_to_the_end(IDM_WRITE_ALL, WRITE_ALL_CAPTION, IDC_WRITE_ALL_START, 152, BROADCAST_ENTRY)
        self.assertEqual(len(frames), 152)
        self.assertEqual([f for f in frames if not f.startswith("FF")], [])
        self.assertEqual(driver("boxes", 1, 1000), (1, []), "no No Connect: a broadcast is not answered")

    def test_error_reply_stops_the_run_where_it_came(self):
        self.start()
        self.open_dialog(IDM_READ_ALL, READ_ALL_CAPTION)
        already = len(simulator_frames())
        set_simulator_mode(f"reply E3 from {already + 40}")
        self.assertEqual(driver("dialog-click", IDC_READ_ALL_START)[0], 0)
        self.assertEqual(driver("boxes", 1, 15000), (0, ["Error\tCommand Error"]))
        time.sleep(0.5)  # the run would have gone on by now
        self.assertEqual(len(simulator_frames()) - already, 40, "the run stopped at the step that failed")
        self.assertEqual(driver("dialog-item", IDC_READ_ALL_PROGRESS), (0, ["1\t\t40"]))
        self.assertEqual(driver("dialog-item", IDC_READ_ALL_PERCENT), (0, ["1\t25\t0"]))
        self.assertEqual(driver("dialog-item", IDC_CLOSE)[1][0].split("\t")[0], "1", "Close is back")


class TableDialogsTest(PanelCase):
    """The setting dialogs opened from the menu, against the unit on COM1."""

    def setUp(self):
        super().setUp()
        self.addCleanup(set_simulator_mode, "normal")
        self.addCleanup(restart_simulator)

    def test_one_set_button_of_each_dialog_delivers_its_line(self):
        dialogs = [  # menu command, caption, button, line without address
            (IDM_TITLE, "タイトルの設定 ", IDC_TITLE_SEND, r"CT01  CH01  \r\n"),
            (IDM_VIDEO_LOSS, "ビデオロスの設定 ", IDC_VIDEO_LOSS_SEND_DISPLAY, r"VLDON\r\n"),
            (IDM_ALARM_HISTORY, "アラーム履歴 ", IDC_HISTORY_ERASE, r"AHD\r\n"),
            (IDM_VIDEO_LOSS_HISTORY, "ビデオロス履歴 ", IDC_HISTORY_ERASE, r"VLHD\r\n"),
            (IDM_PROTOCOL, "プロトコルの設定 ", IDC_UNIT_SEND_SUBNET, r"SMC\r\n"),  # no box: the address chosen before
            (IDM_DATE_TIME, "日付・時刻の設定 ", IDC_TIME_SEND_CORRECTION, r"TSA\r\n"),
            (IDM_TITLE_DISPLAY, "タイトル表示の設定 ", IDC_TITLE_DISPLAY_SEND_SINGLE, r"CTDSON\r\n"),
            (IDM_ASPECT_RATIO, "アスペクト比の設定 ", IDC_ASPECT_SEND_DIV12, r"SARD122\r\n"),
            (IDM_SCREEN, "画面の設定 ", IDC_SCREEN_SEND_SWITCH, r"CS01\r\n"),
            (IDM_OTHER, "その他の設定 ", IDC_OTHER_MENU_OFF, r"MOF\r\n"),
        ]
        for rs_control, mode, address in ((0, "normal", ""), (1, "rs485", "05")):
            with self.subTest(rs_control=rs_control):
                set_simulator_mode(mode)
                self.start(rs_control=rs_control)
                for command, caption, button, line in dialogs:
                    self.open_dialog(command, caption)
                    if address and command != IDM_PROTOCOL:
                        self.assertEqual(driver("in", caption, "dialog-choose", IDC_SLAVE_ADDRESS, 5)[0], 0)
                    self.set_and_close(caption, button, address + line)
                driver("close", MAIN_CLASS)
                # Opening the title dialog fills its edit, which marks the settings changed.
                self.assertEqual(driver("boxes", 1, 5000), (0, ["Kelvrix\tデータを保存せずに終了しますか？"]))
                self.panels.pop().wait(timeout=10)

    def test_history_read_returns_the_units_records_and_erase_empties_them(self):
        restart_simulator("--alarm-history", "25")
        self.start()
        caption = "アラーム履歴 "
        self.open_dialog(IDM_ALARM_HISTORY, caption)
        for count in ("025", "000"):
            already = len(simulator_frames())
            self.assertEqual(driver("dialog-click", IDC_HISTORY_READ)[0], 0)
            wait_for_frames(already + 100, 20)
            frames = simulator_frames()[already:]
            self.assertEqual((len(frames), frames[0], frames[99]), (100, r"RAH001\r\n", r"RAH100\r\n"))
            time.sleep(0.5)  # the tick after the last request ends the read
            self.assertEqual(driver("dialog-item", IDC_HISTORY_COUNT), (0, [f"1\t{count}\t0"]))
            self.assertEqual(driver("dialog-item", IDC_CLOSE)[1][0].split("\t")[0], "1", "Close is back")
            if count == "025":
                self.assertEqual(driver("dialog-click", IDC_HISTORY_ERASE)[0], 0)
                self.assertEqual(driver("boxes", 1, 5000), (0, ["Success\tSuccess"]))
                self.assertEqual(simulator_frames()[-1], r"AHD\r\n")

    def test_network_read_back_sends_ten_requests_200_ms_apart(self):
        restart_simulator("--off-default")
        self.start()
        caption = "プロトコルの設定 "
        self.open_dialog(IDM_PROTOCOL, caption)
        already = len(simulator_frames())
        self.assertEqual(driver("in", caption, "dialog-click", IDC_UNIT_READ)[0], 0)
        seen = wait_for_frames(already + 10, 10)[already:]
        self.assertEqual(simulator_frames()[already:],
                         [rf"{r}\r\n" for r in ("REAA", "REGA", "REIA", "RECT", "REKA", "REPN", "RESM", "RETR", "REMA", "RVN")])
        gaps = [b - a for a, b in zip(seen, seen[1:])]
        print(f"network read-back: gaps median {statistics.median(gaps) * 1000:.0f} ms,"
              f" min {min(gaps) * 1000:.0f} ms, max {max(gaps) * 1000:.0f} ms")
        self.assertTrue(0.18 <= statistics.median(gaps) <= 0.25, "about 200 ms apart")
        self.assertEqual(driver("boxes", 1, 5000), (0, ["Success\tSuccess"]), "the version's answer")
        time.sleep(0.5)
        self.assertEqual(driver("in", caption, "dialog-item", IDC_UNIT_MAC), (0, ["1\t00-1A-2B-3C-4D-5E\t0"]))
        self.assertEqual(driver("in", caption, "dialog-item", IDC_UNIT_VERSION), (0, ["1\t2.31\t0"]))


if __name__ == "__main__":
    unittest.main(verbosity=2)
