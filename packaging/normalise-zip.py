#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Packs a .zip again so that nothing of the machine or the moment is in it: entries
sorted by name, each with the time SOURCE_DATE_EPOCH (or the one it has, if that is
not set), the mode it was packed with, no extra fields (which would carry owners and
access times), and compressed at a fixed level.

    normalise-zip.py ARCHIVE
"""

import os
import sys
import time
import zipfile


def main():
    archive = sys.argv[1]
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    with zipfile.ZipFile(archive) as old:
        entries = [(info, old.read(info)) for info in old.infolist()]
    with zipfile.ZipFile(archive, "w") as new:
        for info, data in sorted(entries, key=lambda entry: entry[0].filename):
            fresh = zipfile.ZipInfo(info.filename, time.gmtime(int(epoch))[:6] if epoch else info.date_time)
            fresh.create_system = 3  # Unix, so that the mode below is read
            fresh.external_attr = info.external_attr & 0xFFFF0000 | info.external_attr & 0x10
            fresh.compress_type = zipfile.ZIP_STORED if info.is_dir() else zipfile.ZIP_DEFLATED
            new.writestr(fresh, data, compresslevel=9)


if __name__ == "__main__":
    main()
