#!/usr/bin/env python3
"""Plays the standard user who races an elevated installer for its temporary names: watches the
folder FOLDER (the installer's %TEMP%, as Unix sees it) and, the moment a file named ns*.tmp is
deleted there, renames a copy of the prepared folder PREPARED onto that name, never replacing
anything (renameat2 with RENAME_NOREPLACE), as a user who made the folder first would have it.
Each name taken is printed, one a line, as it is taken. Runs until killed.

  squat_temp.py FOLDER PREPARED
"""
import ctypes
import os
import re
import shutil
import struct
import sys

IN_DELETE = 0x200
AT_FDCWD = -100
RENAME_NOREPLACE = 1

libc = ctypes.CDLL(None, use_errno=True)
folder, prepared = sys.argv[1], sys.argv[2]
fd = libc.inotify_init()
if fd < 0 or libc.inotify_add_watch(fd, folder.encode(), IN_DELETE) < 0:
    sys.exit(f'squat_temp.py: cannot watch {folder}')
spare = 0


def next_copy():
    """A fresh copy of the prepared folder beside the watched one, ready to be renamed."""
    global spare
    spare += 1
    copy = os.path.join(os.path.dirname(prepared), f'spare-{spare}')
    shutil.copytree(prepared, copy)
    return copy


ready = next_copy()
print('watching', flush=True)
while True:
    data = os.read(fd, 65536)
    at = 0
    while at < len(data):
        _, mask, _, length = struct.unpack_from('iIII', data, at)
        name = data[at + 16:at + 16 + length].rstrip(b'\0').decode()
        at += 16 + length
        if mask & IN_DELETE and re.fullmatch(r'ns[A-Za-z0-9]*\.tmp', name, re.IGNORECASE):
            target = os.path.join(folder, name)
            if libc.renameat2(AT_FDCWD, ready.encode(), AT_FDCWD, target.encode(), RENAME_NOREPLACE) == 0:
                print(name, flush=True)
                ready = next_copy()
