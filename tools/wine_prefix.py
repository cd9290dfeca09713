"""Throwaway Wine prefixes for the build's release gate, the tests and the
demonstration.

A template prefix (64-bit, made once per build folder) is cloned for every
user: the large Windows folder by hard links, everything Wine rewrites (the
registry files, .ini files, the users' folders) by real copies. Each clone has
its own persistent wineserver, started detached from the caller's pipes.

Windows open on a Wine virtual desktop: under a bare X server without a window
manager, Wine waits about two seconds in DestroyWindow for a withdrawn state
that never comes, which every window of every run would pay.
"""
import contextlib
import fcntl
import os
import shutil
import subprocess
import tempfile

# "wine" starts 32-bit programs (and hands 64-bit ones to wine64). The 64-bit
# check build (see scripts/test.sh) sets ZENTREL_WINE to the wine64 loader.
WINE = os.environ.get("ZENTREL_WINE") or shutil.which("wine") or "/usr/bin/wine"
WINE32_LOADER = "/usr/lib/wine/wine"
WINESERVER = shutil.which("wineserver") or "/usr/bin/wineserver"

# Registry value that makes Wine's relay channel log the message box calls
# (text, caption and style) and the Restart Manager's, and nothing else.
RELAY_INCLUDE = ("user32.MessageBoxW;user32.MessageBoxExW;user32.MessageBoxTimeoutW;user32.MessageBoxIndirectW;"
                 "rstrtmgr.RmStartSession;rstrtmgr.RmRegisterResources;rstrtmgr.RmShutdown;rstrtmgr.RmRestart;"
                 "rstrtmgr.RmEndSession")

# The virtual desktop every prefix opens its windows on.
DESKTOP_SIZE = "1024x768"

# What a template is made with; a template made otherwise is made again.
TEMPLATE_SETTINGS = f"relay={RELAY_INCLUDE}\ndesktop={DESKTOP_SIZE}\n"

DEVNULL = subprocess.DEVNULL


def base_env(prefix):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEARCH"] = "win64"
    env["WINEDEBUG"] = "-all"
    # No Mono or Gecko installer prompts: the machine is offline.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env.setdefault("LANG", "C.UTF-8")
    env.pop("LC_ALL", None)
    env.pop("LC_MESSAGES", None)
    return env


def can_run_32bit_programs():
    """False on a machine whose kernel cannot execute 32-bit x86 programs (its
    IA-32 emulation is off): Wine's 32-bit loader, and with it every PE32
    program, cannot start there."""
    try:
        subprocess.run([WINE32_LOADER, "--version"], stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL, timeout=60)
    except OSError:
        return False
    return True


def _run_detached(args, env, timeout=120):
    subprocess.run(args, env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL, timeout=timeout, check=False)


def ensure_template(build_dir):
    """The template prefix of this build folder, made on first use."""
    root = os.path.join(build_dir, "wine")
    os.makedirs(root, exist_ok=True)
    template = os.path.join(root, "template")
    with open(os.path.join(root, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ready = os.path.join(template, ".ready")
        if os.path.exists(ready):
            with open(ready) as f:
                if f.read() == TEMPLATE_SETTINGS:
                    return template
        shutil.rmtree(template, ignore_errors=True)
        env = base_env(template)
        _run_detached([WINE, "wineboot", "-i"], env, timeout=300)
        # Message boxes are logged by the relay channel when a test asks for it.
        _run_detached([WINE, "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
                       "/d", RELAY_INCLUDE, "/f"], env)
        _run_detached([WINE, "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/t", "REG_SZ",
                       "/d", "Default", "/f"], env)
        _run_detached([WINE, "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/t", "REG_SZ",
                       "/d", DESKTOP_SIZE, "/f"], env)
        _run_detached([WINESERVER, "-w"], env, timeout=120)
        if not os.path.exists(os.path.join(template, "system.reg")):
            raise RuntimeError("wineboot did not create a prefix in " + template)
        with open(ready, "w") as f:
            f.write(TEMPLATE_SETTINGS)
        return template


def clone_prefix(template, dest):
    """Copies the template to dest: hard links for the Windows folder's files,
    real copies for whatever Wine may rewrite in place."""
    os.makedirs(dest)
    for name in os.listdir(template):
        if name in (".ready", "drive_c"):
            continue
        src = os.path.join(template, name)
        if os.path.isdir(src) and not os.path.islink(src):
            shutil.copytree(src, os.path.join(dest, name), symlinks=True)
        else:
            shutil.copy2(src, os.path.join(dest, name), follow_symlinks=False)
    drive = os.path.join(dest, "drive_c")
    os.makedirs(drive)
    for name in os.listdir(os.path.join(template, "drive_c")):
        src = os.path.join(template, "drive_c", name)
        if name == "windows":
            subprocess.run(["cp", "-al", src, os.path.join(drive, name)], check=True)
        elif os.path.isdir(src) and not os.path.islink(src):
            shutil.copytree(src, os.path.join(drive, name), symlinks=True)
        else:
            shutil.copy2(src, os.path.join(drive, name), follow_symlinks=False)
    # Break the links of the files Wine writes in place.
    windows = os.path.join(drive, "windows")
    for folder, _, files in os.walk(windows):
        for name in files:
            if name.lower().endswith((".ini", ".log", ".dat", ".txt")):
                path = os.path.join(folder, name)
                if os.path.islink(path):
                    continue
                copy = path + ".copy"
                shutil.copy2(path, copy)
                os.replace(copy, path)


class Prefix:
    """A cloned prefix with its own persistent wineserver. Use as a context manager."""

    def __init__(self, build_dir, keep=False):
        self.build_dir = build_dir
        self.template = ensure_template(build_dir)
        self.path = tempfile.mkdtemp(prefix="zentrel-prefix-", dir=os.path.join(build_dir, "wine"))
        os.rmdir(self.path)
        clone_prefix(self.template, self.path)
        self.keep = keep
        self.env = base_env(self.path)
        self.start_server()

    def start_server(self, display=None):
        env = dict(self.env)
        if display is not None:
            env["DISPLAY"] = display
            self.env["DISPLAY"] = display
        subprocess.Popen([WINESERVER, "-p"], env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL,
                         start_new_session=True).wait()
        # The first program starts Wine's services; they must not inherit our pipes.
        _run_detached([WINE, "cmd", "/c", "exit"], env)

    def stop_server(self):
        _run_detached([WINESERVER, "-k"], self.env, timeout=60)
        with contextlib.suppress(Exception):
            _run_detached([WINESERVER, "-w"], self.env, timeout=30)

    def close(self):
        self.stop_server()
        if not self.keep:
            shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # Paths ------------------------------------------------------------------

    def unix_path(self, windows_path):
        """C:\\a\\b -> <prefix>/drive_c/a/b (drive C only)."""
        assert windows_path[1:3] == ":\\" and windows_path[0].upper() == "C", windows_path
        return os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))

    @staticmethod
    def windows_path(unix_path):
        """Any Unix path, through drive Z:."""
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

    # Running programs -------------------------------------------------------

    def run(self, args, env=None, timeout=120, stderr_path=None, check=False):
        """Runs a Wine command with its output in files, never pipes."""
        full_env = dict(self.env)
        full_env.update(env or {})
        with tempfile.TemporaryFile() as out:
            err = open(stderr_path, "wb") if stderr_path else tempfile.TemporaryFile()
            with err:
                proc = subprocess.run([WINE] + list(args), env=full_env, stdin=DEVNULL, stdout=out, stderr=err,
                                      timeout=timeout)
                out.seek(0)
                text = out.read().decode("utf-8", "replace")
                if check and proc.returncode != 0:
                    err.seek(0)
                    raise RuntimeError(f"wine {args} failed ({proc.returncode}): {text} {err.read()[-2000:]}")
                return proc.returncode, text

    # Registry ---------------------------------------------------------------

    def reg_import(self, view, text):
        """Imports a .reg text (without its header line) into the 32- or 64-bit view."""
        assert view in (32, 64)
        fd, path = tempfile.mkstemp(suffix=".reg", dir=self.path)
        with os.fdopen(fd, "wb") as f:
            f.write(("Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\n", "\r\n")).encode("utf-16"))
        try:
            self.run(["reg", "import", self.windows_path(path), f"/reg:{view}"], check=True)
        finally:
            os.remove(path)

    def reg_query(self, key, view, value=None):
        """The values of a key as {name: (type, data-text)}, or None when the key is missing."""
        args = ["reg", "query", key, f"/reg:{view}"]
        if value is not None:
            args[3:3] = ["/v", value]
        code, text = self.run(args)
        if code != 0:
            return None
        values = {}
        for line in text.splitlines():
            parts = line.strip().split("    ")
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values


def main(argv):
    """prefix BUILD_DIR: prints the path of a new clone with its server running.
    close PATH: stops that clone's server and removes it.
    can-run-32bit: exits 0 when this machine can run PE32 programs under Wine."""
    if len(argv) == 3 and argv[1] == "prefix":
        prefix = Prefix(os.path.abspath(argv[2]), keep=True)
        print(prefix.path)
        return 0
    if len(argv) == 3 and argv[1] == "close":
        _run_detached([WINESERVER, "-k"], base_env(argv[2]), timeout=60)
        shutil.rmtree(argv[2], ignore_errors=True)
        return 0
    if len(argv) == 2 and argv[1] == "can-run-32bit":
        return 0 if can_run_32bit_programs() else 1
    print(main.__doc__)
    return 2


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv))
