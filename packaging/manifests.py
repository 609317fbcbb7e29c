#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of the packages just built, so that publishing a release
is a pull request to each community repository and nothing is typed by hand.

  manifests.py facts FACTS --arch A --product P --zip Z --installer I --msi M --nsis-script varnlet.nsi
                                     what one build knows of its packages, as JSON: the product's
                                     facts from the build's P (<build>/varnlet-facts.json: version,
                                     maker, addresses, license, title, descriptions, intervals); the
                                     installer's exit codes are read from its script
  manifests.py write OUT FACTS...    the manifests of the builds whose facts are given: one build's
                                     beside its packages, both architectures' for a release, with
                                     OUT/SHA256SUMS over every package named (Scoop's updates read it)
                                     and OUT/latest.txt, the version (Scoop's checkver reads it)
  manifests.py submission OUT FACTS...
                                     the same, for a pull request to the community repositories:
                                     refused while an address is one their validation cannot reach

OUT receives winget/manifests/<letter>/<Publisher>/Varnlet/<version>/ (the community
repository's layout: a version file, a default-locale file in Spanish, an en-US locale file and
the installer file) and scoop/varnlet.json. Every download is <release URL>/<version>/<file>.
YAML is written with every string double-quoted, so no value a maker chooses can change the
structure; the checks (scripts/check_manifests.py) read it back with a real YAML parser.
"""
import argparse
import hashlib
import ipaddress
import json
import os
import re
import subprocess
import sys
import urllib.parse

MANIFEST_VERSION = '1.10.0'
NAME = 'Varnlet'
# Each locale's short description and applications' list (the build's), and its long description
# made of them and the intervals.
LOCALES = {
    'es-ES': ('description', 'applications',
              'Un icono en el área de notificación que cada {timer1} segundos pide a Windows que vacíe el '
              'conjunto de trabajo de {applications}, y cada {timer2} segundos el suyo propio.'),
    'en-US': ('description_en', 'applications_en',
              'A notification-area icon that every {timer1} seconds asks Windows to empty the working set of '
              '{applications}, and every {timer2} seconds its own.'),
}
# What a record says of the product, the same in every build of one release.
PRODUCT = ('version', 'maker', 'release_url', 'home_page', 'license', 'title', 'descriptions')
# What each exit code of the NSIS installer tells winget (docs/administration.md lists the codes).
# 1 and 2 are also NSIS's own (Cancel on its pages, an abort); 2 is mostly a file nothing could
# close, which the Restart Manager already tried, so "close it and try again" is the fitting advice.
NSIS_RESPONSES = {
    1: 'cancelledByUser',
    2: 'fileInUse',
    3: 'downgrade',
    4: 'alreadyInstalled',       # the MSI of the same program
    5: 'contactSupport',         # a registry value or the folder's rights could not be written
    6: 'invalidParameter',       # the folder named for the install (--location) was refused
    8: 'contactSupport',         # the installer's own checks could not be set up (blocked?)
}
# Installed, all but the start-up value that was asked for: the package is there.
NSIS_SUCCESS = {7}
# The uninstaller's alone (a restart finishes the removal); never an install's.
NSIS_UNINSTALL_ONLY = {3010}


def nsis_exit_codes(script):
    """The codes the installer exits with: NSIS's own and the EXIT_* its script defines, each of
    which must be one winget is told about."""
    codes = {1, 2}
    with open(script, encoding='utf-8') as f:
        for line in f:
            match = re.match(r'\s*!define\s+EXIT_\w+\s+(\d+)\s*$', line)
            if match:
                codes.add(int(match.group(1)))
    codes -= NSIS_UNINSTALL_ONLY
    unknown = sorted(codes - set(NSIS_RESPONSES) - NSIS_SUCCESS)
    if unknown:
        sys.exit(f'manifests.py: {script} exits with {unknown}, which NSIS_RESPONSES does not tell winget about')
    return sorted(codes)


# Hosts no one outside can reach, so the community repositories' validation, which downloads
# every address, fails: RFC 2606 and 6761's reserved names, mDNS, onion and private-use names.
RESERVED_DOMAINS = ('example', 'example.com', 'example.net', 'example.org', 'test', 'invalid', 'localhost',
                    'local', 'internal', 'onion', 'alt', 'home.arpa')


def unpublishable(url):
    """Why the address cannot be a published one, or None."""
    host = (urllib.parse.urlsplit(url).hostname or '').rstrip('.').lower()
    if not host:
        return f'{url} names no host'
    try:
        address = ipaddress.ip_address(host)
    except ValueError:
        address = None
    if address is not None:
        return None if address.is_global else f'{host} is a private, local or documentation address'
    if '.' not in host:
        return f'{host} is a name of a local network'
    for domain in RESERVED_DOMAINS:
        if host == domain or host.endswith('.' + domain):
            return f'{host} is under .{domain}, which is reserved: no one can reach it'
    return None


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
    with open(args.product, encoding='utf-8') as f:
        product = json.load(f)
    if not product['release_url'].startswith('https://'):
        sys.exit('manifests.py: the release URL must be https://')
    if not ID_PART.match(product['maker']):
        sys.exit(f'manifests.py: the maker "{product["maker"]}" cannot name a winget identifier '
                 '(no dot, space or path character, at most 32 characters)')
    base = product['release_url'].rstrip('/') + '/' + product['version'] + '/'
    packages = {}
    for kind, path in (('zip', args.zip), ('nullsoft', args.installer), ('wix', args.msi)):
        if path:
            packages[kind] = {'file': os.path.basename(path), 'url': base + os.path.basename(path),
                              'sha256': sha256(path)}
    if 'wix' in packages:
        packages['wix'].update(msi_codes(args.msi))
    descriptions = {locale: [product[short], text.format(applications=product[applications],
                                                         timer1=product['timer1_interval_seconds'],
                                                         timer2=product['timer2_interval_seconds'])]
                    for locale, (short, applications, text) in LOCALES.items()}
    record = {'arch': args.arch, 'version': product['version'], 'maker': product['maker'],
              'release_url': product['release_url'].rstrip('/'), 'home_page': product['home_page'],
              'license': product['license'], 'title': product['title'], 'descriptions': descriptions,
              'nsis_exit_codes': nsis_exit_codes(args.nsis_script), 'packages': packages}
    with open(args.out, 'w', encoding='utf-8') as f:
        json.dump(record, f, indent=2, sort_keys=True)
        f.write('\n')


def installer_entries(record):
    """The winget installer entries of one build: the NSIS installer and the MSI. Each says only
    what the client would not assume for its type: no switch where the client's own are right
    (nullsoft: /S and /D=<INSTALLPATH>; wix: /quiet /norestart, /passive /norestart), no return
    code the client knows (wix: 3010, 1602, 1618, 1638), and both are upgraded by installing over,
    the client's default."""
    def entry(kind, package, elevation, rest):
        return {'Architecture': record['arch'], 'InstallerType': kind, 'Scope': 'machine',
                'InstallerUrl': package['url'], 'InstallerSha256': package['sha256'],
                'ElevationRequirement': elevation, **rest}

    entries = []
    nsis = record['packages'].get('nullsoft')
    if nsis:
        codes = record['nsis_exit_codes']
        success = [code for code in codes if code in NSIS_SUCCESS]
        # It asks for elevation itself (its manifest requires an administrator).
        entries.append(entry('nullsoft', nsis, 'elevatesSelf', {
            **({'InstallerSuccessCodes': success} if success else {}),
            'ExpectedReturnCodes': [{'InstallerReturnCode': code, 'ReturnResponse': NSIS_RESPONSES[code]}
                                    for code in codes if code in NSIS_RESPONSES]}))
    msi = record['packages'].get('wix')
    if msi:
        # A per-machine package: msiexec run quietly needs an elevated caller. Its
        # failures, a refused downgrade among them, all end in Windows Installer's 1603, which
        # tells no cause. The folder is INSTALLFOLDER (the client's TARGETDIR= moves nothing).
        # Its product code is in Add/Remove Programs; the upgrade code ties the versions together.
        entries.append(entry('wix', msi, 'elevationRequired', {
            'InstallerSwitches': {'InstallLocation': 'INSTALLFOLDER="<INSTALLPATH>"'},
            'ProductCode': msi['ProductCode'],
            'AppsAndFeaturesEntries': [{'ProductCode': msi['ProductCode'], 'UpgradeCode': msi['UpgradeCode']}]}))
    return entries


SCOOP_ARCH = {'x64': '64bit', 'x86': '32bit'}
# Beside the version folders at the release address: the newest version, alone.
LATEST = 'latest.txt'


def write(out, records):
    products = {json.dumps({key: r[key] for key in PRODUCT}, sort_keys=True) for r in records}
    if len(products) != 1:
        sys.exit('manifests.py: the builds differ in version, maker, addresses or descriptions; '
                 'they make no one release')
    product = json.loads(products.pop())
    version, maker, release_url, home_page, license_name = (product[key] for key in PRODUCT[:5])
    records = sorted(records, key=lambda r: r['arch'])
    identifier = f'{maker}.{NAME}'
    folder = os.path.join(out, 'winget', 'manifests', maker[0].lower(), maker, NAME, version)
    os.makedirs(folder, exist_ok=True)
    head = {'PackageIdentifier': identifier, 'PackageVersion': version}
    write_yaml(os.path.join(folder, f'{identifier}.yaml'), 'version',
               {**head, 'DefaultLocale': 'es-ES', 'ManifestType': 'version', 'ManifestVersion': MANIFEST_VERSION})
    for locale, kind in (('es-ES', 'defaultLocale'), ('en-US', 'locale')):
        short, long = product['descriptions'][locale]
        document = dict(head, PackageLocale=locale)
        # Another locale takes what it does not say from the default one.
        if kind == 'defaultLocale':
            document.update({'Publisher': maker, 'PublisherUrl': home_page, 'PackageName': product['title'],
                             'PackageUrl': home_page, 'License': license_name, 'Moniker': NAME.lower()})
        document.update({'ShortDescription': short, 'Description': long, 'ManifestType': kind,
                         'ManifestVersion': MANIFEST_VERSION})
        write_yaml(os.path.join(folder, f'{identifier}.locale.{locale}.yaml'), kind, document)
    # No MinimumOSVersion: the program runs on every Windows the client runs on (10 1809 on).
    # Spanish, the language of both installers (the NSIS one speaks English on an English Windows);
    # the same for both, so that the client's preference for a locale picks neither over the other.
    write_yaml(os.path.join(folder, f'{identifier}.installer.yaml'), 'installer',
               {**head, 'InstallerLocale': 'es-ES', 'Installers': [e for r in records for e in installer_entries(r)],
                'ManifestType': 'installer', 'ManifestVersion': MANIFEST_VERSION})

    zips = [r for r in records if 'zip' in r['packages']]
    # In the order the Extras bucket keeps its manifests' keys.
    scoop = {
        'version': version,
        'description': product['descriptions']['en-US'][0],
        'homepage': home_page,
        'license': license_name,
        'architecture': {SCOOP_ARCH[r['arch']]: {'url': r['packages']['zip']['url'],
                                                 'hash': r['packages']['zip']['sha256'].lower()} for r in zips},
        'shortcuts': [['varnlet.exe', product['title']]],
        # One answer: the release address's latest.txt names the newest version (an index of the
        # version folders would give its first entry, in whatever order the server lists them).
        'checkver': {'url': f'{release_url}/{LATEST}', 'regex': r'^(\d+(?:\.\d+)*)\s*$'},
        'autoupdate': {
            'architecture': {SCOOP_ARCH[r['arch']]: {'url': f'{release_url}/$version/varnlet-$version-{r["arch"]}.zip'}
                             for r in zips},
            'hash': {'url': '$baseurl/SHA256SUMS'},
        },
        'notes': ['"Iniciar con Windows" adds only an exe that no standard user can replace: a copy installed '
                  'by Scoop in your profile cannot start with Windows. Use the installer for that.'],
    }
    with open(os.path.join(out, LATEST), 'w', encoding='utf-8', newline='\n') as f:
        f.write(version + '\n')
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
    for name in ('arch', 'product'):
        f.add_argument('--' + name, required=True)
    for name in ('zip', 'installer', 'msi'):
        f.add_argument('--' + name, default='')
    f.add_argument('--nsis-script', required=True)
    for verb in ('write', 'submission'):
        w = sub.add_parser(verb)
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
    if args.command == 'submission':
        addresses = {('VARNLET_RELEASE_URL', r['release_url']) for r in records} | \
                    {('VARNLET_HOME_PAGE', r['home_page']) for r in records}
        reasons = [f'{name} {url}: {unpublishable(url)}' for name, url in sorted(addresses) if unpublishable(url)]
        if reasons:
            sys.exit('manifests.py: not publishable, the community repositories download every address and '
                     f'these cannot be reached: {"; ".join(reasons)}. Configure the builds with the real ones '
                     '(cmake --preset win64 -DVARNLET_RELEASE_URL=https://... -DVARNLET_HOME_PAGE=https://..., '
                     'and win32).')
    write(args.out, records)


if __name__ == '__main__':
    main()
