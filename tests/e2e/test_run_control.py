"""The run's checks, as a user and the maker's update tool see them: which
message box appears, in which language, and which exit code comes back."""
import os
import shutil
import time
import unittest

from common import (ALREADY_RUNNING, BUILD, E_ACCESSDENIED, ENGLISH, MB_ICONEXCLAMATION, MB_OK, MUTEX, PLANTED_DLL,
                    S_OK, TEXTS, UPDATER, WATCH, UpdaterTestCase, installation, start_updater)


class VersionChecks(UpdaterTestCase):

    def test_no_zentrel_installed(self):
        result = self.run_updater()
        self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1217], MB_ICONEXCLAMATION)

    def test_versions_outside_the_range_are_refused(self):
        cases = [
            ("3.2.00.07040", 1218), ("3.2.0.7040", 1218),
            ("2.9.9.9", 1217), ("3.2.0.1", 1217), ("3.2", 1217), ("", 1217),
        ]
        for version, message in cases:
            with self.subTest(version=version):
                self.seed_version(version)
                result = self.run_updater()
                self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
                self.assertOneBox(result, ENGLISH[message], MB_ICONEXCLAMATION)

    def test_versions_in_the_range_are_updated(self):
        for version in ("3.0.0.0", "3.2.0.0", "3.1.00.14000", " 3.1.0.0"):
            with self.subTest(version=version):
                self.clear_files()
                installation.seed(self.prefix, BUILD, version=version)
                result = self.run_updater()
                self.assertEqual(S_OK, result.exit_code, result.hresult)
                self.assertOneBox(result, ENGLISH[1210], MB_OK)

    def test_uninstall_record_only_in_the_64_bit_view_is_found(self):
        self.seed_version("3.2.0.7040", view=64)
        result = self.run_updater()
        self.assertOneBox(result, ENGLISH[1218], MB_ICONEXCLAMATION)

    def test_the_32_bit_view_wins_when_both_hold_the_record(self):
        self.seed_version("3.2.0.7040", view=64)
        self.seed_version("2.0.0.0", view=32)
        result = self.run_updater()
        self.assertOneBox(result, ENGLISH[1217], MB_ICONEXCLAMATION)


class SilentRuns(UpdaterTestCase):

    def test_launch_installer_one_shows_no_box_and_keeps_the_exit_codes(self):
        self.seed_silent(1)
        cases = [(None, E_ACCESSDENIED), ("3.2.00.07040", E_ACCESSDENIED), ("3.1.00.14000", S_OK)]
        for version, exit_code in cases:
            with self.subTest(version=version):
                if version:
                    installation.seed(self.prefix, BUILD, version=version)
                result = self.run_updater()
                self.assertEqual(exit_code, result.exit_code, result.hresult)
                self.assertEqual([], result.boxes)

    def test_other_values_and_the_64_bit_view_are_not_silent(self):
        for value, view in ((0, 32), (2, 32), (1, 64)):
            with self.subTest(value=value, view=view):
                self.clear_registry()
                self.seed_silent(value, view)
                result = self.run_updater()
                self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
                self.assertOneBox(result, ENGLISH[1217], MB_ICONEXCLAMATION)


class SingleInstance(UpdaterTestCase):

    def test_a_second_instance_is_refused_in_a_plain_box(self):
        installation.seed(self.prefix, BUILD)
        result = self.run_updater(mutex=MUTEX)
        self.assertEqual(ALREADY_RUNNING, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1201], MB_OK)

    def test_a_second_instance_started_during_an_update_is_refused(self):
        installation.seed(self.prefix, BUILD)
        # The first instance's worker is held while its progress window shows.
        first = start_updater(self.prefix, UPDATER, WATCH, hold_ms=8000)
        deadline = time.time() + 30
        while not first.seen_window() and time.time() < deadline:
            time.sleep(0.1)
        self.assertTrue(first.seen_window(), "the first instance shows its progress window")
        second = self.run_updater()
        self.assertEqual(ALREADY_RUNNING, second.exit_code, second.hresult)
        self.assertOneBox(second, ENGLISH[1201], MB_OK)
        # The first instance is not disturbed.
        result = first.wait()
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1210], MB_OK)

    def test_the_guard_is_given_back_when_the_run_ends(self):
        installation.seed(self.prefix, BUILD)
        # The first run ends and lets go; the second is not refused as a second
        # instance but finds the product already updated.
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        result = self.run_updater()
        self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1218], MB_ICONEXCLAMATION)


class Languages(UpdaterTestCase):

    def test_texts_come_from_the_users_language(self):
        for locale, tag in (("de_DE.UTF-8", "de-DE"), ("ja_JP.UTF-8", "ja-JP")):
            with self.subTest(locale=locale):
                texts = TEXTS[tag]
                self.clear_registry()
                result = self.run_updater(lang=locale)
                self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
                self.assertOneBox(result, texts[1217], MB_ICONEXCLAMATION, caption=texts[200])

                self.clear_files()
                installation.seed(self.prefix, BUILD, version="3.0.0.0")
                result = self.run_updater(lang=locale)
                self.assertEqual(S_OK, result.exit_code, result.hresult)
                self.assertOneBox(result, texts[1210], MB_OK, caption=texts[200])
                self.assertEqual([(texts[200], "#32770")], result.windows, "the progress window")


class PlantedLibraries(UpdaterTestCase):
    """The updater runs elevated from a download folder: libraries planted
    beside it under system names must never load."""

    NAMES = ("version.dll", "lz32.dll", "Rstrtmgr.dll", "comctl32.dll", "uxtheme.dll", "dwmapi.dll",
             "cryptbase.dll", "profapi.dll", "sspicli.dll", "winmm.dll", "imm32.dll", "msimg32.dll")

    def test_no_planted_library_is_loaded(self):
        folder = self.prefix.unix_path(r"C:\users\Public\Downloads\update")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(UPDATER, os.path.join(folder, "ZentrelUpdate.exe"))
        for name in self.NAMES:
            shutil.copy(PLANTED_DLL, os.path.join(folder, name))
        installation.seed(self.prefix, BUILD)
        result = self.run_updater(updater=r"C:\users\Public\Downloads\update\ZentrelUpdate.exe")
        self.assertEqual(S_OK, result.exit_code, result.hresult)
        loaded = sorted(name for name in os.listdir(folder) if name.endswith(".loaded"))
        self.assertEqual([], loaded)


if __name__ == "__main__":
    unittest.main(verbosity=2)
