"""Shared pieces of the end-to-end tests: where the build put things, the
seeded installation, and the texts the updater should show."""
import os
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))

from runner import run_updater, start_updater  # noqa: E402,F401
import installation  # noqa: E402,F401
from wine import WINE, Prefix, reg_dword, reg_string  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
UPDATER = os.environ.get("ZENTREL_UPDATER", os.path.join(BUILD, "ZentrelUpdate.exe"))
WATCH = os.environ.get("ZENTREL_WATCH", os.path.join(BUILD, "tests", "harness", "watch.exe"))
PLANTED_DLL = os.environ.get("ZENTREL_PLANTED_DLL", os.path.join(BUILD, "tests", "harness", "planted_dll.dll"))
REGDUMP = os.path.join(BUILD, "tests", "harness", "regdump.exe")
FAKE_RSTRTMGR = os.path.join(BUILD, "tests", "harness", "Rstrtmgr.dll")

HKLM = "HKEY_LOCAL_MACHINE"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\InstallShield_{3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}"
APP_KEY = r"Software\Halvern Corporation\Zentrel\1.0\App"
UPDATE_TOOL_KEY = r"SOFTWARE\Halvern Corporation\Mirelo Update"
MUTEX = r"Global\HalvernKelvoZentrelINSUpdater-MutexAll"

MB_OK = 0x0
MB_ICONHAND = 0x10
MB_ICONEXCLAMATION = 0x30

S_OK = 0
E_ACCESSDENIED = 0x80070005
ALREADY_RUNNING = 0x80070480


# What the user should read, written out here rather than read from the
# resource scripts, so that a wrong or untranslated text fails a test. One
# table per language the cases run in; the caption is 200.
TEXTS = {
    "en-US": {
        200: "Zentrel Update Program",
        1201: "Another instance of this update program is already running.",
        1202: "There is no target model for this program.",
        1203: "There is no need to update the program.",
        1210: "Update completed successfully.",
        1213: "Package Update Failed.\r\n(code = 0x%08x)",
        1215: "Cannot install because related programs are running.\nExit all programs, and try again.",
        1217: "No software version applicable to this update is installed. The update will be cancelled.",
        1218: "The version of Zentrel already installed on the computer is the same version.\nThe program will quit.",
    },
    "de-DE": {
        200: "Zentrel-Updateprogramm",
        1210: "Das Update wurde erfolgreich abgeschlossen.",
        1217: "Es ist keine Softwareversion installiert, für die dieses Update gilt. Das Update wird abgebrochen.",
    },
    "ja-JP": {
        200: "Zentrel アップデート プログラム",
        1210: "アップデートが正常に完了しました。",
        1217: "このアップデートを適用できるバージョンのソフトウェアがインストールされていません。アップデートを中止します。",
    },
}

ENGLISH = TEXTS["en-US"]


class UpdaterTestCase(unittest.TestCase):
    """One fresh prefix per test class; each test seeds what it needs."""

    prefix = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix(BUILD)

    @classmethod
    def tearDownClass(cls):
        if cls.prefix:
            cls.prefix.close()

    def setUp(self):
        self.clear_registry()
        self.clear_files()

    def clear_files(self):
        shutil.rmtree(self.prefix.unix_path(r"C:\Program Files (x86)\Halvern"), ignore_errors=True)

    def clear_registry(self):
        for view in (32, 64):
            self.prefix.reg_import(view, "\n".join(f"[-{HKLM}\\{key}]" for key in (
                UNINSTALL_KEY, r"Software\Halvern Corporation", r"SOFTWARE\Halvern Corporation\Mirelo Update")) + "\n")

    def seed_version(self, version, view=32):
        self.prefix.reg_import(view, f"[{HKLM}\\{UNINSTALL_KEY}]\n\"DisplayVersion\"={reg_string(version)}\n")

    def seed_silent(self, value=1, view=32):
        self.prefix.reg_import(view, f"[{HKLM}\\{UPDATE_TOOL_KEY}]\n\"LaunchInstaller\"={reg_dword(value)}\n")

    def start_program(self, windows_path, *args, settle=1.5):
        """Starts a program in the prefix for the length of the test; it is
        killed when the test ends."""
        process = subprocess.Popen([WINE, windows_path] + list(args), env=self.prefix.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def stop():
            process.kill()
            process.wait()

        self.addCleanup(stop)
        time.sleep(settle)
        self.assertIsNone(process.poll(), f"{windows_path} ended at once")
        return process

    def run_updater(self, **kwargs):
        return run_updater(self.prefix, kwargs.pop("updater", UPDATER), WATCH, **kwargs)

    def assertOneBox(self, result, text, style, caption=None):
        self.assertEqual(1, len(result.boxes), result.boxes)
        box = result.boxes[0]
        self.assertEqual(caption if caption is not None else ENGLISH[200], box.caption)
        self.assertEqual(text, box.text)
        self.assertEqual(style, box.style, "style 0x%x" % box.style)
