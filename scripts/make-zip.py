#!/usr/bin/env python3
"""Writes a zip archive that depends on nothing but its files' bytes: entries in the
order given, one fixed time stamp, fixed permissions, so that the same source
gives the same archive, byte for byte. Text files (.txt) are stored with CRLF
line ends, as Windows users' editors expect.

Usage: make-zip.py <archive.zip> <name-in-archive>=<file> ...
"""
import sys
import zipfile

FIXED_TIME = (1980, 1, 1, 0, 0, 0)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    archive, members = argv[1], argv[2:]
    with zipfile.ZipFile(archive, "w") as out:
        for member in members:
            name, _, path = member.partition("=")
            with open(path, "rb") as source:
                data = source.read()
            if name.endswith(".txt"):
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode inside
            info.external_attr = 0
            out.writestr(info, data, compresslevel=9)


if __name__ == "__main__":
    main(sys.argv)
