"""The updater stays lean: at most 400 KB without its payloads, with the icon
in all its sizes and depths (the 256-pixel ones as PNG). A library that brings
in the iostreams or the name demangler shows up here first."""
import os
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from exe_sizes import PeFile  # noqa: E402

BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
UPDATER = os.environ.get("ZENTREL_UPDATER", os.path.join(BUILD, "ZentrelUpdate.exe"))
LIMIT = 400 * 1024
RT_ICON, RT_GROUP_ICON = 3, 14


class Size(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        with open(UPDATER, "rb") as f:
            cls.data = f.read()
        cls.pe = PeFile(cls.data)
        cls.items = cls.pe.resource_items()

    def test_without_payloads_and_signature_it_fits_the_limit(self):
        payloads = sum(len(data) for kind, _, _, data in self.items if kind == "PATCH")
        size = len(self.data) - payloads - self.pe.signature_size()
        self.assertLessEqual(size, LIMIT, f"{size:,} bytes without payloads")
        self.assertEqual(4096, self.pe.file_alignment)

    def test_the_icon_keeps_every_size_and_depth(self):
        group = next(data for kind, name, _, data in self.items if kind == RT_GROUP_ICON and name == 100)
        count = struct.unpack_from("<H", group, 4)[0]
        images = {name: data for kind, name, _, data in self.items if kind == RT_ICON}
        seen = set()
        for i in range(count):
            width, _, _, _, _, bits, length, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            size = width or 256
            seen.add((size, bits))
            image = images[image_id]
            self.assertEqual(length, len(image))
            # Windows reads PNG images in icons; the 256-pixel ones are stored so.
            self.assertEqual(size == 256, image.startswith(b"\x89PNG\r\n\x1a\n"), (size, bits))
        self.assertEqual({(s, b) for s in (256, 48, 32, 16) for b in (8, 32)}, seen)


if __name__ == "__main__":
    unittest.main(verbosity=2)
