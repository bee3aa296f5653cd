#!/usr/bin/env python3
"""Draws the launcher's tray/application icons as 16-colour .ico files.

Usage:
  draw_icons.py            write ready/stopped/busy1..3.ico next to this script
  draw_icons.py --check    decode the written files and verify their layout
  draw_icons.py --preview OUT.png   write an 8x enlarged preview sheet

Standard library only, so the icons can be rebuilt on any build host.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (32, 16)

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


# --- the badge ---------------------------------------------------------------

def badge(size, theme):
    """Common base: a round badge with a dark rim, so it reads on both
    light and dark taskbars."""
    rim, fill, _ = THEMES[theme]
    c = size / 2.0
    r = c - 0.25
    rim_w = 1.5 if size >= 32 else 1.0
    return c, [
        (disc(c, c, r), rim, 0.45),
        (disc(c, c, r - rim_w), fill, 0.5),
    ]


def draw_ready(size):
    c, layers = badge(size, "ready")
    s = size / 32.0
    glyph = THEMES["ready"][2]
    if size >= 32:
        pts = [(9.0, 16.5), (13.5, 21.0), (23.0, 11.0)]
        w = 4.0
    else:
        pts = [(4.0, 8.0), (6.5, 10.5), (11.5, 5.5)]
        w = 2.2
    layers.append((stroke(pts, w), glyph, 0.45))
    return render(size, layers)


def draw_stopped(size):
    c, layers = badge(size, "stopped")
    glyph = THEMES["stopped"][2]
    if size >= 32:
        bar = round_rect(8.0, 13.0, 24.0, 19.0, 1.5)
    else:
        bar = round_rect(3.5, 6.5, 12.5, 9.5, 0.5)
    layers.append((bar, glyph, 0.45))
    return render(size, layers)


def draw_busy(size, frame):
    """A comet on a pale track, advanced a third of a turn clockwise per
    frame; the tail marks the direction of travel."""
    c, layers = badge(size, "busy")
    if size >= 32:
        r_in, r_out = 6.0, 10.5
    else:
        r_in, r_out = 2.2, 5.2
    head = 30.0 + 120.0 * frame
    layers.append((ring(c, c, r_in, r_out), WHITE, 0.5))
    layers.append((arc(c, c, r_in, r_out, head - 170.0, head - 90.0), GREY, 0.5))
    layers.append((arc(c, c, r_in, r_out, head - 90.0, head), BLACK, 0.5))
    return render(size, layers)


def icons():
    return {
        "ready": {s: draw_ready(s) for s in SIZES},
        "stopped": {s: draw_stopped(s) for s in SIZES},
        "busy1": {s: draw_busy(s, 0) for s in SIZES},
        "busy2": {s: draw_busy(s, 1) for s in SIZES},
        "busy3": {s: draw_busy(s, 2) for s in SIZES},
    }


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


def encode_ico(images):
    blobs = [(s, encode_dib(images[s])) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for s, blob in blobs:
        out += struct.pack("<BBBBHHII", s, s, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    for _, blob in blobs:
        out += blob
    return bytes(out)


def decode_ico(data):
    """Returns {size: rows of palette index or CLEAR}; raises on any deviation
    from the expected two 4-bpp images."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind, count) == (0, 1, 2), (reserved, kind, count)
    result = {}
    for i in range(count):
        w, h, ncol, res, planes, bpp, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        assert w == h and w in SIZES and w not in result, (w, h)
        assert (ncol, res, planes, bpp) == (16, 0, 1, 4), (ncol, res, planes, bpp)
        assert offset + length <= len(data)
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
        assert and_off + and_stride * w == offset + length, "image length mismatch"
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
        result[w] = rows
    assert set(result) == set(SIZES)
    return result


# --- verification and preview ----------------------------------------------------

def check():
    ok = True
    decoded = {}
    for name in ("ready", "stopped", "busy1", "busy2", "busy3"):
        path = os.path.join(HERE, name + ".ico")
        with open(path, "rb") as f:
            data = f.read()
        try:
            imgs = decode_ico(data)
            for s, img in imgs.items():
                corners = [img[0][0], img[0][-1], img[-1][0], img[-1][-1]]
                assert all(c is CLEAR for c in corners), "corners must be transparent"
                assert img[s // 2][s // 2] is not CLEAR, "centre must be opaque"
                clear = sum(row.count(CLEAR) for row in img)
                assert 0 < clear < s * s
                assert len({c for row in img for c in row if c is not CLEAR}) >= 3
            decoded[name] = imgs
            print("%-8s ok  %d bytes" % (name, len(data)))
        except AssertionError as e:
            ok = False
            print("%-8s FAIL %s" % (name, e))
    if len(decoded) == 5:
        for s in SIZES:
            frames = [decoded["busy%d" % i][s] for i in (1, 2, 3)]
            if len({repr(f) for f in frames}) != 3:
                ok = False
                print("busy frames at %d px are not all different" % s)
            if decoded["ready"][s] == decoded["stopped"][s]:
                ok = False
                print("ready and stopped are identical at %d px" % s)
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


def preview(out_path):
    """Sheet: rows of 32 px and 16 px icons, 8x enlarged on light and dark
    backgrounds, then actual size."""
    names = ("ready", "stopped", "busy1", "busy2", "busy3")
    decoded = {}
    for n in names:
        with open(os.path.join(HERE, n + ".ico"), "rb") as f:
            decoded[n] = decode_ico(f.read())
    scale, gap = 8, 8
    backgrounds = [(0xF0, 0xF0, 0xF0), (0x20, 0x20, 0x28)]
    cell = 32 * scale + gap
    width = gap + len(names) * cell
    rows = []  # (bg, size, scale)
    for bg in backgrounds:
        rows.append((bg, 32, scale))
        rows.append((bg, 16, scale))
    rows.append((backgrounds[0], 16, 1))
    rows.append((backgrounds[1], 16, 1))
    rows.append((backgrounds[0], 32, 1))
    height = gap + sum(sz * sc + gap for _, sz, sc in rows)
    pix = [[(0x90, 0x90, 0x90)] * width for _ in range(height)]
    y0 = gap
    for bg, sz, sc in rows:
        for i, n in enumerate(names):
            img = decoded[n][sz]
            x0 = gap + i * cell
            for y in range(sz * sc):
                line = pix[y0 + y]
                for x in range(32 * scale):
                    line[x0 + x] = bg
                for x in range(sz * sc):
                    c = img[y // sc][x // sc]
                    line[x0 + x] = bg if c is CLEAR else PALETTE[c]
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
    for name, images in icons().items():
        with open(os.path.join(HERE, name + ".ico"), "wb") as f:
            f.write(encode_ico(images))
        print("wrote", name + ".ico")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
