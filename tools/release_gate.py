#!/usr/bin/env python3
"""Release gate of the payloads, run by the build before they are embedded.

Fails the build, naming every fault, when
- a program payload is not a PE file for the build's machine of its kind
  (program or library), or a help payload is not a compiled HTML help file
  (ITSF header),
- a program payload's file version does not lie above its catalogue row's
  upper bound (a second run of the update would replace it again), or
- a payload does not expand byte for byte to its source with Wine's LZ32
  (LZOpenFileW + LZCopy, what the updater itself uses), or with Debian's
  msexpand, an independent expander.
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

from wine_prefix import Prefix, can_run_32bit_programs

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from exe_sizes import PeFile  # noqa: E402
from payload_layout import content_fault  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from exe_sizes import PeFile  # noqa: E402
from payload_layout import content_fault  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--checker", required=True)
    parser.add_argument("--stamp", required=True)
    args = parser.parse_args()
    # Program payloads are for the machine the updater is built for, as is the
    # checker, built by the same toolchain.
    with open(args.checker, "rb") as f:
        args.machine = PeFile(f.read()).machine

    payloads = []
    with open(args.manifest) as f:
        for line in f:
            if line.strip():
                pid, source, packed = line.rstrip("\n").split("\t")
                payloads.append((int(pid), source, packed))

    faults = []
    if [p[0] for p in payloads] != list(range(401, 422)):
        faults.append("the manifest does not list payloads 401 to 421")

    windows_possible = bool(os.environ.get("ZENTREL_WINE")) or can_run_32bit_programs()
    # msexpand takes about 3 s per MB: the files are checked side by side, and
    # beside the Windows checker.
    with concurrent.futures.ThreadPoolExecutor(max_workers=(os.cpu_count() or 2) + 1) as pool:
        windows = pool.submit(windows_check_faults_or_why, args, payloads) if windows_possible else None
        for file_faults in pool.map(lambda payload: independent_faults(*payload, args.machine), payloads):
            faults += file_faults
        if windows is None:
            # Said loudly, never silently: the check needs the 32-bit Wine
            # loader, which this machine's kernel cannot start.
            print("release gate: NOTE: this machine cannot execute 32-bit programs; the cross-check with "
                  "Wine's LZ32 and the updater's own version reader was NOT made (msexpand was)")
            return verdict(faults, args.stamp, "kinds, msexpand only")
        faults += windows.result()
    return verdict(faults, args.stamp, "kinds, versions, Wine LZ32, msexpand")


def verdict(faults, stamp, checks):
    if faults:
        print("RELEASE GATE FAILED: the payloads must not be embedded", file=sys.stderr)
        for fault in faults:
            print("  " + fault, file=sys.stderr)
        return 1
    with open(stamp, "w") as f:
        f.write(f"21 payloads checked ({checks})\n")
    print(f"release gate: 21 payloads pass ({checks})")
    return 0


def independent_faults(pid, source, packed, machine):
    """The faults found without Wine: the file's kind, the SZDD header, and
    expansion with Debian's msexpand."""
    faults = []
    with open(source, "rb") as f:
        original = f.read()
    fault = content_fault(pid, original, machine)
    if fault:
        faults.append(f"{pid}: {source} is {fault}")
    with open(packed, "rb") as f:
        header = f.read(14)
    if header[:8] != b"SZDD\x88\xf0\x27\x33" or header[8:9] != b"A" or header[9:10] != b"\0" \
            or int.from_bytes(header[10:14], "little") != len(original):
        faults.append(f"{pid}: the SZDD header is not mode 'A', byte 9 = 0, with the expanded length")
    with open(packed, "rb") as data, tempfile.TemporaryFile() as out:
        subprocess.run(["msexpand"], stdin=data, stdout=out, stderr=subprocess.DEVNULL)
        out.seek(0)
        expanded = out.read()
    if expanded != original:
        faults.append(f"{pid}: msexpand gives {len(expanded)} bytes that differ from the {len(original)}-byte source")
    return faults


def windows_check_faults_or_why(args, payloads):
    try:
        return windows_check_faults(args, payloads)
    except Exception as error:  # noqa: BLE001 - the gate must name why it could not pass
        return [f"the Windows checker could not run under Wine: {error}"]


def windows_check_faults(args, payloads):
    """The faults the updater's own code finds under Wine: versions against the
    catalogue, and expansion with the system's LZ32."""
    faults = []
    with Prefix(os.path.abspath(args.build)) as prefix:
        work = tempfile.mkdtemp(dir=prefix.path)
        listing = os.path.join(work, "list.txt")
        report = os.path.join(work, "report.txt")
        with open(listing, "w", encoding="utf-8") as f:
            for pid, source, packed in payloads:
                scratch = os.path.join(work, f"{pid}.out")
                f.write("\t".join([str(pid), prefix.windows_path(source), prefix.windows_path(packed),
                                   prefix.windows_path(scratch)]) + "\n")
        prefix.run([prefix.windows_path(args.checker), prefix.windows_path(listing), prefix.windows_path(report)],
                   timeout=300)
        lines = open(report, encoding="utf-8").read().splitlines() if os.path.exists(report) else []
        if not lines:
            return ["the Windows checker wrote no report: payload_check.exe did not run under Wine"]
        seen = set()
        for line in lines:
            fields = line.split("\t")
            seen.add(int(fields[0]))
            if fields[1] != "ok":
                faults.append(f"{fields[0]}: {fields[2] if len(fields) > 2 else 'failed'}")
        for pid, _, _ in payloads:
            if pid not in seen:
                faults.append(f"{pid}: the Windows checker did not report on it")
    return faults


if __name__ == "__main__":
    sys.exit(main())
