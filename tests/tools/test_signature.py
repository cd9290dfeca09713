"""The built updater carries an Authenticode signature that an independent
verifier (osslsigncode) accepts against the build's test certificate, and that
fails as soon as any signed byte changes."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from exe_sizes import PeFile  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
UPDATER = os.environ.get("ZENTREL_UPDATER", os.path.join(BUILD, "ZentrelUpdate.exe"))
TEST_CERT = os.path.join(BUILD, "signing", "test-cert.pem")


def verify(path, ca_file):
    proc = subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", ca_file], capture_output=True, text=True)
    return proc.returncode, proc.stdout + proc.stderr


@unittest.skipUnless(os.path.exists(TEST_CERT), "signed with the maker's certificate, not the build's test one")
class Signature(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        with open(UPDATER, "rb") as f:
            cls.data = f.read()
        cls.pe = PeFile(cls.data)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="signature-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def copy_with(self, offset):
        """A copy of the updater with the byte at `offset` flipped."""
        changed = bytearray(self.data)
        changed[offset] ^= 0x01
        path = os.path.join(self.work, f"changed-{offset:x}.exe")
        with open(path, "wb") as f:
            f.write(changed)
        return path

    def test_the_built_updater_verifies_against_the_test_certificate(self):
        code, text = verify(UPDATER, TEST_CERT)
        self.assertEqual(0, code, text)
        self.assertIn("Signature verification: ok", text)
        self.assertIn("Zentrel Update test signing", text, "signed with the build's test certificate")
        self.assertIn("Zentrel Update Program", text, "the description shown by the elevation prompt")

    def test_the_signature_is_the_last_thing_in_the_file(self):
        # Signing comes after every resource is in place: the certificate table
        # ends the file, and everything before it is covered by the digest.
        offset, size = self.pe.directories[4]
        self.assertGreater(size, 0)
        self.assertEqual(len(self.data), offset + size)

    def test_a_copy_with_one_byte_changed_fails(self):
        rsrc = next(s for s in self.pe.sections if s[0] == ".rsrc")
        text = next(s for s in self.pe.sections if s[0] == ".text")
        cases = {
            "code": text[4] + 0x100,
            "resources (payloads, strings, version)": rsrc[4] + rsrc[3] // 2,
            "DOS header": 0x40,
        }
        for what, offset in cases.items():
            with self.subTest(what):
                code, text_out = verify(self.copy_with(offset), TEST_CERT)
                self.assertNotEqual(0, code, f"a change in the {what} at 0x{offset:x} went unnoticed")
                self.assertNotIn("Signature verification: ok", text_out)

    def test_another_certificate_does_not_verify_it(self):
        key, cert = os.path.join(self.work, "key.pem"), os.path.join(self.work, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=Other",
                        "-keyout", key, "-out", cert], check=True, capture_output=True)
        code, text = verify(UPDATER, cert)
        self.assertNotEqual(0, code, text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
