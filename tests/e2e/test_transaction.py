"""The update as a transaction, end to end: a payload that is not what the
build made is never installed; a failing file puts every file back; the
staging folder cannot be taken over; and an updater killed at any point of
its file work leaves an installation that the next run brings to the new
version, with every record written once and nothing left behind."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from common import BUILD, ENGLISH, MB_ICONHAND, MB_OK, UPDATER, UpdaterTestCase, installation, start_updater, WATCH
from interrupt import IN_CREATE, IN_MOVED_FROM, IN_MOVED_TO, FileEvents, kill_program

BAD_DIGEST = 0x80096010
SHARING_VIOLATION = 0x80070020
ALREADY_EXISTS = 0x800700B7
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
JOURNAL = installation.APPLICATION_DIR + r"\ZentrelUpdate.journal"
FOLDERS = [installation.APPLICATION_DIR, installation.LIBRARY_DIR] + \
    [f"{installation.HELP_DIR}\\{language}" for language in installation.HELP_LANGUAGES]
LEFTOVER = re.compile(r"\.(new|tmp)\.-?\d+--?\d+$")


def targets():
    """Windows path of every target -> the build's file that replaces it."""
    result = {f"{folder}\\{name}": installation.payload_program(BUILD, name)
              for folder, name, _ in installation.PROGRAM_FILES}
    result.update({f"{installation.HELP_DIR}\\{language}\\zentrel.chm":
                   os.path.join(BUILD, "payloads", "help", language, "zentrel.chm")
                   for language in installation.HELP_LANGUAGES})
    return result


def read(path):
    with open(path, "rb") as f:
        return f.read()


def failure_text(code):
    return ENGLISH[1213].replace("%08x", "%08x" % code)


class TransactionTestCase(UpdaterTestCase):

    def setUp(self):
        super().setUp()
        installation.seed(self.prefix, BUILD)
        self.before = installation.snapshot_files(self.prefix)
        self.temp = self.prefix.unix_path(self.prefix.user_temp_folder())

    def tearDown(self):
        self.prefix.run(["reg", "delete", SESSION_MANAGER, "/v", "PendingFileRenameOperations", "/f", "/reg:64"])
        super().tearDown()

    def unix(self, path):
        return self.prefix.unix_path(path)

    def assertAllCurrent(self):
        for path, source in targets().items():
            self.assertEqual(read(source), read(self.unix(path)), path)

    def assertNothingChanged(self):
        self.assertEqual(self.before, installation.snapshot_files(self.prefix))

    def assertNoLeftovers(self, allow_pending=()):
        left = [os.path.join(folder, name) for folder in FOLDERS for name in os.listdir(self.unix(folder))
                if LEFTOVER.search(name) and name not in allow_pending]
        self.assertEqual([], left, "new files or backups left beside the targets")
        self.assertFalse(os.path.exists(self.unix(JOURNAL)), "the journal is gone")
        self.assertEqual([], [name for name in os.listdir(self.temp) if name.startswith("ZentrelUpdate.exe.tmp")],
                         "staging folders left")

    def history_updates(self):
        text = read(self.unix(installation.APPLICATION_DIR + r"\version.txt")).decode("latin-1")
        return re.findall(r"Updated_(\d+)_Version=(.*)\r\n", text)


class Refusals(TransactionTestCase):

    def test_a_corrupted_payload_is_refused_before_any_file_is_touched(self):
        # One byte flipped inside the packed FrameCore.dll in a copy of the exe.
        exe = read(UPDATER)
        packed = read(os.path.join(BUILD, "payloads", "packed", "405.sz_"))
        at = exe.find(packed)
        self.assertGreater(at, 0, "the payload lies in the exe as packed")
        damaged = bytearray(exe)
        damaged[at + len(packed) // 2] ^= 0x01
        copy = os.path.join(tempfile.mkdtemp(dir=self.prefix.path), "ZentrelUpdate.exe")
        with open(copy, "wb") as f:
            f.write(damaged)
        result = self.run_updater(updater=copy)
        self.assertEqual(BAD_DIGEST, result.exit_code, result.hresult)
        self.assertOneBox(result, failure_text(BAD_DIGEST), MB_ICONHAND)
        self.assertNothingChanged()
        self.assertNoLeftovers()

    def test_a_failing_file_puts_every_file_back(self):
        # FrameCore.dll, fifth in order, can be neither overwritten nor moved.
        sleeper = os.path.join(BUILD, "tests", "harness", "sleeper.exe")
        self.start_program(self.prefix.windows_path(sleeper), "--open",
                           installation.APPLICATION_DIR + r"\FrameCore.dll", "r")
        result = self.run_updater()
        self.assertEqual(SHARING_VIOLATION, result.exit_code, result.hresult)
        self.assertOneBox(result, failure_text(SHARING_VIOLATION), MB_ICONHAND)
        self.assertNothingChanged()
        self.assertNoLeftovers()
        self.assertEqual([("1", "3.1.00.14000")], self.history_updates(), "no record written")

    def test_staging_names_taken_by_links_are_never_used(self):
        # Every name the updater could use is a link to a folder someone else controls.
        decoy = tempfile.mkdtemp(dir=self.prefix.path)
        names = ["ZentrelUpdate.exe.tmp"] + [f"ZentrelUpdate.exe.tmp.{n}" for n in range(1, 101)]
        for name in names:
            os.symlink(decoy, os.path.join(self.temp, name))
        try:
            result = self.run_updater()
        finally:
            for name in names:
                os.remove(os.path.join(self.temp, name))
        self.assertEqual(ALREADY_EXISTS, result.exit_code, result.hresult)
        self.assertOneBox(result, failure_text(ALREADY_EXISTS), MB_ICONHAND)
        self.assertEqual([], os.listdir(decoy), "nothing was written through a link")
        self.assertNothingChanged()
        self.assertNoLeftovers()

    def test_a_missing_temporary_folder_is_made(self):
        shutil.rmtree(self.temp)
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertAllCurrent()
        self.assertNoLeftovers()


class Interruptions(TransactionTestCase):
    """Each case kills the updater right after a chosen step, then runs it
    again: the second run must bring everything to the new version."""

    def kill_after(self, matches, folders=FOLDERS, hold=None):
        with FileEvents([self.unix(folder) for folder in folders]) as events:
            pending = start_updater(self.prefix, UPDATER, WATCH)
            try:
                events.wait_for(matches)
            finally:
                killed = kill_program(self.prefix.path, "ZentrelUpdate.exe")
            # The launcher sees its program end; what it reports of a killed one does not matter.
            pending.process.wait(timeout=120)
            pending.relay_file.close()
            self.assertTrue(killed, "the updater was running")

    def assertConverges(self, allow_pending=()):
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1210], MB_OK)
        self.assertAllCurrent()
        self.assertNoLeftovers(allow_pending)
        self.assertEqual([("1", "3.1.00.14000"), ("2", "3.2.00.07040")], self.history_updates(),
                         "the update is recorded once")
        values = self.prefix.reg_query(f"HKLM\\{installation.UNINSTALL_KEY}", 32)
        self.assertEqual("3.2.00.07040", values["DisplayVersion"][1])
        # Done: a further run finds nothing to finish and this version installed.
        again = self.run_updater()
        self.assertEqual(0x80070005, again.exit_code, again.hresult)
        self.assertAllCurrent()

    def test_killed_while_new_files_are_made(self):
        self.kill_after(lambda mask, folder, name: mask & IN_CREATE and ".new." in name and "FrameCore" in name)
        self.assertEqual(self.before, {path: data for path, data in installation.snapshot_files(self.prefix).items()
                                       if not LEFTOVER.search(path) and not path.endswith(".journal")},
                         "no target touched while new files are made")
        self.assertConverges()

    def test_killed_while_files_are_put_in_place(self):
        self.kill_after(lambda mask, folder, name: mask & IN_MOVED_TO and name == "Zentrel.exe")
        self.assertConverges()

    def test_killed_after_a_help_file_was_moved_aside(self):
        self.kill_after(lambda mask, folder, name: mask & IN_MOVED_FROM and name == "zentrel.chm"
                        and folder.endswith("DEU"))
        self.assertConverges()

    def test_killed_between_two_records(self):
        # The history is rewritten by renaming its new content into place.
        self.kill_after(lambda mask, folder, name: mask & IN_MOVED_TO and name == "version.txt",
                        folders=[installation.APPLICATION_DIR])
        self.assertConverges()

    def test_killed_after_a_library_in_use_was_moved_aside_and_windows_restarted(self):
        target = installation.LIBRARY_DIR + r"\vxplay.dll"
        sleeper = os.path.join(BUILD, "tests", "harness", "sleeper.exe")
        holder = self.start_program(self.prefix.windows_path(sleeper), "--load", target)
        self.kill_after(lambda mask, folder, name: mask & IN_MOVED_FROM and name == "vxplay.dll")
        folder = self.unix(installation.LIBRARY_DIR)
        backups = lambda: [name for name in os.listdir(folder) if name.startswith("vxplay.dll.tmp.")]  # noqa: E731
        # The library is still loaded: its backup waits for the restart.
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertAllCurrent()
        pending = backups()
        self.assertEqual(1, len(pending), os.listdir(folder))
        holder.kill()
        holder.wait()
        # A restart carries out the pending deletions.
        self.prefix.run(["wineboot", "-r"], timeout=180)
        self.assertEqual([], backups())
        self.assertAllCurrent()
        self.assertNoLeftovers()


if __name__ == "__main__":
    unittest.main(verbosity=2)
