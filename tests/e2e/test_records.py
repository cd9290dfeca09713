"""What a successful update leaves behind besides the files, and what a
failed one does not: the patch entry, the update history, the product's
version, copyright year and install date, the help marker, and the Restart
Manager session around the file work."""
import datetime
import os
import shutil
import unittest

from common import (BUILD, E_ACCESSDENIED, ENGLISH, FAKE_RSTRTMGR, MB_ICONEXCLAMATION, MB_ICONHAND, MB_OK, REGDUMP,
                    S_OK, UpdaterTestCase, installation)

SLEEPER = os.path.join(BUILD, "tests", "harness", "sleeper.exe")
PATCH_KEY = installation.APPDB_PRODUCT_KEY + r"\PatchList\RX4819305562"
PRODUCT_CODE = "{3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}"


def sz(text):
    """A REG_SZ as stored: UTF-16 with its terminating null."""
    return (1, (text + "\0").encode("utf-16-le"))


class RecordsTestCase(UpdaterTestCase):

    def values(self, key, view=32):
        return self.prefix.reg_values(key, view, REGDUMP)

    def history(self):
        with open(self.prefix.unix_path(installation.APPLICATION_DIR + r"\version.txt"), "rb") as f:
            return f.read()

    def marker_exists(self):
        return os.path.exists(self.prefix.unix_path(installation.HELP_DIR + r"\VersionZentrelHelp.txt"))


class TypicalRun(RecordsTestCase):

    def test_the_records_of_a_successful_update(self):
        installation.seed(self.prefix, BUILD)
        before_64 = {key: self.values(key, 64) for key in (installation.PRODUCT_KEY, installation.UNINSTALL_KEY)}
        started = datetime.datetime.now()
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1210], MB_OK)

        # The patch entry, in the 32-bit view only.
        self.assertEqual({"patchid": sz("RX4819305562"), "patchname": sz("Zentrel"), "version": sz("3.2.00.07040")},
                         self.values(PATCH_KEY))
        self.assertIsNone(self.values(PATCH_KEY, 64))

        # The product's values, in the 32-bit view; the 64-bit view untouched.
        product = self.values(installation.PRODUCT_KEY)
        self.assertEqual(sz("3.2.00.07040"), product["Version"])
        self.assertEqual(sz("2013"), product["CopyrightYear"])
        uninstall = self.values(installation.UNINSTALL_KEY)
        self.assertEqual(sz("3.2.00.07040"), uninstall["DisplayVersion"])
        dates = {f"{day:%Y%m%d}\n" for day in (started, datetime.datetime.now())}
        self.assertIn(uninstall["InstallDate"][1].decode("utf-16-le"), {d + "\0" for d in dates})
        self.assertEqual(20, len(uninstall["InstallDate"][1]), "eight digits, a line feed and the null")
        for key, before in before_64.items():
            self.assertEqual(before, self.values(key, 64))

        # The history: the new version first, the old lines, the counter raised, update 2.
        lines = self.history().split(b"\r\n")
        self.assertEqual(b"", lines[-1], "CR LF ends every line")
        self.assertNotIn(b"\n", b"".join(lines))
        self.assertEqual([b"3.2.00.07040", b"3.1.00.14000", b"3.0.00.12000", b"UpdateCount=2",
                          b"Updated_1_Date=2012/11/5 14:22:10", b"Updated_1_ProductName=Zentrel",
                          b"Updated_1_Version=3.1.00.14000", b"Updated_1_ProductGUID=" + PRODUCT_CODE.encode()],
                         lines[:8])
        self.assertRegex(lines[8].decode(), r"^Updated_2_Date=\d{4}/\d{1,2}/\d{1,2} \d\d:\d\d:\d\d$")
        self.assertEqual([b"Updated_2_ProductName=Zentrel", b"Updated_2_Version=3.2.00.07040",
                          b"Updated_2_ProductGUID=" + PRODUCT_CODE.encode(), b""], lines[9:])

        # 3.1.00.14000 lies above 3.1.0.0: the help marker stays.
        self.assertTrue(self.marker_exists())

        # The real Restart Manager of the system was asked to close and reopen.
        self.assertEqual(["RmStartSession", "RmRegisterResources", "RmShutdown"],
                         result.restart_manager_calls[:3])

        # The product now reads as updated.
        result = self.run_updater()
        self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1218], MB_ICONEXCLAMATION)

    def test_the_help_marker_goes_for_three_zero_to_three_one(self):
        for version, deleted in (("3.0.0.0", True), ("3.1.0.0", True), ("3.1.0.1", False)):
            with self.subTest(version=version):
                self.clear_registry()
                self.clear_files()
                installation.seed(self.prefix, BUILD, version=version)
                result = self.run_updater()
                self.assertEqual(S_OK, result.exit_code, result.hresult)
                self.assertEqual(not deleted, self.marker_exists())

    def test_without_the_application_database_entry_the_rest_is_still_written(self):
        installation.seed(self.prefix, BUILD, appdb=False)
        shared_before = self.values(r"Software\Halvern Corporation\Shared Info")
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        self.assertIsNone(shared_before)
        self.assertIsNone(self.values(r"Software\Halvern Corporation\Shared Info"), "nothing created there")
        self.assertIsNone(self.values(installation.APPDB_PRODUCT_KEY))
        self.assertEqual(sz("3.2.00.07040"), self.values(installation.PRODUCT_KEY)["Version"])
        self.assertEqual(sz("3.2.00.07040"), self.values(installation.UNINSTALL_KEY)["DisplayVersion"])
        self.assertTrue(self.history().startswith(b"3.2.00.07040\r\n"))


class HistoryFiles(RecordsTestCase):
    """The history file as the updater leaves it, for the shapes old files come in."""

    def update(self, history):
        self.clear_registry()
        self.clear_files()
        installation.seed(self.prefix, BUILD, history=history)
        self.seed_silent(1)
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        if history is None:
            return self.history()
        content = self.history()
        group_at = content.rfind(b"Updated_", 0, content.rfind(b"_Date="))
        return content[:content.index(b"_Date=", group_at)]

    def test_old_histories_of_every_shape(self):
        cases = [
            ("counter present", b"3.1.00.14000\r\nUpdateCount=2\r\nUpdated_2_Version=x\r\n",
             b"3.2.00.07040\r\n3.1.00.14000\r\nUpdateCount=3\r\nUpdated_2_Version=x\r\nUpdated_3"),
            ("no counter", b"3.1.00.14000\r\nnote\r\n",
             b"3.2.00.07040\r\n3.1.00.14000\r\nnote\r\nUpdateCount=1\r\nUpdated_1"),
            ("counter 0", b"UpdateCount=0\r\n", b"3.2.00.07040\r\nUpdateCount=1\r\nUpdated_1"),
            ("other letter case", b"updateCount=4\r\n",
             b"3.2.00.07040\r\nupdateCount=4\r\nUpdateCount=1\r\nUpdated_1"),
            ("blank lines", b"\r\n3.1.00.14000\r\n\r\n\n\r\nUpdateCount=5\r\n\r\n",
             b"3.2.00.07040\r\n3.1.00.14000\r\nUpdateCount=6\r\nUpdated_6"),
            ("last line without line end", b"3.1.00.14000\r\nUpdateCount=1",
             b"3.2.00.07040\r\n3.1.00.14000\r\nUpdateCount=2\r\nUpdated_2"),
            ("LF only", b"3.1.00.14000\nUpdateCount=1\nnote\n",
             b"3.2.00.07040\r\n3.1.00.14000\r\nUpdateCount=2\r\nnote\r\nUpdated_2"),
        ]
        for name, old, expected in cases:
            with self.subTest(name):
                self.assertEqual(expected, self.update(old))

    def test_a_hostile_history_comes_back_byte_for_byte(self):
        every_byte = bytes(b for b in range(1, 256) if b not in (10, 13))
        with_nul = b"before\0after\x1a"
        huge = b"z" * (1 << 20)
        old = every_byte + b"\n" + with_nul + b"\r\n" + huge + b"\n"
        self.assertEqual(b"3.2.00.07040\r\n" + every_byte + b"\r\n" + with_nul + b"\r\n" + huge +
                         b"\r\nUpdateCount=1\r\nUpdated_1", self.update(old))

    def test_a_missing_history_is_started(self):
        content = self.update(None)
        self.assertTrue(content.startswith(b"3.2.00.07040\r\nUpdateCount=1\r\nUpdated_1_Date="), content)


class RecordingRestartManager(RecordsTestCase):
    """The prefix's own Restart Manager replaced by one that records each
    call with its arguments."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        system = cls.prefix.unix_path(r"C:\windows\syswow64")
        target = os.path.join(system, "rstrtmgr.dll")
        os.remove(target)  # a hard link to the template's: replace, never write through
        shutil.copy(FAKE_RSTRTMGR, target)

    def setUp(self):
        super().setUp()
        self.log = os.path.join(self.prefix.path, "rm.log")
        if os.path.exists(self.log):
            os.remove(self.log)

    def run_recorded(self):
        return self.run_updater(env={"WINEDLLOVERRIDES": "mscoree,mshtml=;rstrtmgr=n",
                                     "FAKE_RM_LOG": self.prefix.windows_path(self.log)})

    def calls(self):
        with open(self.log, encoding="utf-8") as f:
            return f.read()

    def test_the_applications_are_closed_before_and_restarted_after_the_records(self):
        installation.seed(self.prefix, BUILD)
        result = self.run_recorded()
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        calls = self.calls().splitlines()
        self.assertEqual("RmStartSession flags=0 result=0", calls[0])
        self.assertEqual("RmRegisterResources handle=77 files=21 applications=0 services=0 result=0", calls[1])
        targets = [f"{folder}\\{name}" for folder, name, _ in installation.PROGRAM_FILES]
        targets += [f"{installation.HELP_DIR}\\{language}\\zentrel.chm" for language in installation.HELP_LANGUAGES]
        self.assertEqual(["  " + path for path in targets], calls[2:23])
        self.assertEqual(["RmShutdown handle=77 flags=1", "RmRestart handle=77 flags=0", "RmEndSession handle=77"],
                         calls[23:])

    def test_a_failed_file_phase_writes_no_record_but_restarts(self):
        installation.seed(self.prefix, BUILD)
        stuck = installation.APPLICATION_DIR + r"\Zentrel.exe"
        self.start_program(self.prefix.windows_path(SLEEPER), "--open", stuck, "r")
        history_before = self.history()
        result = self.run_recorded()
        self.assertEqual(0x80070020, result.exit_code, result.hresult)
        self.assertEqual(MB_ICONHAND, result.boxes[0].style)
        self.assertIsNone(self.values(PATCH_KEY))
        self.assertNotIn("CopyrightYear", self.values(installation.PRODUCT_KEY))
        self.assertEqual(sz("3.1.00.14000"), self.values(installation.UNINSTALL_KEY)["DisplayVersion"])
        self.assertEqual(history_before, self.history())
        self.assertTrue(self.marker_exists())
        self.assertEqual(["RmShutdown handle=77 flags=1", "RmRestart handle=77 flags=0", "RmEndSession handle=77"],
                         self.calls().splitlines()[-3:])


if __name__ == "__main__":
    unittest.main(verbosity=2)
