"""Shared pieces of the end-to-end tests: where the build put things, the
seeded installation, and the texts the updater should show."""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

from runner import run_updater, start_updater  # noqa: E402,F401
import installation  # noqa: E402,F401
import product_registry  # noqa: E402
from product_registry import APP_KEY, HKLM, UNINSTALL_KEY, UPDATE_TOOL_KEY  # noqa: E402,F401
from wine import WINE, Prefix  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
UPDATER = os.environ.get("ZENTREL_UPDATER", os.path.join(BUILD, "ZentrelUpdate.exe"))
WATCH = os.environ.get("ZENTREL_WATCH", os.path.join(BUILD, "tests", "harness", "watch.exe"))
PLANTED_DLL = os.environ.get("ZENTREL_PLANTED_DLL", os.path.join(BUILD, "tests", "harness", "planted_dll.dll"))
REGDUMP = os.path.join(BUILD, "tests", "harness", "regdump.exe")
FAKE_RSTRTMGR = os.path.join(BUILD, "tests", "harness", "Rstrtmgr.dll")

MUTEX = r"Global\HalvernKelvoZentrelINSUpdater-MutexAll"

MB_OK = 0x0
MB_ICONHAND = 0x10
MB_ICONEXCLAMATION = 0x30

S_OK = 0
E_ACCESSDENIED = 0x80070005
ALREADY_RUNNING = 0x80070480


def load_texts(tag):
    """The string table of one language, as the resource script holds it."""
    texts = {}
    path = os.path.join(ROOT, "resources", "strings", tag + ".rc")
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r'\s*(\d+),\s*"(.*)"\s*$', line)
            if m:
                texts[int(m.group(1))] = m.group(2).replace("\\r", "\r").replace("\\n", "\n")
    return texts


ENGLISH = load_texts("en-US")


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
        product_registry.clear(self.prefix)

    def seed_version(self, version, view=32):
        product_registry.seed_version(self.prefix, version, view)

    def seed_silent(self, value=1, view=32):
        product_registry.seed_silent(self.prefix, value, view)

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
