"""The update itself, end to end: the files a user's installation ends up
with, the times they carry, files in use, protected attributes, and failures
that stop the walk without losing anything."""
import calendar
import os
import time
import unittest

from common import BUILD, ENGLISH, MB_ICONEXCLAMATION, MB_ICONHAND, MB_OK, UpdaterTestCase, installation

SLEEPER = os.path.join(BUILD, "tests", "harness", "sleeper.exe")
STAMP = calendar.timegm((2013, 6, 28, 2, 0, 0))
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
SHARING_VIOLATION = 0x80070020

LANGUAGE_FOLDERS = installation.HELP_LANGUAGES


def expected_targets():
    """Windows path of every target -> the build's file that replaces it, in catalogue order."""
    targets = [(f"{folder}\\{name}", installation.payload_program(BUILD, name))
               for folder, name, _ in installation.PROGRAM_FILES]
    targets += [(f"{installation.HELP_DIR}\\{language}\\zentrel.chm",
                 os.path.join(BUILD, "payloads", "help", language, "zentrel.chm")) for language in LANGUAGE_FOLDERS]
    return targets


def read(path):
    with open(path, "rb") as f:
        return f.read()


class EngineTestCase(UpdaterTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The updater stages under the user's temporary folder, named after the Linux user.
        cls.temp = cls.prefix.user_temp_folder()
        cls.staging = cls.temp + r"\ZentrelUpdate.exe.tmp"

    def setUp(self):
        super().setUp()
        installation.seed(self.prefix, BUILD)
        self.before = {path: read(self.prefix.unix_path(path)) for path, _ in expected_targets()}

    def tearDown(self):
        self.prefix.run(["reg", "delete", SESSION_MANAGER, "/v", "PendingFileRenameOperations", "/f", "/reg:64"])
        super().tearDown()

    def hold(self, *args):
        """Starts the holder helper (--load DLL, or --open FILE r|rd) in the prefix."""
        return self.start_program(self.prefix.windows_path(SLEEPER), *args)

    def assertReplaced(self, path, source):
        self.assertEqual(read(source), read(self.prefix.unix_path(path)), path)
        self.assertEqual(STAMP, int(os.stat(self.prefix.unix_path(path)).st_mtime), path)

    def assertUntouched(self, path):
        self.assertEqual(self.before[path], read(self.prefix.unix_path(path)), path)

    def attributes(self, path):
        code, text = self.prefix.run(["cmd", "/c", "attrib", path])
        return text.split("C:\\")[0].replace(" ", "")


class TypicalRun(EngineTestCase):

    def test_every_target_is_replaced_and_stamped(self):
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1210], MB_OK)
        self.assertEqual([(ENGLISH[200], "#32770")], result.windows, "the progress window")
        for path, source in expected_targets():
            self.assertReplaced(path, source)
        self.assertFalse(os.path.exists(self.prefix.unix_path(self.staging)), "the staging folder is removed")
        leftovers = [name for name in os.listdir(self.prefix.unix_path(self.temp))
                     if name.startswith("ZentrelUpdate.exe.tmp")]
        self.assertEqual([], leftovers)
        self.assertFalse(os.path.exists(self.prefix.unix_path(installation.APPLICATION_DIR + r"\ZentrelUpdate.journal")),
                         "the journal goes once the records are written")

        # The installation now is the new version: a second run leaves it alone.
        result = self.run_updater()
        self.assertEqual(0x80070005, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1218], MB_ICONEXCLAMATION)
        for path, source in expected_targets():
            self.assertReplaced(path, source)

    def test_protected_attributes_come_back(self):
        target = installation.LIBRARY_DIR + r"\vxdecode.dll"
        unix = self.prefix.unix_path(target)
        os.setxattr(unix, "user.DOSATTRIB", b"0x2")  # hidden
        os.chmod(unix, 0o444)                         # read-only
        self.assertIn("H", self.attributes(target))
        self.assertIn("R", self.attributes(target))
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertReplaced(target, installation.payload_program(BUILD, "vxdecode.dll"))
        self.assertIn("H", self.attributes(target))
        self.assertIn("R", self.attributes(target))
        # The staged copy took those attributes too, and is still cleaned up.
        self.assertFalse(os.path.exists(self.prefix.unix_path(self.staging)))


class FilesInUse(EngineTestCase):

    def test_a_loaded_library_is_moved_aside_and_deleted_at_restart(self):
        target = installation.LIBRARY_DIR + r"\vxplay.dll"
        self.hold("--load", target)
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertReplaced(target, installation.payload_program(BUILD, "vxplay.dll"))
        folder = self.prefix.unix_path(installation.LIBRARY_DIR)
        asides = [name for name in os.listdir(folder) if name.startswith("vxplay.dll.tmp.")]
        self.assertEqual(1, len(asides), os.listdir(folder))
        self.assertEqual(self.before[target], read(os.path.join(folder, asides[0])), "the old file, moved aside")
        code, text = self.prefix.run(["reg", "query", SESSION_MANAGER, "/v", "PendingFileRenameOperations",
                                      "/reg:64"])
        self.assertEqual(0, code)
        self.assertIn("\\??\\" + installation.LIBRARY_DIR + "\\" + asides[0], text)

    def test_a_file_that_can_be_neither_overwritten_nor_moved_puts_every_file_back(self):
        stuck = installation.APPLICATION_DIR + r"\FrameCore.dll"
        self.hold("--open", stuck, "r")
        result = self.run_updater()
        self.assertEqual(SHARING_VIOLATION, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1213].replace("%08x", "%08x" % SHARING_VIOLATION), MB_ICONHAND)
        # The files before it had been replaced: they are put back.
        for path, _ in expected_targets():
            self.assertUntouched(path)
        self.assertFalse(os.path.exists(self.prefix.unix_path(self.staging)))

    def test_a_help_file_in_use_that_may_be_moved_is_replaced(self):
        target = installation.HELP_DIR + r"\DEU\zentrel.chm"
        holder = self.hold("--open", target, "rd")
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertReplaced(target, os.path.join(BUILD, "payloads", "help", "DEU", "zentrel.chm"))
        # The old file was deleted while open: it goes when its last user lets go.
        holder.kill()
        holder.wait()
        time.sleep(0.5)
        self.assertEqual(["zentrel.chm"], os.listdir(self.prefix.unix_path(installation.HELP_DIR + r"\DEU")))

    def test_a_help_file_that_cannot_take_its_name_is_kept(self):
        # A folder whose name differs only in case (possible on the Unix side
        # of Wine) takes the name as soon as the old file is moved aside, so
        # the new file cannot be renamed into place, and the old one cannot
        # be moved back: it must then stay beside it under its backup name,
        # not be lost, and the journal stays for a later run.
        folder = self.prefix.unix_path(installation.HELP_DIR + r"\FRA")
        target = installation.HELP_DIR + r"\FRA\zentrel.chm"
        os.mkdir(os.path.join(folder, "ZENTREL.CHM"))
        result = self.run_updater()
        self.assertEqual(0x800700B7, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1213].replace("%08x", "800700b7"), MB_ICONHAND)
        kept = [name for name in os.listdir(folder) if name != "ZENTREL.CHM"]
        self.assertEqual(1, len(kept), os.listdir(folder))
        self.assertEqual(self.before[target], read(os.path.join(folder, kept[0])))
        # Every other file is as it was.
        for path, _ in expected_targets():
            if path != target:
                self.assertUntouched(path)
        self.assertTrue(os.path.exists(self.prefix.unix_path(installation.APPLICATION_DIR + r"\ZentrelUpdate.journal")))

if __name__ == "__main__":
    unittest.main(verbosity=2)
