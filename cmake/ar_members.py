#!/usr/bin/env python3
"""Gives every member of an ar archive (a Debian package) the rights
rw-r--r--, whatever the umask of the process that wrote it, so that two
builds of the same package give the same bytes.

usage: ar_members.py ARCHIVE
"""

import sys

MAGIC = b"!<arch>\n"
HEADER = 60  # name 16, date 12, uid 6, gid 6, mode 8, size 10, end 2
MODE = slice(40, 48)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "r+b") as archive:
        data = bytearray(archive.read())
        if data[:len(MAGIC)] != MAGIC:
            sys.exit(sys.argv[1] + " is not an ar archive")
        at = len(MAGIC)
        while at + HEADER <= len(data):
            data[at + MODE.start:at + MODE.stop] = b"100644  "
            size = int(data[at + 48:at + 58])
            at += HEADER + size + size % 2
        archive.seek(0)
        archive.write(data)


if __name__ == "__main__":
    main()
