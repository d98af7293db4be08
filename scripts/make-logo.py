#!/usr/bin/env python3
"""Draws Parcelwright's logo, a parcel with an arrow leaving it, as a GIF87a image of 86 x 72
pixels with a 256-colour global palette, and the desktop icons: the same drawing in transparent
squares of 48, 64, 128 and 256 pixels, as PNG. Python's standard library only.

Usage: scripts/make-logo.py [OUTPUT]          (default: src/ui/resources/logo.gif)
       scripts/make-logo.py --icons [FOLDER]  (default: data/icons, files parcelwright-SIZE.png)
"""

import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 86, 72
SUPERSAMPLE = 4  # samples per pixel along each axis, for smooth edges
LIFT = 5  # the drawing is laid out on a grid 5 pixels lower than it stands in the image

BACKGROUND = (0xE0, 0xE0, 0xE0)  # the Help window's own back colour
SHADOW = (0xC2, 0xC2, 0xC2)
OUTLINE = (0x5A, 0x3B, 0x1E)
FRONT = (0xC8, 0x92, 0x55)
TOP = (0xE2, 0xB5, 0x7E)
SIDE = (0xA6, 0x72, 0x3C)
TAPE_FRONT = (0xEE, 0xD9, 0xA8)
TAPE_TOP = (0xF6, 0xE7, 0xC2)
LABEL = (0xFA, 0xFA, 0xF5)
LABEL_LINES = (0x8A, 0x8A, 0x8A)
ARROW = (0x2E, 0x6C, 0xC4)
ARROW_EDGE = (0x1B, 0x46, 0x85)
SPEED = (0x7F, 0xA6, 0xDD)

# On a transparent desktop icon the parcel's shadow is a veil of black, not a grey patch.
ICON_SHADOW = (0, 0, 0, 0x40)
# The square of the drawing's grid that an icon shows: the drawing spans x 4..85 and y 21..70.
ICON_CENTRE = (44.5, 45.5)
ICON_SPAN = 88
ICON_SIZES = (48, 64, 128, 256)


def inside_polygon(x, y, points):
    """Even-odd rule."""
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def near_segments(x, y, segments, half_width):
    for (ax, ay), (bx, by) in segments:
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx - x, ay + t * dy - y
        if px * px + py * py <= half_width * half_width:
            return True
    return False


def outline_of(points):
    return [(points[i], points[(i + 1) % len(points)]) for i in range(len(points))]


def scene():
    """Shapes from back to front: (test, colour)."""
    front = [(8, 34), (44, 34), (44, 66), (8, 66)]
    top = [(8, 34), (44, 34), (58, 22), (22, 22)]
    side = [(44, 34), (58, 22), (58, 54), (44, 66)]
    tape_front = [(24, 34), (28, 34), (28, 66), (24, 66)]
    tape_top = [(24, 34), (28, 34), (42, 22), (38, 22)]
    label = [(11, 51), (21, 51), (21, 62), (11, 62)]
    arrow = [(60, 40), (72, 40), (72, 31), (84, 44), (72, 57), (72, 48), (60, 48)]
    silhouette = [(8, 34), (22, 22), (58, 22), (58, 54), (44, 66), (8, 66)]

    def polygon(points):
        return lambda x, y: inside_polygon(x, y, points)

    def ellipse(cx, cy, rx, ry):
        return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0

    def strokes(segments, width):
        return lambda x, y: near_segments(x, y, segments, width / 2)

    return [
        (ellipse(34, 66.5, 30, 3.5), SHADOW),
        (polygon(front), FRONT),
        (polygon(top), TOP),
        (polygon(side), SIDE),
        (polygon(tape_front), TAPE_FRONT),
        (polygon(tape_top), TAPE_TOP),
        (strokes([((44, 34), (44, 66)), ((8, 34), (44, 34)), ((44, 34), (58, 22))], 1.0),
         OUTLINE),
        (strokes(outline_of(silhouette), 1.6), OUTLINE),
        (polygon(label), LABEL),
        (strokes(outline_of(label), 0.8), LABEL_LINES),
        (strokes([((13, 54.5), (19, 54.5)), ((13, 57.5), (19, 57.5)), ((13, 60), (17, 60))],
                 0.9), LABEL_LINES),
        (strokes([((62, 30), (70, 30)), ((64, 26), (70, 26)), ((62, 60), (70, 60)),
                  ((64, 64), (70, 64))], 1.4), SPEED),
        (polygon(arrow), ARROW),
        (strokes(outline_of(arrow), 1.2), ARROW_EDGE),
    ]


def render(width, height, to_scene, background):
    """Each pixel's colour as (red, green, blue, alpha), from SUPERSAMPLE x SUPERSAMPLE samples.

    to_scene maps a point of the image to the drawing's grid; background is the colour where no
    shape is, or None for a transparent one.
    """
    shapes = scene()
    samples = SUPERSAMPLE * SUPERSAMPLE
    pixels = []
    for py in range(height):
        for px in range(width):
            total = [0, 0, 0, 0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x, y = to_scene(px + (sx + 0.5) / SUPERSAMPLE, py + (sy + 0.5) / SUPERSAMPLE)
                    colour = background
                    for test, shape_colour in shapes:
                        if test(x, y):
                            colour = shape_colour
                    if colour is None:
                        continue
                    if background is None and colour == SHADOW:
                        colour = ICON_SHADOW
                    alpha = colour[3] if len(colour) == 4 else 255
                    # Premultiplied, so that a transparent sample adds no colour to the edge.
                    for k in range(3):
                        total[k] += colour[k] * alpha
                    total[3] += alpha
            if total[3] == 0:
                pixels.append((0, 0, 0, 0))
                continue
            colour = tuple((total[k] + total[3] // 2) // total[3] for k in range(3))
            pixels.append(colour + ((total[3] + samples // 2) // samples,))
    return pixels


def logo_pixels():
    """The logo as the Help window shows it, on the window's own back colour."""
    pixels = render(WIDTH, HEIGHT, lambda x, y: (x, y + LIFT), BACKGROUND)
    return [p[:3] for p in pixels]


def icon_pixels(size):
    """The drawing centred in a transparent square of size x size pixels, for the desktop."""
    scale = ICON_SPAN / size
    left, top = ICON_CENTRE[0] - ICON_SPAN / 2, ICON_CENTRE[1] - ICON_SPAN / 2
    return render(size, size, lambda x, y: (left + x * scale, top + y * scale), None)


def quantize(pixels):
    """A 256-entry palette of the colours used (coarsened until they fit) and each pixel's index."""
    step = 1
    while True:
        coarse = [tuple(min(255, (c // step) * step + step // 2) for c in p) for p in pixels]
        used = sorted(set(coarse), key=lambda c: (-coarse.count(c), c))
        if len(used) <= 256:
            break
        step *= 2
    palette = used + [(0, 0, 0)] * (256 - len(used))
    index = {colour: i for i, colour in enumerate(used)}
    return palette, [index[c] for c in coarse]


def lzw_encode(indices, min_code_size=8):
    """GIF's variable-length LZW, codes packed least significant bit first."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, size = reset()
    emit(clear, size)
    current = b""
    for value in indices:
        candidate = current + bytes([value])
        if candidate in table:
            current = candidate
            continue
        emit(table[current], size)
        table[candidate] = next_code
        next_code += 1
        # The decoder adds each entry one code later than the encoder, so both widen the codes
        # once the entry just added no longer fits the old width.
        if next_code > (1 << size) and size < 12:
            size += 1
        if next_code == 4096:
            emit(clear, size)
            table, next_code, size = reset()
        current = bytes([value])
    if current:
        emit(table[current], size)
    emit(end, size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def gif87a(width, height, palette, indices):
    assert len(palette) == 256 and len(indices) == width * height
    data = bytearray(b"GIF87a")
    # Global colour table present, 8 bits of colour resolution, 2^(7+1) = 256 entries.
    data += struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    for colour in palette:
        data += bytes(colour)
    data += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    data.append(8)
    compressed = lzw_encode(indices)
    for start in range(0, len(compressed), 255):
        block = compressed[start:start + 255]
        data.append(len(block))
        data += block
    data.append(0)
    data.append(0x3B)
    return bytes(data)


def png(width, height, pixels):
    """An 8-bit RGBA PNG, rows unfiltered."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter type None
        for p in pixels[y * width:(y + 1) * width]:
            rows += bytes(p)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    args = sys.argv[1:]
    if args and args[0] == "--icons":
        folder = args[1] if len(args) > 1 else os.path.join(root, "data/icons")
        os.makedirs(folder, exist_ok=True)
        for size in ICON_SIZES:
            with open(os.path.join(folder, "parcelwright-%d.png" % size), "wb") as f:
                f.write(png(size, size, icon_pixels(size)))
        return
    output = args[0] if args else os.path.join(root, "src/ui/resources/logo.gif")
    palette, indices = quantize(logo_pixels())
    with open(output, "wb") as f:
        f.write(gif87a(WIDTH, HEIGHT, palette, indices))


if __name__ == "__main__":
    main()
