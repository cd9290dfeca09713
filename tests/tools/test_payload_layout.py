"""What the build accepts as the maker's files: the folder's layout, and each
file's kind, on real files of the build and on damaged copies of them."""
import os
import shutil
import struct
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from exe_sizes import PeFile  # noqa: E402
from payload_layout import LAYOUT, MACHINE_NAMES, content_fault, layout_faults  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
PROGRAMS = os.path.join(BUILD, "payloads", "programs")
HELP = os.path.join(BUILD, "payloads", "help")
UPDATER = os.environ.get("ZENTREL_UPDATER", os.path.join(BUILD, "ZentrelUpdate.exe"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def with_machine(data, machine):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return data[:pe + 4] + struct.pack("<H", machine) + data[pe + 6:]


class Layout(unittest.TestCase):

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="layout-")
        for path in LAYOUT.values():
            target = os.path.join(self.folder, *path.split("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            open(target, "wb").close()

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_exactly_the_21_files_pass(self):
        self.assertEqual([], layout_faults(self.folder))

    def test_each_missing_and_extra_file_is_named(self):
        os.remove(os.path.join(self.folder, "App", "Zentrel.exe"))
        shutil.rmtree(os.path.join(self.folder, "Help", "PTB"))
        os.makedirs(os.path.join(self.folder, "Help", "PTG"))
        open(os.path.join(self.folder, "Help", "PTG", "zentrel.chm"), "wb").close()
        open(os.path.join(self.folder, "zentrel.chm"), "wb").close()
        self.assertEqual(["missing file App/Zentrel.exe", "missing file Help/PTB/zentrel.chm",
                          "extra file Help/PTG/zentrel.chm: not one of the update's 21 files",
                          "extra file zentrel.chm: not one of the update's 21 files"], layout_faults(self.folder))

    def test_a_missing_folder_is_named(self):
        self.assertEqual([f"{self.folder}/none is not a folder"], layout_faults(self.folder + "/none"))


class Kinds(unittest.TestCase):

    def test_each_payload_kind(self):
        library = read(os.path.join(PROGRAMS, "vxplay.dll"))
        program = read(os.path.join(PROGRAMS, "Zentrel.exe"))
        help_file = read(os.path.join(HELP, "ENU", "zentrel.chm"))
        # The payloads are for the machine the updater is built for.
        machine = PeFile(read(UPDATER)).machine
        cases = [
            (408, library, None),
            (403, program, None),
            (409, help_file, None),
            (408, program, "a program where a library belongs"),
            (403, library, "a library where a program belongs"),
            (408, with_machine(library, 0x01C4),
             f"a PE file for machine 0x01c4, not for {MACHINE_NAMES[machine]} (0x{machine:04x})"),
            (408, library[:0x30], "not a PE file (no MZ header)"),
            (408, library[:0x80], "not a PE file (no PE header)"),
            (408, help_file, "not a PE file (no MZ header)"),
            (409, program, "not a compiled HTML help file (no ITSF header)"),
            (422, program, "not one of the payload ids 401 to 421"),
        ]
        for pid, data, fault in cases:
            with self.subTest(pid=pid, fault=fault):
                self.assertEqual(fault, content_fault(pid, data, machine))


if __name__ == "__main__":
    unittest.main(verbosity=2)
