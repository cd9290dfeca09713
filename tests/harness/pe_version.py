"""Installed-file fixtures: copies of real PE files with a chosen file version.

The fixed file information of a version resource starts with the signature
0xFEEF04BD; its file version follows the structure version. Patching those
eight bytes gives a genuine PE file that Windows' version functions read at the
chosen version."""
import struct

SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def file_version(data):
    at = data.find(SIGNATURE)
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def with_version(data, version):
    at = data.find(SIGNATURE)
    if at < 0:
        raise ValueError("no version resource")
    major, minor, build, revision = version
    patched = bytearray(data)
    struct.pack_into("<II", patched, at + 8, (major << 16) | minor, (build << 16) | revision)
    return bytes(patched)


def write_versioned_copy(source, dest, version):
    with open(source, "rb") as f:
        data = f.read()
    with open(dest, "wb") as f:
        f.write(with_version(data, version) if version else data)


def parse(text):
    return tuple(int(part) for part in text.split("."))
