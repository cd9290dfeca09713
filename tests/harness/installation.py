"""A sample Zentrel installation seeded into a prefix: the registry records
its installer leaves and the files the update replaces."""
import os

from wine import reg_string

HKLM = "HKEY_LOCAL_MACHINE"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\InstallShield_{3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}"
PRODUCT_KEY = r"Software\Halvern Corporation\Zentrel\1.0"
APP_KEY = PRODUCT_KEY + r"\App"

APPLICATION_DIR = r"C:\Program Files (x86)\Halvern\Zentrel"
LIBRARY_DIR = r"C:\Program Files (x86)\Halvern\RedOvad"
HELP_DIR = r"C:\Program Files (x86)\Halvern\Help"

PROGRAM_FILES = {
    APPLICATION_DIR: ["CardProbe.dll", "UpdateLink.dll", "Zentrel.exe", "ZentrelTask.exe", "FrameCore.dll"],
    LIBRARY_DIR: ["CardProbe.dll", "vxdecode.dll", "vxplay.dll"],
}
HELP_LANGUAGES = ["CHS", "CHT", "DEU", "ENU", "ESP", "FRA", "ITA", "JPN", "KOR", "NLD", "PLK", "PTB", "RUS"]


def registry_text(version="3.1.00.14000"):
    return (
        f"[{HKLM}\\{UNINSTALL_KEY}]\n"
        f"\"DisplayName\"={reg_string('Zentrel')}\n"
        f"\"DisplayVersion\"={reg_string(version)}\n\n"
        f"[{HKLM}\\{PRODUCT_KEY}]\n"
        f"\"Version\"={reg_string(version)}\n\n"
        f"[{HKLM}\\{APP_KEY}]\n"
        f"\"ApplicationDir\"={reg_string(APPLICATION_DIR)}\n"
        f"\"VideoEditLibPath\"={reg_string(LIBRARY_DIR)}\n"
    )


def seed(prefix, version="3.1.00.14000"):
    """Registry in the 32-bit view, where the product's installer writes it,
    and the installed files."""
    prefix.reg_import(32, registry_text(version))
    for folder, names in PROGRAM_FILES.items():
        for name in names:
            _write(prefix.unix_path(folder + "\\" + name), f"{name} as installed with Zentrel {version}\n")
    for language in HELP_LANGUAGES:
        _write(prefix.unix_path(f"{HELP_DIR}\\{language}\\zentrel.chm"), f"Zentrel {version} help, {language}\n")
    _write(prefix.unix_path(HELP_DIR + r"\VersionZentrelHelp.txt"), f"{version}\n")
    _write(prefix.unix_path(APPLICATION_DIR + r"\version.txt"), f"{version}\r\n")


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
    keys = [UNINSTALL_KEY, PRODUCT_KEY, APP_KEY, r"Software\Halvern Corporation\Shared Info\AppDB\Zentrel",
            r"SOFTWARE\Halvern Corporation\Mirelo Update"]
    snapshot = {}
    for view in (32, 64):
        for key in keys:
            values = prefix.reg_query(f"HKLM\\{key}", view)
            if values is not None:
                snapshot[(view, key)] = values
    return snapshot
