"""The CTest script that runs each test of a GoogleTest program in a process
of its own (tests/each_test.cmake), driven by a stand-in program on Linux: a
listing the way a Windows program writes it (CR LF line ends, a banner,
typed tests, a disabled test), a program that cannot list its tests, and one
that leaves a process holding its output open, as Wine's services do."""
import json
import os
import signal
import subprocess
import sys
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

from temp_folders import test_folder  # noqa: E402

SCRIPT = os.path.join(ROOT, "tests", "each_test.cmake")

LISTING = ("Running main() from gtest_main.cc\r\n"
           "Controller.\r\n"
           "  WithoutHooks\r\n"
           "  HooksBracket\r\n"
           "Typed/0.  # TypeParam = int\r\n"
           "  Works\r\n"
           "CentredPosition.\r\n"
           "  Halves\r\n"
           "  DISABLED_Later\r\n")


class EachTest(unittest.TestCase):

    def setUp(self):
        self.work = test_folder(self, "each-test")

    def project(self, program_body):
        """A CTest folder whose only tests come from a stand-in program."""
        program = os.path.join(self.work, "program.py")
        with open(program, "w") as f:
            f.write(f"#!{sys.executable}\nimport os, subprocess, sys\n" + textwrap.dedent(program_body))
        os.chmod(program, 0o755)
        with open(os.path.join(self.work, "CTestTestfile.cmake"), "w") as f:
            f.write(textwrap.dedent(f"""\
                set(EACH_TEST_EMULATOR "")
                set(EACH_TEST_PROGRAM [==[{program}]==])
                set(EACH_TEST_PREFIX [==[patch_process_tests]==])
                set(EACH_TEST_ARGS [==[--gtest_brief=0]==])
                set(EACH_TEST_PROPERTIES [==[LABELS;unit]==])
                set(EACH_TEST_DIRECTORY [==[{self.work}]==])
                set(EACH_TEST_CMAKE [==[cmake]==])
                include([==[{SCRIPT}]==])
                """))

    def listed(self):
        """{test name: (command, {property: value})} as CTest sees them."""
        proc = subprocess.run(["ctest", "--show-only=json-v1"], cwd=self.work, capture_output=True, text=True,
                              timeout=120, stdin=subprocess.DEVNULL)
        self.assertEqual(0, proc.returncode, proc.stderr)
        tests = {}
        for test in json.loads(proc.stdout)["tests"]:
            properties = {p["name"]: p["value"] for p in test.get("properties", [])}
            tests[test["name"]] = (test.get("command", []), properties)
        return tests

    def test_each_listed_test_runs_alone_by_its_full_name(self):
        self.project(f"""
            if sys.argv[1:] == ["--gtest_list_tests"]:
                sys.stdout.buffer.write({LISTING!r}.encode())
            """)
        tests = self.listed()
        self.assertEqual(["patch_process_tests.Controller.WithoutHooks", "patch_process_tests.Controller.HooksBracket",
                          "patch_process_tests.Typed/0.Works", "patch_process_tests.CentredPosition.Halves",
                          "patch_process_tests.CentredPosition.DISABLED_Later"], list(tests))
        command, properties = tests["patch_process_tests.CentredPosition.Halves"]
        self.assertEqual(["--gtest_filter=CentredPosition.Halves", "--gtest_brief=0"], command[1:])
        self.assertEqual(["unit"], properties["LABELS"])
        self.assertEqual(self.work, properties["WORKING_DIRECTORY"])
        self.assertNotIn("DISABLED", properties)
        self.assertTrue(tests["patch_process_tests.CentredPosition.DISABLED_Later"][1].get("DISABLED"))

    def test_a_program_that_cannot_list_gives_a_failing_test(self):
        self.project("""
            sys.stderr.write("cannot start\\n")
            sys.exit(53)
            """)
        self.assertEqual(["patch_process_tests.NOT_LISTED"], list(self.listed()))
        proc = subprocess.run(["ctest", "--output-on-failure"], cwd=self.work, capture_output=True, text=True,
                              timeout=120, stdin=subprocess.DEVNULL)
        self.assertNotEqual(0, proc.returncode)
        self.assertIn("listed no test (exit 53): cannot start", proc.stdout)

    def test_a_process_left_holding_the_output_does_not_stall_the_listing(self):
        # Like Wine's services started by the first program of a prefix: a
        # process that outlives the program and keeps its output open.
        holder_pid = os.path.join(self.work, "holder.pid")
        self.project(f"""
            if sys.argv[1:] == ["--gtest_list_tests"]:
                holder = subprocess.Popen(["sleep", "600"], start_new_session=True)
                with open({holder_pid!r}, "w") as f:
                    f.write(str(holder.pid))
                sys.stdout.buffer.write({LISTING!r}.encode())
            """)
        self.addCleanup(self.stop_holder, holder_pid)
        self.assertEqual(5, len(self.listed()))
        self.assertTrue(os.path.exists(holder_pid))

    @staticmethod
    def stop_holder(pid_file):
        if os.path.exists(pid_file):
            with open(pid_file) as f:
                try:
                    os.kill(int(f.read()), signal.SIGKILL)
                except ProcessLookupError:
                    pass


if __name__ == "__main__":
    unittest.main(verbosity=2)
