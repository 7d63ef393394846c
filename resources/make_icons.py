#!/usr/bin/env python3
"""Draws the program's icon and the two button icons and writes them as .ICO files.

    python3 resources/make_icons.py [output folder]   (default: this folder)

bookmarks.ico: a ruled page with a red bookmark ribbon, at 16, 20, 24, 32, 40, 48
               and 256 pixels (the sizes the title bar, the taskbar and Explorer
               ask for), 32 bits per pixel with alpha; the 256-pixel image is PNG.
import.ico:    a green open folder, 32x32, 32 bits per pixel with alpha.
spare.ico:     an orange zig-zag arrow down to the right, 32x32, 8 bits per pixel
               with a 256-colour palette and an AND mask.

The pictures are vector shapes sampled 8x8 times per pixel, so the edges of the
alpha icon are smooth; the palette icon has no partial transparency, so its edge
pixels are opaque where the shape covers at least half of them. Only the Python
standard library is used and the output is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

SIZE = 32
SAMPLES = 8  # per pixel and axis


def point_in_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def segment_distance(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


class Polygon:
    """Signed distance: negative inside, in pixels."""

    def __init__(self, points):
        self.points = points
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.box = (min(xs) - 2, min(ys) - 2, max(xs) + 2, max(ys) + 2)

    def distance(self, x, y):
        x0, y0, x1, y1 = self.box
        if x < x0 or y < y0 or x > x1 or y > y1:
            return 3.0
        pts = self.points
        edge = min(segment_distance(x, y, pts[i - 1], pts[i]) for i in range(len(pts)))
        return -edge if point_in_polygon(x, y, pts) else edge


class Stroke:
    """A polyline of the given width with round joins and ends."""

    def __init__(self, points, width):
        self.points = points
        self.half = width / 2

    def distance(self, x, y):
        pts = self.points
        return min(segment_distance(x, y, pts[i], pts[i + 1]) for i in range(len(pts) - 1)) - self.half


class Union:
    def __init__(self, *shapes):
        self.shapes = shapes

    def distance(self, x, y):
        return min(s.distance(x, y) for s in self.shapes)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


# ---- The open folder: back panel with its tab, a sheet of paper, the front flap
# tilted open. Each layer has an outline drawn inside its edge.

FOLDER_OUTLINE = hex_colour("1d5a20")
FOLDER_LAYERS = [
    # shape, outline width, colour at the top, colour at the bottom
    (Polygon([(2.5, 6.5), (11.5, 6.5), (14, 9), (26.5, 9), (26.5, 26.5), (2.5, 26.5)]),
     1.0, hex_colour("4c9e3c"), hex_colour("2f7a2a")),
    (Polygon([(6, 11.5), (23.5, 11.5), (23.5, 21), (6, 21)]),
     0.8, hex_colour("ffffff"), hex_colour("e4e8e0")),
    (Polygon([(8.5, 14.5), (30.5, 14.5), (26, 27.5), (2.5, 27.5)]),
     1.0, hex_colour("8fdc5c"), hex_colour("3f9f34")),
]
FOLDER_LINES = hex_colour("c9ccc4")  # ruled lines on the sheet


def folder_sample(x, y):
    """Colour of the topmost layer at (x, y), or None outside every layer."""
    for shape, outline, top, bottom in reversed(FOLDER_LAYERS):
        d = shape.distance(x, y)
        if d > 0:
            continue
        if d > -outline:
            return FOLDER_OUTLINE
        y0, y1 = shape.box[1] + 2, shape.box[3] - 2
        colour = mix(top, bottom, (y - y0) / (y1 - y0))
        if shape is FOLDER_LAYERS[1][0] and abs(((y - 13.5) % 2.5) - 1.25) < 0.35 and 8 < x < 21.5:
            colour = FOLDER_LINES
        return colour
    return None


def render_alpha(sample, size=SIZE):
    """Rows top to bottom of (b, g, r, a) with straight (not premultiplied) alpha:
    sample(x, y) on the 32-unit canvas, averaged over each of size x size pixels."""
    samples = max(4, SAMPLES * SIZE // size)
    rows = []
    step = 1.0 / samples
    scale = SIZE / size
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    colour = sample((px + (sx + 0.5) * step) * scale, (py + (sy + 0.5) * step) * scale)
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
                continue
            r, g, b = (round(c / covered) for c in total)
            row.append((b, g, r, round(255 * covered / (samples * samples))))
        rows.append(row)
    return rows


# ---- The program's icon: a page of ruled lines, the list, marked by a ribbon.

PAGE = Polygon([(5, 2.5), (25, 2.5), (25, 29.5), (5, 29.5)])
PAGE_OUTLINE = hex_colour("4a5563")
PAGE_TOP, PAGE_BOTTOM = hex_colour("ffffff"), hex_colour("dfe4ea")
PAGE_LINES = hex_colour("7d8fa6")
RIBBON = Polygon([(17, 0.5), (23.5, 0.5), (23.5, 16), (20.25, 12.5), (17, 16)])
RIBBON_OUTLINE = hex_colour("7a1010")
RIBBON_TOP, RIBBON_BOTTOM = hex_colour("ef4b4b"), hex_colour("c41e1e")


def page_sample(x, y):
    d = RIBBON.distance(x, y)
    if d <= 0:
        return RIBBON_OUTLINE if d > -1.0 else mix(RIBBON_TOP, RIBBON_BOTTOM, y / 16)
    d = PAGE.distance(x, y)
    if d > 0:
        return None
    if d > -1.0:
        return PAGE_OUTLINE
    if 8 < x < 22 and y > 18.5 and abs(((y - 18.5) % 3.5) - 1.75) < 0.6 and y < 28:
        return PAGE_LINES
    if 8 < x < 15 and 6 < y < 18.5 and abs(((y - 6) % 3.5) - 1.75) < 0.6:
        return PAGE_LINES
    return mix(PAGE_TOP, PAGE_BOTTOM, y / 32)


# ---- The zig-zag arrow: a thick polyline with a head at its lower right end.

ARROW_PATH = [(3.5, 5), (15.5, 5), (8.5, 14.5), (17.5, 17.5)]
ARROW_SHAPE = Union(
    Stroke(ARROW_PATH, 4.6),
    Stroke([(17.5, 17.5), (20.5, 20.5)], 4.6),
    Polygon([(28.5, 28.5), (14.5, 26.5), (26.5, 14.5)]),
)
ARROW_OUTLINE_WIDTH = 1.1
ARROW_OUTLINE = hex_colour("8a3a00")
ARROW_LIGHT = hex_colour("ffc04a")
ARROW_DARK = hex_colour("f06a00")
SHADE_LEVELS = 15  # gradient positions in the palette
EDGE_LEVELS = 17   # outline-to-fill mixes in the palette


def arrow_colour(shade, edge):
    fill = mix(ARROW_LIGHT, ARROW_DARK, shade / (SHADE_LEVELS - 1))
    return tuple(round(c) for c in mix(ARROW_OUTLINE, fill, edge / (EDGE_LEVELS - 1)))


def arrow_palette():
    """Entry 0 is black, the colour of transparent pixels under the AND mask."""
    palette = [(0, 0, 0)]
    for shade in range(SHADE_LEVELS):
        for edge in range(EDGE_LEVELS):
            palette.append(arrow_colour(shade, edge))
    return palette


def render_arrow():
    """Rows top to bottom of palette indices (0 = transparent)."""
    rows = []
    step = 1.0 / SAMPLES
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            outer = inner = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    d = ARROW_SHAPE.distance(px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                    if d <= 0:
                        outer += 1
                        if d <= -ARROW_OUTLINE_WIDTH:
                            inner += 1
            count = SAMPLES * SAMPLES
            if outer * 2 < count:
                row.append(0)
                continue
            # The light comes from the upper left: shade along the diagonal.
            shade = round((SHADE_LEVELS - 1) * min(1.0, max(0.0, (px + py - 8) / 44)))
            edge = round((EDGE_LEVELS - 1) * inner / outer)
            row.append(1 + shade * EDGE_LEVELS + edge)
        rows.append(row)
    return rows


# ---- .ICO writing

def info_header(bits, size=SIZE):
    # biHeight counts the colour rows and the mask rows together.
    return struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, 0, 0)


def mask_rows(opaque_rows):
    """AND mask, bottom row first: bit 1 where the pixel is transparent; each row
    padded to a multiple of 32 pixels."""
    data = b""
    for row in reversed(opaque_rows):
        padded = list(row) + [False] * (-len(row) % 32)
        bits = 0
        for opaque in padded:
            bits = (bits << 1) | (0 if opaque else 1)
        data += bits.to_bytes(len(padded) // 8, "big")
    return data


def icon_file(images):
    """images: (size, bits, data) for each image of the icon."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, _, data in images)


def alpha_image(rows):
    """A 32-bit image with its AND mask, as an icon holds it."""
    size = len(rows)
    colour = b"".join(bytes(pixel) for row in reversed(rows) for pixel in row)
    mask = mask_rows([[pixel[3] > 0 for pixel in row] for row in rows])
    return info_header(32, size) + colour + mask


def png_image(rows):
    """The same pixels as a PNG file, as an icon holds its 256-pixel image."""
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes((r, g, b, a)) for (b, g, r, a) in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


PROGRAM_ICON_SIZES = (16, 20, 24, 32, 40, 48, 256)


def program_icon():
    images = []
    for size in PROGRAM_ICON_SIZES:
        rows = render_alpha(page_sample, size)
        images.append((size, 32, png_image(rows) if size == 256 else alpha_image(rows)))
    return icon_file(images)


def folder_icon():
    return icon_file([(SIZE, 32, alpha_image(render_alpha(folder_sample)))])


def arrow_icon():
    rows = render_arrow()
    palette = arrow_palette()
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    table += bytes(4 * (256 - len(palette)))
    colour = b"".join(bytes(row) for row in reversed(rows))
    mask = mask_rows([[index != 0 for index in row] for row in rows])
    return icon_file([(SIZE, 8, info_header(8) + table + colour + mask)])


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, data in (("bookmarks.ico", program_icon()), ("import.ico", folder_icon()), ("spare.ico", arrow_icon())):
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
