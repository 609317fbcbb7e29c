#!/usr/bin/env python3
"""Checks the winget and Scoop manifests that a build wrote, as the two community repositories and
the clients would, without the network: every file parses (YAML without a key given twice, JSON),
carries each required field and no field its format does not know, each value has the type, length,
pattern and enumeration of the published formats (winget manifest 1.10.0, Scoop's manifest), lists
hold no item twice, each winget file's schema header names its own type and version, the files
agree on the package and version, each hash is that of the package it names and each URL ends in
that package's name, the MSI's product and upgrade codes are the MSI's own and it never restarts
Windows by itself. Beyond the formats, what the clients would misread: a switch or return code the
winget client assumes anyway, an MSI switch without /norestart, 1603 (Windows Installer's generic
failure) given one meaning, Add/Remove Programs fields that add nothing, a MinimumOSVersion older
than the client itself, a switch that sets the start-up choice (passed again at every upgrade, it
would undo the choice made since), Scoop keys out of the Extras bucket's order and a checkver
reading an index. Addresses the community repositories could not reach are named as not
publishable (the build's defaults are such), which is no fault.

  check_manifests.py [--signer SIGNER] MANIFESTS [PACKAGES...]

MANIFESTS holds winget/ and scoop/ as packaging/manifests.py writes them; PACKAGES are the folders
holding the files the manifests name (MANIFESTS itself by default, as in a submission). With
--signer, as for a submission: every package (the installers, the MSIs, the exe in each zip) must
pass the release check (packaging/verify_signatures.sh) against the release's own certificate,
which SIGNER names as that check takes it, and MANIFESTS/SHA256SUMS must list every manifest and
package with its hash. Without it the packages are named not publishable. Exits 1 naming every
fault it found.
"""
import datetime
import functools
import hashlib
import importlib.util
import json
import os
import re
import reprlib
import subprocess
import sys

import yaml

MANIFEST_VERSION = '1.10.0'
faults = []


def fault(where, text):
    faults.append(f'{where}: {text}')


def shown(value):
    """A value as a fault names it: short, however long or deeply nested."""
    return reprlib.repr(value)


# Validators: each takes (where, value) and reports what is wrong through fault(); none raises,
# whatever the value's type.

def text(low, high, pattern=None, what=None):
    def check(where, value):
        if not isinstance(value, str):
            fault(where, f'{shown(value)} is not text')
        elif not low <= len(value) <= high:
            fault(where, f'has {len(value)} characters, not {low} to {high}')
        elif pattern and not re.fullmatch(pattern, value):
            fault(where, f'"{value}" is not {what}')
    return check


def enum(*values):
    def check(where, value):
        if value not in values:
            fault(where, f'"{value}" is none of {", ".join(values)}')
    return check


def integer(low, high):
    def check(where, value):
        if not isinstance(value, int) or isinstance(value, bool):
            fault(where, f'{shown(value)} is not a whole number')
        elif not low <= value <= high or value == 0:
            fault(where, f'{value} is not a non-zero value from {low} to {high}')
    return check


def boolean(where, value):
    if not isinstance(value, bool):
        fault(where, f'{shown(value)} is not true or false')


def date(where, value):
    # YAML reads an unquoted ISO date as a date already.
    if type(value) is datetime.date:
        return
    try:
        if isinstance(value, str) and re.fullmatch(r'\d{4}-\d{2}-\d{2}', value):
            datetime.date.fromisoformat(value)
            return
    except ValueError:
        pass
    fault(where, f'{shown(value)} is no ISO date (YYYY-MM-DD)')


def anything(where, value):
    pass


def canonical(value):
    """A hashable form of a parsed value, for finding an item given twice."""
    if isinstance(value, dict):
        return ('map', tuple(sorted((repr(k), canonical(v)) for k, v in value.items())))
    if isinstance(value, list):
        return ('list', tuple(canonical(v) for v in value))
    return (type(value).__name__, repr(value))


def items(check, most, least=0, unique=True):
    def check_list(where, value):
        if not isinstance(value, list):
            fault(where, f'{shown(value)} is not a list')
            return
        if not least <= len(value) <= most:
            fault(where, f'has {len(value)} items, not {least} to {most}')
        seen = set()
        for i, item in enumerate(value):
            before = len(faults)
            check(f'{where}[{i}]', item)
            # A valid item is shallow; an invalid one is refused already.
            if unique and len(faults) == before:
                if canonical(item) in seen:
                    fault(f'{where}[{i}]', 'is given twice')
                seen.add(canonical(item))
    return check_list


def mapping(known, required=(), one_of=()):
    """An object of the fields in known; with one_of, exactly one of those fields."""
    def check(where, value):
        if not isinstance(value, dict):
            fault(where, f'{shown(value)} is not a mapping')
            return
        for name in sorted(set(required) - set(value)):
            fault(where, f'{name} is missing')
        for name in sorted(map(str, set(value) - set(known))):
            fault(where, f'{name} is no field of this format')
        if one_of and len(set(one_of) & set(value)) != 1:
            fault(where, f'holds {len(set(one_of) & set(value))} of {", ".join(one_of)}, not one')
        for name, item in value.items():
            if name in known:
                known[name](f'{where} {name}', item)
    return check


def either(**forms):
    """A value of one of several forms, told apart by its type (text=, list=, mapping=)."""
    def check(where, value):
        for form, candidate in forms.items():
            if isinstance(value, {'text': str, 'list': list, 'mapping': dict}[form]):
                return candidate(where, value)
        fault(where, f'{shown(value)} is not {" or ".join(forms)}')
    return check


def free_mapping(where, value):
    if not isinstance(value, dict):
        fault(where, f'{shown(value)} is not a mapping')


# The winget manifest format 1.10.0.
UINT16 = r'(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])'
NAME_PART = r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}'
URL = text(0, 2048, r'[Hh][Tt][Tt][Pp][Ss]?://.+', 'an http or https address')
LOCALE = text(1, 20, r'([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*', 'a language tag')
IDENTIFIER = text(1, 128, NAME_PART + r'(\.' + NAME_PART + r'){1,7}', 'a package identifier')
VERSION = text(1, 128, r'[^\\/:*?"<>|\x01-\x1f]+', 'a version')
TAG = text(1, 40)
SHA256 = text(64, 64, r'[A-Fa-f0-9]{64}', 'a SHA-256 in hexadecimal')
RETURN_CODE = integer(-2 ** 31, 2 ** 32 - 1)
ARCHITECTURES = ('x86', 'x64', 'arm', 'arm64')
INSTALLER_TYPE = enum('msix', 'msi', 'appx', 'exe', 'zip', 'inno', 'nullsoft', 'wix', 'burn', 'pwa', 'portable')
MARKETS = items(text(2, 2, r'[A-Z]{2}', 'a two-letter market'), 256)
SWITCH = text(1, 512)
INSTALLER_FIELDS = {
    'InstallerLocale': LOCALE,
    'Platform': items(enum('Windows.Desktop', 'Windows.Universal'), 2),
    'MinimumOSVersion': text(1, 128, UINT16 + r'(\.' + UINT16 + r'){0,3}', 'up to four dot-separated numbers'),
    'InstallerType': INSTALLER_TYPE,
    'NestedInstallerType': enum('msix', 'msi', 'appx', 'exe', 'inno', 'nullsoft', 'wix', 'burn', 'portable'),
    'NestedInstallerFiles': items(mapping({'RelativeFilePath': text(1, 512), 'PortableCommandAlias': text(1, 40)},
                                          {'RelativeFilePath'}), 1024),
    'Scope': enum('user', 'machine'),
    'InstallModes': items(enum('interactive', 'silent', 'silentWithProgress'), 3),
    'InstallerSwitches': mapping({**{name: SWITCH for name in ('Silent', 'SilentWithProgress', 'Interactive',
                                                               'InstallLocation', 'Log', 'Upgrade', 'Repair')},
                                  'Custom': text(1, 2048)}),
    'InstallerSuccessCodes': items(RETURN_CODE, 16),
    'ExpectedReturnCodes': items(mapping({
        'InstallerReturnCode': RETURN_CODE,
        'ReturnResponse': enum('packageInUse', 'packageInUseByApplication', 'installInProgress', 'fileInUse',
                               'missingDependency', 'diskFull', 'insufficientMemory', 'invalidParameter', 'noNetwork',
                               'contactSupport', 'rebootRequiredToFinish', 'rebootRequiredForInstall',
                               'rebootInitiated', 'cancelledByUser', 'alreadyInstalled', 'downgrade',
                               'blockedByPolicy', 'systemNotSupported', 'custom'),
        'ReturnResponseUrl': URL}, {'InstallerReturnCode', 'ReturnResponse'}), 128),
    'UpgradeBehavior': enum('install', 'uninstallPrevious', 'deny'),
    'Commands': items(text(1, 40), 16),
    'Protocols': items(text(1, 2048, r'[a-z][-a-z0-9.+]*', 'a protocol name'), 64),
    'FileExtensions': items(text(1, 64, r'[^\\/:*?"<>|\x01-\x1f]+', 'a file extension'), 512),
    'Dependencies': mapping({
        'WindowsFeatures': items(text(1, 128), 16), 'WindowsLibraries': items(text(1, 128), 16),
        'PackageDependencies': items(mapping({'PackageIdentifier': IDENTIFIER, 'MinimumVersion': VERSION},
                                             {'PackageIdentifier'}), 16),
        'ExternalDependencies': items(text(1, 128), 16)}),
    'PackageFamilyName': text(1, 255, r'[A-Za-z0-9][-.A-Za-z0-9]+_[A-Za-z0-9]{13}', 'a package family name'),
    'ProductCode': text(1, 255),
    'Capabilities': items(text(1, 40), 1000),
    'RestrictedCapabilities': items(text(1, 40), 1000),
    'Markets': mapping({'AllowedMarkets': MARKETS, 'ExcludedMarkets': MARKETS},
                       one_of=('AllowedMarkets', 'ExcludedMarkets')),
    'InstallerAbortsTerminal': boolean,
    'ReleaseDate': date,
    'InstallLocationRequired': boolean,
    'RequireExplicitUpgrade': boolean,
    'DisplayInstallWarnings': boolean,
    'UnsupportedOSArchitectures': items(enum(*ARCHITECTURES), 4),
    'UnsupportedArguments': items(enum('log', 'location'), 2),
    'AppsAndFeaturesEntries': items(mapping({
        'DisplayName': text(1, 256), 'Publisher': text(1, 256), 'DisplayVersion': text(1, 128),
        'ProductCode': text(1, 255), 'UpgradeCode': text(1, 255), 'InstallerType': INSTALLER_TYPE}), 128),
    'ElevationRequirement': enum('elevationRequired', 'elevationProhibited', 'elevatesSelf'),
    'InstallationMetadata': mapping({
        'DefaultInstallLocation': text(1, 2048),
        'Files': items(mapping({'RelativeFilePath': text(1, 2048), 'FileSha256': SHA256,
                                'FileType': enum('launch', 'uninstall', 'other'),
                                'InvocationParameter': text(1, 2048), 'DisplayName': text(1, 256)},
                               {'RelativeFilePath'}), 2048)}),
    'DownloadCommandProhibited': boolean,
    'RepairBehavior': enum('modify', 'uninstaller', 'installer'),
    'ArchiveBinariesDependOnPath': boolean,
    'Authentication': mapping({
        'AuthenticationType': enum('none', 'microsoftEntraId', 'microsoftEntraIdForAzureBlobStorage'),
        'MicrosoftEntraIdAuthenticationInfo': mapping({'Resource': text(1, 512), 'Scope': text(1, 512)})},
        {'AuthenticationType'}),
}
ENTRY = mapping({**INSTALLER_FIELDS, 'Architecture': enum(*ARCHITECTURES, 'neutral'), 'InstallerUrl': URL,
                 'InstallerSha256': SHA256, 'SignatureSha256': SHA256, 'Channel': text(1, 16)},
                {'Architecture', 'InstallerUrl', 'InstallerSha256'})
HEAD = {'PackageIdentifier': IDENTIFIER, 'PackageVersion': VERSION,
        'ManifestVersion': text(5, 17, UINT16 + r'(\.' + UINT16 + r'){2}', 'a manifest version')}
LOCALE_FIELDS = {
    **HEAD, 'PackageLocale': LOCALE, 'Publisher': text(2, 256), 'PublisherUrl': URL, 'PublisherSupportUrl': URL,
    'PrivacyUrl': URL, 'Author': text(2, 256), 'PackageName': text(2, 256), 'PackageUrl': URL,
    'License': text(3, 512), 'LicenseUrl': URL, 'Copyright': text(3, 512), 'CopyrightUrl': URL,
    'ShortDescription': text(3, 256), 'Description': text(3, 10000), 'Tags': items(TAG, 16),
    'Agreements': items(mapping({'AgreementLabel': text(1, 100), 'Agreement': text(1, 10000),
                                 'AgreementUrl': URL}), 128),
    'ReleaseNotes': text(1, 10000), 'ReleaseNotesUrl': URL, 'PurchaseUrl': URL, 'InstallationNotes': text(1, 10000),
    'Documentations': items(mapping({'DocumentLabel': text(1, 100), 'DocumentUrl': URL}), 256),
    'Icons': items(mapping({'IconUrl': URL, 'IconFileType': enum('png', 'jpeg', 'ico'),
                            'IconResolution': enum('custom', '16x16', '20x20', '24x24', '30x30', '32x32', '36x36',
                                                   '40x40', '48x48', '60x60', '64x64', '72x72', '80x80', '96x96',
                                                   '256x256'),
                            'IconTheme': enum('default', 'light', 'dark', 'highContrast'), 'IconSha256': SHA256},
                           {'IconUrl', 'IconFileType'}), 1024),
}
LOCALE_REQUIRED = {'PackageIdentifier', 'PackageVersion', 'PackageLocale', 'ManifestType', 'ManifestVersion'}
FORMATS = {
    'version': mapping({**HEAD, 'DefaultLocale': LOCALE, 'ManifestType': anything},
                       {'PackageIdentifier', 'PackageVersion', 'DefaultLocale', 'ManifestType', 'ManifestVersion'}),
    'defaultLocale': mapping({**LOCALE_FIELDS, 'Moniker': TAG, 'ManifestType': anything},
                             LOCALE_REQUIRED | {'Publisher', 'PackageName', 'License', 'ShortDescription'}),
    'locale': mapping({**LOCALE_FIELDS, 'ManifestType': anything}, LOCALE_REQUIRED),
    'installer': mapping({**HEAD, **INSTALLER_FIELDS, 'Channel': text(1, 16), 'ManifestType': anything,
                          'Installers': items(ENTRY, 1024, least=1)},
                         {'PackageIdentifier', 'PackageVersion', 'Installers', 'ManifestType', 'ManifestVersion'}),
}
SCHEMA_HEADER = re.compile(r'#\s*yaml-language-server:\s*\$schema=(\S*)')

# What the winget client assumes for an installer type when the manifest says nothing.
CLIENT_SWITCHES = {'nullsoft': {'Silent': '/S', 'SilentWithProgress': '/S', 'InstallLocation': '/D=<INSTALLPATH>'},
                   'msi': {'Silent': '/quiet /norestart', 'SilentWithProgress': '/passive /norestart',
                           'InstallLocation': 'TARGETDIR="<INSTALLPATH>"'}}
CLIENT_SWITCHES['wix'] = CLIENT_SWITCHES['msi']
CLIENT_RETURN_CODES = {'msi': {1602, 1618, 1638, 1641, 3010}}
CLIENT_RETURN_CODES['wix'] = CLIENT_RETURN_CODES['msi']
# Windows Installer's generic failure: it follows every refusal and error alike.
MSI_FAILED = 1603
# The client runs on Windows 10 1809 and later.
CLIENT_OS = (10, 0, 17763, 0)

GUID = re.compile(r'\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}')


class StrictLoader(yaml.SafeLoader):
    """YAML that refuses a mapping key given twice, which the plain loader keeps silently."""

    def construct_mapping(self, node, deep=False):
        keys = set()
        for key_node, _ in getattr(node, 'value', []):
            key = canonical(self.construct_object(key_node, deep=deep))
            if key in keys:
                raise yaml.constructor.ConstructorError(None, None, 'a key given twice', key_node.start_mark)
            keys.add(key)
        return super().construct_mapping(node, deep)


def hash_matches(digest, path):
    """Whether a hash, plain SHA-256 or prefixed with its algorithm as Scoop allows, is the file's."""
    algorithm, _, value = digest.rpartition(':')
    with open(path, 'rb') as f:
        return value.lower() == hashlib.file_digest(f, algorithm or 'sha256').hexdigest()


# Every package the manifests name, as found beside them.
found_packages = set()


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
    if not isinstance(digest, str) or not hash_matches(digest, found[0]):
        fault(where, f'the hash is not that of {name}')
    found_packages.add(found[0])
    return found[0]


def msi_properties(msi):
    table = subprocess.run(['msiinfo', 'export', msi, 'Property'], capture_output=True, text=True,
                           encoding='utf-8', errors='replace').stdout
    codes = {}
    for line in table.splitlines():
        parts = line.rstrip('\r').split('\t')
        if len(parts) == 2:
            codes[parts[0]] = parts[1]
    return codes


def check_installer_entry(where, entry, root, folders, locale):
    merged = {**{k: v for k, v in root.items() if k in INSTALLER_FIELDS}, **entry}
    kind = merged.get('InstallerType')
    if kind is None:
        fault(where, 'InstallerType is missing')
    switches = merged.get('InstallerSwitches', {})
    for name, default in CLIENT_SWITCHES.get(kind, {}).items():
        given = ' '.join(str(switches.get(name, '')).split())
        if given.lower() == default.lower():
            fault(f'{where} InstallerSwitches {name}', f'"{given}" is the client\'s own for {kind}: say nothing')
        elif given and kind in ('msi', 'wix') and name != 'InstallLocation' and '/norestart' not in given.lower():
            fault(f'{where} InstallerSwitches {name}', f'"{given}" replaces the client\'s {default} without '
                  '/norestart: Windows Installer may then restart Windows by itself')
    for name, given in switches.items():
        if 'AUTOSTART' in str(given).upper():
            fault(f'{where} InstallerSwitches {name}', f'"{given}" sets the start-up choice at every upgrade too, '
                  'undoing the one made since')
    codes = [c.get('InstallerReturnCode') for c in merged.get('ExpectedReturnCodes', [])]
    for code in codes:
        if codes.count(code) > 1 or code in merged.get('InstallerSuccessCodes', []):
            fault(f'{where} ExpectedReturnCodes', f'the return code {code} is given twice')
        if code in CLIENT_RETURN_CODES.get(kind, ()):
            fault(f'{where} ExpectedReturnCodes', f'{code} is one the client knows for {kind}: say nothing')
        if code == MSI_FAILED and kind in ('msi', 'wix'):
            fault(f'{where} ExpectedReturnCodes', f'{code} is Windows Installer\'s failure of any cause, not one')
    minimum = merged.get('MinimumOSVersion')
    if minimum and tuple(map(int, minimum.split('.'))) < CLIENT_OS:
        fault(f'{where} MinimumOSVersion', f'{minimum} is older than any Windows the client runs on: say nothing')
    for i, arp in enumerate(merged.get('AppsAndFeaturesEntries', [])):
        at = f'{where} AppsAndFeaturesEntries[{i}]'
        assumed = {'DisplayName': locale.get('PackageName'), 'Publisher': locale.get('Publisher'),
                   'DisplayVersion': root['PackageVersion'], 'InstallerType': kind}
        for name, value in arp.items():
            if value == assumed.get(name):
                fault(f'{at} {name}', f'"{value}" is what the client assumes: say nothing')
        if arp.get('DisplayVersion', root['PackageVersion']) != root['PackageVersion']:
            fault(f'{at} DisplayVersion', 'names another version than the package\'s')
    local = package(where, entry.get('InstallerUrl'), entry.get('InstallerSha256'), folders)
    if kind in ('wix', 'msi') and local:
        properties = msi_properties(local)
        product = merged.get('ProductCode')
        if not GUID.fullmatch(str(product)) or product != properties.get('ProductCode'):
            fault(where, f'ProductCode {product} is not the MSI\'s {properties.get("ProductCode")}')
        for arp in merged.get('AppsAndFeaturesEntries', []):
            if (arp.get('ProductCode') != properties.get('ProductCode')
                    or arp.get('UpgradeCode') != properties.get('UpgradeCode')):
                fault(where, 'AppsAndFeaturesEntries has other codes than the MSI')
        if properties.get('REBOOT') != 'ReallySuppress':
            fault(where, f'{os.path.basename(local)} may restart Windows by itself (its REBOOT is not ReallySuppress)')


def check_winget(root, folders):
    top = os.path.join(root, 'winget', 'manifests')
    version_dirs = [d for d, _, files in os.walk(top) if any(f.endswith('.yaml') for f in files)]
    if len(version_dirs) != 1:
        fault(top, f'{len(version_dirs)} version folders, not one')
        return []
    folder = version_dirs[0]
    documents = {}
    for name in sorted(os.listdir(folder)):
        try:
            with open(os.path.join(folder, name), encoding='utf-8') as f:
                source = f.read()
            documents[name] = (yaml.load(source, Loader=StrictLoader), source)
        except (OSError, ValueError, RecursionError, yaml.YAMLError) as e:
            fault(name, f'does not parse: {e}')
    kinds = {}
    for name, (document, source) in documents.items():
        kind = document.get('ManifestType') if isinstance(document, dict) else None
        if not isinstance(kind, str) or kind not in FORMATS:
            fault(name, f'ManifestType "{kind}" is none of {", ".join(FORMATS)}')
            continue
        kinds.setdefault(kind, []).append((name, document))
        if document.get('ManifestVersion') != MANIFEST_VERSION:
            fault(name, f'ManifestVersion is not {MANIFEST_VERSION}, the format checked here')
        FORMATS[kind](name, document)
        schema = f'https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json'
        for line in source.splitlines():
            header = SCHEMA_HEADER.match(line)
            if header and header.group(1) != schema:
                fault(name, f'its header names the schema {header.group(1)}, not {schema}')
    for kind in ('version', 'defaultLocale', 'installer'):
        if len(kinds.get(kind, [])) != 1:
            fault(folder, f'{len(kinds.get(kind, []))} {kind} files, not one')
    if faults:
        return []
    head = {k: kinds['version'][0][1][k] for k in ('PackageIdentifier', 'PackageVersion')}
    identifier, version = head['PackageIdentifier'], head['PackageVersion']
    publisher, _, name = identifier.partition('.')
    expected = os.path.join(top, publisher[:1].lower(), publisher, name, version)
    if os.path.normpath(folder) != os.path.normpath(expected):
        fault(folder, f'not the repository\'s folder for {identifier} {version}')
    for name, (document, _) in documents.items():
        for key, value in head.items():
            if document.get(key) != value:
                fault(name, f'{key} is not {value}')
        expected_name = {'version': f'{identifier}.yaml', 'installer': f'{identifier}.installer.yaml'}.get(
            document['ManifestType'], f'{identifier}.locale.{document.get("PackageLocale")}.yaml')
        if name != expected_name:
            fault(name, f'should be named {expected_name}')
    default = kinds['version'][0][1]['DefaultLocale']
    locale_name, locale = kinds['defaultLocale'][0]
    if locale.get('PackageLocale') != default:
        fault(locale_name, f'is not the default locale {default}')
    installer_name, installer = kinds['installer'][0]
    seen = set()
    for i, entry in enumerate(installer['Installers']):
        check_installer_entry(f'{installer_name} Installers[{i}]', entry, installer, folders, locale)
        key = tuple(entry.get(k, installer.get(k)) for k in ('Architecture', 'InstallerType', 'Scope',
                                                             'InstallerLocale'))
        if key in seen:
            fault(installer_name, f'two installers for {key}')
        seen.add(key)
    return [document for document, _ in documents.values()]


# Scoop's manifest format.
SCOOP_HASH = text(1, 200, r'[A-Fa-f0-9]{64}|sha256:[A-Fa-f0-9]{64}|sha512:[A-Fa-f0-9]{128}|sha1:[A-Fa-f0-9]{40}'
                  r'|md5:[A-Fa-f0-9]{32}', 'a hash (SHA-256, or sha1:, sha256:, sha512:, md5: and its hexadecimal)')
SCOOP_URL = text(1, 4096, r'(https?|ftp)://.+', 'a download address')
TEXT = text(0, 1 << 20)
TEXTS = either(text=TEXT, list=items(TEXT, 1 << 16, unique=False))
ONE_OR_MORE = either(text=TEXT, list=items(TEXTS, 1 << 16, unique=False))
SHORTCUTS = items(items(TEXT, 4, least=2, unique=False), 1 << 16)
SCRIPT = mapping({'file': TEXT, 'script': TEXTS, 'args': TEXTS, 'keep': boolean})
CHECKVER = either(text=TEXT, mapping=mapping({
    **{name: TEXT for name in ('github', 're', 'regex', 'url', 'jp', 'jsonpath', 'xpath', 'replace', 'useragent')},
    'reverse': boolean, 'script': TEXTS, 'sourceforge': anything}))
SCOOP_ARCH = {
    'url': either(text=SCOOP_URL, list=items(SCOOP_URL, 64)),
    'hash': either(text=SCOOP_HASH, list=items(SCOOP_HASH, 64)), 'extract_dir': TEXTS, 'bin': ONE_OR_MORE,
    'shortcuts': SHORTCUTS, 'env_add_path': TEXTS, 'env_set': free_mapping, 'installer': SCRIPT,
    'uninstaller': SCRIPT, 'checkver': CHECKVER,
    **{name: TEXTS for name in ('pre_install', 'post_install', 'pre_uninstall', 'post_uninstall')}}
HASH_EXTRACTION = mapping({**{name: TEXT for name in ('find', 'regex', 'jp', 'jsonpath', 'xpath', 'url')},
                           'mode': enum('download', 'extract', 'json', 'xpath', 'rdf', 'metalink', 'fosshub',
                                        'sourceforge'),
                           'type': enum('md5', 'sha1', 'sha256', 'sha512')})
AUTOUPDATE_ARCH = {'url': TEXTS, 'hash': either(mapping=HASH_EXTRACTION, list=items(HASH_EXTRACTION, 64)),
                   'extract_dir': TEXTS, 'bin': ONE_OR_MORE, 'shortcuts': SHORTCUTS, 'env_add_path': TEXTS,
                   'env_set': free_mapping, 'installer': SCRIPT}
SCOOP = mapping({
    '$schema': TEXT, '##': TEXTS, 'version': text(1, 256, r'[\w.\-+]+', 'a version'), 'description': TEXT,
    'homepage': text(1, 4096, r'https?://.+', 'an http or https address'),
    'license': either(text=TEXT, mapping=mapping({'identifier': TEXT, 'url': TEXT}, {'identifier'})),
    'notes': TEXTS, 'depends': TEXTS, 'suggest': free_mapping, 'cookie': free_mapping, 'extract_to': TEXTS,
    'architecture': mapping({arch: mapping(SCOOP_ARCH) for arch in ('64bit', '32bit', 'arm64')}),
    **SCOOP_ARCH, 'persist': ONE_OR_MORE, 'innosetup': boolean,
    'psmodule': mapping({'name': TEXT}, {'name'}),
    'autoupdate': mapping({**AUTOUPDATE_ARCH, 'architecture': mapping({arch: mapping(AUTOUPDATE_ARCH) for arch in
                                                                       ('64bit', '32bit', 'arm64')}),
                           'extract_to': TEXTS, 'license': anything, 'notes': TEXTS, 'persist': ONE_OR_MORE,
                           'psmodule': anything}),
}, {'version', 'description', 'homepage', 'license'})
SCOOP_ARCHES = {'64bit': 'x64', '32bit': 'x86', 'arm64': 'arm64'}
# The order of keys the Extras bucket keeps (its reviewers ask for it, its formatter writes it).
SCOOP_ORDER = ['$schema', '##', 'version', 'description', 'homepage', 'license', 'depends', 'suggest', 'cookie',
               'url', 'hash', 'architecture', 'extract_dir', 'extract_to', 'innosetup', 'pre_install', 'installer',
               'post_install', 'pre_uninstall', 'uninstaller', 'post_uninstall', 'bin', 'env_add_path', 'env_set',
               'psmodule', 'shortcuts', 'persist', 'checkver', 'autoupdate', 'notes']


def refuse_twice(pairs):
    keys = [key for key, _ in pairs]
    twice = sorted({key for key in keys if keys.count(key) > 1})
    if twice:
        raise ValueError(f'{", ".join(twice)} given twice')
    return dict(pairs)


def check_scoop(root, folders):
    path = os.path.join(root, 'scoop', 'varnlet.json')
    try:
        with open(path, encoding='utf-8') as f:
            manifest = json.load(f, object_pairs_hook=refuse_twice)
    except (OSError, ValueError, RecursionError) as e:
        fault(path, f'does not parse: {e}')
        return None
    before = len(faults)
    SCOOP(path, manifest)
    if len(faults) != before:
        return None
    order = [key for key in manifest if key in SCOOP_ORDER]
    if order != sorted(order, key=SCOOP_ORDER.index):
        fault(path, f'keys in the order {", ".join(order)}, not the Extras bucket\'s '
              f'{", ".join(sorted(order, key=SCOOP_ORDER.index))}')
    arches = manifest.get('architecture', {})
    if not arches:
        fault(path, 'architecture names no package')
    for arch, entry in arches.items():
        if set(entry) >= {'url', 'hash'} and isinstance(entry['url'], str) and isinstance(entry['hash'], str):
            package(f'{path} {arch}', entry['url'], entry['hash'], folders)
            if not entry['url'].endswith(f'-{manifest["version"]}-{SCOOP_ARCHES[arch]}.zip'):
                fault(f'{path} {arch}', 'the URL is not this version\'s zip of this architecture')
        else:
            fault(f'{path} {arch}', 'names no one package and its hash')
    for arch, entry in manifest.get('autoupdate', {}).get('architecture', {}).items():
        if arch not in arches or '$version' not in str(entry.get('url', '')):
            fault(path, f'autoupdate for {arch} does not follow the release layout')
    checkver = manifest.get('checkver')
    if isinstance(checkver, dict) and str(checkver.get('url', '')).endswith('/'):
        fault(f'{path} checkver', f'{checkver["url"]} is an index, whose first match need not be the latest version')
    return manifest


def addresses(value):
    """Every http or https address in a parsed manifest (without recursion: a free-form field may
    nest deeply)."""
    found, pending = [], [value]
    while pending:
        value = pending.pop()
        if isinstance(value, dict):
            pending.extend(value.values())
        elif isinstance(value, list):
            pending.extend(value)
        elif isinstance(value, str) and re.match(r'https?://', value):
            found.append(value)
    return found


@functools.cache
def manifests_module():
    """packaging/manifests.py, whose rules for a published release these checks share."""
    spec = importlib.util.spec_from_file_location(
        'manifests', os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'packaging', 'manifests.py'))
    manifests = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(manifests)
    return manifests


def unpublishable_addresses(documents):
    return sorted({manifests_module().unpublishable(url) for url in addresses(documents)} - {None})


def check_sums(root):
    """A submission's SHA256SUMS: every manifest and package, each with its own hash."""
    path = os.path.join(root, 'SHA256SUMS')
    try:
        with open(path, encoding='utf-8') as f:
            listed = {name: digest for digest, _, name in (line.partition('  ') for line in f.read().splitlines())}
    except (OSError, ValueError) as e:
        fault(path, f'cannot be read: {e}')
        return
    manifests = [os.path.relpath(os.path.join(d, f), root).replace(os.sep, '/')
                 for top in ('winget', 'scoop') for d, _, files in os.walk(os.path.join(root, top)) for f in files]
    files = [(m, os.path.join(root, m)) for m in manifests] + [(os.path.basename(p), p) for p in found_packages]
    for name, file in files:
        if not re.fullmatch(r'[0-9a-f]{64}', listed.get(name, '')) or not hash_matches(listed[name], file):
            fault(path, f'does not list {name} with its hash')


def main(argv):
    signer = None
    if argv[1:2] == ['--signer'] and len(argv) > 2:
        signer, argv = argv[2], argv[:1] + argv[3:]
    if len(argv) < 2:
        sys.exit(__doc__)
    root, folders = argv[1], argv[2:] or argv[1:2]
    documents = check_winget(root, folders)
    documents.append(check_scoop(root, folders))
    if signer is not None and not faults:
        check_sums(root)
        refused = manifests_module().signature_refusal(signer, sorted(found_packages))
        if refused:
            fault('the packages', refused)
    for line in faults:
        print(f'check_manifests: {line}', file=sys.stderr)
    if faults:
        return 1
    print(f'check_manifests: winget and Scoop manifests under {root} are complete and name these packages')
    reasons = unpublishable_addresses(documents)
    if reasons:
        print(f'check_manifests: NOT PUBLISHABLE until the addresses are real: {"; ".join(reasons)} '
              '(set VARNLET_RELEASE_URL and VARNLET_HOME_PAGE)')
    if signer is None:
        print('check_manifests: NOT PUBLISHABLE until the packages are checked as signed by the release\'s '
              'own certificate (--signer)')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
