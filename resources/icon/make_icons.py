#!/usr/bin/env python3
"""Makes the program's icons from the text pixel maps beside this script (XPM, which the Qt window
also uses as they are), byte for byte the same on every run: mivo.ico (32x32 in 2 colours, 32x32
and 16x16 in 16 colours) and the PNGs that a Linux desktop looks for, scaled by whole factors so
that they stay sharp.

Usage: make_icons.py [OUTPUT_DIR]   (default: this folder)"""

import pathlib
import re
import struct
import sys
import zlib

HERE = pathlib.Path(__file__).resolve().parent

# The standard 16-colour palette, in which every colour of the maps must be.
PALETTE_16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
              (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
              (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
PALETTE_2 = [(0, 0, 0), (255, 255, 255)]


def read_map(name):
    """The rows of letters, and each letter's colour ((r, g, b), or None where transparent)."""
    strings = re.findall(r'"([^"]*)"', (HERE / name).read_text())
    size, _, colours, _ = map(int, strings[0].split())
    colour = {line[0]: None if line[4:] == "None" else tuple(bytes.fromhex(line[5:]))
              for line in strings[1:1 + colours]}
    rows = strings[1 + colours:]
    assert len(rows) == size and all(len(row) == size for row in rows), f"{name} is not square"
    return rows, colour





def bmp_rows(rows, bits, palette, colour):
    """The XOR image and the AND mask, bottom-up, each row padded to 4 bytes. In black and white
    all but white is black."""
    def pack(values, bits):
        data = bytearray()
        per_byte = 8 // bits
        for i in range(0, len(values), per_byte):
            byte = 0
            for j, v in enumerate(values[i:i + per_byte]):
                byte |= v << (8 - bits * (j + 1))
            data.append(byte)
        return bytes(data) + b"\0" * (-len(data) % 4)
    index = {c: palette.index(rgb) if rgb in palette else 0 for c, rgb in colour.items()}
    image = b"".join(pack([index[c] for c in row], bits) for row in reversed(rows))
    mask = b"".join(pack([1 if colour[c] is None else 0 for c in row], 1) for row in reversed(rows))
    return image + mask


def ico_image(rows, bits, palette, colour):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, len(palette), 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + bmp_rows(rows, bits, palette, colour)


def ico(images):
    """images: (rows, bits, palette, colour) each."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for rows, bits, palette, colour in images:
        image = ico_image(rows, bits, palette, colour)
        entries += struct.pack("<BBBBHHII", len(rows), len(rows), len(palette), 0, 1, bits,
                               len(image), offset + len(data))
        data += image
    return directory + entries + data


def png(rows, colour, scale):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    size = len(rows) * scale
    raw = b""
    for row in rows:
        line = b"".join((bytes(colour[c]) + b"\xff" if colour[c] else b"\0\0\0\0") * scale for c in row)
        raw += (b"\0" + line) * scale
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else HERE
    out.mkdir(parents=True, exist_ok=True)
    big, small = read_map("mivo-32.xpm"), read_map("mivo-16.xpm")
    (out / "mivo.ico").write_bytes(ico([(big[0], 1, PALETTE_2, big[1]),
                                        (big[0], 4, PALETTE_16, big[1]),
                                        (small[0], 4, PALETTE_16, small[1])]))
    for size, (rows, colour), scale in [(16, small, 1), (32, big, 1), (48, small, 3), (64, big, 2),
                                        (128, big, 4), (256, big, 8)]:
        (out / f"mivo-{size}.png").write_bytes(png(rows, colour, scale))


if __name__ == "__main__":
    main()
