#!/usr/bin/env python3
"""Builds the Varnlet! MSI with wixl from varnlet.wxs, then adds with msibuild what wixl
cannot express, and makes the file reproducible.

  make_msi.py OUT.msi ARCH VERSION MAKER EXE README ICON EPOCH

ARCH is x64 or x86; EPOCH the time (seconds since 1970) that every time stamp takes.

- Every GUID is derived from the product, version and architecture (a name-based UUID), so two
  builds agree: the upgrade code from the product and architecture only, so that a later
  version replaces an earlier one; the product code and the package code from the version and
  the payload's bytes too, as Windows Installer wants when the package changes.
- The Autostart component gets the condition AUTOSTART="1" (or an uninstall, so that the value
  goes with it), and AUTOSTART becomes a secure property, passed from the command line to the
  elevated part of the installation.
- An uninstall also deletes the start-up value when the program's own "Iniciar con Windows"
  wrote it after an install without AUTOSTART=1: reg.exe from the package's own system folder,
  so in the program's registry view, as a deferred action that ignores "value not found".
- The summary information's creation and save times become EPOCH, and the payload's file times
  in the cabinet too.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import uuid

NAMESPACE = uuid.UUID('6f3b8a52-4d0e-5c1a-9e27-b1c4d8f0a3e6')  # Varnlet's own namespace
RUN_KEY = r'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'


def guid(*parts):
    return '{%s}' % str(uuid.uuid5(NAMESPACE, '/'.join(parts))).upper()


def msibuild(msi, *args):
    subprocess.run(['msibuild', msi, *args], check=True)


def filetime(epoch):
    return struct.pack('<Q', (epoch + 11644473600) * 10000000)


def fix_summary_times(path, epoch, before, after):
    """Sets the summary's VT_FILETIME properties (creation and last save) that wixl took from
    the clock, between BEFORE and AFTER, to EPOCH. The summary stream is a few hundred bytes
    in the compound file's mini stream, so each value lies in the file as it is."""
    low, high = (before - 60 + 11644473600) * 10000000, (after + 60 + 11644473600) * 10000000
    data = bytearray(open(path, 'rb').read())
    found = 0
    at = data.find(b'\x40\x00\x00\x00')  # VT_FILETIME
    while at >= 0:
        value = struct.unpack_from('<Q', data, at + 4)[0] if at + 12 <= len(data) else 0
        if low <= value <= high:
            data[at + 4:at + 12] = filetime(epoch)
            found += 1
        at = data.find(b'\x40\x00\x00\x00', at + 1)
    if found != 2:
        sys.exit(f'make_msi.py: expected 2 summary times in {path}, found {found}')
    open(path, 'wb').write(data)


def main(argv):
    out, arch, version, maker, exe, readme, icon, epoch = argv[1:]
    epoch = int(epoch)
    here = os.path.dirname(os.path.abspath(__file__))
    payload = open(exe, 'rb').read() + open(readme, 'rb').read()
    content = uuid.uuid5(NAMESPACE, payload.hex()).hex
    codes = {
        'UpgradeCode': guid('upgrade', arch),
        'ProductCode': guid('product', version, arch, content),
        'AutostartGuid': guid('component', 'autostart', arch),
        'ShortcutGuid': guid('component', 'shortcut', arch),
    }
    with tempfile.TemporaryDirectory() as work:
        # wixl takes source files relative to its working folder.
        for source, name in ((exe, 'varnlet.exe'), (readme, 'LEAME.txt'), (icon, 'varnlet.ico')):
            shutil.copyfile(source, os.path.join(work, name))
            os.utime(os.path.join(work, name), (epoch, epoch))
        msi = os.path.join(work, 'out.msi')
        defines = [a for k, v in dict(Arch=arch, Version=version, Maker=maker, **codes).items()
                   for a in ('-D', f'{k}={v}')]
        before = int(time.time())
        subprocess.run(['wixl', '-a', arch, *defines, '-o', msi, os.path.join(here, 'varnlet.wxs')], cwd=work,
                       check=True)
        after = int(time.time())
        msibuild(msi, '-q', "UPDATE Component SET Condition = 'AUTOSTART=\"1\" OR REMOVE=\"ALL\"' "
                            "WHERE Component = 'Autostart'")
        msibuild(msi, '-q', "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;AUTOSTART' "
                            "WHERE Property = 'SecureCustomProperties'")
        # Type 34 (an exe in a folder) + 64 (ignore its exit code) + 1024 (deferred) + 2048 (as
        # the system, not the user): after InstallInitialize, on uninstall only.
        target = f'"[SystemFolder]reg.exe" delete {RUN_KEY} /v Varnlet /f'
        msibuild(msi, '-q', "INSERT INTO CustomAction (Action, Type, Source, Target) "
                            f"VALUES ('RemoveRunValue', 3170, 'SystemFolder', '{target}')")
        msibuild(msi, '-q', "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
                            "VALUES ('RemoveRunValue', 'REMOVE=\"ALL\"', 1550)")
        # Title, author, template (platform and language) and the package code.
        platform = 'x64' if arch == 'x64' else 'Intel'
        msibuild(msi, '-s', 'Varnlet!', maker, f'{platform};3082', guid('package', version, arch, content))
        fix_summary_times(msi, epoch, before, after)
        shutil.copyfile(msi, out)


if __name__ == '__main__':
    main(sys.argv)
