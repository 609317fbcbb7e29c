#!/usr/bin/env python3
"""Checks the winget and Scoop manifests that a build wrote, as the two community repositories
would, without the network: every file parses (YAML, JSON), carries each required field and no
field its format does not know, every enumerated value is one of the format's, the files agree on
the package and version, each hash is the SHA-256 of the package it names and each URL ends in
that package's name, and the MSI's product and upgrade codes are the MSI's own.

  check_manifests.py MANIFESTS PACKAGES...

MANIFESTS holds winget/ and scoop/ as packaging/manifests.py writes them; PACKAGES are the folders
holding the files the manifests name. Exits 1 naming every fault it found.
"""
import hashlib
import json
import os
import re
import subprocess
import sys

import yaml

MANIFEST_VERSION = '1.10.0'
# The winget manifest format 1.10.0: required and known fields of each file, and the enumerations.
LOCALE_FIELDS = {'PackageIdentifier', 'PackageVersion', 'PackageLocale', 'Publisher', 'PublisherUrl',
                 'PublisherSupportUrl', 'PrivacyUrl', 'Author', 'PackageName', 'PackageUrl', 'License',
                 'LicenseUrl', 'Copyright', 'CopyrightUrl', 'ShortDescription', 'Description', 'Tags',
                 'Agreements', 'ReleaseNotes', 'ReleaseNotesUrl', 'PurchaseUrl', 'InstallationNotes',
                 'Documentations', 'Icons', 'ManifestType', 'ManifestVersion'}
INSTALLER_COMMON = {'InstallerLocale', 'Platform', 'MinimumOSVersion', 'InstallerType', 'NestedInstallerType',
                    'NestedInstallerFiles', 'Scope', 'InstallModes', 'InstallerSwitches', 'InstallerSuccessCodes',
                    'ExpectedReturnCodes', 'UpgradeBehavior', 'Commands', 'Protocols', 'FileExtensions',
                    'Dependencies', 'PackageFamilyName', 'ProductCode', 'Capabilities', 'RestrictedCapabilities',
                    'Markets', 'InstallerAbortsTerminal', 'ReleaseDate', 'InstallLocationRequired',
                    'RequireExplicitUpgrade', 'DisplayInstallWarnings', 'UnsupportedOSArchitectures',
                    'UnsupportedArguments', 'AppsAndFeaturesEntries', 'ElevationRequirement',
                    'InstallationMetadata', 'DownloadCommandProhibited', 'RepairBehavior',
                    'ArchiveBinariesDependOnPath'}
FORMATS = {
    'version': ({'PackageIdentifier', 'PackageVersion', 'DefaultLocale', 'ManifestType', 'ManifestVersion'},
                {'PackageIdentifier', 'PackageVersion', 'DefaultLocale', 'ManifestType', 'ManifestVersion'}),
    'defaultLocale': ({'PackageIdentifier', 'PackageVersion', 'PackageLocale', 'Publisher', 'PackageName', 'License',
                       'ShortDescription', 'ManifestType', 'ManifestVersion'}, LOCALE_FIELDS | {'Moniker'}),
    'locale': ({'PackageIdentifier', 'PackageVersion', 'PackageLocale', 'ManifestType', 'ManifestVersion'},
               LOCALE_FIELDS),
    'installer': ({'PackageIdentifier', 'PackageVersion', 'Installers', 'ManifestType', 'ManifestVersion'},
                  INSTALLER_COMMON | {'PackageIdentifier', 'PackageVersion', 'Channel', 'Installers', 'ManifestType',
                                      'ManifestVersion'}),
}
ENTRY_REQUIRED = {'Architecture', 'InstallerUrl', 'InstallerSha256'}
ENTRY_FIELDS = INSTALLER_COMMON | ENTRY_REQUIRED | {'SignatureSha256', 'Channel'}
ENUMS = {
    'Architecture': {'x86', 'x64', 'arm', 'arm64', 'neutral'},
    'InstallerType': {'msix', 'msi', 'appx', 'exe', 'zip', 'inno', 'nullsoft', 'wix', 'burn', 'pwa', 'portable',
                      'font'},
    'Scope': {'user', 'machine'},
    'UpgradeBehavior': {'install', 'uninstallPrevious', 'deny'},
    'ElevationRequirement': {'elevationRequired', 'elevationProhibited', 'elevatesSelf'},
    'ReturnResponse': {'packageInUse', 'packageInUseByApplication', 'installInProgress', 'fileInUse',
                       'missingDependencies', 'diskFull', 'insufficientMemory', 'invalidParameter', 'noNetwork',
                       'contactSupport', 'rebootRequiredToFinish', 'rebootRequiredForInstall', 'rebootInitiated',
                       'cancelledByUser', 'alreadyInstalled', 'downgrade', 'blockedByPolicy', 'systemNotSupported',
                       'custom'},
}
SWITCHES = {'Silent', 'SilentWithProgress', 'Interactive', 'InstallLocation', 'Log', 'Upgrade', 'Custom', 'Repair'}
RETURN_CODE_FIELDS = {'InstallerReturnCode', 'ReturnResponse', 'ReturnResponseUrl'}
ARP_FIELDS = {'DisplayName', 'Publisher', 'DisplayVersion', 'ProductCode', 'UpgradeCode', 'InstallerType'}
IDENTIFIER = re.compile(r'^[^.\s\\/:*?"<>|\x00-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x00-\x1f]{1,32}){1,7}$')
GUID = re.compile(r'^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$')
# Scoop's manifest format: the fields it knows, at the top and per architecture.
SCOOP_FIELDS = {'$schema', '##', 'version', 'description', 'homepage', 'license', 'notes', 'depends', 'suggest',
                'url', 'hash', 'extract_dir', 'extract_to', 'architecture', 'bin', 'shortcuts', 'persist',
                'pre_install', 'post_install', 'pre_uninstall', 'post_uninstall', 'installer', 'uninstaller',
                'checkver', 'autoupdate', 'env_add_path', 'env_set', 'innosetup', 'psmodule', 'cookie'}
SCOOP_REQUIRED = {'version', 'description', 'homepage', 'license'}
SCOOP_ARCH_FIELDS = {'url', 'hash', 'extract_dir', 'extract_to', 'bin', 'shortcuts', 'env_add_path', 'env_set',
                     'installer', 'uninstaller', 'pre_install', 'post_install', 'pre_uninstall', 'post_uninstall'}
SCOOP_ARCHES = {'64bit': 'x64', '32bit': 'x86', 'arm64': 'arm64'}

faults = []


def fault(where, text):
    faults.append(f'{where}: {text}')


def fields(where, document, required, known):
    if not isinstance(document, dict):
        fault(where, 'not a mapping')
        return False
    for name in sorted(required - set(document)):
        fault(where, f'{name} is missing')
    for name in sorted(set(document) - known):
        fault(where, f'{name} is no field of this format')
    return True


def enum(where, name, value):
    if name in ENUMS and value not in ENUMS[name]:
        fault(where, f'{name} "{value}" is none of {sorted(ENUMS[name])}')


def sha256(path):
    with open(path, 'rb') as f:
        return hashlib.file_digest(f, 'sha256').hexdigest()


def package(where, url, digest, folders):
    """The local file the URL names, after checking the URL and the hash against it."""
    name = url.rsplit('/', 1)[-1] if isinstance(url, str) else ''
    if not isinstance(url, str) or not url.startswith('https://') or not name:
        fault(where, f'"{url}" is no https:// address of a file')
        return None
    found = [os.path.join(d, name) for d in folders if os.path.isfile(os.path.join(d, name))]
    if not found:
        fault(where, f'no package {name} beside the manifests')
        return None
    if not isinstance(digest, str) or digest.lower() != sha256(found[0]):
        fault(where, f'the hash is not the SHA-256 of {name}')
    return found[0]


def msi_codes(msi):
    table = subprocess.run(['msiinfo', 'export', msi, 'Property'], capture_output=True, text=True,
                           encoding='utf-8', errors='replace').stdout
    codes = {}
    for line in table.splitlines():
        parts = line.rstrip('\r').split('\t')
        if len(parts) == 2:
            codes[parts[0]] = parts[1]
    return codes


def check_installer_entry(where, entry, root, folders, head):
    if not fields(where, entry, ENTRY_REQUIRED, ENTRY_FIELDS):
        return
    merged = {**{k: v for k, v in root.items() if k in INSTALLER_COMMON}, **entry}
    if 'InstallerType' not in merged:
        fault(where, 'InstallerType is missing')
    for name in ('Architecture', 'InstallerType', 'Scope', 'UpgradeBehavior', 'ElevationRequirement'):
        if name in merged:
            enum(where, name, merged[name])
    switches = merged.get('InstallerSwitches', {})
    if not isinstance(switches, dict) or set(switches) - SWITCHES:
        fault(where, f'InstallerSwitches holds {sorted(set(switches) - SWITCHES) if isinstance(switches, dict) else switches}')
    for code in merged.get('ExpectedReturnCodes', []):
        if fields(where + ' ExpectedReturnCodes', code, {'InstallerReturnCode', 'ReturnResponse'}, RETURN_CODE_FIELDS):
            enum(where, 'ReturnResponse', code.get('ReturnResponse'))
            if not isinstance(code.get('InstallerReturnCode'), int) or code['InstallerReturnCode'] == 0:
                fault(where, f'InstallerReturnCode {code.get("InstallerReturnCode")} is no failure code')
    local = package(where, entry.get('InstallerUrl'), entry.get('InstallerSha256'), folders)
    entries = merged.get('AppsAndFeaturesEntries', [])
    for arp in entries:
        if fields(where + ' AppsAndFeaturesEntries', arp, set(), ARP_FIELDS):
            if arp.get('DisplayVersion', head['PackageVersion']) != head['PackageVersion']:
                fault(where, 'AppsAndFeaturesEntries names another version')
            enum(where, 'InstallerType', arp.get('InstallerType', merged.get('InstallerType')))
    if merged.get('InstallerType') in ('wix', 'msi') and local:
        codes = msi_codes(local)
        product = merged.get('ProductCode')
        if not product or not GUID.match(str(product)) or product != codes.get('ProductCode'):
            fault(where, f'ProductCode {product} is not the MSI\'s {codes.get("ProductCode")}')
        for arp in entries:
            if arp.get('ProductCode') != codes.get('ProductCode') or arp.get('UpgradeCode') != codes.get('UpgradeCode'):
                fault(where, 'AppsAndFeaturesEntries has other codes than the MSI')


def check_winget(root, folders):
    top = os.path.join(root, 'winget', 'manifests')
    version_dirs = [d for d, _, files in os.walk(top) if any(f.endswith('.yaml') for f in files)]
    if len(version_dirs) != 1:
        fault(top, f'{len(version_dirs)} version folders, not one')
        return
    folder = version_dirs[0]
    documents = {}
    for name in sorted(os.listdir(folder)):
        try:
            with open(os.path.join(folder, name), encoding='utf-8') as f:
                documents[name] = yaml.safe_load(f)
        except (yaml.YAMLError, UnicodeDecodeError) as e:
            fault(name, f'does not parse: {e}')
    kinds = {}
    for name, document in documents.items():
        kind = document.get('ManifestType') if isinstance(document, dict) else None
        if kind not in FORMATS:
            fault(name, f'ManifestType "{kind}" is none of {sorted(FORMATS)}')
            continue
        kinds.setdefault(kind, []).append((name, document))
        fields(name, document, *FORMATS[kind])
        if document.get('ManifestVersion') != MANIFEST_VERSION:
            fault(name, f'ManifestVersion is not {MANIFEST_VERSION}')
    for kind in ('version', 'defaultLocale', 'installer'):
        if len(kinds.get(kind, [])) != 1:
            fault(folder, f'{len(kinds.get(kind, []))} {kind} files, not one')
    if faults:
        return
    head = {k: kinds['version'][0][1][k] for k in ('PackageIdentifier', 'PackageVersion')}
    identifier, version = head['PackageIdentifier'], head['PackageVersion']
    if not IDENTIFIER.match(str(identifier)):
        fault(folder, f'"{identifier}" is no winget package identifier')
    publisher, _, name = str(identifier).partition('.')
    expected = os.path.join(top, publisher[:1].lower(), publisher, name, str(version))
    if os.path.normpath(folder) != os.path.normpath(expected):
        fault(folder, f'not the repository\'s folder for {identifier} {version}')
    for name, document in documents.items():
        for key, value in head.items():
            if document.get(key) != value:
                fault(name, f'{key} is not {value}')
        expected_name = {'version': f'{identifier}.yaml', 'installer': f'{identifier}.installer.yaml'}.get(
            document['ManifestType'], f'{identifier}.locale.{document.get("PackageLocale")}.yaml')
        if name != expected_name:
            fault(name, f'should be named {expected_name}')
    default = kinds['version'][0][1]['DefaultLocale']
    if kinds['defaultLocale'][0][1].get('PackageLocale') != default:
        fault(kinds['defaultLocale'][0][0], f'is not the default locale {default}')
    installer_name, installer = kinds['installer'][0]
    installers = installer.get('Installers')
    if not isinstance(installers, list) or not installers:
        fault(installer_name, 'Installers is no list of installers')
        return
    seen = set()
    for i, entry in enumerate(installers):
        check_installer_entry(f'{installer_name} Installers[{i}]', entry, installer, folders, head)
        if isinstance(entry, dict):
            key = (entry.get('Architecture'), entry.get('InstallerType', installer.get('InstallerType')))
            if key in seen:
                fault(installer_name, f'two installers for {key}')
            seen.add(key)


def check_scoop(root, folders):
    path = os.path.join(root, 'scoop', 'varnlet.json')
    try:
        with open(path, encoding='utf-8') as f:
            manifest = json.load(f)
    except (OSError, ValueError) as e:
        fault(path, f'does not parse: {e}')
        return
    if not fields(path, manifest, SCOOP_REQUIRED, SCOOP_FIELDS):
        return
    arches = manifest.get('architecture')
    if not isinstance(arches, dict) or not arches:
        fault(path, 'architecture names no package')
        return
    for arch, entry in arches.items():
        if arch not in SCOOP_ARCHES:
            fault(path, f'architecture "{arch}" is none of {sorted(SCOOP_ARCHES)}')
            continue
        if fields(f'{path} {arch}', entry, {'url', 'hash'}, SCOOP_ARCH_FIELDS):
            package(f'{path} {arch}', entry['url'], entry['hash'], folders)
            if not str(entry['url']).endswith(f'-{manifest["version"]}-{SCOOP_ARCHES[arch]}.zip'):
                fault(f'{path} {arch}', 'the URL is not this version\'s zip of this architecture')
    update = manifest.get('autoupdate', {})
    for arch, entry in update.get('architecture', {}).items():
        if arch not in arches or '$version' not in entry.get('url', ''):
            fault(path, f'autoupdate for {arch} does not follow the release layout')
    if 'checkver' in manifest and not (manifest['checkver'].get('url') or manifest['checkver'].get('regex')):
        fault(path, 'checkver says neither where nor what to look for')


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    root, folders = argv[1], argv[2:]
    check_winget(root, folders)
    check_scoop(root, folders)
    for line in faults:
        print(f'check_manifests: {line}', file=sys.stderr)
    if faults:
        return 1
    print(f'check_manifests: winget and Scoop manifests under {root} are complete and name these packages')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
