#!/usr/bin/env python3
"""Benchmark of a silent update against its floor. It measures and prints;
it never fails on a timing.

Both run in one Wine prefix with a virtual desktop (a window closing under
bare Xvfb waits for a window manager): the real updater, silent, updating a
freshly seeded 3.1 installation; and the floor, a program that carries the
same payloads and only LZ-expands each onto its target. They alternate
(updater, floor, updater, floor, ...) so that a noisy machine affects both
alike; the medians and their ratio are printed, with the updater's peak
private memory.

usage: python3 tools/benchmark_update.py [--build DIR] [--rounds N] [--seed-build DIR]
  DIR: a build folder (default: build, or build-x64 where this machine
  cannot run 32-bit programs); `cmake --build DIR --target lz_floor` first.
Run it under a display (xvfb-run) like the tests.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

import installation  # noqa: E402
from product_registry import HKLM, UPDATE_TOOL_KEY, reg_dword  # noqa: E402
from wine import WINE, Prefix  # noqa: E402
from wine_prefix import can_run_32bit_programs  # noqa: E402


def private_kib(pid):
    """Private (anonymous) resident memory of a process in KiB, or 0."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def updater_pid(prefix_path):
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    cmdline = f.read()
                with open(f"/proc/{entry}/environ", "rb") as f:
                    environ = f.read()
            except OSError:
                continue
            if b"ZentrelUpdate.exe" in cmdline and b"WINEPREFIX=" + os.fsencode(prefix_path) + b"\0" in environ:
                return int(entry)
    return None


def timed(prefix, args, watch_memory=False):
    """Wall time of one Wine program run, and its peak private memory."""
    start = time.perf_counter()
    process = subprocess.Popen([WINE] + args, env=prefix.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    peak = 0
    pid = None
    while process.poll() is None:
        if watch_memory:
            pid = pid or updater_pid(prefix.path)
            if pid:
                peak = max(peak, private_kib(pid))
        time.sleep(0.002)
    elapsed = time.perf_counter() - start
    return elapsed, process.returncode, peak


def main():
    parser = argparse.ArgumentParser()
    default_build = "build" if can_run_32bit_programs() else "build-x64"
    parser.add_argument("--build", default=os.path.join(ROOT, default_build))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--seed-build", help="the build whose stand-in programs make the old installation "
                        "(default: --build; a release build with the maker's files has none)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    seed_build = os.path.abspath(args.seed_build or args.build)
    updater = os.path.join(build, "ZentrelUpdate.exe")
    floor = os.path.join(build, "resources", "payloads", "lz_floor.exe")
    for path in (updater, floor):
        if not os.path.exists(path):
            sys.exit(f"missing {path}: build it first (cmake --build {build} --target lz_floor)")

    # The build's prefixes have a virtual desktop, so closing the progress
    # window does not wait for a window manager.
    with Prefix(build) as prefix:
        work = tempfile.mkdtemp(dir=prefix.path)
        listing = os.path.join(work, "targets.txt")
        rows = [f"{folder}\\{name}" for folder, name, _ in installation.PROGRAM_FILES]
        rows += [f"{installation.HELP_DIR}\\{language}\\zentrel.chm" for language in installation.HELP_LANGUAGES]
        with open(listing, "w", encoding="utf-8") as f:
            for pid, target in zip(range(401, 422), rows):
                f.write(f"{pid}\t{target}\n")

        def seed():
            installation.seed(prefix, seed_build)
            # Silent: the 32-bit updater reads the 32-bit view, the 64-bit check build the other.
            for view in (32, 64):
                prefix.reg_import(view, f"[{HKLM}\\{UPDATE_TOOL_KEY}]\n\"LaunchInstaller\"={reg_dword(1)}\n")

        seed()
        timed(prefix, [prefix.windows_path(updater)])  # warm the caches once
        updates, floors, peaks = [], [], []
        for round_number in range(args.rounds):
            seed()
            elapsed, code, peak = timed(prefix, [prefix.windows_path(updater)], watch_memory=True)
            updates.append(elapsed)
            peaks.append(peak)
            if code != 0:
                print(f"round {round_number}: the updater exited with {code} (low 8 bits)")
            seed()
            elapsed, code, _ = timed(prefix, [prefix.windows_path(floor), prefix.windows_path(listing)])
            floors.append(elapsed)
            if code != 0:
                print(f"round {round_number}: the floor failed on {code} payloads")

    payload_bytes = sum(os.path.getsize(os.path.join(build, "payloads", "packed", f"{i}.sz_")) for i in range(401, 422))
    update_median = statistics.median(updates)
    floor_median = statistics.median(floors)
    print(f"build: {build}")
    print(f"packed payloads: {payload_bytes / 1e6:.1f} MB; rounds: {args.rounds} each, interleaved")
    print(f"silent update: median {update_median * 1000:.0f} ms  ({', '.join(f'{t * 1000:.0f}' for t in updates)})")
    print(f"LZ floor:      median {floor_median * 1000:.0f} ms  ({', '.join(f'{t * 1000:.0f}' for t in floors)})")
    print(f"ratio: {update_median / floor_median:.2f}x the floor")
    print(f"updater peak private memory: {max(peaks) / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
