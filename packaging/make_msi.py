#!/usr/bin/env python3
"""Builds the Varnlet! MSI with wixl from varnlet.wxs, then adds with msibuild what wixl
cannot express, and makes the file reproducible.

  make_msi.py OUT.msi ARCH FACTS EXE README ICON SETUP_DLL EPOCH
  make_msi.py --upgrade-code ARCH      prints the upgrade code (the NSIS installer looks for it)

ARCH is x64 or x86; FACTS the build's facts of the product (<build>/varnlet-facts.json: its title,
version, maker, description and Run key and value); SETUP_DLL the installers' checks
(varnlet_setup.dll); EPOCH the time (seconds since 1970) that every time stamp takes.

- Every GUID is derived from the product, version and architecture (a name-based UUID), so two
  builds agree: the upgrade code from the product and architecture only, so that a later
  version replaces an earlier one; the product code and the package code from the version, the
  maker and the payload's bytes too, as Windows Installer wants when the package changes.
- The Upgrade table also finds the installed product of the same version, so another build of it
  replaces it instead of installing beside it; a higher installed version stops the install
  (wixl's launch condition on WIX_DOWNGRADE_DETECTED).
- The Autostart component gets the condition AUTOSTART="1", or an upgrade without AUTOSTART=0
  that found the value before the old version went (so the new version writes it again, for
  the installed exe, whatever the old version's removal did: a component kept back by a false
  condition at uninstall stays registered to a product that no longer exists), or an uninstall
  (so that the value goes with it); AUTOSTART becomes a secure property, passed from the
  command line to the elevated part of the installation.
- An uninstall that is not an upgrade's removal of the old version also deletes the start-up
  value when it is there, which covers the value the program's own "Iniciar con Windows"
  wrote: reg.exe from the package's own system folder, so in the program's registry view
  (64-bit for x64, with /reg:64 too), as a deferred action whose failure fails the
  uninstall. A search in the same view finds the value first, so "not there" never runs it.
  AUTOSTART=0 deletes it through the RemoveRegistry table, in the view of its component.
- The install refuses to go over the NSIS installer's install (found by its Add/Remove Programs
  entry in the same view), or beside the other architecture's installer or MSI (its entry in the
  other view, its upgrade code), and says how to remove it: one Varnlet! per machine.
- INSTALLFOLDER gets a protected DACL (MsiLockPermissionsEx, folder.sddl as the NSIS installer
  gives it): write rights for Administrators and SYSTEM only, read and execute for Users, whatever
  it would inherit.
- Before anything is written, the custom action CheckInstallFolder (varnlet_setup.dll, the NSIS
  installer's checks) refuses an INSTALLFOLDER that exists and is not the installed version's
  (found by the program's component, VARNLETPROGRAM), that others may change (its owner or its
  list, or a folder above it), that is or lies under a link, or whose parent is missing (Windows
  Installer would make it with the rights it inherits). Once the old version is removed
  (RemoveExistingProducts, right after InstallValidate) and CreateFolders has made or kept the
  folder, the deferred RecheckInstallFolder judges it again as the files are about to be written:
  it exists, no link, only administrators may change it or a folder above it, and it holds files
  alone. Every file in the folder is removed before the package's are written (RemoveFile "*"),
  so each is a new file with the folder's rights.
- Once the files are in place, the deferred CheckAutostart refuses to write the start-up value
  for an exe the program itself would not add to the start of Windows: the install then fails.
- The summary information's creation and save times become EPOCH, and the payload's file times
  in the cabinet too.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import uuid

NAMESPACE = uuid.UUID('6f3b8a52-4d0e-5c1a-9e27-b1c4d8f0a3e6')  # Varnlet's own namespace
# As the NSIS installer gives its folder (FOLDER_SDDL in varnlet.nsi).
FOLDER_SDDL = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'folder.sddl')).read().strip()


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


def upgrade_code(arch):
    return guid('upgrade', arch)


def query(msi, *statements):
    for statement in statements:
        msibuild(msi, '-q', statement)


def component_id(msi, component):
    """The GUID wixl gave a component (derived from its key path, so the same in every version)."""
    table = subprocess.run(['msiinfo', 'export', msi, 'Component'], check=True, capture_output=True, text=True).stdout
    for row in table.splitlines()[3:]:
        fields = row.split('\t')
        if fields[0] == component:
            return fields[1]
    sys.exit(f'make_msi.py: no component {component} in {msi}')


def add_tables(msi, arch, facts, autostart_off_guid):
    """What wixl cannot express, in Windows Installer's own tables."""
    x64 = arch == 'x64'
    version, title, run_key, run_value = facts['version'], facts['title'], facts['run_key'], facts['run_value']
    # The NSIS installer's Add/Remove Programs entry (packaging/varnlet.nsi), the build's.
    setup_key = facts['uninstall_key']
    # RegLocator types: msidbLocatorTypeRawValue, + msidbLocatorType64bit for the 64-bit view.
    locator = 18 if x64 else 2
    # The other architecture's view, where its installer keeps its entry (the same view on 32-bit
    # Windows, where the x64 package cannot run anyway).
    other_locator = 2 if x64 else 18
    other = 'x86' if x64 else 'x64'
    system = 'System64Folder' if x64 else 'SystemFolder'
    view = ' /reg:64' if x64 else ''
    delete = f'"[{system}]reg.exe" delete "HKLM\\{run_key}" /v {run_value} /f{view}'
    query(msi,
          # msidbUpgradeAttributesMigrateFeatures + VersionMaxInclusive: the same version too (the
          # attributes are part of the row's key, so the row is made anew).
          "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'",
          "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) "
          f"VALUES ('{upgrade_code(arch)}', '{version}', 513, 'WIX_UPGRADE_DETECTED')",
          "UPDATE Component SET Condition = 'AUTOSTART=\"1\" OR (WIX_UPGRADE_DETECTED AND RUNVALUE AND "
          "NOT AUTOSTART=\"0\") OR REMOVE=\"ALL\"' WHERE Component = 'Autostart'",
          # One Varnlet! per machine: the other architecture's MSI, of any version, is only found
          # (msidbUpgradeAttributesOnlyDetect + VersionMinInclusive), never removed, and stops the
          # install as its installer does (below).
          "INSERT INTO Upgrade (UpgradeCode, VersionMin, Attributes, ActionProperty) "
          f"VALUES ('{upgrade_code(other)}', '0.0.0', 258, 'OTHERARCHMSI')",
          "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;AUTOSTART;RUNVALUE;SETUPUNINSTALL;"
          "OTHERSETUPUNINSTALL;OTHERARCHMSI' WHERE Property = 'SecureCustomProperties'",
          f"INSERT INTO Property (Property, Value) VALUES ('VARNLETPROGRAM', '{component_id(msi, 'Program')}')",
          # The checks of varnlet_setup.dll (the Binary row SetupChecks): type 1, a DLL in the
          # package, run at once, before InstallValidate and so before the old version is removed
          # (RemoveExistingProducts), on a new install or an upgrade; 51 hands each deferred check
          # its data; 3073 = 1 + deferred (1024) + as the system (2048). The folder is judged again
          # after CreateFolders and before InstallFiles, whenever files are to be written; the
          # exe once the files are in and before WriteRegistryValues, when the Autostart component
          # is to be installed.
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          "VALUES ('CheckInstallFolder', 1, 'SetupChecks', 'CheckInstallFolder')",
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          "VALUES ('SetCheckAutostart', 51, 'CheckAutostart', '[INSTALLFOLDER]varnlet.exe')",
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          "VALUES ('CheckAutostart', 3073, 'SetupChecks', 'CheckAutostart')",
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          "VALUES ('SetRecheckInstallFolder', 51, 'RecheckInstallFolder', '[INSTALLFOLDER]')",
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          "VALUES ('RecheckInstallFolder', 3073, 'SetupChecks', 'RecheckInstallFolder')",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
          "VALUES ('CheckInstallFolder', 'NOT Installed AND NOT REMOVE', 1390)",
          # Add/Remove Programs' InstallLocation, which Windows Installer leaves empty otherwise;
          # after CostFinalize has resolved the folder.
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          "VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLFOLDER]')",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('SetInstallLocation', '', 1001)",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('SetCheckAutostart', '', 1395)",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
          "VALUES ('SetRecheckInstallFolder', '', 1396)",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
          "VALUES ('RecheckInstallFolder', 'NOT REMOVE', 3710)",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
          "VALUES ('CheckAutostart', '$Autostart=3', 4010)",
          "INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode) "
          "VALUES ('EmptyFolder', 'Program', '*', 'INSTALLFOLDER', 1)",
          "INSERT INTO RegLocator (Signature_, Root, `Key`, Name, Type) "
          f"VALUES ('RunValue', 2, '{run_key}', '{run_value}', {locator})",
          "INSERT INTO RegLocator (Signature_, Root, `Key`, Name, Type) "
          f"VALUES ('SetupInstall', 2, '{setup_key}', 'QuietUninstallString', {locator})",
          "INSERT INTO AppSearch (Property, Signature_) VALUES ('RUNVALUE', 'RunValue')",
          "INSERT INTO AppSearch (Property, Signature_) VALUES ('SETUPUNINSTALL', 'SetupInstall')",
          "INSERT INTO LaunchCondition (Condition, Description) VALUES ('Installed OR NOT SETUPUNINSTALL', "
          f"'{title} está instalado con su instalador. Desinstálelo antes en Agregar o quitar programas, "
          "o con: [SETUPUNINSTALL]')",
          "INSERT INTO RegLocator (Signature_, Root, `Key`, Name, Type) "
          f"VALUES ('OtherSetupInstall', 2, '{setup_key}', 'QuietUninstallString', {other_locator})",
          "INSERT INTO AppSearch (Property, Signature_) VALUES ('OTHERSETUPUNINSTALL', 'OtherSetupInstall')",
          "INSERT INTO LaunchCondition (Condition, Description) VALUES ('Installed OR NOT OTHERSETUPUNINSTALL', "
          f"'{title} ya está instalado para la otra arquitectura ({other}). Desinstálelo antes en Agregar o "
          "quitar programas, o con: [OTHERSETUPUNINSTALL]')",
          "INSERT INTO LaunchCondition (Condition, Description) VALUES ('Installed OR NOT OTHERARCHMSI', "
          f"'{title} ya está instalado para la otra arquitectura ({other}). Desinstálelo antes en Agregar o "
          "quitar programas, o con: msiexec /x [OTHERARCHMSI]')",
          # Type 34 (an exe in a folder) + 1024 (deferred) + 2048 (as the system, not the user), its
          # exit code counted; first in the script, so a failure leaves the rest undone, and before
          # RemoveRegistryValues, which removes the value of an installed Autostart component.
          "INSERT INTO CustomAction (Action, Type, Source, Target) "
          f"VALUES ('RemoveRunValue', 3106, '{system}', '{delete}')",
          "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
          "VALUES ('RemoveRunValue', 'RUNVALUE AND REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE', 1550)",
          # AUTOSTART=0: a component whose RemoveRegistry row deletes the value when it installs,
          # there or not (an upgrade's removal of the old version may have taken it already).
          "INSERT INTO Component (Component, ComponentId, Directory_, Attributes, Condition) "
          f"VALUES ('AutostartOff', '{autostart_off_guid}', 'INSTALLFOLDER', {256 if x64 else 0}, "
          "'AUTOSTART=\"0\" OR REMOVE=\"ALL\"')",
          "INSERT INTO FeatureComponents (Feature_, Component_) VALUES ('Varnlet', 'AutostartOff')",
          "CREATE TABLE `RemoveRegistry` (`RemoveRegistry` CHAR(72) NOT NULL, `Root` SHORT NOT NULL, "
          "`Key` CHAR(255) NOT NULL LOCALIZABLE, `Name` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL "
          "PRIMARY KEY `RemoveRegistry`)",
          "INSERT INTO RemoveRegistry (`RemoveRegistry`, `Root`, `Key`, `Name`, `Component_`) "
          f"VALUES ('RunValueOff', 2, '{run_key}', '{run_value}', 'AutostartOff')",
          "CREATE TABLE `MsiLockPermissionsEx` (`MsiLockPermissionsEx` CHAR(72) NOT NULL, "
          "`LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, `SDDL` LONGCHAR NOT NULL, "
          "`Condition` CHAR(255) PRIMARY KEY `MsiLockPermissionsEx`)",
          "INSERT INTO CreateFolder (Directory_, Component_) VALUES ('INSTALLFOLDER', 'Program')",
          "INSERT INTO `MsiLockPermissionsEx` (`MsiLockPermissionsEx`, `LockObject`, `Table`, `SDDL`) "
          f"VALUES ('InstallFolder', 'INSTALLFOLDER', 'CreateFolder', '{FOLDER_SDDL}')")
    for table in ('InstallUISequence', 'InstallExecuteSequence'):
        query(msi, f"INSERT INTO {table} (Action, Sequence) VALUES ('AppSearch', 50)")
    query(msi, "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveFolders', 3600)",
          "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('CreateFolders', 3700)")
    # RecheckInstallFolder judges the folder the files go into: the old version must be gone by
    # then, not removed after it (wixl's MajorUpgrade puts RemoveExistingProducts after
    # InstallValidate, before the script runs).
    sequence = subprocess.run(['msiinfo', 'export', msi, 'InstallExecuteSequence'], check=True, capture_output=True,
                              text=True).stdout
    order = {fields[0]: int(fields[2]) for fields in (row.split('\t') for row in sequence.splitlines()[3:])}
    steps = [order[action] for action in ('RemoveExistingProducts', 'CreateFolders', 'RecheckInstallFolder',
                                          'InstallFiles')]
    if steps != sorted(set(steps)):
        sys.exit(f'make_msi.py: RecheckInstallFolder would not see the folder the files go into: {order}')


def main(argv):
    if argv[1:2] == ['--upgrade-code']:
        print(upgrade_code(argv[2]))
        return
    out, arch, facts, exe, readme, icon, setup_dll, epoch = argv[1:]
    epoch = int(epoch)
    with open(facts, encoding='utf-8') as f:
        facts = json.load(f)
    version, maker = facts['version'], facts['maker']
    here = os.path.dirname(os.path.abspath(__file__))
    payload = open(exe, 'rb').read() + open(readme, 'rb').read() + open(setup_dll, 'rb').read()
    content = uuid.uuid5(NAMESPACE, payload.hex()).hex
    codes = {
        'UpgradeCode': upgrade_code(arch),
        'ProductCode': guid('product', version, arch, maker, content),
        'AutostartGuid': guid('component', 'autostart', arch),
        'ShortcutGuid': guid('component', 'shortcut', arch),
    }
    with tempfile.TemporaryDirectory() as work:
        # wixl takes source files relative to its working folder.
        for source, name in ((exe, 'varnlet.exe'), (readme, 'LEAME.txt'), (icon, 'varnlet.ico'),
                             (setup_dll, 'varnlet_setup.dll')):
            shutil.copyfile(source, os.path.join(work, name))
            os.utime(os.path.join(work, name), (epoch, epoch))
        msi = os.path.join(work, 'out.msi')
        defines = [a for k, v in dict(Arch=arch, Version=version, Maker=maker, Title=facts['title'],
                                      ShortName=facts['short_name'], ProductKey=facts['product_key'],
                                      Description=facts['description'], RunKey=facts['run_key'],
                                      RunValue=facts['run_value'], **codes).items()
                   for a in ('-D', f'{k}={v}')]
        before = int(time.time())
        subprocess.run(['wixl', '-a', arch, *defines, '-o', msi, os.path.join(here, 'varnlet.wxs')], cwd=work,
                       check=True)
        after = int(time.time())
        add_tables(msi, arch, facts, guid('component', 'autostart-off', arch))
        # Title, author, template (platform and language) and the package code.
        platform = 'x64' if arch == 'x64' else 'Intel'
        msibuild(msi, '-s', facts['title'], maker, f'{platform};3082', guid('package', version, arch, maker, content))
        fix_summary_times(msi, epoch, before, after)
        shutil.copyfile(msi, out)


if __name__ == '__main__':
    main(sys.argv)
