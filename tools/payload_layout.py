#!/usr/bin/env python3
"""The folder of the maker's files that a release build embeds instead of the
stand-ins (-DZENTREL_PAYLOADS=FOLDER), and the checks of single files that the
release gate makes on every payload, stand-in or real.

The folder holds the 21 files as they are installed:
  App/      Zentrel.exe ZentrelTask.exe UpdateLink.dll FrameCore.dll CardProbe.dll
  RedOvad/  CardProbe.dll vxdecode.dll vxplay.dll
  Help/<CHS|CHT|DEU|ENU|ESP|FRA|ITA|JPN|KOR|NLD|PLK|PTB|RUS>/zentrel.chm

usage: payload_layout.py FOLDER SOURCES.cmake
  Checks that FOLDER holds exactly those files; writes the payload id of each
  as CMake settings, or names every missing and extra file and exits 1.
"""
import os
import struct
import sys

HELP_LANGUAGES = ["CHS", "CHT", "DEU", "ENU", "ESP", "FRA", "ITA", "JPN", "KOR", "NLD", "PLK", "PTB", "RUS"]

# Payload id -> the file's place in the folder, in the catalogue's order.
PROGRAMS = {
    401: "App/CardProbe.dll",
    402: "App/UpdateLink.dll",
    403: "App/Zentrel.exe",
    404: "App/ZentrelTask.exe",
    405: "App/FrameCore.dll",
    406: "RedOvad/CardProbe.dll",
    407: "RedOvad/vxdecode.dll",
    408: "RedOvad/vxplay.dll",
}
HELP = {409 + i: f"Help/{language}/zentrel.chm" for i, language in enumerate(HELP_LANGUAGES)}
LAYOUT = {**PROGRAMS, **HELP}

IMAGE_FILE_MACHINE_I386 = 0x014C
IMAGE_FILE_MACHINE_AMD64 = 0x8664
MACHINE_NAMES = {IMAGE_FILE_MACHINE_I386: "32-bit x86", IMAGE_FILE_MACHINE_AMD64: "x86-64"}
IMAGE_FILE_DLL = 0x2000


def layout_faults(folder):
    """Every file the folder lacks or has beyond the 21."""
    if not os.path.isdir(folder):
        return [f"{folder} is not a folder"]
    present = set()
    for root, _, names in os.walk(folder):
        for name in names:
            present.add(os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/"))
    expected = set(LAYOUT.values())
    return ([f"missing file {path}" for path in sorted(expected - present)] +
            [f"extra file {path}: not one of the update's 21 files" for path in sorted(present - expected)])


def program_fault(data, name, expected=IMAGE_FILE_MACHINE_I386):
    """Why `data` is not a Windows program or library named `name` for the
    machine `expected` (the updater's own: 32-bit x86), or None."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        return "not a PE file (no MZ header)"
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0" or len(data) < pe + 24:
        return "not a PE file (no PE header)"
    machine, characteristics = struct.unpack_from("<H", data, pe + 4)[0], struct.unpack_from("<H", data, pe + 22)[0]
    if machine != expected:
        return (f"a PE file for machine 0x{machine:04x}, not for "
                f"{MACHINE_NAMES.get(expected, 'the build')} (0x{expected:04x})")
    is_dll = bool(characteristics & IMAGE_FILE_DLL)
    if is_dll != name.lower().endswith(".dll"):
        return "a library where a program belongs" if is_dll else "a program where a library belongs"
    return None


def help_fault(data):
    """Why `data` is not a compiled HTML help file, or None."""
    if data[:4] != b"ITSF":
        return "not a compiled HTML help file (no ITSF header)"
    return None


def content_fault(pid, data, machine=IMAGE_FILE_MACHINE_I386):
    """The fault of payload `pid`'s file as a file of its kind, or None."""
    if pid in PROGRAMS:
        return program_fault(data, PROGRAMS[pid], machine)
    if pid in HELP:
        return help_fault(data)
    return "not one of the payload ids 401 to 421"


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    folder = os.path.abspath(argv[1])
    faults = layout_faults(folder)
    if faults:
        print(f"The payload folder {folder} does not hold the update's 21 files:", file=sys.stderr)
        for fault in faults:
            print("  " + fault, file=sys.stderr)
        return 1
    with open(argv[2], "w") as out:
        out.write(f"# Generated from the layout of {folder}.\n")
        for pid, path in sorted(LAYOUT.items()):
            out.write(f"set(PAYLOAD_SOURCE_{pid} \"{folder}/{path}\")\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
