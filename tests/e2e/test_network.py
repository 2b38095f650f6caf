#!/usr/bin/env python3
"""End-to-end tests of the real kelvrix.exe on TCP/IP, under Wine.

The unit simulator plays on loopback: as the unit the panel's client connects
to (--listen), or as units dialling into the panel's server (--dial, from
127.0.0.2, 127.0.0.3, ...). The link dialogs are driven by caption with
kelvrix_driver.exe ("in CAPTION ...").
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from test_panel import (INI, MAIN_CLASS, PanelCase, cpu_ticks, driver, read_bytes, set_simulator_mode,
                        simulator_frames, windows_path, write_ini)

SIMULATOR = os.environ["KELVRIX_SIMULATOR"]

IDM_FILE_SAVE_AS = 32774
IDM_VIDEO_ADJUST = 32784
IDM_READ_ALL = 32796
IDM_INTERFACE = 32775
IDM_SERIAL = 32776
IDM_CLIENT_SERVER = 32795
IDM_TCPIP = 32777
IDC_INTERFACE = 1018
IDC_COM_PORT = 1019
IDC_RS_CONTROL = 1020
IDC_CLIENT_SERVER = 1154
IDC_HOST_ADDRESS = 1157
IDC_HOST_LIST = 1118
IDC_PORT_NUMBER = 1119
IDC_HOST_ADD = 1155
IDC_HOST_DELETE = 1156
IDC_CLIENT_CONNECT = 1160
IDC_CLIENT_DISCONNECT = 1159
IDC_TRANSMISSION_PLACE = 1148
IDC_CLIENT_LIST = 1147
IDC_SERVER_CONNECT = 1108
IDC_SERVER_DISCONNECT = 1109
IDC_VIDEO_SEND_BRIGHTNESS = 1082
IDC_READ_ALL_START = 1132
IDM_COMPARE = 32800
IDC_COMPARE_LIST = 1211
IDC_COMPARE_SUMMARY = 1212
IDC_COMPARE_START = 1214
IDC_COMPARE_WRITE = 1215
COMPARE = "ユニットと比較"
IDOK = 1
IDC_CLOSE = 2
CLIENT = "TCP/IPの設定（Client）"
SERVER = "TCP/IPの設定（Server）"
VIDEO = "ビデオ調整 "
READ_ALL = "設定項目の読み込み"


def ini_keys():
    with open(INI, encoding="utf-8", errors="replace") as f:
        return dict(line.strip().split("=", 1) for line in f if "=" in line)


def client_keys(port, **keys):
    """kelvrix.ini of a client with one host, 127.0.0.1, on `port`."""
    return dict(Interface=1, ClientServer=0, list_count=1, ip00_0=127, ip00_1=0, ip00_2=0, ip00_3=1,
                select_number=0, p_port_number=port, **keys)


def item(caption, control):
    """(enabled, text) of a control of the dialog of `caption`."""
    rc, lines = driver("in", caption, "dialog-item", control)
    assert rc == 0, (caption, control)
    enabled, text, _ = lines[0].split("\t")
    return enabled == "1", text


def listed(caption, control):
    rc, lines = driver("in", caption, "dialog-list", control)
    assert rc == 0
    return lines


def wait_until(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


class NetworkCase(PanelCase):
    """A panel on TCP/IP, with simulators of its own on loopback."""

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="kelvrix-net-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.control = os.path.join(self.folder, "sim.control")
        self.log = os.path.join(self.folder, "sim.log")
        self.state = os.path.join(self.folder, "sim.state")
        self.set_mode("normal")

    def set_mode(self, mode):
        with open(self.control, "w") as f:
            f.write(mode + "\n")

    def simulator(self, *options, tag=""):
        """A simulator; with a tag, its ready and state files are its own (sim<tag>.state)."""
        ready = os.path.join(self.folder, f"sim{tag}.ready")
        state = os.path.join(self.folder, f"sim{tag}.state")
        sim = subprocess.Popen([SIMULATOR, "--log", self.log, "--control", self.control, "--ready", ready,
                                "--state", state, *map(str, options)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(sim.wait)
        self.addCleanup(sim.terminate)
        self.assertTrue(wait_until(lambda: os.path.exists(ready), 5), "the simulator is up")
        return sim

    def frames(self):
        try:
            with open(self.log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def start(self, **ini):
        write_ini(**ini)
        panel = self.launch()
        self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)
        return panel

    def open_dialog(self, command, caption):
        self.assertEqual(driver("command", MAIN_CLASS, command)[0], 0)
        self.assertEqual(driver("wait-window", "#32770", 10000, caption), (0, [caption]))

    def close_dialog(self, caption, button):
        self.assertEqual(driver("in", caption, "dialog-click", button)[0], 0)
        self.assertEqual(driver("wait-gone", "#32770", caption, 5000)[0], 0)

    def connect_client(self):
        self.open_dialog(IDM_TCPIP, CLIENT)
        self.assertEqual(driver("in", CLIENT, "dialog-click", IDC_CLIENT_CONNECT)[0], 0)
        self.assertEqual(driver("boxes", 1, 5000), (0, ["Success\tSocket 接続 OK"]))
        self.assertEqual((item(CLIENT, IDC_CLIENT_CONNECT)[0], item(CLIENT, IDC_CLIENT_DISCONNECT)[0]), (False, True))

    def start_connected(self, port, *options, **ini):
        """A simulated unit on `port`, and the panel connected to it as its client."""
        self.simulator("--listen", port, *options)
        panel = self.start(**client_keys(port, **ini))
        self.connect_client()
        self.close_dialog(CLIENT, IDOK)
        return panel

    def disconnect_client(self):
        """Hangs up, so that the panel can end."""
        self.open_dialog(IDM_TCPIP, CLIENT)
        driver("in", CLIENT, "dialog-click", IDC_CLIENT_DISCONNECT)
        driver("boxes", 1, 5000)
        self.close_dialog(CLIENT, IDOK)

    def send_brightness(self):
        """Presses the video dialog's brightness button; returns the box it raised."""
        self.assertEqual(driver("dialog-click", IDC_VIDEO_SEND_BRIGHTNESS)[0], 0)
        rc, boxes = driver("boxes", 1, 8000)
        return boxes

    def start_server(self, port):
        self.start(Interface=1, ClientServer=1, p_port_number=port)
        self.open_dialog(IDM_TCPIP, SERVER)
        self.assertEqual(driver("in", SERVER, "dialog-click", IDC_SERVER_CONNECT)[0], 0)
        self.assertEqual((item(SERVER, IDC_SERVER_CONNECT)[0], item(SERVER, IDC_SERVER_DISCONNECT)[0]), (False, True))

    def stop_server(self):
        self.open_dialog(IDM_TCPIP, SERVER)
        self.assertEqual(driver("in", SERVER, "dialog-click", IDC_SERVER_DISCONNECT)[0], 0)
        self.assertEqual(listed(SERVER, IDC_CLIENT_LIST), [])
        self.close_dialog(SERVER, IDC_CLOSE)



class NetworkTest(NetworkCase):
    def test_client_sends_bare_lines_and_every_socket_reply_reaches_its_box(self):
        self.start_connected(19104, rs_control=1)

        self.open_dialog(IDM_VIDEO_ADJUST, VIDEO)
        self.assertEqual(self.send_brightness(), ["Success\tSocket ＯＫ"])
        self.assertEqual(self.frames()[-1], r"VAB01000\r\n", "no RS-485 address on TCP/IP")
        replies = [("reply GN", "Error\tSocket mode difference"), ("reply E0", "Error\tSocket Framing"),
                   ("reply E2", "Error\tSocket Over run"), ("reply E3", "Error\tSocket Command"),
                   ("reply GOX", "Success\tSocket ＯＫ")]
        for mode, box in replies:
            with self.subTest(mode=mode):
                self.set_mode(mode)
                self.assertEqual(self.send_brightness(), [box])
        self.set_mode("normal")
        self.close_dialog(VIDEO, IDC_CLOSE)

        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(driver("boxes", 1, 5000), (0, ["Error\tTCP/IPを切断してください。"]))
        self.open_dialog(IDM_TCPIP, CLIENT)
        self.assertEqual(driver("in", CLIENT, "dialog-click", IDC_CLIENT_DISCONNECT)[0], 0)
        self.assertEqual(driver("boxes", 1, 5000), (0, ["Success\tSocket 切断 OK"]))
        self.assertEqual((item(CLIENT, IDC_CLIENT_CONNECT)[0], item(CLIENT, IDC_CLIENT_DISCONNECT)[0]), (True, False))
        self.close_dialog(CLIENT, IDOK)

    def test_refused_connect_leaves_the_link_down(self):
        panel = self.start(**client_keys(19109))  # nothing listens there
        self.open_dialog(IDM_TCPIP, CLIENT)
        for port in ["", "abc"]:
            driver("in", CLIENT, "dialog-type", IDC_PORT_NUMBER, port)
            self.assertEqual(driver("in", CLIENT, "dialog-click", IDC_CLIENT_CONNECT)[0], 0)
            self.assertEqual(driver("boxes", 1, 5000), (0, [f'Kelvrix\tポート番号が正しくありません: "{port}"']))
        driver("in", CLIENT, "dialog-type", IDC_PORT_NUMBER, "19109")
        self.assertEqual(driver("in", CLIENT, "dialog-click", IDC_CLIENT_CONNECT)[0], 0)
        rc, boxes = driver("boxes", 1, 8000)
        self.assertIn(boxes, [["Error\tソケットイベントにエラーが発生しました。"], ["Kelvrix\t接続できません"]])
        self.assertEqual((item(CLIENT, IDC_CLIENT_CONNECT)[0], item(CLIENT, IDC_CLIENT_DISCONNECT)[0]), (True, False))
        self.close_dialog(CLIENT, IDOK)
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(panel.wait(timeout=10), 0, "not connected: the exit is not refused")

    def test_silent_unit_gives_no_answer_within_the_bound(self):
        panel = self.start_connected(19104)
        self.open_dialog(IDM_VIDEO_ADJUST, VIDEO)
        self.set_mode("silent")
        before = cpu_ticks(panel.pid)
        start = time.monotonic()
        self.assertEqual(driver("dialog-click", IDC_VIDEO_SEND_BRIGHTNESS)[0], 0)
        rc, ping = driver("ping", MAIN_CLASS)  # answered once the wait is over
        self.assertEqual(driver("boxes", 1, 8000), (0, ["Error\tAnswer が､きません"]))
        waited = time.monotonic() - start
        used = (cpu_ticks(panel.pid) - before) / os.sysconf("SC_CLK_TCK")
        print(f"silent unit: box after {waited:.2f} s, GUI thread answered after {int(ping[0])} ms,"
              f" panel CPU {used:.2f} s over the wait")
        self.assertLess(int(ping[0]), 3600, "the GUI thread waits at most the bound")
        self.assertLess(waited, 6)
        self.assertLess(used, 0.3, "the wait does not spin")
        self.set_mode("normal")
        self.close_dialog(VIDEO, IDC_CLOSE)
        self.disconnect_client()

    def test_read_all_over_tcp_fills_the_model(self):
        self.start_connected(19104, "--off-default")
        self.open_dialog(IDM_READ_ALL, READ_ALL)
        self.assertEqual(driver("dialog-click", IDC_READ_ALL_START)[0], 0)
        self.assertEqual(driver("wait-gone", "#32770", READ_ALL, 40000)[0], 0)
        self.assertEqual(len(self.frames()), 160)
        saved = os.path.join(self.folder, "tcp")
        self.assertEqual(driver("command", MAIN_CLASS, IDM_FILE_SAVE_AS)[0], 0)
        self.assertEqual(driver("file-dialog", "ファイルの保存", windows_path(saved), 10000)[0], 0)
        self.assertTrue(wait_until(lambda: os.path.exists(saved + ".dat"), 5))
        self.assertEqual(read_bytes(saved + ".dat"), read_bytes(self.state))
        self.disconnect_client()

    def test_compare_over_tcp_writes_all_but_the_serial_only_settings(self):
        self.start_connected(19107, "--off-default")
        self.open_dialog(IDM_COMPARE, COMPARE)
        for button, summary in ((IDC_COMPARE_START, "152 件の相違"),
                                (IDC_COMPARE_WRITE, "確認済み 149 件、送信不可 3 件")):
            rc, _ = driver("in", COMPARE, "dialog-run", button, IDC_COMPARE_START, 60000, timeout=90)
            self.assertEqual(rc, 0)
            self.assertEqual(item(COMPARE, IDC_COMPARE_SUMMARY)[1], summary)
        self.assertEqual(driver("in", COMPARE, "dialog-rows", IDC_COMPARE_LIST)[1][-1].split("\t")[-1],
                         "インターフェースをRS-232Cにしてください。", "the unit's connection settings go on the serial line only")
        self.assertEqual(driver("boxes", 1, 1000), (1, []))
        self.close_dialog(COMPARE, IDC_CLOSE)
        self.disconnect_client()

    def test_server_lists_units_in_row_order_and_talks_to_the_chosen_one(self):
        self.start_server(19105)
        self.simulator("--dial", 19105, "--units", 3)
        units = ["127.0.0.2", "127.0.0.3", "127.0.0.4"]
        self.assertTrue(wait_until(lambda: listed(SERVER, IDC_CLIENT_LIST) == units, 10))
        self.assertEqual(driver("in", SERVER, "dialog-pick", IDC_CLIENT_LIST, 1)[0], 0)
        self.assertTrue(wait_until(lambda: item(SERVER, IDC_TRANSMISSION_PLACE)[1] == "127.0.0.3", 5))
        self.assertEqual(driver("in", SERVER, "dialog-pick", IDC_CLIENT_LIST, -1)[0], 0)  # on no entry
        time.sleep(0.5)
        self.assertEqual(item(SERVER, IDC_TRANSMISSION_PLACE)[1], "127.0.0.3", "the choice stays")
        self.close_dialog(SERVER, IDC_CLOSE)

        self.open_dialog(IDM_VIDEO_ADJUST, VIDEO + "127.0.0.3")
        self.assertEqual(self.send_brightness(), ["Success\tSocket ＯＫ"])
        self.assertEqual(self.frames(), [r"127.0.0.3 VAB01000\r\n"], "only the chosen unit hears it")
        self.close_dialog(VIDEO + "127.0.0.3", IDC_CLOSE)

        self.open_dialog(IDM_TCPIP, SERVER)
        self.set_mode("drop 2")
        self.assertTrue(wait_until(lambda: listed(SERVER, IDC_CLIENT_LIST) == [units[0], units[2]], 10),
                        "noticed while the dialog is open")
        self.close_dialog(SERVER, IDC_CLOSE)
        self.set_mode("drop 2,3")
        time.sleep(1.5)
        self.open_dialog(IDM_TCPIP, SERVER)
        self.assertEqual(listed(SERVER, IDC_CLIENT_LIST), [units[0]], "and while it was closed")
        self.close_dialog(SERVER, IDC_CLOSE)

        self.set_mode("drop 3")  # the chosen unit dials in again and takes its old row
        self.open_dialog(IDM_TCPIP, SERVER)
        self.assertTrue(wait_until(lambda: listed(SERVER, IDC_CLIENT_LIST) == units[:2], 10))
        self.assertEqual(item(SERVER, IDC_TRANSMISSION_PLACE)[1].strip(), "", "the chosen unit has gone")
        self.close_dialog(SERVER, IDC_CLOSE)
        self.open_dialog(IDM_VIDEO_ADJUST, VIDEO)  # a new connection, not the one chosen
        self.assertEqual(self.send_brightness(), ["Error\tSocket が接続されていません"])
        self.close_dialog(VIDEO, IDC_CLOSE)
        self.stop_server()

    def test_ninety_six_units_and_a_ninety_seventh(self):
        self.start_server(19106)
        self.simulator("--dial", 19106, "--units", 97)
        self.assertTrue(wait_until(lambda: len(listed(SERVER, IDC_CLIENT_LIST)) == 96, 30))
        first = listed(SERVER, IDC_CLIENT_LIST)
        time.sleep(2.5)  # the unit left out keeps dialling and is closed each time
        entries = listed(SERVER, IDC_CLIENT_LIST)
        self.assertEqual(entries, first, "the 96 stay up")
        self.assertEqual(len(set(entries)), 96)
        self.close_dialog(SERVER, IDC_CLOSE)

        # Every eighth unit and the last chosen (the unit list sends to all 96
        # at once; the choice maps list positions to rows natively).
        start = time.monotonic()
        rc, lines = driver("each-connection", 96, 8, timeout=600)
        print(f"96 units: 13 of them each chosen and sent one command in {time.monotonic() - start:.1f} s")
        self.assertEqual(rc, 0)
        positions = [int(line.split("\t")[0]) for line in lines]
        self.assertEqual(positions, list(range(0, 96, 8)) + [95])
        for line in lines:
            position, caption, box, place = line.split("\t")
            unit = entries[int(position)]
            self.assertEqual((caption, box, place), (VIDEO + unit, "Socket ＯＫ", unit))
        heard = {frame.split(" ")[0] for frame in self.frames()}
        self.assertEqual(heard, {entries[p] for p in positions}, "each unit chosen answered the command sent to it")
        self.stop_server()

    def test_link_dialogs_write_every_key_at_once(self):
        set_simulator_mode("normal")
        write_ini(com_port=0, rs_control=0)
        self.launch()
        self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)

        self.open_dialog(IDM_SERIAL, "シリアル通信の設定")
        driver("in", "シリアル通信の設定", "dialog-choose", IDC_COM_PORT, 2)
        self.assertEqual(ini_keys().get("com_port"), "2")
        driver("in", "シリアル通信の設定", "dialog-choose", IDC_COM_PORT, 0)
        driver("in", "シリアル通信の設定", "dialog-choose", IDC_RS_CONTROL, 1)
        self.assertEqual(ini_keys().get("rs_control"), "1")
        self.close_dialog("シリアル通信の設定", IDOK)
        set_simulator_mode("rs485")
        self.addCleanup(set_simulator_mode, "normal")
        already = len(simulator_frames())
        self.open_dialog(IDM_VIDEO_ADJUST, VIDEO)
        self.assertEqual(self.send_brightness(), ["Success\tSuccess"])
        self.assertEqual(simulator_frames()[already:], [r"00VAB01000\r\n"], "RS-485 without a restart")
        self.close_dialog(VIDEO, IDC_CLOSE)

        self.open_dialog(IDM_CLIENT_SERVER, "クライアント/サーバーの設定")
        driver("in", "クライアント/サーバーの設定", "dialog-choose", IDC_CLIENT_SERVER, 1)
        self.assertEqual(ini_keys().get("ClientServer"), "1")
        self.close_dialog("クライアント/サーバーの設定", IDOK)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 5000, "Kelvrix Server Program")[0], 0)
        self.open_dialog(IDM_CLIENT_SERVER, "クライアント/サーバーの設定")
        driver("in", "クライアント/サーバーの設定", "dialog-choose", IDC_CLIENT_SERVER, 0)
        self.close_dialog("クライアント/サーバーの設定", IDOK)

        self.open_dialog(IDM_INTERFACE, "インターフェイスの設定")
        driver("in", "インターフェイスの設定", "dialog-choose", IDC_INTERFACE, 1)
        self.assertEqual(ini_keys().get("Interface"), "1")
        self.close_dialog("インターフェイスの設定", IDOK)

        self.open_dialog(IDM_TCPIP, CLIENT)
        for address in ["192.168.1.3", "10.0.0.5", "172.16.0.9"]:
            driver("in", CLIENT, "dialog-address", IDC_HOST_ADDRESS, address)
            driver("in", CLIENT, "dialog-click", IDC_HOST_ADD)
        self.assertEqual(listed(CLIENT, IDC_HOST_LIST), ["192 .168 .001 .003", "010 .000 .000 .005", "172 .016 .000 .009"])
        # A press is posted: the panel may still be writing the keys when the list shows.
        keys_of = lambda *names: [ini_keys().get(k) for k in names]
        self.assertTrue(wait_until(lambda: keys_of("list_count", "ip00_0", "ip00_3", "ip02_0") == ["3", "192", "3", "172"], 3),
                        keys_of("list_count", "ip00_0", "ip00_3", "ip02_0"))
        driver("in", CLIENT, "dialog-pick", IDC_HOST_LIST, 0)
        driver("in", CLIENT, "dialog-click", IDC_HOST_DELETE)
        self.assertTrue(wait_until(lambda: keys_of("list_count", "ip00_0", "ip01_0") == ["2", "10", "172"], 3),
                        keys_of("list_count", "ip00_0", "ip01_0"))
        self.assertEqual(listed(CLIENT, IDC_HOST_LIST), ["010 .000 .000 .005", "172 .016 .000 .009"])
        driver("in", CLIENT, "dialog-pick", IDC_HOST_LIST, 1)
        self.assertTrue(wait_until(lambda: ini_keys().get("select_number") == "1", 3))
        driver("in", CLIENT, "dialog-type", IDC_PORT_NUMBER, "19107")
        self.close_dialog(CLIENT, IDOK)
        self.assertEqual(ini_keys().get("p_port_number"), "19107", "written as the dialog closes")


if __name__ == "__main__":
    unittest.main(verbosity=2)
