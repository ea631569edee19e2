#!/usr/bin/env python3
"""Makes the program's icons from the text pixel maps beside this script, byte for byte the same
on every run: mivo.ico (32x32 in 2 colours, 32x32 and 16x16 in 16 colours) and the PNGs that a
Linux desktop looks for, scaled by whole factors so that they stay sharp.

Usage: make_icons.py [OUTPUT_DIR]   (default: this folder)"""

import pathlib
import struct
import sys
import zlib

HERE = pathlib.Path(__file__).resolve().parent

# The maps' letters, as indices into the standard 16-colour palette; '.' is transparent.
PALETTE_16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
              (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
              (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
INDEX_16 = {"k": 0, "c": 14, "w": 15, ".": 0}
# In black and white the title bar is filled in black like the outline.
INDEX_2 = {"k": 0, "c": 0, "w": 1, ".": 0}
PALETTE_2 = [(0, 0, 0), (255, 255, 255)]


def read_map(name):
    rows = (HERE / name).read_text().split()
    assert all(len(row) == len(rows) for row in rows), f"{name} is not square"
    return rows


def bmp_rows(rows, bits, index):
    """The XOR image and the AND mask, bottom-up, each row padded to 4 bytes."""
    def pack(values, bits):
        data = bytearray()
        per_byte = 8 // bits
        for i in range(0, len(values), per_byte):
            byte = 0
            for j, v in enumerate(values[i:i + per_byte]):
                byte |= v << (8 - bits * (j + 1))
            data.append(byte)
        return bytes(data) + b"\0" * (-len(data) % 4)
    colour = b"".join(pack([index[c] for c in row], bits) for row in reversed(rows))
    mask = b"".join(pack([1 if c == "." else 0 for c in row], 1) for row in reversed(rows))
    return colour + mask


def ico_image(rows, bits, palette, index):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, len(palette), 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + bmp_rows(rows, bits, index)


def ico(images):
    """images: (rows, bits, palette, index) each."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for rows, bits, palette, index in images:
        image = ico_image(rows, bits, palette, index)
        entries += struct.pack("<BBBBHHII", len(rows), len(rows), len(palette), 0, 1, bits,
                               len(image), offset + len(data))
        data += image
    return directory + entries + data


def png(rows, scale):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    size = len(rows) * scale
    raw = b""
    for row in rows:
        line = b"".join((bytes(PALETTE_16[INDEX_16[c]]) + b"\xff" if c != "." else b"\0\0\0\0")
                        * scale for c in row)
        raw += (b"\0" + line) * scale
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else HERE
    out.mkdir(parents=True, exist_ok=True)
    big, small = read_map("icon-32.txt"), read_map("icon-16.txt")
    (out / "mivo.ico").write_bytes(ico([(big, 1, PALETTE_2, INDEX_2),
                                        (big, 4, PALETTE_16, INDEX_16),
                                        (small, 4, PALETTE_16, INDEX_16)]))
    for size, rows, scale in [(16, small, 1), (32, big, 1), (48, small, 3), (64, big, 2),
                              (128, big, 4), (256, big, 8)]:
        (out / f"mivo-{size}.png").write_bytes(png(rows, scale))


if __name__ == "__main__":
    main()
