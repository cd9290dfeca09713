"""Stopping a running updater at a chosen point of its file work.

The updater's file work shows on the Unix side of Wine as real file events
(creations and renames in the installation's folders), so a test can wait
for one with inotify and kill the updater the moment it happens: the kill
lands after that step and never before it. Nothing here sleeps and hopes."""
import ctypes
import os
import select
import signal
import struct
import time

IN_CREATE = 0x00000100
IN_MOVED_FROM = 0x00000040
IN_MOVED_TO = 0x00000080
IN_CLOSE_WRITE = 0x00000008

_libc = ctypes.CDLL("libc.so.6", use_errno=True)
_EVENT = struct.Struct("iIII")


class FileEvents:
    """inotify on a few folders; use as a context manager."""

    def __init__(self, folders, mask=IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE):
        self.fd = _libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self.folders = {}
        for folder in folders:
            wd = _libc.inotify_add_watch(self.fd, os.fsencode(folder), mask)
            if wd < 0:
                raise OSError(ctypes.get_errno(), "inotify_add_watch " + folder)
            self.folders[wd] = folder

    def wait_for(self, matches, timeout=120):
        """Waits until matches(event mask, folder, name) is true for an event;
        returns that event. Raises TimeoutError."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("the awaited file event did not happen")
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                continue
            data = os.read(self.fd, 65536)
            offset = 0
            while offset < len(data):
                wd, mask, _, length = _EVENT.unpack_from(data, offset)
                name = data[offset + _EVENT.size:offset + _EVENT.size + length].rstrip(b"\0").decode("utf-8", "replace")
                offset += _EVENT.size + length
                if matches(mask, self.folders.get(wd), name):
                    return mask, self.folders.get(wd), name

    def close(self):
        os.close(self.fd)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def program_pids(prefix_path, image_name):
    """Unix process ids of the Wine processes of `image_name` in that prefix."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read().decode("utf-8", "replace")
            with open(f"/proc/{entry}/environ", "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        # Wine shows a program's Windows path as its first argument; a program
        # that merely names it further on (the test's launcher) is not it.
        program = cmdline.split("\0")[0].replace("/", "\\").rsplit("\\", 1)[-1]
        if program.lower() == image_name.lower() and b"WINEPREFIX=" + os.fsencode(prefix_path) in environ:
            pids.append(int(entry))
    return pids


def kill_program(prefix_path, image_name):
    """Kills every process of `image_name` in the prefix at once (SIGKILL, as
    a power cut would stop it: no code of the program runs any more)."""
    pids = program_pids(prefix_path, image_name)
    for pid in pids:
        os.kill(pid, signal.SIGKILL)
    return pids
