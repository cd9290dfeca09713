#!/usr/bin/env python3
"""Makes a folder laid out like the maker's files (see payload_layout.py) for a
release build to embed: the stand-in programs of a build folder, each grown by
data appended after its image (Windows loads and versions such a file as
before), and compiled help files in the 13 languages. For trying release
builds with files of realistic size; the same arguments give the same bytes.

usage: make_payload_folder.py [--sizes MB,...] [--padding BYTES] [--note TEXT] PROGRAMS_DIR OUT
  PROGRAMS_DIR  a build's payloads/programs folder (the stand-in programs)
  --sizes       the eight programs' sizes in MB, in catalogue order
                (default: the 60 MB set 5,5,14,6,10,5,8,6)
  --padding     instead: append this many bytes to every program
  --note        a line in every help page, so folders can be told apart
"""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from make_help import compile_help  # noqa: E402
from payload_layout import HELP, PROGRAMS  # noqa: E402

SIXTY_MB = [5, 5, 14, 6, 10, 5, 8, 6]


def filler(length, seed):
    """Data that compresses about as well as program code does: runs of random
    bytes between repeated tables and text."""
    rng = random.Random(seed)
    out = bytearray()
    words = [rng.randbytes(rng.randint(4, 24)) for _ in range(160)]
    while len(out) < length:
        if rng.random() < 0.2:
            out += rng.randbytes(rng.randint(16, 256))
        else:
            for _ in range(rng.randint(4, 32)):
                out += words[rng.randrange(len(words))]
    return bytes(out[:length])


def make_folder(programs_dir, out, sizes=None, padding=None, note=None):
    """Writes the 21 files into `out`; returns {payload id: path}."""
    written = {}
    for index, (pid, path) in enumerate(sorted(PROGRAMS.items())):
        with open(os.path.join(programs_dir, os.path.basename(path)), "rb") as f:
            image = f.read()
        extra = padding if padding is not None else max(0, sizes[index] * 1024 * 1024 - len(image))
        target = os.path.join(out, *path.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(image + filler(extra, f"{pid} {note or ''}"))
        written[pid] = target
    for pid, path in sorted(HELP.items()):
        target = os.path.join(out, *path.split("/"))
        compile_help(path.split("/")[1], target, note)
        written[pid] = target
    return written


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--sizes", default=",".join(map(str, SIXTY_MB)))
    parser.add_argument("--padding", type=int)
    parser.add_argument("--note")
    parser.add_argument("programs_dir")
    parser.add_argument("out")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    if len(sizes) != len(PROGRAMS):
        parser.error(f"--sizes needs {len(PROGRAMS)} numbers")
    written = make_folder(args.programs_dir, args.out, sizes, args.padding, args.note)
    total = sum(os.path.getsize(p) for p in written.values())
    print(f"{len(written)} files, {total:,} bytes in {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
