#!/usr/bin/env python3
"""Writes the SHA-256 digest of every payload's expanded bytes as a C++
initializer, one row per payload in resource-id order (401 to 421), which the
catalogue compiles in. The release gate proves that each packed payload
expands to exactly its source, so the source's digest is the expanded one.

usage: payload_digests.py MANIFEST OUTPUT
MANIFEST lines: id <TAB> source file <TAB> packed file
"""
import hashlib
import os
import sys


def main():
    manifest, output = sys.argv[1], sys.argv[2]
    rows = []
    with open(manifest) as f:
        for line in f:
            if not line.strip():
                continue
            pid, source, _ = line.rstrip("\n").split("\t")
            with open(source, "rb") as payload:
                digest = hashlib.sha256(payload.read()).digest()
            rows.append((int(pid), os.path.basename(source), digest))
    if [r[0] for r in rows] != list(range(401, 422)):
        sys.exit("payload_digests: the manifest does not list payloads 401 to 421")
    text = "// Generated from the payloads: SHA-256 of each expanded payload, ids 401-421.\n"
    for pid, name, digest in rows:
        text += "{{" + ",".join(f"0x{b:02x}" for b in digest) + f"}}}}, // {pid} {name}\n"
    # Rewritten only when it changes, so an unchanged payload set recompiles nothing.
    if not os.path.exists(output) or open(output).read() != text:
        with open(output, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
