"""A sample Zentrel installation seeded into a prefix: the registry records
its installer leaves and the files the update replaces. The program files are
real PE files (the build's payloads) patched to the versions an older
installation carries."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))

import product_registry  # noqa: E402
from pe_version import parse, write_versioned_copy  # noqa: E402
from product_registry import (APP_KEY, APPDB_PRODUCT_KEY, PRODUCT_KEY, UNINSTALL_KEY,  # noqa: E402,F401
                              UPDATE_TOOL_KEY)

APPLICATION_DIR = r"C:\Program Files (x86)\Halvern\Zentrel"
LIBRARY_DIR = r"C:\Program Files (x86)\Halvern\RedOvad"
HELP_DIR = r"C:\Program Files (x86)\Halvern\Help"

# Folder, file name, and the file version Zentrel 3.1.00.14000 installed.
PROGRAM_FILES = [
    (APPLICATION_DIR, "CardProbe.dll", "4.1.0.13800"),
    (APPLICATION_DIR, "UpdateLink.dll", "3.1.0.14000"),
    (APPLICATION_DIR, "Zentrel.exe", "3.1.0.14000"),
    (APPLICATION_DIR, "ZentrelTask.exe", "3.1.0.14000"),
    (APPLICATION_DIR, "FrameCore.dll", "3.1.0.14000"),
    (LIBRARY_DIR, "CardProbe.dll", "4.1.0.14100"),
    (LIBRARY_DIR, "vxdecode.dll", "5.0.2.16000"),
    (LIBRARY_DIR, "vxplay.dll", "5.2.2.1100"),
]
HELP_LANGUAGES = ["CHS", "CHT", "DEU", "ENU", "ESP", "FRA", "ITA", "JPN", "KOR", "NLD", "PLK", "PTB", "RUS"]

# The history the product keeps of its updates, with one update recorded.
HISTORY = ("3.1.00.14000\r\n3.0.00.12000\r\nUpdateCount=1\r\nUpdated_1_Date=2012/11/5 14:22:10\r\n"
           "Updated_1_ProductName=Zentrel\r\nUpdated_1_Version=3.1.00.14000\r\n"
           "Updated_1_ProductGUID={3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}\r\n")


def seed(prefix, build_dir, version="3.1.00.14000", file_versions=None, help_files=True, appdb=True,
         history=HISTORY):
    """Registry in the 32-bit view, where the product's installer writes it,
    and the installed files. `file_versions` maps a program file's Windows
    path to the version to give it instead (None: leave it out)."""
    prefix.reg_import(32, product_registry.installation_text(version, APPLICATION_DIR, LIBRARY_DIR, appdb))
    file_versions = file_versions or {}
    for folder, name, installed in PROGRAM_FILES:
        path = folder + "\\" + name
        chosen = file_versions.get(path, installed)
        if chosen is None:
            continue
        target = prefix.unix_path(path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        write_versioned_copy(payload_program(build_dir, name), target, parse(chosen))
    if help_files:
        for language in HELP_LANGUAGES:
            _write(prefix.unix_path(f"{HELP_DIR}\\{language}\\zentrel.chm"), f"Zentrel {version} help, {language}\n")
    _write(prefix.unix_path(HELP_DIR + r"\VersionZentrelHelp.txt"), f"{version}\n")
    if history is not None:
        path = prefix.unix_path(APPLICATION_DIR + r"\version.txt")
        with open(path, "wb") as f:
            f.write(history if isinstance(history, bytes) else history.encode("latin-1"))


def payload_program(build_dir, name):
    """The build's payload file of that name, the source of installed copies."""
    return os.path.join(build_dir, "payloads", "programs", name)


def _write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="") as f:
        f.write(text)


def snapshot_files(prefix):
    """{windows path: bytes} of everything under the product's folders."""
    files = {}
    root = prefix.unix_path(r"C:\Program Files (x86)\Halvern")
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, prefix.unix_path("C:\\"))
            with open(path, "rb") as f:
                files["C:\\" + rel.replace("/", "\\")] = f.read()
    return files


def snapshot_registry(prefix):
    """{(view, key): values} of the keys the update reads or writes."""
    keys = [UNINSTALL_KEY, PRODUCT_KEY, APP_KEY, APPDB_PRODUCT_KEY, APPDB_PRODUCT_KEY + r"\PatchList\RX4819305562",
            UPDATE_TOOL_KEY]
    snapshot = {}
    for view in (32, 64):
        for key in keys:
            values = prefix.reg_query(f"HKLM\\{key}", view)
            if values is not None:
                snapshot[(view, key)] = values
    return snapshot
