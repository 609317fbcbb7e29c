#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of the packages just built, so that publishing a release
is a pull request to each community repository and nothing is typed by hand.

  manifests.py facts FACTS --arch A --product P --zip Z --installer I --msi M --nsis-script varnlet.nsi
                     [--signer CONF]
                                     what one build knows of its packages, as JSON: the product's
                                     facts from the build's P (<build>/varnlet-facts.json: version,
                                     maker, addresses, license, title, descriptions, intervals); the
                                     installer's exit codes are read from its script; the SHA-256
                                     fingerprint of the certificate the signing configuration CONF
                                     names, or none for a build without a key
  manifests.py write OUT FACTS...    the manifests of the builds whose facts are given, to look at
                                     and check: one build's beside its packages, both architectures'
  manifests.py submission OUT FACTS...
                                     a release, for uploading and for a pull request to the community
                                     repositories, into OUT, which must not exist yet: refused while an
                                     address is one their validation cannot reach, or while a package
                                     (the installer, the MSI, the exe in the zip) is not signed and
                                     time-stamped as a release is, by the certificate the builds' facts
                                     name (packaging/verify_signatures.sh). OUT then holds the packages,
                                     copied from beside the facts (the build's packages/, whose
                                     manifests/ holds them), the manifests, latest.txt (the version,
                                     which Scoop's checkver reads) and SHA256SUMS over the packages
                                     (Scoop's updates read it) and the manifests.

The manifests are winget/manifests/<letter>/<Publisher>/<short name>/<version>/ (the community
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
import shutil
import subprocess
import sys
import tempfile
import zipfile

MANIFEST_VERSION = '1.10.0'
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
# How a winget user chooses whether Varnlet starts with Windows, as each installer takes it. The
# manifests pass no choice: a switch would be passed again at every upgrade and undo the choice
# made since, while without one an upgrade keeps it.
INSTALLATION_NOTES = {
    'es-ES': 'Para que {title} se inicie con Windows: winget install {id} --installer-type nullsoft --custom '
             '"/AUTOSTART=1", o --installer-type wix --custom "AUTOSTART=1" (con 0, deja de iniciarse). Sin '
             'ellas, una instalación nueva no se inicia con Windows y una actualización mantiene lo elegido.',
    'en-US': 'To start {title} with Windows: winget install {id} --installer-type nullsoft --custom "/AUTOSTART=1", '
             'or --installer-type wix --custom "AUTOSTART=1" (0 stops it). Without them a new install does not '
             'start with Windows, and an upgrade keeps the choice.',
}
# What a record says of the product, the same in every build of one release.
PRODUCT = ('version', 'maker', 'release_url', 'home_page', 'license', 'title', 'short_name', 'descriptions', 'signer')
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
# IPv6 addresses that a gateway turns into the IPv4 address of their last 32 bits.
NAT64 = ipaddress.ip_network('64:ff9b::/96')


def ipv4_number(labels):
    """The IPv4 address that a browser reads in a host whose last label is a number (URL
    Standard: each part decimal, 0x hexadecimal or 0 octal, the last filling what remains, as
    inet_aton, and so Python's sockets, read it too), or None when the host is no such address.
    Raises ValueError for a number no parser takes, which no browser opens either."""
    def number(part):
        if re.fullmatch(r'0[xX][0-9a-fA-F]*', part):
            return int(part[2:] or '0', 16)
        if re.fullmatch(r'0[0-9]+', part):
            return int(part, 8)
        if re.fullmatch(r'[0-9]+', part):
            return int(part)
        raise ValueError(part)
    if labels and labels[-1] == '':
        labels = labels[:-1]
    if not labels or not re.fullmatch(r'[0-9]+|0[xX][0-9a-fA-F]*', labels[-1]):
        return None
    parts = [number(part) for part in labels]
    if len(parts) > 4 or any(part > 255 for part in parts[:-1]) or parts[-1] >= 256 ** (5 - len(parts)):
        raise ValueError('out of range')
    value = parts[-1]
    for i, part in enumerate(parts[:-1]):
        value += part << (8 * (3 - i))
    return ipaddress.IPv4Address(value)


def not_public(address):
    """Whether an IP address, or one it carries (IPv4-mapped, 6to4, Teredo, NAT64), is not a
    public one: loopback, private, link-local, shared, documentation, multicast, reserved."""
    carried = [address]
    if address.version == 6:
        carried += [a for a in (address.ipv4_mapped, address.sixtofour, *(address.teredo or ())) if a]
        if address in NAT64:
            carried.append(ipaddress.IPv4Address(int(address) & 0xFFFFFFFF))
    return any(not a.is_global or a.is_private or a.is_loopback or a.is_link_local or a.is_multicast
               or a.is_reserved or a.is_unspecified for a in carried)


def unpublishable(url):
    """Why the address cannot be a published one, or None. Only an https address that Python's
    parser and a browser's read alike, naming a public host, passes: no user name before the host
    (where the two parsers split differently), no backslash, space, control or non-ASCII character
    (which browsers drop or read as a slash), no percent escape in the host."""
    if not isinstance(url, str) or not url.startswith('https://'):
        return f'{url} is not an https:// address'
    parts = re.fullmatch(r'https://(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.-]*)(?::([0-9]{1,5}))?(?:[/?#][!-~]*)?', url)
    if not parts or '\\' in url:
        return f'{url} is not an address every client reads alike (https://host[:port]/path, the host in ASCII)'
    host, port = parts.group(1).lower(), parts.group(2)
    if port is not None and not 0 < int(port) < 65536:
        return f'{url} names no port'
    if host.startswith('['):
        try:
            address = ipaddress.IPv6Address(host[1:-1])
        except ValueError:
            return f'{host} is no IPv6 address'
        return f'{host} is a loopback, private, link-local or reserved address' if not_public(address) else None
    labels = host.split('.')
    try:
        address = ipv4_number(labels)
    except ValueError:
        return f'{host} is no address a browser opens'
    if address is not None:
        kind = 'a loopback, private, link-local or reserved address' if not_public(address) else None
        if host != str(address):
            return f'{host} is {address}, {kind or "to be written so"}'
        return kind and f'{host} is {kind}'
    name = host[:-1] if host.endswith('.') else host
    if not name:
        return f'{url} names no host'
    if not all(re.fullmatch(r'(?!-)[a-z0-9-]{1,63}(?<!-)', label) for label in name.split('.')):
        return f'{host} is no host name'
    if '.' not in name:
        return f'{name} is a name of a local network'
    for domain in RESERVED_DOMAINS:
        if name == domain or name.endswith('.' + domain):
            return f'{name} is under .{domain}, which is reserved: no one can reach it'
    return None


# A winget identifier's part: no dot, space, path or wildcard character, at most 32 characters.
ID_PART = re.compile(r'^[^.\s\\/:*?"<>|\x00-\x1f]{1,32}$')


# The release check, which also names the certificate a signing configuration names.
VERIFY = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'verify_signatures.sh')


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
              'license': product['license'], 'title': product['title'], 'short_name': product['short_name'],
              'descriptions': descriptions,
              'nsis_exit_codes': nsis_exit_codes(args.nsis_script), 'packages': packages, 'signer': None}
    if args.signer:
        named = subprocess.run([VERIFY, '--fingerprint', args.signer], capture_output=True, text=True)
        if named.returncode != 0:
            sys.exit(f'manifests.py: {named.stderr.strip()}')
        record['signer'] = named.stdout.strip()
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
    products = {json.dumps({key: r.get(key) for key in PRODUCT}, sort_keys=True) for r in records}
    if len(products) != 1:
        sys.exit('manifests.py: the builds differ in version, maker, addresses, descriptions or certificate; '
                 'they make no one release')
    product = json.loads(products.pop())
    version, maker, release_url, home_page, license_name = (product[key] for key in PRODUCT[:5])
    records = sorted(records, key=lambda r: r['arch'])
    name = product['short_name']
    identifier = f'{maker}.{name}'
    folder = os.path.join(out, 'winget', 'manifests', maker[0].lower(), maker, name, version)
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
                             'PackageUrl': home_page, 'License': license_name, 'Moniker': name.lower()})
        document.update({'ShortDescription': short, 'Description': long,
                         'InstallationNotes': INSTALLATION_NOTES[locale].format(title=product['title'], id=identifier),
                         'ManifestType': kind,
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
    os.makedirs(os.path.join(out, 'scoop'), exist_ok=True)
    with open(os.path.join(out, 'scoop', 'varnlet.json'), 'w', encoding='utf-8', newline='\n') as f:
        json.dump(scoop, f, indent=4, ensure_ascii=False)
        f.write('\n')


def refusals(records):
    """Why the builds make no release to publish, as their facts tell: addresses the community
    repositories cannot reach, no certificate of the release's own, a package missing."""
    addresses = {('VARNLET_RELEASE_URL', r['release_url']) for r in records} | \
                {('VARNLET_HOME_PAGE', r['home_page']) for r in records}
    reasons = [f'{name} {url}: {unpublishable(url)}' for name, url in sorted(addresses) if unpublishable(url)]
    if reasons:
        return ('the community repositories download every address and these cannot be reached: '
                f'{"; ".join(reasons)}. Configure the builds with the real ones (cmake --preset win64 '
                '-DVARNLET_RELEASE_URL=https://... -DVARNLET_HOME_PAGE=https://..., and win32).')
    signers = {r.get('signer') for r in records}
    if None in signers:
        return ('a build was made without a signing key; a release is signed by its own certificate '
                '(docs/releases.md, "Signing a release").')
    if len(signers) > 1:
        return 'the builds name different certificates; a release is signed by one.'
    missing = [f'{r["arch"]} {kind}' for r in records for kind in ('zip', 'nullsoft', 'wix')
               if kind not in r['packages']]
    if missing:
        return f'a release carries the zip, the installer and the MSI of every build; missing: {", ".join(missing)}.'
    return None


def signature_refusal(signer, paths):
    """Why the release check refuses these packages (an installer or MSI as it is, a zip by the
    varnlet.exe it carries) against the certificate SIGNER names, or None."""
    if not paths:
        return 'there is no package to judge'
    judged = []
    with tempfile.TemporaryDirectory() as scratch:
        for path in paths:
            if not path.endswith('.zip'):
                judged.append(path)
                continue
            judged.append(os.path.join(scratch, f'{os.path.basename(path)}:varnlet.exe'))
            try:
                with zipfile.ZipFile(path) as z, z.open('varnlet.exe') as f, open(judged[-1], 'wb') as o:
                    shutil.copyfileobj(f, o)
            except (OSError, KeyError, zipfile.BadZipFile) as e:
                return f'{os.path.basename(path)} carries no readable varnlet.exe: {e}'
        check = subprocess.run([VERIFY, '1', signer, *judged], capture_output=True, text=True)
    return None if check.returncode == 0 else check.stderr.strip().removeprefix('VARNLET_RELEASE=1: not a release, ')


def copy_signed(out, records, facts_paths):
    """Copies every package from beside its facts into OUT, checks that each is the one the facts
    describe, and has the release check judge the copies against the certificate the facts name.
    Returns why it refuses them, or None."""
    copies = []
    for record, path in zip(records, facts_paths):
        folder = os.path.dirname(os.path.dirname(os.path.abspath(path)))
        for package in record['packages'].values():
            copies.append(os.path.join(out, package['file']))
            try:
                shutil.copyfile(os.path.join(folder, package['file']), copies[-1])
            except OSError as e:
                return f'{package["file"]} is not beside {path}: {e.strerror}'
            if sha256(copies[-1]) != package['sha256']:
                return f'{package["file"]} in {folder} is not the package its build described'
    return signature_refusal(records[0]['signer'], copies)


def write_sums(out):
    """OUT/SHA256SUMS over the packages and the manifests, for sha256sum -c in OUT; Scoop's
    updates find the zips' lines in it."""
    names = sorted(os.path.relpath(os.path.join(d, f), out).replace(os.sep, '/')
                   for d, _, files in os.walk(out) for f in files if f not in ('SHA256SUMS', LATEST))
    with open(os.path.join(out, 'SHA256SUMS'), 'w', encoding='utf-8', newline='\n') as f:
        for name in names:
            f.write(f'{sha256(os.path.join(out, name)).lower()}  {name}\n')


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
    f.add_argument('--signer', default='')
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
    if args.command == 'write':
        write(args.out, records)
        return
    why = refusals(records)
    if why:
        sys.exit(f'manifests.py: not publishable, {why}')
    # Written whole or not at all: nothing of an earlier or refused submission stays in it.
    if os.path.lexists(args.out):
        sys.exit(f'manifests.py: {args.out} exists; a submission goes into a new folder')
    os.makedirs(args.out)
    why = copy_signed(args.out, records, args.facts)
    if why:
        shutil.rmtree(args.out)
        sys.exit(f'manifests.py: not publishable, {why}')
    write(args.out, records)
    with open(os.path.join(args.out, LATEST), 'w', encoding='utf-8', newline='\n') as f:
        f.write(records[0]['version'] + '\n')
    write_sums(args.out)


if __name__ == '__main__':
    main()
