"""A release build with the maker's files (-DZENTREL_PAYLOADS): the test makes
a folder of programs with version resources and compiled help files, builds a
second updater from it (the updater target only, reusing this build's packer
and Wine template), and checks that a faulty folder fails with each fault
named, and that the release updater carries exactly the folder's files, is
signed, no longer calls itself a demonstration build, and installs those files
on a seeded installation under Wine.

The steps share one build folder and run in order (test_1 ... test_4)."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from common import BUILD, ROOT, UPDATER, WATCH, Prefix, installation, run_updater

sys.path.insert(0, os.path.join(ROOT, "tools"))

from exe_sizes import PeFile  # noqa: E402
from make_payload_folder import make_folder  # noqa: E402
from pe_version import parse, write_versioned_copy  # noqa: E402

RELEASE_BUILD = os.path.join(BUILD, "release-test")
RELEASE_UPDATER = os.path.join(RELEASE_BUILD, "ZentrelUpdate.exe")
DEMONSTRATION = "Demonstration build: carries stand-in files".encode("utf-16-le")
FOLDER_OF = {installation.APPLICATION_DIR: "App", installation.LIBRARY_DIR: "RedOvad"}


def toolchain():
    """This build's toolchain file: the second build is for the same machine."""
    with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("CMAKE_TOOLCHAIN_FILE:"):
                return line.split("=", 1)[1].strip()
    return os.path.join(ROOT, "cmake", "mingw-i686.cmake")


def configure(folder):
    return subprocess.run(
        ["cmake", "-S", ROOT, "-B", RELEASE_BUILD, "-G", "Ninja", "-DCMAKE_TOOLCHAIN_FILE=" + toolchain(),
         "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
         "-DZENTREL_PAYLOADS=" + folder,
         "-DZENTREL_HOST_PACKER=" + os.path.join(BUILD, "host", "szdd_pack")],
        capture_output=True, text=True)


def build():
    return subprocess.run(["cmake", "--build", RELEASE_BUILD, "--target", "ZentrelUpdate"],
                          capture_output=True, text=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


class ReleaseBuild(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="release-files-", dir=BUILD)
        cls.good = os.path.join(cls.work, "good")
        cls.files = make_folder(os.path.join(BUILD, "payloads", "programs"), cls.good, padding=48 * 1024,
                                note="Release-build test files")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @staticmethod
    def share_wine_template():
        """The second build's release gate uses this build's Wine template
        prefix instead of making its own."""
        Prefix(BUILD).close()
        os.makedirs(os.path.join(RELEASE_BUILD, "wine"), exist_ok=True)
        template = os.path.join(RELEASE_BUILD, "wine", "template")
        if not os.path.islink(template):
            shutil.rmtree(template, ignore_errors=True)
            os.symlink(os.path.join(BUILD, "wine", "template"), template)

    def variant(self, name):
        folder = os.path.join(self.work, name)
        shutil.copytree(self.good, folder)
        return folder

    def test_1_a_folder_without_the_layout_fails_to_configure_naming_each_file(self):
        folder = self.variant("layout")
        os.remove(os.path.join(folder, "Help", "KOR", "zentrel.chm"))
        write(os.path.join(folder, "App", "readme.txt"), b"not part of the update\r\n")
        os.rename(os.path.join(folder, "RedOvad", "vxplay.dll"), os.path.join(folder, "RedOvad", "VXPLAY.DLL"))
        result = configure(folder)
        self.assertNotEqual(0, result.returncode)
        for fault in ("missing file Help/KOR/zentrel.chm", "missing file RedOvad/vxplay.dll",
                      "extra file App/readme.txt", "extra file RedOvad/VXPLAY.DLL"):
            self.assertIn(fault, result.stderr)
        self.assertNotIn("Help/DEU", result.stderr)

    def test_2_faulty_files_fail_the_build_naming_each_fault(self):
        folder = self.variant("faulty")

        def place(path):
            return os.path.join(folder, *path.split("/"))

        write(place("App/Zentrel.exe"), b"Zentrel 3.2 main program (not really)\r\n")
        shutil.copyfile(place("App/ZentrelTask.exe"), place("App/FrameCore.dll"))
        arm = bytearray(read(place("RedOvad/vxdecode.dll")))
        pe = int.from_bytes(arm[0x3C:0x40], "little")
        arm[pe + 4:pe + 6] = (0x01C4).to_bytes(2, "little")
        write(place("RedOvad/vxdecode.dll"), arm)
        write_versioned_copy(self.files[408], place("RedOvad/vxplay.dll"), (5, 2, 2, 1152))
        write(place("Help/DEU/zentrel.chm"), b"<html><body>Hilfe</body></html>\r\n")

        result = configure(folder)
        self.assertEqual(0, result.returncode, result.stderr)
        self.share_wine_template()
        if os.path.exists(RELEASE_UPDATER):
            os.remove(RELEASE_UPDATER)
        result = build()
        output = result.stdout + result.stderr
        self.assertNotEqual(0, result.returncode)
        self.assertIn("RELEASE GATE FAILED", output)
        faults = {
            403: r"403: \S*App/Zentrel\.exe is not a PE file",
            405: r"405: \S*App/FrameCore\.dll is a program where a library belongs",
            407: r"407: \S*RedOvad/vxdecode\.dll is a PE file for machine 0x01c4, not for ",
            408: r"408: file version 5\.2\.2\.1152 does not lie above the row's bound 5\.2\.2\.1152",
            411: r"411: \S*Help/DEU/zentrel\.chm is not a compiled HTML help file \(no ITSF header\)",
        }
        for pattern in faults.values():
            self.assertRegex(output, pattern)
        self.assertNotRegex(output, r"\b(401|402|404|406|409|421): ")
        self.assertFalse(os.path.exists(RELEASE_UPDATER), "no updater is linked from faulty payloads")

    def test_3_the_release_updater_carries_exactly_the_folders_files(self):
        result = configure(self.good)
        self.assertEqual(0, result.returncode, result.stderr)
        self.share_wine_template()
        result = build()
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)
        data = read(RELEASE_UPDATER)
        patches = {name: (language, payload) for kind, name, language, payload in PeFile(data).resource_items()
                   if kind == "PATCH"}
        self.assertEqual(list(range(401, 422)), sorted(patches))
        for pid, path in self.files.items():
            language, packed = patches[pid]
            self.assertEqual(2052, language)
            expanded = subprocess.run(["msexpand"], input=packed, stdout=subprocess.PIPE, check=True).stdout
            self.assertEqual(read(path), expanded, f"payload {pid} is {path}")

        # Only the default build calls itself a demonstration build; both are signed.
        self.assertIn(DEMONSTRATION, read(UPDATER))
        self.assertNotIn(DEMONSTRATION, data)
        verify = subprocess.run(["osslsigncode", "verify", "-in", RELEASE_UPDATER, "-CAfile",
                                 os.path.join(RELEASE_BUILD, "signing", "test-cert.pem")],
                                capture_output=True, text=True)
        self.assertEqual(0, verify.returncode, verify.stdout + verify.stderr)

    def test_4_the_release_updater_installs_the_folders_files(self):
        self.assertTrue(os.path.exists(RELEASE_UPDATER), "test_3 builds it")
        # The installation's older files are copies of the folder's own
        # programs at the versions Zentrel 3.1.00.14000 installed.
        seed_build = os.path.join(self.work, "seed")
        os.makedirs(os.path.join(seed_build, "payloads", "programs"), exist_ok=True)
        with Prefix(BUILD) as prefix:
            for folder, name, version in installation.PROGRAM_FILES:
                target = prefix.unix_path(f"{folder}\\{name}")
                os.makedirs(os.path.dirname(target), exist_ok=True)
                write_versioned_copy(os.path.join(self.good, FOLDER_OF[folder], name), target, parse(version))
            # The rest of the installation: registry, help files, records.
            installation.seed(prefix, seed_build, file_versions={
                f"{folder}\\{name}": None for folder, name, _ in installation.PROGRAM_FILES})

            result = run_updater(prefix, RELEASE_UPDATER, WATCH)
            self.assertEqual(0, result.exit_code, result.hresult)
            for folder, name, _ in installation.PROGRAM_FILES:
                path = f"{folder}\\{name}"
                self.assertEqual(read(os.path.join(self.good, FOLDER_OF[folder], name)),
                                 read(prefix.unix_path(path)), path)
            for language in installation.HELP_LANGUAGES:
                path = f"{installation.HELP_DIR}\\{language}\\zentrel.chm"
                self.assertEqual(read(os.path.join(self.good, "Help", language, "zentrel.chm")),
                                 read(prefix.unix_path(path)), path)


if __name__ == "__main__":
    unittest.main(verbosity=2)
