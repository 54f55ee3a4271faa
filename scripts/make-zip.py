#!/usr/bin/env python3
"""Writes a zip archive that depends on nothing but its files' bytes and the source
it was built from: entries in the order given, each dated by the release commit
(SOURCE_DATE_EPOCH where it is set, else the last commit's date, else a fixed
date when there is no git), fixed permissions, so that the same source gives the
same archive, byte for byte. Text files (.txt) are stored with CRLF line ends, as
Windows users' editors expect.

Usage: make-zip.py <archive.zip> <name-in-archive>=<file> ...
"""
import os
import subprocess
import sys
import time
import zipfile

FALLBACK_TIME = (1980, 1, 1, 0, 0, 0)  # the earliest a zip entry can carry


def release_time():
    """The release commit's date, in UTC, as a zip entry carries it."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        try:
            epoch = subprocess.run(
                ["git", "-C", os.path.dirname(os.path.abspath(__file__)), "log", "-1", "--format=%ct"],
                capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            return FALLBACK_TIME
    if not epoch.isdigit():
        return FALLBACK_TIME
    return max(FALLBACK_TIME, tuple(time.gmtime(int(epoch))[:6]))


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    archive, members = argv[1], argv[2:]
    date_time = release_time()
    with zipfile.ZipFile(archive, "w") as out:
        for member in members:
            name, _, path = member.partition("=")
            with open(path, "rb") as source:
                data = source.read()
            if name.endswith(".txt"):
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            info = zipfile.ZipInfo(name, date_time=date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode inside
            info.external_attr = 0
            out.writestr(info, data, compresslevel=9)


if __name__ == "__main__":
    main(sys.argv)
