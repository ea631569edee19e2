#!/usr/bin/env python3
"""Checks the program's identity: the icons are what their pixel maps make, the .ico holds exactly
the three images, and the compiled version record holds every value it should.

Usage: resources_test.py WINDRES"""

import filecmp
import pathlib
import struct
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
failures = []


def check(condition, what):
    print(("PASS " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def icons_are_made_from_their_maps(scratch):
    subprocess.run([sys.executable, HERE / "icon" / "make_icons.py", scratch], check=True)
    for made in sorted(pathlib.Path(scratch).iterdir()):
        check(filecmp.cmp(made, HERE / "icon" / made.name, shallow=False),
              f"icon/{made.name} is what make_icons.py makes")


def ico_entries(data):
    reserved, kind, count = struct.unpack_from("<HHH", data)
    assert (reserved, kind) == (0, 1), "not an icon file"
    return [struct.unpack_from("<BBBBHHII", data, 6 + 16 * i) for i in range(count)]


def ico_holds_three_images():
    entries = ico_entries((HERE / "icon" / "mivo.ico").read_bytes())
    shapes = [(width, height, colours, bits) for width, height, colours, _, _, bits, _, _ in entries]
    check(shapes == [(32, 32, 2, 1), (32, 32, 16, 4), (16, 16, 16, 4)],
          f"mivo.ico holds 32x32/2, 32x32/16 and 16x16/16 colours: {shapes}")


def resources(res):
    """(type, name, language, data) for each resource of a compiled .res file."""
    def ident(offset):
        if struct.unpack_from("<H", res, offset)[0] == 0xFFFF:
            return struct.unpack_from("<H", res, offset + 2)[0], offset + 4
        end = offset
        while res[end:end + 2] != b"\0\0":
            end += 2
        return res[offset:end].decode("utf-16-le"), end + 2
    offset = 0
    while offset < len(res):
        size, header = struct.unpack_from("<II", res, offset)
        kind, at = ident(offset + 8)
        name, at = ident(at)
        at += -at % 4
        language = struct.unpack_from("<H", res, at + 6)[0]
        yield kind, name, language, res[offset + header:offset + header + size]
        offset += header + size
        offset += -offset % 4


def version_nodes(data, offset=0):
    """The nested (key, value, children) blocks of a version resource."""
    length, value_length, text = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    at = key_end + 2
    at += -at % 4
    size = value_length * 2 if text else value_length
    value = data[at:at + size]
    value = value.decode("utf-16-le").rstrip("\0") if text else value
    at += size
    at += -at % 4
    children = []
    while at < end:
        child, at = version_nodes(data, at)
        children.append(child)
        at += -at % 4
    return (key, value, children), end


def version_record_holds_its_values(windres, scratch):
    res_file = pathlib.Path(scratch) / "mivo.res"
    subprocess.run([windres, "-O", "res", HERE / "mivo.rc", "-o", res_file], check=True,
                   cwd=HERE)
    found = list(resources(res_file.read_bytes()))
    versions = [(language, data) for kind, _, language, data in found if kind == 16]
    check(len(versions) == 1 and versions[0][0] == 0x0411, "one version record, in Japanese")
    (key, fixed, blocks), _ = version_nodes(versions[0][1])
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    check(key == "VS_VERSION_INFO" and signature == 0xFEEF04BD, "fixed file info present")
    check((file_ms, file_ls, product_ms, product_ls) == (0x10000, 0, 0x10000, 0),
          "fixed file and product versions are 1.0.0.0")
    strings = {k: v for block in blocks if block[0] == "StringFileInfo"
               for table in block[2] if table[0] == "041104B0" for k, v, _ in table[2]}
    expected = {"Comments": "消費税計算機", "FileVersion": "1.00", "InternalName": "Mivo",
                "OriginalFilename": "Mivo.exe", "ProductName": "Mivo", "ProductVersion": "1.00"}
    check(strings == expected, f"strings under 041104B0: {strings}")
    translations = [v for block in blocks if block[0] == "VarFileInfo" for k, v, _ in block[2]]
    check(translations == [struct.pack("<HH", 0x0411, 0x04B0)], "translation 0x0411, 0x04B0")
    groups = [data for kind, _, _, data in found if kind == 14]
    check(len(groups) == 1 and struct.unpack_from("<H", groups[0], 4)[0] == 3,
          "one icon group with three images")


def main():
    with tempfile.TemporaryDirectory() as scratch:
        icons_are_made_from_their_maps(scratch + "/icons")
        ico_holds_three_images()
        version_record_holds_its_values(sys.argv[1], scratch)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
