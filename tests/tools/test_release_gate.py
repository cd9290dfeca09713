"""The release gate stops a build whose payloads would not work: a program
file whose version does not lie above its row's bound, or a payload that does
not expand to its source."""
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

from pe_version import write_versioned_copy  # noqa: E402
from temp_folders import test_folder  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
CHECKER = os.environ.get("ZENTREL_PAYLOAD_CHECK", os.path.join(BUILD, "resources", "payloads", "payload_check.exe"))
GATE = os.path.join(ROOT, "tools", "release_gate.py")
PACKER = os.path.join(BUILD, "host", "szdd_pack")


class ReleaseGate(unittest.TestCase):

    def setUp(self):
        self.work = test_folder(self, "gate")
        with open(os.path.join(BUILD, "payloads", "manifest.txt")) as f:
            self.rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]

    def gate(self, rows):
        manifest = os.path.join(self.work, "manifest.txt")
        with open(manifest, "w") as f:
            f.write("".join("\t".join(row) + "\n" for row in rows))
        stamp = os.path.join(self.work, "stamp")
        proc = subprocess.run([sys.executable, GATE, "--build", BUILD, "--manifest", manifest, "--checker", CHECKER,
                               "--stamp", stamp], capture_output=True, text=True)
        return proc.returncode, proc.stderr, os.path.exists(stamp)

    def test_the_builds_payloads_pass(self):
        code, err, stamped = self.gate(self.rows)
        self.assertEqual(0, code, err)
        self.assertTrue(stamped)

    def test_faulty_payloads_fail_the_build_and_are_named(self):
        rows = [list(row) for row in self.rows]
        # 408: vxplay.dll at exactly its row's bound, 5.2.2.1152.
        stale = os.path.join(self.work, "vxplay.dll")
        write_versioned_copy(rows[7][1], stale, (5, 2, 2, 1152))
        subprocess.run([PACKER, stale, stale + ".sz_"], check=True)
        rows[7][1:3] = [stale, stale + ".sz_"]
        # 412: a packed help file with one byte of its data changed.
        with open(rows[11][2], "rb") as f:
            data = bytearray(f.read())
        data[40] ^= 0xFF
        broken = os.path.join(self.work, "412.sz_")
        with open(broken, "wb") as f:
            f.write(data)
        rows[11][2] = broken

        code, err, stamped = self.gate(rows)
        self.assertEqual(1, code)
        self.assertFalse(stamped)
        self.assertIn("RELEASE GATE FAILED", err)
        self.assertRegex(err, r"408: file version 5\.2\.2\.1152 does not lie above the row's bound 5\.2\.2\.1152")
        self.assertRegex(err, r"412: msexpand gives")
        self.assertRegex(err, r"412: LZ32 (cannot expand it|expands it)")
        self.assertNotRegex(err, r"\b(401|409|421):")


if __name__ == "__main__":
    unittest.main(verbosity=2)
