#!/usr/bin/env python3
"""Checks the built updater as a file, the way a customer's Windows sees it:
a PE32 (i386) GUI program with a Unicode entry point that imports no MinGW
runtime DLL and, from the DLLs it imports, only those Windows always takes
from the system folder; with its manifest, version resource and icon.

usage: check_binary.py UPDATER.exe
"""
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"

# Known DLLs (always mapped from System32) plus msvcrt, which is one too.
ALLOWED_IMPORTS = {
    "kernel32.dll", "user32.dll", "advapi32.dll", "gdi32.dll", "msvcrt.dll",
    "shell32.dll", "shlwapi.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll",
}


def main():
    exe = sys.argv[1]
    failures = []
    header = subprocess.run([OBJDUMP, "-p", exe], capture_output=True, text=True, check=True).stdout
    if "file format pei-i386" not in header:
        failures.append("not a PE32 i386 image")
    if not re.search(r"^Subsystem\s+00000002", header, re.M):
        failures.append("not a GUI-subsystem program")
    imports = sorted({name.lower() for name in re.findall(r"DLL Name: (\S+)", header)})
    for name in imports:
        if name not in ALLOWED_IMPORTS:
            failures.append(f"imports {name}, which Windows may load from the program's own folder")

    data = open(exe, "rb").read()
    needles = {
        "manifest asks for administrator rights": b'level="requireAdministrator"',
        "manifest asks for common controls 6": b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
        "manifest is DPI aware": b">true</dpiAware>",
        "manifest lists Windows 8": b"4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
        "version resource describes the program": "Zentrel Update Program".encode("utf-16-le"),
        "version resource carries 3.2.0.7040": "3.2.0.7040".encode("utf-16-le"),
    }
    for what, needle in needles.items():
        if needle not in data:
            failures.append(f"missing: {what}")

    print(f"{exe}: imports {', '.join(imports)}")
    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"{len(needles) + 3 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
