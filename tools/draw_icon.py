#!/usr/bin/env python3
"""Draws the updater's icon: a blue disc with a white arrow pointing down into
a tray, the usual picture for "an update is being installed".

Writes one .ico holding eight images, 256, 48, 32 and 16 pixels square, each
once with a 256-colour palette and once in 32-bit colour with alpha. The two
256-pixel images are stored as PNG, as Windows allows for that size (an
uncompressed 256-pixel bitmap costs 260 KB in the updater); the smaller ones
stay bitmaps, which every Windows reads. Deterministic: the same script always
writes the same bytes.

usage: draw_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = (256, 48, 32, 16)
SUPERSAMPLE = 4


def coverage_disc(x, y):
    dx, dy = x - 0.5, y - 0.5
    return dx * dx + dy * dy <= 0.47 * 0.47


def in_arrow(x, y):
    # Shaft, head and the tray the arrow points into, in unit coordinates.
    if 0.43 <= x <= 0.57 and 0.18 <= y <= 0.50:
        return True
    if 0.50 <= y <= 0.68 and abs(x - 0.5) <= (0.68 - y) * 1.15:
        return True
    if 0.72 <= y <= 0.80 and 0.26 <= x <= 0.74:
        return True
    if 0.62 <= y <= 0.80 and (0.26 <= x <= 0.33 or 0.67 <= x <= 0.74):
        return True
    return False


def pixel(size, px, py):
    """Anti-aliased RGBA of one pixel, rows from the top."""
    r = g = b = a = 0.0
    n = SUPERSAMPLE
    for sy in range(n):
        for sx in range(n):
            x = (px + (sx + 0.5) / n) / size
            y = (py + (sy + 0.5) / n) / size
            if not coverage_disc(x, y):
                continue
            if in_arrow(x, y):
                cr, cg, cb = 255, 255, 255
            else:
                # Light from the top left.
                t = (x + y) / 2
                cr, cg, cb = 40 + 10 * (1 - t), 110 + 60 * (1 - t), 200 + 50 * (1 - t)
            r += cr
            g += cg
            b += cb
            a += 255
    count = n * n
    if a == 0:
        return (0, 0, 0, 0)
    covered = a / 255
    return (round(r / covered), round(g / covered), round(b / covered), round(a / count))


def draw(size):
    return [[pixel(size, x, y) for x in range(size)] for y in range(size)]


def palette():
    """6 red x 7 green x 6 blue levels and four greys: 256 colours."""
    colours = []
    for r in range(6):
        for g in range(7):
            for b in range(6):
                colours.append((r * 51, round(g * 42.5), b * 51))
    for grey in (64, 128, 192, 224):
        colours.append((grey, grey, grey))
    return colours


def nearest(colours, rgb):
    best, best_distance = 0, None
    for index, (r, g, b) in enumerate(colours):
        d = (r - rgb[0]) ** 2 + (g - rgb[1]) ** 2 + (b - rgb[2]) ** 2
        if best_distance is None or d < best_distance:
            best, best_distance = index, d
            if d == 0:
                break
    return best


def and_mask(image, size):
    row_bytes = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(image):
        bits = bytearray(row_bytes)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def header(size, bit_count, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bit_count, 0, 0, 0, 0, colours_used, 0)


def image_32(image, size):
    body = bytearray()
    for row in reversed(image):
        for r, g, b, a in row:
            if a == 0:
                r = g = b = 0
            body += bytes((b, g, r, a))
    return header(size, 32, 0) + bytes(body) + and_mask(image, size)


def image_8(image, size, colours, cache):
    body = bytearray()
    row_pad = (-size) % 4
    for row in reversed(image):
        for r, g, b, a in row:
            key = (r, g, b) if a >= 128 else None
            if key is None:
                body.append(0)
                continue
            if key not in cache:
                cache[key] = nearest(colours, key)
            body.append(cache[key])
        body += bytes(row_pad)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    return header(size, 8, 256) + table + bytes(body) + and_mask(image, size)


def png(size, colour_type, bit_depth, rows, extra_chunks=()):
    """A PNG image: filter type 0 on every row, zlib at its strongest."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, bit_depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            b"".join(chunk(kind, data) for kind, data in extra_chunks) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png_32(image, size):
    rows = [bytes(v for r, g, b, a in row for v in ((0, 0, 0, 0) if a == 0 else (r, g, b, a))) for row in image]
    return png(size, 6, 8, rows)


def png_8(image, size, colours, cache):
    """Palette PNG; index 0 (black, which the drawing never uses opaque) is the
    transparent one, as the bitmap's AND mask has it."""
    rows = []
    for row in image:
        out = bytearray()
        for r, g, b, a in row:
            if a < 128:
                out.append(0)
                continue
            if (r, g, b) not in cache:
                cache[(r, g, b)] = nearest(colours, (r, g, b))
            index = cache[(r, g, b)]
            if index == 0:
                raise ValueError("an opaque pixel maps to the transparent palette entry")
            out.append(index)
        rows.append(bytes(out))
    palette_chunk = b"".join(bytes(c) for c in colours)
    return png(size, 3, 8, rows, ((b"PLTE", palette_chunk), (b"tRNS", b"\0")))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    colours = palette()
    cache = {}
    images = []
    for size in SIZES:
        image = draw(size)
        if size == 256:
            images.append((size, 8, png_8(image, size, colours, cache)))
            images.append((size, 32, png_32(image, size)))
        else:
            images.append((size, 8, image_8(image, size, colours, cache)))
            images.append((size, 32, image_32(image, size)))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    data = b""
    for size, bits, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(blob), offset + len(data))
        data += blob
    with open(sys.argv[1], "wb") as out:
        out.write(directory + entries + data)


if __name__ == "__main__":
    main()
