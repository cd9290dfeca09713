#!/usr/bin/env python3
"""Release gate of the payloads, run by the build before they are embedded.

Fails the build, naming every fault, when
- a program payload's file version does not lie above its catalogue row's
  upper bound (a second run of the update would replace it again), or
- a payload does not expand byte for byte to its source with Wine's LZ32
  (LZOpenFileW + LZCopy, what the updater itself uses), or with Debian's
  msexpand, an independent expander.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from wine_prefix import Prefix, can_run_32bit_programs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--checker", required=True)
    parser.add_argument("--stamp", required=True)
    args = parser.parse_args()

    payloads = []
    with open(args.manifest) as f:
        for line in f:
            if line.strip():
                pid, source, packed = line.rstrip("\n").split("\t")
                payloads.append((int(pid), source, packed))

    faults = []
    if [p[0] for p in payloads] != list(range(401, 422)):
        faults.append("the manifest does not list payloads 401 to 421")

    for pid, source, packed in payloads:
        with open(source, "rb") as f:
            original = f.read()
        with open(packed, "rb") as f:
            data = f.read()
        if data[:8] != b"SZDD\x88\xf0\x27\x33" or data[8:9] != b"A" or data[9] != 0 \
                or int.from_bytes(data[10:14], "little") != len(original):
            faults.append(f"{pid}: the SZDD header is not mode 'A', byte 9 = 0, with the expanded length")
        expanded = subprocess.run(["msexpand"], input=data, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        if expanded != original:
            faults.append(f"{pid}: msexpand gives {len(expanded)} bytes that differ from the {len(original)}-byte source")

    if not os.environ.get("ZENTREL_WINE") and not can_run_32bit_programs():
        # Said loudly, never silently: the check below needs the 32-bit Wine
        # loader, which this machine's kernel cannot start.
        print("release gate: NOTE: this machine cannot execute 32-bit programs; the cross-check with "
              "Wine's LZ32 and the updater's own version reader was NOT made (msexpand was)")
        return verdict(faults, args.stamp, "msexpand only")

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
        seen = set()
        for line in lines:
            fields = line.split("\t")
            seen.add(int(fields[0]))
            if fields[1] != "ok":
                faults.append(f"{fields[0]}: {fields[2] if len(fields) > 2 else 'failed'}")
        for pid, _, _ in payloads:
            if pid not in seen:
                faults.append(f"{pid}: the Windows checker did not report on it")

    return verdict(faults, args.stamp, "versions, Wine LZ32, msexpand")


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


if __name__ == "__main__":
    sys.exit(main())
