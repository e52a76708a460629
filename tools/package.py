#!/usr/bin/env python3
"""Writes a docklet package: a zip holding the Quillmere folder exactly as a user unpacks
it into the dock's Docklets folder.

  package.py OUT.zip NAME=FILE ...

Each NAME is the path inside the zip (forward slashes), FILE the file on disk. Entries are
written in the order of NAME, with one fixed date and fixed permissions, so the same files
always give the same bytes.
"""
import sys
import zipfile

FIXED_DATE = (2026, 1, 1, 0, 0, 0)


def main(argv):
    if len(argv) < 3 or not all("=" in a for a in argv[2:]):
        print(__doc__, file=sys.stderr)
        return 2
    entries = sorted(a.split("=", 1) for a in argv[2:])
    with zipfile.ZipFile(argv[1], "w") as archive:
        folders = sorted({name.rsplit("/", i)[0] + "/" for name, _ in entries
                          for i in range(1, name.count("/") + 1)})
        for folder in folders:
            info = zipfile.ZipInfo(folder, FIXED_DATE)
            info.external_attr = (0o40755 << 16) | 0x10
            archive.writestr(info, b"")
        for name, path in entries:
            with open(path, "rb") as f:
                data = f.read()
            info = zipfile.ZipInfo(name, FIXED_DATE)
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
