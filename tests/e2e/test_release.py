#!/usr/bin/env python3
"""The Windows installer under Wine, as a deployment tool runs it (/S).

It upgrades an older version; it installs the program where it belongs, with
its Start menu entries and its uninstall keys; the installed program starts
and says its version; a second install goes over the first; the uninstaller
takes away what was installed and leaves the operator's files.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from test_panel import INI, MAIN_CLASS, PREFIX, PanelCase, driver, read_bytes, write_ini

INSTALLER = os.environ["KELVRIX_INSTALLER"]
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VERSION = os.environ["KELVRIX_VERSION"]
BUILT_EXE = os.environ["KELVRIX_EXE"]
INSTALL_DIR = os.path.join(PREFIX, "drive_c", "Program Files", "Kelvrix")
START_MENU = os.path.join(PREFIX, "drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Kelvrix")
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvrix"
EVENT_SOURCE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Kelvrix"
ENV = dict(os.environ, WINEDEBUG="-all")
IDM_ABOUT = 120
IDC_ABOUT_VERSION = 1200
IDOK = 1
ABOUT = "バージョン情報"
FINISH_RUN = 1203  # the finish page's "run" check box


# The silent uninstall that waits, as the operator's guide gives it.
UNINSTALL_BATCH = """@echo off
"C:\\Program Files\\Kelvrix\\uninstall.exe" /S _?=C:\\Program Files\\Kelvrix
set result=%errorlevel%
del "C:\\Program Files\\Kelvrix\\uninstall.exe"
rmdir "C:\\Program Files\\Kelvrix" 2>nul
exit /b %result%
"""


def wine(*args, timeout=120):
    """Runs a Windows program to its end; its exit code."""
    with tempfile.TemporaryFile() as out:
        return subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=out, env=ENV,
                              timeout=timeout).returncode


def registry(key):
    """The values under `key` as {name: text}, or None when there is no such key."""
    with tempfile.TemporaryFile() as out:
        rc = subprocess.run(["wine", "reg", "query", key], stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.DEVNULL, env=ENV, timeout=60).returncode
        out.seek(0)
        text = out.read().decode("cp932")  # reg prints in the ANSI code page
    if rc != 0:
        return None
    values = {}
    for line in text.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
    return values


def wait_until(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


class InstallerCase(PanelCase):
    """Uninstalls whatever the test installed."""

    def setUp(self):
        super().setUp()
        self.addCleanup(self.uninstall)

    def uninstall(self):
        """Runs the installed uninstaller silently; it finishes from a copy of itself, so wait."""
        uninstaller = os.path.join(INSTALL_DIR, "uninstall.exe")
        if os.path.exists(uninstaller):
            wine(r"C:\Program Files\Kelvrix\uninstall.exe", "/S")
            wait_until(lambda: not os.path.exists(uninstaller), 20)



class InstallerTest(InstallerCase):
    def older_installer(self):
        """The same installer as an older version would have made it."""
        folder = tempfile.mkdtemp(prefix="kelvrix-release-")
        self.addCleanup(shutil.rmtree, folder, True)
        older = os.path.join(folder, "KelvrixSetup-0.9.0.exe")
        build = os.path.dirname(INSTALLER)
        subprocess.run(["makensis", "-V1", "-DVERSION=0.9.0", f"-DEXE={BUILT_EXE}",
                        f"-DCLI={os.path.join(os.path.dirname(BUILT_EXE), 'kelvrix-cli.exe')}",
                        f"-DGUIDE={os.path.join(build, 'operator-guide.ja.html')}",
                        f"-DNOTICES={os.path.join(SOURCE, 'resources', 'THIRD-PARTY-NOTICES.txt')}",
                        f"-DSCREENSHOTS={os.path.join(SOURCE, 'docs', 'screenshots')}",
                        f"-DICON={os.path.join(SOURCE, 'resources', 'kelvrix.ico')}", f"-DOUTFILE={older}",
                        os.path.join(SOURCE, "resources", "installer.nsi")], check=True, stdin=subprocess.DEVNULL)
        return older

    def test_install_start_install_again_and_uninstall(self):
        write_ini(com_port=0)
        self.assertEqual(wine(self.older_installer(), "/S"), 0)
        self.assertEqual(registry(UNINSTALL_KEY)["DisplayVersion"], "0.9.0")
        self.assertEqual(wine(INSTALLER, "/S"), 0, "an upgrade over the older version")
        self.assertEqual(read_bytes(os.path.join(INSTALL_DIR, "kelvrix.exe")), read_bytes(BUILT_EXE))
        for name in ("kelvrix-cli.exe", "operator-guide.ja.html", "THIRD-PARTY-NOTICES.txt", "uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(INSTALL_DIR, name)), name)
        guide = read_bytes(os.path.join(INSTALL_DIR, "operator-guide.ja.html")).decode("utf-8")
        self.assertTrue(f"プログラム{VERSION}" in guide and "@VERSION@" not in guide,
                        "the guide names the version it was built with")
        self.assertTrue(glob.glob(os.path.join(INSTALL_DIR, "screenshots", "*.png")), "the guide's pictures")
        self.assertEqual(sorted(os.listdir(START_MENU)), ["Kelvrix コントロールパネル.lnk", "操作ガイド.lnk"])
        keys = registry(UNINSTALL_KEY)
        self.assertEqual({name: keys.get(name) for name in
                          ("DisplayName", "DisplayVersion", "Publisher", "InstallLocation", "UninstallString")},
                         {"DisplayName": "Kelvrix コントロールパネル", "DisplayVersion": VERSION, "Publisher": "Kelvrix",
                          "InstallLocation": r"C:\Program Files\Kelvrix",
                          "UninstallString": r'"C:\Program Files\Kelvrix\uninstall.exe"'})
        self.assertGreater(int(keys["EstimatedSize"], 16), 100, "kilobytes, as Apps & features shows them")
        self.assertEqual(registry(EVENT_SOURCE_KEY)["EventMessageFile"], r"C:\Program Files\Kelvrix\kelvrix-cli.exe",
                         "watch --eventlog's source, its words in kelvrix-cli.exe")

        # The installed program starts, shows its version, and keeps the installer away while it runs.
        panel = subprocess.Popen(["wine", r"C:\Program Files\Kelvrix\kelvrix.exe"], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV)
        self.panels.append(panel)
        self.assertEqual(driver("wait-window", MAIN_CLASS, 15000)[0], 0)
        self.assertEqual(driver("command", MAIN_CLASS, IDM_ABOUT)[0], 0)
        self.assertEqual(driver("wait-window", "#32770", 10000, ABOUT)[0], 0)
        self.assertEqual(driver("in", ABOUT, "dialog-item", IDC_ABOUT_VERSION)[1], [f"1\tVersion {VERSION}\t0"])
        self.assertEqual(driver("in", ABOUT, "dialog-click", IDOK)[0], 0)
        self.assertEqual(wine(INSTALLER, "/S"), 2, "refused while the program runs: aborted")
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(panel.wait(timeout=10), 0)

        self.assertEqual(wine(INSTALLER, "/S"), 0, "a second install over the first")
        self.assertEqual(registry(UNINSTALL_KEY)["DisplayVersion"], VERSION)

        kept = os.path.join(INSTALL_DIR, "site.dat")  # a settings file the operator saved there
        with open(kept, "wb") as f:
            f.write(b"0\r\n")
        # The guide's batch for deployment tools: run in place, the uninstaller
        # returns once it is done, and the batch then removes it and the folder.
        batch = os.path.join(PREFIX, "drive_c", "kelvrix-uninstall.bat")
        with open(batch, "w", encoding="ascii", newline="\r\n") as f:
            f.write(UNINSTALL_BATCH)
        self.addCleanup(os.remove, batch)
        self.assertEqual(wine("cmd", "/c", r"C:\kelvrix-uninstall.bat"), 0)
        self.assertEqual(os.listdir(INSTALL_DIR), ["site.dat"], "only the operator's file is left")
        self.assertFalse(os.path.exists(START_MENU))
        self.assertIsNone(registry(UNINSTALL_KEY))
        self.assertIsNone(registry(EVENT_SOURCE_KEY))
        self.assertTrue(os.path.isfile(INI), "kelvrix.ini stays")
        os.remove(kept)
        os.rmdir(INSTALL_DIR)


class FinishPageTest(InstallerCase):
    """The installer as an operator clicks through it, with its finish page's run box ticked.

    The program is to start with the desktop shell's token, not the installer's
    elevated one. Wine elevates the installer but has no shell window to take
    a token from, so here the program starts through the fallback, Explorer,
    which under Wine keeps the installer's rights: this checks that the box
    starts the program, not with which rights.
    """

    def test_the_finish_pages_run_box_starts_the_program(self):
        write_ini(com_port=0)
        installer = subprocess.Popen(["wine", INSTALLER], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, env=ENV)
        self.panels.append(installer)

        def on_page(*action):  # the caption changes from page to page
            rc, caption = driver("wait-window", "#32770", 20000)
            self.assertEqual(rc, 0)
            self.assertEqual(driver("in", caption[0], *action)[0], 0, action)

        for _ in ("welcome", "directory"):  # 次へ, then インストール
            time.sleep(1)
            on_page("dialog-click", IDOK)
        self.assertTrue(wait_until(lambda: os.path.isfile(os.path.join(INSTALL_DIR, "uninstall.exe")), 30))
        time.sleep(2)  # the finish page follows by itself
        on_page("dialog-check", FINISH_RUN)
        on_page("dialog-click", IDOK)  # 完了
        self.assertEqual(driver("wait-window", MAIN_CLASS, 20000)[0], 0)
        self.assertEqual(driver("close", MAIN_CLASS)[0], 0)
        self.assertEqual(installer.wait(timeout=10), 0)


class GuideTest(unittest.TestCase):
    """The guide as the installer ships it, against the program it describes."""

    def test_the_guide_has_its_sections_pictures_links_and_only_the_programs_messages(self):
        guide = os.path.join(os.path.dirname(INSTALLER), "operator-guide.ja.html")
        result = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts", "check_guide.py"), guide,
                                 os.path.join(SOURCE, "docs", "operator-guide.ja.md"), SOURCE],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout), (0, ""))


class ReleaseFolderTest(unittest.TestCase):
    """What scripts/release.sh hands over: each file, and checksums that hold."""

    def test_release_holds_the_installer_archive_notes_notices_and_checksums(self):
        subprocess.run(["bash", os.path.join(SOURCE, "scripts", "release.sh")], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, timeout=600)
        out = os.path.join(SOURCE, "build", "release")
        files = {f"KelvrixSetup-{VERSION}.exe", f"kelvrix-{VERSION}-win64.zip", "operator-guide.ja.html",
                 "CHANGELOG.md", "THIRD-PARTY-NOTICES.txt", "SHA256SUMS"}
        self.assertTrue(files <= set(os.listdir(out)), sorted(os.listdir(out)))
        with open(os.path.join(out, "CHANGELOG.md"), encoding="utf-8") as f:
            self.assertIn(f"## {VERSION}\n", f.read(), "the notes say what this version changed")
        sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=out, capture_output=True, text=True)
        self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)
        with open(os.path.join(out, "SHA256SUMS"), encoding="utf-8") as f:
            listed = {line.rstrip("\n").split("  ", 1)[1] for line in f}
        self.assertTrue(files - {"SHA256SUMS"} <= listed)
        with zipfile.ZipFile(os.path.join(out, f"kelvrix-{VERSION}-win64.zip")) as archive:
            names = set(archive.namelist())
        folder = f"kelvrix-{VERSION}/"
        for name in ("kelvrix.exe", "kelvrix-cli.exe", "operator-guide.ja.html", "CHANGELOG.md",
                     "THIRD-PARTY-NOTICES.txt"):
            self.assertIn(folder + name, names)


if __name__ == "__main__":
    unittest.main(verbosity=2)
