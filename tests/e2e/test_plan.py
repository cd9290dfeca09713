"""Finding the installation and deciding what to replace, as the user sees
it: an installation that cannot be found, one with nothing to update, and
related programs that must be closed first."""
import os
import shutil
import unittest

from common import BUILD, E_ACCESSDENIED, ENGLISH, MB_ICONEXCLAMATION, MB_OK, S_OK, UpdaterTestCase
from common import installation
from product_registry import APP_KEY, app_key_text, delete_keys, reg_string, replace_key

SLEEPER = os.path.join(BUILD, "tests", "harness", "sleeper.exe")

# The versions the update installs: a second run leaves such files alone.
PAYLOAD_VERSIONS = {
    "CardProbe.dll": "4.1.0.14200", "UpdateLink.dll": "3.2.0.7040", "Zentrel.exe": "3.2.0.7040",
    "ZentrelTask.exe": "3.2.0.7040", "FrameCore.dll": "3.2.0.7040", "vxdecode.dll": "5.0.2.16200",
    "vxplay.dll": "5.2.2.1160",
}


class FindingTheInstallation(UpdaterTestCase):

    def setUp(self):
        super().setUp()
        installation.seed(self.prefix, BUILD)

    def set_app_values(self, text):
        replace_key(self.prefix, 32, APP_KEY, text)

    def test_missing_or_empty_folder_values_end_with_no_target(self):
        cases = {
            "no ApplicationDir": f"\"VideoEditLibPath\"={reg_string(installation.LIBRARY_DIR)}\n",
            "empty ApplicationDir": f"\"ApplicationDir\"=\"\"\n\"VideoEditLibPath\"={reg_string(installation.LIBRARY_DIR)}\n",
            "no VideoEditLibPath": f"\"ApplicationDir\"={reg_string(installation.APPLICATION_DIR)}\n",
        }
        for name, values in cases.items():
            with self.subTest(name):
                self.set_app_values(values)
                result = self.run_updater()
                self.assertEqual(0, result.exit_code, result.hresult)
                self.assertOneBox(result, ENGLISH[1202], MB_OK)

    def test_folders_pointing_nowhere_end_with_no_target(self):
        self.set_app_values(f"\"ApplicationDir\"=\"C:\\\\Nowhere\"\n\"VideoEditLibPath\"=\"C:\\\\Nowhere\\\\RedOvad\"\n")
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1202], MB_OK)

    def test_app_key_only_in_the_64_bit_view_is_found(self):
        delete_keys(self.prefix, 32, APP_KEY)
        self.prefix.reg_import(64, app_key_text(installation.APPLICATION_DIR, installation.LIBRARY_DIR) + "\n")
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)


class NothingToUpdate(UpdaterTestCase):

    def test_program_files_already_current_and_no_help_files(self):
        current = {f"{folder}\\{name}": PAYLOAD_VERSIONS[name] for folder, name, _ in installation.PROGRAM_FILES}
        installation.seed(self.prefix, BUILD, file_versions=current, help_files=False)
        result = self.run_updater()
        self.assertEqual(0, result.exit_code, result.hresult)
        self.assertOneBox(result, ENGLISH[1203], MB_OK)

    def test_help_files_alone_still_need_the_update(self):
        current = {f"{folder}\\{name}": PAYLOAD_VERSIONS[name] for folder, name, _ in installation.PROGRAM_FILES}
        installation.seed(self.prefix, BUILD, file_versions=current, help_files=True)
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)


class RelatedPrograms(UpdaterTestCase):

    def setUp(self):
        super().setUp()
        installation.seed(self.prefix, BUILD)

    def run_as(self, image_name):
        """Starts a program with this image name in the prefix."""
        path = self.prefix.unix_path("C:\\Programs\\" + image_name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy(SLEEPER, path)
        return self.start_program("C:\\Programs\\" + image_name)

    def test_kelvo_or_zentrel_running_stops_the_update(self):
        for name in ("Kelvo.exe", "Zentrel.exe"):
            with self.subTest(name):
                program = self.run_as(name)
                result = self.run_updater()
                self.assertEqual(E_ACCESSDENIED, result.exit_code, result.hresult)
                self.assertOneBox(result, ENGLISH[1215], MB_ICONEXCLAMATION)
                program.kill()
                program.wait()

    def test_names_differing_in_case_do_not_count(self):
        self.run_as("zentrel.exe")
        result = self.run_updater()
        self.assertEqual(S_OK, result.exit_code, result.hresult)


if __name__ == "__main__":
    unittest.main(verbosity=2)
