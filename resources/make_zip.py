"""Packs Mivo.exe alone into a zip that is the same from every build of a commit: its one entry
carries the source date (SOURCE_DATE_EPOCH, UTC) and a program's mode, and no owner or other times.

Usage: make_zip.py ZIP PROGRAM"""
import os
import sys
import time
import zipfile

ZIP, PROGRAM = sys.argv[1:]
entry = zipfile.ZipInfo(os.path.basename(PROGRAM), time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6])
entry.external_attr = 0o100755 << 16
entry.compress_type = zipfile.ZIP_DEFLATED
with zipfile.ZipFile(ZIP, "w") as archive, open(PROGRAM, "rb") as program:
    archive.writestr(entry, program.read())
