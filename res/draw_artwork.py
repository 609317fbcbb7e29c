#!/usr/bin/env python3
"""Draws Varnlet's artwork and writes it beside this script:

  varnlet.ico   the program's icon at 16, 20, 24 and 32 pixels: the sizes the notification area
                asks for from 100 % to 200 % density, which are also the title bar's and the
                taskbar's, plus the 32 x 32 image once more in 256 colours. Larger views
                (Explorer's large icons) scale the 32 x 32 image: each larger size would cost the
                exe a kibibyte or more, where it matters most
  picture1.bmp  the About window's 48 x 48 picture on white, with a palette of its own colours
  wizard.bmp    the installers' welcome and finish picture, 164 x 314
  header.bmp    the installers' header picture, 150 x 57

The badge is a rounded square in a teal-to-blue gradient carrying a white "V" whose point is
drawn as a downward arrow (memory going down). Only the standard library is used and only
exact arithmetic decides a pixel, so every run writes the same bytes (PNG images depend on zlib
too, so --check compares them decompressed). Run it by hand after
changing the drawing, and commit its outputs:  python3 res/draw_artwork.py
With --check it writes nothing and fails when the committed files differ from what it draws.
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 8  # per pixel edge: 64 samples per pixel

TOP = (38, 190, 170)     # teal
BOTTOM = (24, 78, 168)   # deep blue
WHITE = (255, 255, 255)


def inside_rounded_square(x, y, size, inset, radius):
    lo, hi = inset, size - inset
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    px, py = ax + t * dx - x, ay + t * dy - y
    return px * px + py * py <= half_width * half_width


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


def badge_sample(x, y):
    """Colour and alpha of the badge at (x, y), in a 32 x 32 design space."""
    if not inside_rounded_square(x, y, 32.0, 1.0, 7.0):
        return None
    # The "V": two strokes meeting low in the middle, the meeting point an arrow head.
    if (near_segment(x, y, 8.5, 7.0, 16.0, 17.5, 2.4) or near_segment(x, y, 23.5, 7.0, 16.0, 17.5, 2.4)
            or in_triangle(x, y, (8.5, 16.5), (23.5, 16.5), (16.0, 27.0))):
        return WHITE
    t = (y - 1.0) / 30.0
    return tuple(TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3))


def supersampled(px, py, scale, offset):
    """RGBA of one pixel from SAMPLES x SAMPLES samples."""
    n = SAMPLES
    acc = [0.0, 0.0, 0.0]
    covered = 0
    for sy in range(n):
        for sx in range(n):
            x = (px + (sx + 0.5) / n - offset) / scale
            y = (py + (sy + 0.5) / n - offset) / scale
            colour = badge_sample(x, y)
            if colour is not None:
                covered += 1
                for i in range(3):
                    acc[i] += colour[i]
    if covered == 0:
        return (0, 0, 0, 0)
    rgb = tuple(int(acc[i] / covered + 0.5) for i in range(3))
    return rgb + ((covered * 255 + n * n // 2) // (n * n),)


def render(size, scale, offset):
    """RGBA rows, top row first: the badge drawn at `scale` pixels per design unit."""
    return [[supersampled(px, py, scale, offset) for px in range(size)] for py in range(size)]


def render_fast(size, scale, offset):
    """As render(), but a pixel whose corners and centre all fall in one part of the drawing
    (outside, the white sign, the gradient) takes that part's colour at its centre, and only the
    others are supersampled: the large images would take minutes otherwise. The gradient runs
    along y only, so its mean over a pixel is its value at the centre."""
    def part(x, y):
        colour = badge_sample(x, y)
        return 0 if colour is None else 1 if colour is WHITE else 2

    corners = [[part((px - offset) / scale, (py - offset) / scale) for px in range(size + 1)] for py in range(size + 1)]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            k = corners[py][px]
            cx, cy = (px + 0.5 - offset) / scale, (py + 0.5 - offset) / scale
            if k == corners[py][px + 1] == corners[py + 1][px] == corners[py + 1][px + 1] == part(cx, cy):
                if k == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append(tuple(int(c + 0.5) for c in badge_sample(cx, cy)) + (255,))
            else:
                row.append(supersampled(px, py, scale, offset))
        rows.append(row)
    return rows


def over(background, rows, left, top):
    """The RGBA rows blended onto an RGB picture (lists of rows, changed in place)."""
    for y, row in enumerate(rows):
        line = background[top + y]
        for x, (r, g, b, a) in enumerate(row):
            under = line[left + x]
            line[left + x] = tuple((c * a + u * (255 - a) + 127) // 255 for c, u in zip((r, g, b), under))
    return background


def on_white(rows):
    out = []
    for row in rows:
        out.append([tuple((c * a + 255 * (255 - a) + 127) // 255 for c in (r, g, b)) for r, g, b, a in row])
    return out


def palette_for(rows):
    """At most 255 colours for the opaque pixels, index 0 left for the transparent ones."""
    colours = sorted({p[:3] for row in rows for p in row if p[3] >= 128})
    step = 1
    while True:
        q = sorted({tuple(min(255, (c // step) * step + step // 2) for c in col) for col in colours})
        if len(q) <= 255:
            return [(0, 0, 0)] + q
        step *= 2


def nearest(palette, colour):
    best, best_d = 1, None
    for i in range(1, len(palette)):
        d = sum((palette[i][k] - colour[k]) ** 2 for k in range(3))
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def and_mask(rows):
    """1 where transparent; rows bottom-up, each padded to 4 bytes."""
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def info_header(size, bit_count, image_bytes, colours_used):
    # The height counts the colour image and the mask, as icon images do.
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bit_count, 0, image_bytes, 0, 0, colours_used, 0)


def icon_image_8bit(rows):
    size = len(rows)
    palette = palette_for(rows)
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(0 if p[3] < 128 else nearest(palette, p[:3]) for p in row)
        line += bytes((-len(line)) % 4)
        pixels += line
    table = bytearray()
    for i in range(256):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        table += bytes((b, g, r, 0))
    mask = and_mask(rows)
    return info_header(size, 8, len(pixels) + len(mask), 256) + bytes(table) + bytes(pixels) + mask


def png_palette(rows, limit):
    """At most LIMIT RGBA colours for a PNG palette, and each pixel's index. The images up to 64
    pixels have fewer than 256 colours and keep every one; the 256-pixel image keeps its 128
    most frequent, every step of its gradient among them, and its rarer colours, all on its
    anti-aliased edges, take the nearest of those: half the bytes, and no difference the eye
    finds at that size."""
    counts = {}
    for row in rows:
        for p in row:
            counts[p] = counts.get(p, 0) + 1
    palette = sorted(sorted(counts, key=lambda c: (-counts[c], c))[:limit])
    index = {c: i for i, c in enumerate(palette)}
    for c in sorted(counts):
        if c not in index:
            index[c] = min(range(len(palette)), key=lambda i: (sum((palette[i][k] - c[k]) ** 2 for k in range(4)), i))
    return palette, [[index[p] for p in row] for row in rows]


def png_filtered(line, previous, kind):
    """One row of palette indices with PNG filter KIND (0 to 4) applied, its type byte first."""
    out = bytearray([kind])
    for i, c in enumerate(line):
        a = line[i - 1] if i >= 1 else 0
        b = previous[i]
        ab = previous[i - 1] if i >= 1 else 0
        if kind == 0:
            pred = 0
        elif kind == 1:
            pred = a
        elif kind == 2:
            pred = b
        elif kind == 3:
            pred = (a + b) // 2
        else:
            pa, pb, pc = abs(b - ab), abs(a - ab), abs(a + b - 2 * ab)
            pred = a if pa <= pb and pa <= pc else b if pb <= pc else ab
        out.append((c - pred) % 256)
    return out


def png_image(rows):
    """An indexed-colour PNG of RGBA rows, the smallest of a few encodings: every row with the
    same filter, or each row with the filter that leaves the smallest bytes (the usual
    heuristic), each deflated at zlib's best level with its default and its filtered strategy.
    Every byte here is a byte of the exe."""
    size = len(rows)
    palette, indices = png_palette(rows, 128 if size > 64 else 256)
    lines = [bytes(row) for row in indices]
    choices = []
    for fixed in (None, 0, 1, 2, 3, 4):
        raw = bytearray()
        previous = bytes(size)
        for line in lines:
            if fixed is None:
                candidates = [png_filtered(line, previous, kind) for kind in range(5)]
                raw += min(candidates, key=lambda out: (sum(v if v < 128 else 256 - v for v in out[1:]), out[0]))
            else:
                raw += png_filtered(line, previous, fixed)
            previous = line
        for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
            deflate = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
            choices.append(deflate.compress(bytes(raw)) + deflate.flush())
    idat = min(choices, key=len)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    header = struct.pack('>IIBBBBB', size, size, 8, 3, 0, 0, 0)
    plte = bytes(c for p in palette for c in p[:3])
    trns = bytes(p[3] for p in palette).rstrip(b'\xff')
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'PLTE', plte) + chunk(b'tRNS', trns)
            + chunk(b'IDAT', idat) + chunk(b'IEND', b''))


def icon_file(images):
    """images: (size, colour count byte, bit count, data)."""
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b'', b''
    for size, colour_count, bit_count, data in images:
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, colour_count, 0, 1, bit_count, len(data), offset)
        offset += len(data)
        blobs += data
    return header + entries + blobs


def bmp8_file(rows):
    """An 8-bit bitmap whose palette holds exactly the picture's colours, so nothing is lost at
    less than half the bytes of 24-bit colour."""
    palette = sorted(set(c for row in rows for c in row))
    assert len(palette) <= 256, 'the picture needs more than 256 colours'
    index = {c: i for i, c in enumerate(palette)}
    width, height = len(rows[0]), len(rows)
    stride = (width + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        pixels += bytes(index[c] for c in row) + bytes(stride - width)
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(pixels), 3780, 3780, len(palette), 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(table) + len(pixels), 0, 0, 14 + len(info) + len(table))
    return header + info + table + bytes(pixels)


def bmp24_file(rows):
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def vertical_gradient(width, height, top, bottom):
    return [[tuple((top[i] * (height - 1 - y) + bottom[i] * y + (height - 1) // 2) // (height - 1) for i in range(3))] * width
            for y in range(height)]


def artwork():
    """File name and bytes of every output."""
    icon = render(32, 1.0, 0.0)
    images = []
    for size in (16, 20, 24, 32):
        # PNG, which Windows reads at every size from Vista on: a third of a bitmap's bytes at
        # 16 pixels, a tenth at 64, and every byte counts against the exe's size. The 32 x 32
        # image, which the About window shows, is drawn with the finer sampling.
        rows = icon if size == 32 else render_fast(size, size / 32.0, 0.0)
        images.append((size, 0, 32, png_image(rows)))
        if size == 32:
            # For displays of 256 colours, which cannot show the PNG's alpha.
            images.append((32, 0, 8, icon_image_8bit(icon)))
    # The picture: the badge 44 pixels wide, centred on white.
    picture = on_white(render(48, 44.0 / 32.0, 2.0))
    # The installers' pictures: the badge on a pale wash of its own teal (welcome and finish
    # pages, on the left), and small on white (the header, on the right of the other pages).
    wizard = over(vertical_gradient(164, 314, (214, 242, 238), (255, 255, 255)), render_fast(112, 3.5, 0.0), 26, 64)
    header = over(vertical_gradient(150, 57, (255, 255, 255), (255, 255, 255)), render_fast(45, 45 / 32.0, 0.0), 99, 6)
    return {
        'varnlet.ico': icon_file(images),
        'picture1.bmp': bmp8_file(picture),
        'wizard.bmp': bmp24_file(wizard),
        'header.bmp': bmp24_file(header),
    }


def comparable(name, data):
    """The bytes --check compares: an icon's PNG images decompressed, so that another zlib's
    equally valid output does not count as a change."""
    if not name.endswith('.ico'):
        return data
    count = struct.unpack_from('<H', data, 4)[0]
    out = bytearray(data[:6 + 16 * count])
    for i in range(count):
        length, offset = struct.unpack_from('<II', data, 6 + 16 * i + 8)
        image = data[offset:offset + length]
        if image.startswith(b'\x89PNG'):
            at, parts = 8, []
            while at < len(image):
                size = struct.unpack_from('>I', image, at)[0]
                kind = image[at + 4:at + 8]
                body = image[at + 8:at + 8 + size]
                parts.append(kind + (zlib.decompress(body) if kind == b'IDAT' else body))
                at += 12 + size
            image = b''.join(parts)
        out += image
    return bytes(out)


def main(argv):
    check = argv[1:] == ['--check']
    if argv[1:] and not check:
        print('usage: draw_artwork.py [--check]', file=sys.stderr)
        return 2
    stale = []
    for name, data in artwork().items():
        path = os.path.join(HERE, name)
        if check:
            with open(path, 'rb') as f:
                if comparable(name, f.read()) != comparable(name, data):
                    stale.append(name)
        else:
            with open(path, 'wb') as f:
                f.write(data)
    for name in stale:
        print(f'res/{name} is not what draw_artwork.py draws: run it and commit the result', file=sys.stderr)
    return 1 if stale else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
