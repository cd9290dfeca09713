"""The SZDD packer on inputs that stress the format: empty and tiny files,
runs longer than a match, matches into the ring's initial spaces, periods
around the window size, and inputs large enough to be searched in slices.
Every output is checked with two independent expanders: Debian's msexpand
and Wine's expand.exe (LZ32)."""
import os
import random
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

from temp_folders import class_folder  # noqa: E402
from wine import Prefix  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
PACKER = os.path.join(BUILD, "host", "szdd_pack")


def sample_inputs():
    rng = random.Random(7040)
    text = " ".join(rng.choice(["zentrel", "update", "help", "frame", "  ", "\r\n"]) for _ in range(40000)).encode()
    period = bytes(rng.randrange(256) for _ in range(4096))
    return {
        "empty": b"",
        "one byte": b"A",
        "two bytes": b"AB",
        "three equal bytes": b"aaa",
        "zeros": bytes(100000),
        "spaces only": b" " * 5000,
        "spaces first": b" " * 40 + b"then text" + b" " * 17,
        "random": bytes(rng.randrange(256) for _ in range(70000)),
        "text": text,
        "period 4095": (period[:4095] * 5)[:20000],
        "period 4096": (period * 5)[:20000],
        "period 4097": ((period + b"!") * 5)[:20000],
        "sliced, with repeats across the cut": (bytes(rng.randrange(4) for _ in range(300000)) * 3),
    }


class Packer(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = class_folder(cls, "szdd")
        cls.packed = {}
        for name, data in sample_inputs().items():
            stem = os.path.join(cls.work, name.replace(" ", "_").replace(",", ""))
            with open(stem, "wb") as f:
                f.write(data)
            subprocess.run([PACKER, stem, stem + ".sz_"], check=True)
            with open(stem + ".sz_", "rb") as f:
                cls.packed[name] = (stem, data, f.read())

    def test_header_is_mode_a_with_the_length(self):
        for name, (_, data, packed) in self.packed.items():
            with self.subTest(name):
                self.assertEqual(b"SZDD\x88\xf0\x27\x33", packed[:8])
                self.assertEqual(ord("A"), packed[8])
                self.assertEqual(0, packed[9])
                self.assertEqual(len(data), int.from_bytes(packed[10:14], "little"))

    def test_msexpand_restores_every_input(self):
        for name, (_, data, packed) in self.packed.items():
            with self.subTest(name):
                out = subprocess.run(["msexpand"], input=packed, stdout=subprocess.PIPE, check=True).stdout
                self.assertEqual(data, out)

    def test_wine_lz32_restores_every_input(self):
        with Prefix(BUILD) as prefix:
            for name, (stem, data, _) in self.packed.items():
                with self.subTest(name):
                    out = stem + ".wine"
                    prefix.run(["expand.exe", prefix.windows_path(stem + ".sz_"), prefix.windows_path(out)])
                    with open(out, "rb") as f:
                        self.assertEqual(data, f.read())

    def test_output_is_deterministic_and_compact(self):
        for name, (stem, data, packed) in self.packed.items():
            with self.subTest(name):
                subprocess.run([PACKER, stem, stem + ".again"], check=True)
                with open(stem + ".again", "rb") as f:
                    self.assertEqual(packed, f.read())
        # 18-byte matches: a long run costs 17 bits per 18 bytes.
        self.assertLess(len(self.packed["zeros"][2]), 100000 // 18 * 2 + 100000 // 18 // 8 + 40)
        self.assertLess(len(self.packed["spaces only"][2]), 5000 // 18 * 2 + 5000 // 18 // 8 + 40)

    def test_never_larger_than_mscompress(self):
        for name, (stem, data, packed) in self.packed.items():
            if not data:
                continue
            with self.subTest(name):
                subprocess.run(["mscompress", stem], check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
                theirs = stem[:-1] + "_" if os.path.exists(stem[:-1] + "_") else stem + "_"
                self.assertLessEqual(len(packed), os.path.getsize(theirs))
                os.remove(theirs)


if __name__ == "__main__":
    unittest.main(verbosity=2)
