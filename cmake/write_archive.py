#!/usr/bin/env python3
"""Writes a ZIP or a gzipped tar of a folder, whose bytes depend on what the
folder's files hold and on a date alone.

usage: write_archive.py zip|tar.gz ARCHIVE FOLDER EPOCH

Every entry is dated EPOCH (seconds since 1970, UTC, whatever the time zone
of the machine), owned by uid and gid 0 without names, and has the rights
rw-r--r--, or rwxr-xr-x where its file may be run, whatever the builder's
umask; entries come in the order of their names. The tar holds FOLDER's
own name as its top folder, the ZIP only what FOLDER holds.
"""

import gzip
import os
import sys
import tarfile
import time
import zipfile


def entries(folder):
    """Returns the paths below `folder`, relative, with '/', sorted."""
    found = []
    for root, folders, files in os.walk(folder):
        for name in folders + files:
            found.append(os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/"))
    return sorted(found)


def read(path):
    """Returns the bytes of the file at `path`."""
    with open(path, "rb") as file:
        return file.read()


def rights(path):
    """Returns the rights an entry for `path` gets."""
    return 0o755 if os.path.isdir(path) or os.stat(path).st_mode & 0o111 else 0o644


def write_zip(archive, folder, epoch):
    """Writes the ZIP `archive` of what `folder` holds, dated `epoch`."""
    # A ZIP's dates are a local time from 1980 on: the date is given as UTC.
    date = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive, "w") as out:
        for name in entries(folder):
            path = os.path.join(folder, name)
            is_folder = os.path.isdir(path)
            entry = zipfile.ZipInfo(name + "/" if is_folder else name, date)
            entry.create_system = 3  # Unix, so that the rights below count
            entry.external_attr = ((0o40000 if is_folder else 0o100000) | rights(path)) << 16
            entry.compress_type = zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED
            out.writestr(entry, b"" if is_folder else read(path), compresslevel=9)


def write_tgz(archive, folder, epoch):
    """Writes the gzipped tar `archive` of `folder` itself, dated `epoch`."""
    top = os.path.basename(os.path.normpath(folder))
    with open(archive, "wb") as file, \
            gzip.GzipFile(filename="", mode="wb", fileobj=file, mtime=0, compresslevel=9) as packed, \
            tarfile.open(fileobj=packed, mode="w", format=tarfile.GNU_FORMAT) as out:
        for name in [""] + entries(folder):
            path = os.path.join(folder, name)
            entry = out.gettarinfo(path, top + ("/" + name if name else ""))
            entry.uid = entry.gid = 0
            entry.uname = entry.gname = ""
            entry.mtime = epoch
            entry.mode = rights(path)
            if entry.isreg():
                with open(path, "rb") as data:
                    out.addfile(entry, data)
            else:
                out.addfile(entry)


def main(arguments):
    if len(arguments) != 5 or arguments[1] not in ("zip", "tar.gz"):
        sys.exit(__doc__.split("\n\n")[1])
    writer = write_zip if arguments[1] == "zip" else write_tgz
    writer(arguments[2], arguments[3], int(arguments[4]))


if __name__ == "__main__":
    main(sys.argv)
