"""The maker's and the product's keys under HKEY_LOCAL_MACHINE as the tests
seed, replace and clear them in a prefix, through .reg texts imported into
the 32- or 64-bit registry view."""

HKLM = "HKEY_LOCAL_MACHINE"
MAKER_KEY = r"Software\Halvern Corporation"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\InstallShield_{3E81B4D2-7C60-4F1A-9D35-B0C6E2A8F471}"
PRODUCT_KEY = MAKER_KEY + r"\Zentrel\1.0"
APP_KEY = PRODUCT_KEY + r"\App"
APPDB_PRODUCT_KEY = MAKER_KEY + r"\Shared Info\AppDB\Zentrel"
UPDATE_TOOL_KEY = r"SOFTWARE\Halvern Corporation\Mirelo Update"


def reg_string(value):
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_dword(value):
    return "dword:%08x" % value


def app_key_text(application_dir, library_dir):
    """The App key with the installation's two folders."""
    return (f"[{HKLM}\\{APP_KEY}]\n"
            f"\"ApplicationDir\"={reg_string(application_dir)}\n"
            f"\"VideoEditLibPath\"={reg_string(library_dir)}\n")


def installation_text(version, application_dir, library_dir, appdb=True):
    """The records an installation of `version` leaves: the application
    database entry (unless `appdb` is false), the uninstall record, the
    product's version and its folders."""
    appdb_text = f"[{HKLM}\\{APPDB_PRODUCT_KEY}]\n\"InstallPath\"={reg_string(application_dir)}\n\n" if appdb else ""
    return appdb_text + (
        f"[{HKLM}\\{UNINSTALL_KEY}]\n"
        f"\"DisplayName\"={reg_string('Zentrel')}\n"
        f"\"DisplayVersion\"={reg_string(version)}\n\n"
        f"[{HKLM}\\{PRODUCT_KEY}]\n"
        f"\"Version\"={reg_string(version)}\n\n"
    ) + app_key_text(application_dir, library_dir)


def clear(prefix):
    """Removes the uninstall record and everything of the maker, in both views."""
    for view in (32, 64):
        delete_keys(prefix, view, UNINSTALL_KEY, MAKER_KEY, UPDATE_TOOL_KEY)


def delete_keys(prefix, view, *keys):
    prefix.reg_import(view, "\n".join(f"[-{HKLM}\\{key}]" for key in keys) + "\n")


def replace_key(prefix, view, key, values_text):
    """Deletes `key` and writes it anew with the .reg value lines given."""
    prefix.reg_import(view, f"[-{HKLM}\\{key}]\n\n[{HKLM}\\{key}]\n{values_text}")


def seed_version(prefix, version, view=32):
    """The uninstall record's "DisplayVersion" alone."""
    prefix.reg_import(view, f"[{HKLM}\\{UNINSTALL_KEY}]\n\"DisplayVersion\"={reg_string(version)}\n")


def seed_silent(prefix, value=1, view=32):
    """The update tool's "LaunchInstaller" flag."""
    prefix.reg_import(view, f"[{HKLM}\\{UPDATE_TOOL_KEY}]\n\"LaunchInstaller\"={reg_dword(value)}\n")
