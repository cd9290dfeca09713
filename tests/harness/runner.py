"""Runs the real updater in a prefix the way a user or the maker's update tool
would, and reads back what they would see: every message box (caption, text
and style) and the full 32-bit exit code."""
import dataclasses
import os
import re
import subprocess
import tempfile

from wine import WINE, Prefix

RELAY_CALL = re.compile(r'Call user32\.MessageBox\w*\((?P<args>.*)\) ret=')
RM_CALL = re.compile(r'Call rstrtmgr\.(?P<name>Rm\w+)\(')


@dataclasses.dataclass
class MessageBox:
    caption: str
    text: str
    style: int = -1


@dataclasses.dataclass
class RunResult:
    exit_code: int
    boxes: list
    windows: list
    shots: list
    timed_out: bool
    restart_manager_calls: list = dataclasses.field(default_factory=list)

    @property
    def hresult(self):
        return "0x%08X" % self.exit_code


def _unescape(field):
    out, i = [], 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            out.append({"t": "\t", "r": "\r", "n": "\n", "\\": "\\"}.get(field[i + 1], field[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def _relay_restart_manager(log_path):
    """The Restart Manager functions called, in order."""
    calls = []
    if os.path.exists(log_path):
        with open(log_path, "r", encoding="latin-1") as log:
            for line in log:
                m = RM_CALL.search(line)
                if m:
                    calls.append(m.group("name"))
    return calls


def _relay_styles(log_path):
    """The style argument of each MessageBox call in a relay log, in order."""
    styles = []
    if not os.path.exists(log_path):
        return styles
    with open(log_path, "r", encoding="latin-1") as log:
        for line in log:
            m = RELAY_CALL.search(line)
            if m:
                # The style is the last argument of MessageBoxW and MessageBoxExW's fourth.
                hexes = re.findall(r"(?:^|,)([0-9a-f]{8})(?=,|$)", m.group("args"))
                name = line.split("Call user32.")[1].split("(")[0]
                if name == "MessageBoxW" and hexes:
                    styles.append(int(hexes[-1], 16))
                elif len(hexes) >= 2:
                    styles.append(int(hexes[-2 if name == "MessageBoxExW" else -1], 16))
    return styles


class PendingRun:
    """An updater started through watch.exe that has not been waited for yet."""

    def __init__(self, process, work, out_path, relay_path, relay_file):
        self.process = process
        self.work = work
        self.out_path = out_path
        self.relay_path = relay_path
        self.relay_file = relay_file

    def seen_window(self):
        """True once the updater has shown a window other than a message box."""
        if not os.path.exists(self.out_path):
            return False
        with open(self.out_path, "r", encoding="utf-8") as f:
            return any(line.startswith("window\t") for line in f.read().splitlines())

    def wait(self, timeout=180):
        self.process.wait(timeout=timeout)
        self.relay_file.close()
        return _read_result(self.out_path, self.relay_path)


def start_updater(prefix: Prefix, updater_unix_path, watch_exe, lang=None, mutex=None, shots_dir=None, timeout=120,
                  env=None, hold_ms=0, arguments=(), frames=1):
    """Starts the updater (or another program, with its arguments) through
    watch.exe with the relay log of message boxes on."""
    work = tempfile.mkdtemp(prefix="run-", dir=prefix.path)
    out_path = os.path.join(work, "watch.txt")
    relay_path = os.path.join(work, "relay.log")
    args = [prefix.windows_path(watch_exe), "--out", prefix.windows_path(out_path), "--timeout", str(timeout)]
    if mutex:
        args += ["--mutex", mutex]
    if shots_dir:
        args += ["--shots", prefix.windows_path(shots_dir)]
    if hold_ms:
        args += ["--hold", str(hold_ms)]
    if frames > 1:
        args += ["--frames", str(frames)]
    updater = updater_unix_path if updater_unix_path[1:3] == ":\\" else prefix.windows_path(updater_unix_path)
    args += ["--", updater] + list(arguments)
    run_env = dict(prefix.env)
    run_env["WINEDEBUG"] = "-all,+relay"
    if lang:
        run_env.update({"LANG": lang, "LC_ALL": lang})
    run_env.update(env or {})
    relay_file = open(relay_path, "wb")
    process = subprocess.Popen([WINE] + args, env=run_env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=relay_file)
    return PendingRun(process, work, out_path, relay_path, relay_file)


def run_updater(prefix: Prefix, updater_unix_path, watch_exe, lang=None, mutex=None, shots_dir=None, timeout=120,
                env=None, arguments=(), frames=1):
    """Runs the updater through watch.exe and reads back what the user saw."""
    return start_updater(prefix, updater_unix_path, watch_exe, lang, mutex, shots_dir, timeout, env,
                         arguments=arguments, frames=frames).wait(timeout + 60)


def _read_result(out_path, relay_path):
    boxes, windows, shots = [], [], []
    exit_code, timed_out = None, False
    with open(out_path, "r", encoding="utf-8") as f:
        for line in f.read().splitlines():
            kind, *fields = line.split("\t")
            if kind == "box":
                boxes.append(MessageBox(_unescape(fields[0]), _unescape(fields[1])))
            elif kind == "window":
                windows.append((_unescape(fields[0]), _unescape(fields[1])))
            elif kind == "shot":
                shots.append(_unescape(fields[0]))
            elif kind == "exit":
                exit_code = int(fields[0], 16)
            elif kind == "timeout":
                timed_out = True
            elif kind == "error":
                raise RuntimeError("watch.exe: " + " ".join(fields))
    if exit_code is None:
        raise RuntimeError("watch.exe reported no exit code")
    styles = _relay_styles(relay_path)
    for box, style in zip(boxes, styles):
        box.style = style
    if len(styles) != len(boxes):
        raise RuntimeError(f"{len(boxes)} message boxes seen but {len(styles)} MessageBox calls logged")
    return RunResult(exit_code, boxes, windows, shots, timed_out, _relay_restart_manager(relay_path))
