#!/usr/bin/env python3
"""Packs the portable zip reproducibly: the files in the order given, each dated EPOCH (seconds
since 1970, as DOS time in UTC; 1980 at the earliest, where DOS time begins), with the same
attributes whatever the build machine's umask, and nothing else in it.

  make_zip.py OUT.zip EPOCH FILE...
"""
import os
import sys
import time
import zipfile


def main(argv):
    out, epoch, files = argv[1], int(argv[2]), argv[3:]
    date = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out + '.tmp', 'w') as archive:
        for path in files:
            entry = zipfile.ZipInfo(os.path.basename(path), date_time=date)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # MS-DOS: no Unix owner or mode bits
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, as Windows' own zip folders give
            with open(path, 'rb') as f:
                archive.writestr(entry, f.read(), compresslevel=9)
    os.replace(out + '.tmp', out)


if __name__ == '__main__':
    main(sys.argv)
