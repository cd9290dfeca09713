#!/usr/bin/env python3
"""Prints where the bytes of a built updater go: the whole file, its sections,
the resources by type, and the file without the payloads (the PATCH resources)
and without the signature. Only measures.

usage: exe_sizes.py UPDATER.exe [...]
"""
import struct
import sys

RESOURCE_TYPES = {1: "cursor", 3: "icon", 4: "menu", 5: "dialog", 6: "string", 12: "cursor group",
                  14: "icon group", 16: "version", 24: "manifest"}


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, count, _, _, _, optional_size = struct.unpack_from("<HHIIIH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.file_alignment = struct.unpack_from("<I", data, optional + 36)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(count):
            name, vsize, va, rsize, rpointer = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), vsize, va, rsize, rpointer))

    def offset(self, rva):
        for _, vsize, va, rsize, rpointer in self.sections:
            if va <= rva < va + max(vsize, rsize):
                return rpointer + rva - va
        raise ValueError("RVA outside every section")

    def signature_size(self):
        # The security directory holds a file offset, not an RVA.
        return self.directories[4][1]

    def resources(self):
        """{type (int or name): total bytes of its data}."""
        totals = {}
        for kind, _, _, data in self.resource_items():
            kind = RESOURCE_TYPES.get(kind, kind)
            totals[kind] = totals.get(kind, 0) + len(data)
        return totals

    def resource_items(self):
        """[(type, name, language, data)] of every resource; types and names
        are numbers or strings."""
        rva, size = self.directories[2]
        if not size:
            return []
        base = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                yield name, target

        def name_of(name):
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return name

        def leaves(at, path):
            for name, target in entries(at):
                if target & 0x80000000:
                    yield from leaves(target & 0x7FFFFFFF, path + [name_of(name)])
                else:
                    data_rva, length = struct.unpack_from("<II", self.data, base + target)
                    start = self.offset(data_rva)
                    yield tuple(path + [name_of(name)]) + (self.data[start:start + length],)

        return list(leaves(0, []))


def report(path):
    with open(path, "rb") as f:
        data = f.read()
    pe = PeFile(data)
    resources = pe.resources()
    payloads = resources.get("PATCH", 0)
    icon = resources.get("icon", 0) + resources.get("icon group", 0)
    signature = pe.signature_size()
    print(f"{path}")
    print(f"  file                       {len(data):>10,} bytes (file alignment {pe.file_alignment})")
    print(f"  payloads (PATCH)           {payloads:>10,}")
    print(f"  without payloads           {len(data) - payloads:>10,}")
    print(f"  icon (images + group)      {icon:>10,}")
    print(f"  signature                  {signature:>10,}")
    print("  sections:")
    for name, vsize, _, rsize, _ in pe.sections:
        print(f"    {name:<8} {rsize:>10,} in the file, {vsize:>10,} in memory")
    print("  resources:")
    for kind, size in sorted(resources.items(), key=lambda item: -item[1]):
        print(f"    {str(kind):<14} {size:>10,}")


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    for path in argv[1:]:
        report(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
