#!/usr/bin/env python3
"""Draws Varnlet's artwork and writes it beside this script:

  varnlet.ico   the program's icon: two 32 x 32 images, 256 colours and 32-bit colour with alpha
  picture1.bmp  the About window's 48 x 48 picture, 24-bit colour on white

The badge is a rounded square in a teal-to-blue gradient carrying a white "V" whose point is
drawn as a downward arrow (memory going down). Only the standard library is used and only
exact arithmetic decides a pixel, so every run writes the same bytes. Run it by hand after
changing the drawing, and commit its outputs:  python3 res/draw_artwork.py
With --check it writes nothing and fails when the committed files differ from what it draws.
"""
import os
import struct
import sys

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


def render(size, scale, offset):
    """RGBA rows, top row first: the badge drawn at `scale` pixels per design unit."""
    rows = []
    n = SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
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
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple(int(acc[i] / covered + 0.5) for i in range(3))
                row.append(rgb + ((covered * 255 + n * n // 2) // (n * n),))
        rows.append(row)
    return rows


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


def icon_image_32bit(rows):
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = and_mask(rows)
    return info_header(size, 32, len(pixels) + len(mask), 0) + bytes(pixels) + mask


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


def bmp24_file(rows):
    size = len(rows)
    stride = (size * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def artwork():
    """File name and bytes of every output."""
    icon = render(32, 1.0, 0.0)
    # The picture: the badge 44 pixels wide, centred on white.
    picture = on_white(render(48, 44.0 / 32.0, 2.0))
    return {
        'varnlet.ico': icon_file([(32, 0, 8, icon_image_8bit(icon)), (32, 0, 32, icon_image_32bit(icon))]),
        'picture1.bmp': bmp24_file(picture),
    }


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
                if f.read() != data:
                    stale.append(name)
        else:
            with open(path, 'wb') as f:
                f.write(data)
    for name in stale:
        print(f'res/{name} is not what draw_artwork.py draws: run it and commit the result', file=sys.stderr)
    return 1 if stale else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
