#!/usr/bin/env python3
"""Draws the launcher's tray/application icons as .ico files.

Each file holds the 16-colour 32 and 16 pixel images first, as they always
were (at 100 % scale, and on older systems, these are what is shown), then
32-bit images with alpha at 48, 40, 24 and 20 pixels, so that the sizes
other display scales ask for are there without stretching. The 32-bit images are ordinary DIBs, not PNG, so every system
and Wine can read them.

Usage:
  draw_icons.py            write ready/stopped/busy1..3.ico next to this script
  draw_icons.py --check    decode the written files, verify their layout and
                           that they are what this script draws now
  draw_icons.py --preview OUT.png   write an enlarged preview sheet

Standard library only, so the icons can be rebuilt on any build host.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PALETTE_SIZES = (32, 16)
SMOOTH_SIZES = (48, 40, 24, 20)
# (size, bits per pixel) in file order.
LAYOUT = tuple((n, 4) for n in PALETTE_SIZES) + tuple((n, 32) for n in SMOOTH_SIZES)
NAMES = ("ready", "stopped", "busy1", "busy2", "busy3")

# Standard 16-colour palette in the order Windows uses for 4-bpp icons.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DRED, DGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None

# Per state: (rim colour, fill colour, glyph colour).
THEMES = {
    "ready": (BLACK, DGREEN, WHITE),
    "stopped": (BLACK, RED, WHITE),
    "busy": (BLACK, YELLOW, BLACK),
}

SUB = 8  # supersampling per axis


# --- geometry: each shape is a predicate inside(x, y) in pixel units ---------

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_in, r_out):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def stroke(points, width):
    """Round-capped polyline."""
    half = width / 2.0
    segs = list(zip(points, points[1:]))
    return lambda x, y: any(seg_dist(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in segs)


def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        qx = max(x0 + r - x, 0.0, x - (x1 - r))
        qy = max(y0 + r - y, 0.0, y - (y1 - r))
        return qx * qx + qy * qy <= r * r and x0 <= x <= x1 and y0 <= y <= y1
    return inside


def arc(cx, cy, r_in, r_out, start_deg, end_deg):
    """Annulus sector; angles clockwise from 12 o'clock, start < end."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not r_in * r_in <= d2 <= r_out * r_out:
            return False
        a = math.degrees(math.atan2(x - cx, cy - y)) % 360.0
        return (a - start_deg) % 360.0 <= (end_deg - start_deg)
    return inside


def coverage(shape, px, py):
    hits = 0
    for sy in range(SUB):
        for sx in range(SUB):
            if shape(px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB):
                hits += 1
    return hits / (SUB * SUB)


def render(size, layers):
    """layers: bottom-to-top list of (shape, colour, threshold).

    Each pixel takes the colour of the topmost layer covering at least
    `threshold` of it; 16 colours leave no room for blending.
    """
    img = [[CLEAR] * size for _ in range(size)]
    for py in range(size):
        for px in range(size):
            for shape, colour, thr in reversed(layers):
                if coverage(shape, px, py) >= thr:
                    img[py][px] = colour
                    break
    return img


def render_smooth(size, layers):
    """Rows of (r, g, b, a): each sample takes the colour of the topmost layer
    holding it, and a pixel is the mean of its samples, so edges blend into
    the background through alpha. Colours are not premultiplied."""
    offsets = [(i + 0.5) / SUB for i in range(SUB)]
    top_down = list(reversed(layers))
    img = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = hits = 0
            for oy in offsets:
                y = py + oy
                for ox in offsets:
                    x = px + ox
                    for shape, colour, _ in top_down:
                        if shape(x, y):
                            cr, cg, cb = PALETTE[colour]
                            r, g, b, hits = r + cr, g + cg, b + cb, hits + 1
                            break
            if hits:
                row.append((round(r / hits), round(g / hits), round(b / hits),
                            round(255 * hits / (SUB * SUB))))
            else:
                row.append((0, 0, 0, 0))
        img.append(row)
    return img


# --- the badge ---------------------------------------------------------------
#
# Two designs: one fitted to the 16-pixel grid, and one drawn at 32 pixels
# that every larger size, and the 20 and 24 pixel ones, take scaled.

def badge(size, theme):
    """Common base: a round badge with a dark rim, so it reads on both
    light and dark taskbars."""
    rim, fill, _ = THEMES[theme]
    c = size / 2.0
    r = c - 0.25
    rim_w = max(1.0, 1.5 * size / 32.0)
    return c, [
        (disc(c, c, r), rim, 0.45),
        (disc(c, c, r - rim_w), fill, 0.5),
    ]


def ready_layers(size):
    c, layers = badge(size, "ready")
    glyph = THEMES["ready"][2]
    if size > 16:
        s = size / 32.0
        pts = [(9.0 * s, 16.5 * s), (13.5 * s, 21.0 * s), (23.0 * s, 11.0 * s)]
        w = 4.0 * s
    else:
        pts = [(4.0, 8.0), (6.5, 10.5), (11.5, 5.5)]
        w = 2.2
    layers.append((stroke(pts, w), glyph, 0.45))
    return layers


def stopped_layers(size):
    c, layers = badge(size, "stopped")
    glyph = THEMES["stopped"][2]
    if size > 16:
        s = size / 32.0
        bar = round_rect(8.0 * s, 13.0 * s, 24.0 * s, 19.0 * s, 1.5 * s)
    else:
        bar = round_rect(3.5, 6.5, 12.5, 9.5, 0.5)
    layers.append((bar, glyph, 0.45))
    return layers


def busy_layers(size, frame):
    """A comet on a pale track, advanced a third of a turn clockwise per
    frame; the tail marks the direction of travel."""
    c, layers = badge(size, "busy")
    if size > 16:
        s = size / 32.0
        r_in, r_out = 6.0 * s, 10.5 * s
    else:
        r_in, r_out = 2.2, 5.2
    head = 30.0 + 120.0 * frame
    layers.append((ring(c, c, r_in, r_out), WHITE, 0.5))
    layers.append((arc(c, c, r_in, r_out, head - 170.0, head - 90.0), GREY, 0.5))
    layers.append((arc(c, c, r_in, r_out, head - 90.0, head), BLACK, 0.5))
    return layers


def layers_of(name, size):
    if name.startswith("busy"):
        return busy_layers(size, int(name[4:]) - 1)
    return {"ready": ready_layers, "stopped": stopped_layers}[name](size)


def draw(name):
    """{(size, bpp): image} for one icon, in LAYOUT's order."""
    images = {}
    for size, bpp in LAYOUT:
        layers = layers_of(name, size)
        images[(size, bpp)] = render(size, layers) if bpp == 4 else render_smooth(size, layers)
    return images


# --- .ico encoding -------------------------------------------------------------

def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def encode_dib(img):
    size = len(img)
    xor_stride = row_bytes(size * 4)
    and_stride = row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(img):  # DIBs are bottom-up
        line = bytearray(xor_stride)
        mline = bytearray(and_stride)
        for x, colour in enumerate(row):
            if colour is CLEAR:
                mline[x // 8] |= 0x80 >> (x % 8)
                colour = 0  # black XOR under a set mask keeps the screen pixel
            line[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        xor += line
        mask += mline
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + pal + bytes(xor) + bytes(mask)


def encode_dib32(img):
    """BGRA rows, then a mask set exactly where a pixel is fully clear, for
    whatever draws the icon without its alpha."""
    size = len(img)
    and_stride = row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(img):
        mline = bytearray(and_stride)
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                mline[x // 8] |= 0x80 >> (x % 8)
        mask += mline
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def encode_ico(images):
    blobs = [(size, bpp, encode_dib(images[(size, bpp)]) if bpp == 4
              else encode_dib32(images[(size, bpp)])) for size, bpp in LAYOUT]
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for size, bpp, blob in blobs:
        out += struct.pack("<BBBBHHII", size, size, 16 if bpp == 4 else 0, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    for _, _, blob in blobs:
        out += blob
    return bytes(out)


def decode_dib4(data, offset, w):
    """Rows of palette index or CLEAR."""
    (hsize, bw, bh, bplanes, bbits, comp, simg, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, offset)
    assert (hsize, bw, bh, bplanes, bbits, comp) == (40, w, 2 * w, 1, 4, 0)
    assert used in (0, 16)
    pal_off = offset + 40
    pal = [struct.unpack_from("<BBBB", data, pal_off + 4 * k) for k in range(16)]
    assert [(r, g, b) for b, g, r, _ in pal] == PALETTE, "palette differs"
    xor_stride, and_stride = row_bytes(w * 4), row_bytes(w)
    xor_off = pal_off + 64
    and_off = xor_off + xor_stride * w
    assert simg in (0, xor_stride * w + and_stride * w)
    rows = []
    for y in range(w):
        src_y = w - 1 - y
        row = []
        for x in range(w):
            b = data[xor_off + src_y * xor_stride + x // 2]
            idx = (b >> 4) if x % 2 == 0 else (b & 0x0F)
            m = data[and_off + src_y * and_stride + x // 8] & (0x80 >> (x % 8))
            if m:
                assert idx == 0, "transparent pixel with non-black XOR"
                row.append(CLEAR)
            else:
                row.append(idx)
        rows.append(row)
    return rows, and_off + and_stride * w - offset


def decode_dib32(data, offset, w):
    """Rows of (r, g, b, a)."""
    (hsize, bw, bh, bplanes, bbits, comp, simg, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, offset)
    assert (hsize, bw, bh, bplanes, bbits, comp, used) == (40, w, 2 * w, 1, 32, 0, 0)
    and_stride = row_bytes(w)
    xor_off = offset + 40
    and_off = xor_off + 4 * w * w
    assert simg in (0, 4 * w * w + and_stride * w)
    rows = []
    for y in range(w):
        src_y = w - 1 - y
        row = []
        for x in range(w):
            b, g, r, a = data[xor_off + 4 * (src_y * w + x):][:4]
            m = data[and_off + src_y * and_stride + x // 8] & (0x80 >> (x % 8))
            assert bool(m) == (a == 0), "mask must be set exactly where alpha is 0"
            assert a or (r, g, b) == (0, 0, 0), "clear pixel with colour"
            row.append((r, g, b, a))
        rows.append(row)
    return rows, and_off + and_stride * w - offset


def decode_ico(data):
    """Returns {(size, bpp): rows}; raises on any deviation from LAYOUT."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind) == (0, 1), "not an icon file"
    assert count == len(LAYOUT), "%d images, not %d" % (count, len(LAYOUT))
    result = {}
    end = 6 + 16 * count
    for i, (size, bpp) in enumerate(LAYOUT):
        w, h, ncol, res, planes, bits, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        assert (w, h, bits) == (size, size, bpp), "entry %d is %dx%d %d-bit" % (i, w, h, bits)
        assert (ncol, res, planes) == (16 if bpp == 4 else 0, 0, 1), (ncol, res, planes)
        assert offset == end, "images must follow each other"
        rows, used = (decode_dib4 if bpp == 4 else decode_dib32)(data, offset, size)
        assert used == length, "image length mismatch"
        result[(size, bpp)] = rows
        end = offset + length
    assert end == len(data), "trailing bytes"
    return result


# --- verification and preview ----------------------------------------------------

def is_clear(pixel):
    return pixel is CLEAR or (isinstance(pixel, tuple) and pixel[3] == 0)


def check_image(img, size, bpp):
    corners = [img[0][0], img[0][-1], img[-1][0], img[-1][-1]]
    assert all(is_clear(p) for p in corners), "corners must be transparent"
    centre = img[size // 2][size // 2]
    assert not is_clear(centre), "centre must be opaque"
    clear = sum(is_clear(p) for row in img for p in row)
    assert 0 < clear < size * size
    if bpp == 4:
        colours = {p for row in img for p in row if p is not CLEAR}
    else:
        assert centre[3] == 255, "centre must be fully opaque"
        colours = {p[:3] for row in img for p in row if p[3] == 255}
        edge = sum(0 < p[3] < 255 for row in img for p in row)
        assert edge >= size, "edges must be smooth (%d part-clear pixels)" % edge
    assert len(colours) >= 3


def check():
    ok = True
    decoded = {}
    for name in NAMES:
        path = os.path.join(HERE, name + ".ico")
        with open(path, "rb") as f:
            data = f.read()
        try:
            imgs = decode_ico(data)
            for (size, bpp), img in imgs.items():
                check_image(img, size, bpp)
            assert data == encode_ico(draw(name)), "not what this script draws now: regenerate"
            decoded[name] = imgs
            print("%-8s ok  %d bytes" % (name, len(data)))
        except AssertionError as e:
            ok = False
            print("%-8s FAIL %s" % (name, e))
    if len(decoded) == len(NAMES):
        for key in LAYOUT:
            frames = [decoded["busy%d" % i][key] for i in (1, 2, 3)]
            if len({repr(f) for f in frames}) != 3:
                ok = False
                print("busy frames at %d px %d-bit are not all different" % key)
            if decoded["ready"][key] == decoded["stopped"][key]:
                ok = False
                print("ready and stopped are identical at %d px %d-bit" % key)
    print("all ok" if ok else "FAILED")
    return ok


def write_png(path, width, height, pixels):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixels[y][x])

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def shown(pixel, bg):
    """The pixel over the background, as the screen shows it."""
    if pixel is CLEAR:
        return bg
    if isinstance(pixel, int):
        return PALETTE[pixel]
    a = pixel[3] / 255.0
    return tuple(round(c * a + k * (1.0 - a)) for c, k in zip(pixel[:3], bg))


def preview(out_path):
    """Sheet: every image of every icon, largest first, 6x enlarged on light
    and dark backgrounds, then all of them at actual size."""
    decoded = {}
    for n in NAMES:
        with open(os.path.join(HERE, n + ".ico"), "rb") as f:
            decoded[n] = decode_ico(f.read())
    scale, gap = 6, 8
    backgrounds = [(0xF0, 0xF0, 0xF0), (0x20, 0x20, 0x28)]
    by_size = sorted(LAYOUT, reverse=True)
    biggest = by_size[0][0]
    cell = biggest * scale + gap
    width = gap + len(NAMES) * cell
    rows = [(bg, key, scale) for bg in backgrounds for key in by_size]
    rows += [(bg, key, 1) for bg in backgrounds for key in by_size]
    height = gap + sum(key[0] * sc + gap for _, key, sc in rows)
    pix = [[(0x90, 0x90, 0x90)] * width for _ in range(height)]
    y0 = gap
    for bg, key, sc in rows:
        sz = key[0]
        for i, n in enumerate(NAMES):
            img = decoded[n][key]
            x0 = gap + i * cell
            for y in range(sz * sc):
                line = pix[y0 + y]
                for x in range(biggest * sc):
                    line[x0 + x] = bg
                for x in range(sz * sc):
                    line[x0 + x] = shown(img[y // sc][x // sc], bg)
        y0 += sz * sc + gap
    write_png(out_path, width, height, pix)
    print("wrote", out_path)


def main(argv):
    if "--check" in argv:
        return 0 if check() else 1
    if "--preview" in argv:
        i = argv.index("--preview")
        preview(argv[i + 1] if i + 1 < len(argv) else "/tmp/icons-preview.png")
        return 0
    for name in NAMES:
        with open(os.path.join(HERE, name + ".ico"), "wb") as f:
            f.write(encode_ico(draw(name)))
        print("wrote", name + ".ico")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
