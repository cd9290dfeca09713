#!/usr/bin/env python3
"""Benchmark: the project's SZDD packer against Debian's mscompress.

Compresses the payload set and a corpus of real Windows binaries (Wine's
32-bit DLLs) with both, checks every output with msexpand, and prints the
total compressed size of each, the files where either is smaller, and the
throughput. It only measures and prints; it never fails on a figure.

usage: benchmark_packer.py [BUILD_DIR] [--corpus DIR] [--limit N]
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run_packer(packer, files, work):
    sizes, seconds = {}, 0.0
    for path in files:
        out = os.path.join(work, "ours.sz_")
        start = time.perf_counter()
        subprocess.run([packer, path, out], check=True)
        seconds += time.perf_counter() - start
        sizes[path] = os.path.getsize(out)
        check(out, path)
    return sizes, seconds


def run_mscompress(files, work):
    sizes, seconds = {}, 0.0
    for path in files:
        copy = os.path.join(work, "ms_" + os.path.basename(path))
        shutil.copyfile(path, copy)
        start = time.perf_counter()
        subprocess.run(["mscompress", copy], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        seconds += time.perf_counter() - start
        packed = copy[:-1] + "_" if os.path.exists(copy[:-1] + "_") else copy + "_"
        sizes[path] = os.path.getsize(packed)
        check(packed, path)
        os.remove(packed)
        os.remove(copy) if os.path.exists(copy) else None
    return sizes, seconds


def check(packed, original):
    with open(packed, "rb") as f:
        expanded = subprocess.run(["msexpand"], stdin=f, stdout=subprocess.PIPE, check=True).stdout
    with open(original, "rb") as f:
        if expanded != f.read():
            print(f"  WARNING: {packed} does not expand to {original}")


def report(title, files, packer):
    total = sum(os.path.getsize(p) for p in files)
    with tempfile.TemporaryDirectory() as work:
        ours, ours_s = run_packer(packer, files, work)
        theirs, theirs_s = run_mscompress(files, work)
    ours_total, theirs_total = sum(ours.values()), sum(theirs.values())
    wins = [p for p in files if ours[p] < theirs[p]]
    ties = [p for p in files if ours[p] == theirs[p]]
    losses = [p for p in files if ours[p] > theirs[p]]
    print(f"\n{title}: {len(files)} files, {total / 1e6:.2f} MB")
    print(f"  {'':12} {'compressed':>14} {'ratio':>7} {'MB/s':>8}")
    print(f"  {'szdd_pack':12} {ours_total:>14,} {ours_total / total:>7.1%} {total / 1e6 / ours_s:>8.1f}")
    print(f"  {'mscompress':12} {theirs_total:>14,} {theirs_total / total:>7.1%} {total / 1e6 / theirs_s:>8.1f}")
    print(f"  szdd_pack is {1 - ours_total / theirs_total:.2%} smaller in total; "
          f"smaller on {len(wins)} files, equal on {len(ties)}, larger on {len(losses)}")
    for p in losses:
        print(f"  larger: {os.path.basename(p)} {ours[p]:,} vs {theirs[p]:,}")
    print("  (MB/s includes starting each process; szdd_pack also checks its output by expanding it)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    parser.add_argument("--corpus", default="/usr/lib/i386-linux-gnu/wine/i386-windows")
    parser.add_argument("--limit", type=int, default=0, help="at most this many corpus files (0: all)")
    args = parser.parse_args()
    packer = os.path.join(args.build, "host", "szdd_pack")
    if not os.path.exists(packer):
        print(f"no packer at {packer}: build first")
        return 0

    manifest = os.path.join(args.build, "payloads", "manifest.txt")
    payloads = []
    if os.path.exists(manifest):
        with open(manifest) as f:
            payloads = sorted({line.split("\t")[1] for line in f if line.strip()})
    if payloads:
        report("Payload set", payloads, packer)

    corpus = sorted(p for p in glob.glob(os.path.join(args.corpus, "*.dll")) if os.path.getsize(p) > 0)
    if args.limit:
        corpus = corpus[:args.limit]
    if corpus:
        report(f"Windows binaries ({args.corpus})", corpus, packer)
    return 0


if __name__ == "__main__":
    sys.exit(main())
