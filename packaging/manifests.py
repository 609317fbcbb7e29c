#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of the packages just built, so that publishing a release
is a pull request to each community repository and nothing is typed by hand.

  manifests.py facts FACTS --arch A --version V --maker M --release-url U --home-page H
                     --license L --zip Z --installer I --msi M --nsis-script varnlet.nsi
                                     what one build knows of its packages, as JSON; the
                                     installer's exit codes are read from its script
  manifests.py write OUT FACTS...    the manifests of the builds whose facts are given: one build's
                                     beside its packages, both architectures' for a release, with
                                     OUT/SHA256SUMS over every package named (Scoop's updates read it)

OUT receives winget/manifests/<letter>/<Publisher>/Varnlet/<version>/ (the community
repository's layout: a version file, a default-locale file in Spanish, an en-US locale file and
the installer file) and scoop/varnlet.json. Every download is <release URL>/<version>/<file>.
YAML is written with every string double-quoted, so no value a maker chooses can change the
structure; the checks (scripts/check_manifests.py) read it back with a real YAML parser.
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys

MANIFEST_VERSION = '1.10.0'
NAME = 'Varnlet'
DISPLAY_NAME = 'Varnlet!'
# Windows 7, the oldest Windows the program is built for.
MINIMUM_OS = '6.1.7600.0'
DESCRIPTION = {
    'es-ES': ('Libera la memoria de Firefox, Thunderbird y XULRunner',
              'Un icono en el área de notificación que cada 5 segundos pide a Windows que vacíe el '
              'conjunto de trabajo de Firefox, Thunderbird y XULRunner, y cada 3 segundos el suyo propio.'),
    'en-US': ('Frees the memory of Firefox, Thunderbird and XULRunner',
              'A notification-area icon that every 5 seconds asks Windows to empty the working set of '
              'Firefox, Thunderbird and XULRunner, and every 3 seconds its own.'),
}
# Windows Installer's own code for a refused or failed install, a refused downgrade included.
MSI_FAILED = 1603


def nsis_exit_codes(script):
    """The EXIT_* codes the installer's script defines (!define EXIT_BUSY 2)."""
    codes = {}
    with open(script, encoding='utf-8') as f:
        for line in f:
            match = re.match(r'\s*!define\s+EXIT_([A-Z]+)\s+(\d+)\s*$', line)
            if match:
                codes[match.group(1)] = int(match.group(2))
    for name in ('BUSY', 'NEWER'):
        if name not in codes:
            sys.exit(f'manifests.py: {script} defines no EXIT_{name}')
    return codes


# A winget identifier's part: no dot, space, path or wildcard character, at most 32 characters.
ID_PART = re.compile(r'^[^.\s\\/:*?"<>|\x00-\x1f]{1,32}$')


def sha256(path):
    with open(path, 'rb') as f:
        return hashlib.file_digest(f, 'sha256').hexdigest().upper()


def msi_codes(msi):
    """ProductCode and UpgradeCode of an MSI, from its Property table (msitools)."""
    table = subprocess.run(['msiinfo', 'export', msi, 'Property'], check=True, capture_output=True,
                           text=True, encoding='utf-8', errors='replace').stdout
    codes = {}
    for line in table.splitlines():
        fields = line.rstrip('\r').split('\t')
        if len(fields) == 2 and fields[0] in ('ProductCode', 'UpgradeCode'):
            codes[fields[0]] = fields[1]
    if set(codes) != {'ProductCode', 'UpgradeCode'}:
        sys.exit(f'manifests.py: {msi} has no ProductCode or UpgradeCode')
    return codes


def yaml_text(value, indent=0):
    pad = '  ' * indent
    if isinstance(value, dict):
        lines = []
        for key, item in value.items():
            if isinstance(item, (dict, list)):
                lines.append(f'{pad}{key}:')
                lines.append(yaml_text(item, indent + 1))
            else:
                lines.append(f'{pad}{key}: {yaml_scalar(item)}')
        return '\n'.join(lines)
    if isinstance(value, list):
        lines = []
        for item in value:
            text = yaml_text(item, indent + 1) if isinstance(item, (dict, list)) else pad + '  ' + yaml_scalar(item)
            # The first line of the item carries the dash.
            first, _, rest = text.partition('\n')
            lines.append(f'{pad}- {first.lstrip()}' + (('\n' + rest) if rest else ''))
        return '\n'.join(lines)
    return pad + yaml_scalar(value)


def yaml_scalar(value):
    if isinstance(value, bool):
        return 'true' if value else 'false'
    if isinstance(value, int):
        return str(value)
    return json.dumps(str(value), ensure_ascii=False)


def write_yaml(path, kind, document):
    with open(path, 'w', encoding='utf-8', newline='\n') as f:
        f.write(f'# Created by packaging/manifests.py\n'
                f'# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json\n\n')
        f.write(yaml_text(document) + '\n')


def facts(args):
    if not args.release_url.startswith('https://'):
        sys.exit('manifests.py: the release URL must be https://')
    if not ID_PART.match(args.maker):
        sys.exit(f'manifests.py: the maker "{args.maker}" cannot name a winget identifier '
                 '(no dot, space or path character, at most 32 characters)')
    base = args.release_url.rstrip('/') + '/' + args.version + '/'
    packages = {}
    for kind, path in (('zip', args.zip), ('nullsoft', args.installer), ('wix', args.msi)):
        if path:
            packages[kind] = {'file': os.path.basename(path), 'url': base + os.path.basename(path),
                              'sha256': sha256(path)}
    if 'wix' in packages:
        packages['wix'].update(msi_codes(args.msi))
    exits = nsis_exit_codes(args.nsis_script)
    record = {'arch': args.arch, 'version': args.version, 'maker': args.maker,
              'release_url': args.release_url.rstrip('/'), 'home_page': args.home_page, 'license': args.license,
              'codes': {'busy': exits['BUSY'], 'downgrade': exits['NEWER'], 'msi_downgrade': MSI_FAILED},
              'packages': packages}
    with open(args.out, 'w', encoding='utf-8') as f:
        json.dump(record, f, indent=2, sort_keys=True)
        f.write('\n')


def installer_entries(record):
    """The winget installer entries of one build: the NSIS installer and the MSI."""
    arch, version, maker = record['arch'], record['version'], record['maker']
    codes = record['codes']

    def entry(kind, package, elevation, switches, return_codes, listed):
        # What both installers share: per machine, upgraded by installing over, listed in
        # Add/Remove Programs under the program's name and maker.
        return {
            'Architecture': arch,
            'InstallerType': kind,
            'Scope': 'machine',
            'InstallerUrl': package['url'],
            'InstallerSha256': package['sha256'],
            'ElevationRequirement': elevation,
            'InstallerSwitches': switches,
            'UpgradeBehavior': 'install',
            **({'ProductCode': package['ProductCode']} if kind == 'wix' else {}),
            'ExpectedReturnCodes': [{'InstallerReturnCode': code, 'ReturnResponse': response}
                                    for code, response in return_codes],
            'AppsAndFeaturesEntries': [
                {'DisplayName': DISPLAY_NAME, 'Publisher': maker, 'DisplayVersion': version, **listed,
                 'InstallerType': kind}],
        }

    entries = []
    nsis = record['packages'].get('nullsoft')
    if nsis:
        # It asks for elevation itself (its manifest requires an administrator).
        entries.append(entry('nullsoft', nsis, 'elevatesSelf',
                             {'Silent': '/S', 'SilentWithProgress': '/S', 'InstallLocation': '/D=<INSTALLPATH>'},
                             [(codes['busy'], 'packageInUse'), (3010, 'rebootRequiredToFinish'),
                              (codes['downgrade'], 'downgrade')], {}))
    msi = record['packages'].get('wix')
    if msi:
        # A per-machine package: msiexec run quietly needs an elevated caller. Its 3010 is Windows
        # Installer's own: a file in use waits for the restart, which it reports.
        entries.append(entry('wix', msi, 'elevationRequired',
                             {'Silent': '/qn', 'SilentWithProgress': '/qb',
                              'InstallLocation': 'INSTALLFOLDER="<INSTALLPATH>"'},
                             [(3010, 'rebootRequiredToFinish'), (codes['msi_downgrade'], 'downgrade')],
                             {'ProductCode': msi['ProductCode'], 'UpgradeCode': msi['UpgradeCode']}))
    return entries


SCOOP_ARCH = {'x64': '64bit', 'x86': '32bit'}


def write(out, records):
    versions = {(r['version'], r['maker'], r['release_url'], r['home_page'], r['license']) for r in records}
    if len(versions) != 1:
        sys.exit('manifests.py: the builds differ in version, maker or addresses; they make no one release')
    version, maker, release_url, home_page, license_name = versions.pop()
    records = sorted(records, key=lambda r: r['arch'])
    identifier = f'{maker}.{NAME}'
    folder = os.path.join(out, 'winget', 'manifests', maker[0].lower(), maker, NAME, version)
    os.makedirs(folder, exist_ok=True)
    head = {'PackageIdentifier': identifier, 'PackageVersion': version}
    write_yaml(os.path.join(folder, f'{identifier}.yaml'), 'version',
               {**head, 'DefaultLocale': 'es-ES', 'ManifestType': 'version', 'ManifestVersion': MANIFEST_VERSION})
    for locale, kind in (('es-ES', 'defaultLocale'), ('en-US', 'locale')):
        short, long = DESCRIPTION[locale]
        document = {**head, 'PackageLocale': locale, 'Publisher': maker, 'PublisherUrl': home_page,
                    'PackageName': DISPLAY_NAME, 'PackageUrl': home_page, 'License': license_name,
                    'ShortDescription': short, 'Description': long}
        if kind == 'defaultLocale':
            document['Moniker'] = NAME.lower()  # the default locale's alone
        document.update({'ManifestType': kind, 'ManifestVersion': MANIFEST_VERSION})
        write_yaml(os.path.join(folder, f'{identifier}.locale.{locale}.yaml'), kind, document)
    write_yaml(os.path.join(folder, f'{identifier}.installer.yaml'), 'installer',
               {**head, 'MinimumOSVersion': MINIMUM_OS, 'InstallerLocale': 'es-ES',
                'Installers': [e for r in records for e in installer_entries(r)],
                'ManifestType': 'installer', 'ManifestVersion': MANIFEST_VERSION})

    scoop = {
        'version': version,
        'description': DESCRIPTION['en-US'][0],
        'homepage': home_page,
        'license': license_name,
        'notes': ['"Iniciar con Windows" adds only an exe that no standard user can replace: a copy installed '
                  'by Scoop in your profile cannot start with Windows. Use the installer for that.'],
        'architecture': {SCOOP_ARCH[r['arch']]: {'url': r['packages']['zip']['url'],
                                                 'hash': r['packages']['zip']['sha256'].lower()}
                         for r in records if 'zip' in r['packages']},
        'shortcuts': [['varnlet.exe', DISPLAY_NAME]],
        # The release address holds one folder per version, named by it; its index lists them.
        'checkver': {'url': release_url + '/', 'regex': r'href="(?:\./)?([\d.]+)/"'},
        'autoupdate': {
            'architecture': {SCOOP_ARCH[r['arch']]: {'url': f'{release_url}/$version/varnlet-$version-{r["arch"]}.zip'}
                             for r in records if 'zip' in r['packages']},
            'hash': {'url': '$baseurl/SHA256SUMS'},
        },
    }
    with open(os.path.join(out, 'SHA256SUMS'), 'w', encoding='utf-8', newline='\n') as f:
        for r in records:
            for p in sorted(r['packages'].values(), key=lambda p: p['file']):
                f.write(f'{p["sha256"].lower()}  {p["file"]}\n')
    os.makedirs(os.path.join(out, 'scoop'), exist_ok=True)
    with open(os.path.join(out, 'scoop', 'varnlet.json'), 'w', encoding='utf-8', newline='\n') as f:
        json.dump(scoop, f, indent=4, ensure_ascii=False)
        f.write('\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    sub = parser.add_subparsers(dest='command', required=True)
    f = sub.add_parser('facts')
    f.add_argument('out')
    for name in ('arch', 'version', 'maker', 'release-url', 'home-page', 'license'):
        f.add_argument('--' + name, required=True)
    for name in ('zip', 'installer', 'msi'):
        f.add_argument('--' + name, default='')
    f.add_argument('--nsis-script', required=True)
    w = sub.add_parser('write')
    w.add_argument('out')
    w.add_argument('facts', nargs='+')
    args = parser.parse_args()
    if args.command == 'facts':
        facts(args)
        return
    records = []
    for path in args.facts:
        with open(path, encoding='utf-8') as fh:
            records.append(json.load(fh))
    if len({r['arch'] for r in records}) != len(records):
        sys.exit('manifests.py: two builds of one architecture')
    write(args.out, records)


if __name__ == '__main__':
    main()
