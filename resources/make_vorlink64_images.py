#!/usr/bin/env python3
"""Draws the images of Vorlink64.dll: icon groups 154 to 156 (32 x 32 and
16 x 16, 24 bits per pixel). The menu's icon (158) is Vellumo.exe's own,
vellumo.ico.

Run from this folder; the outputs are committed beside it.
"""
import struct

GOLD = (0xE8, 0xB0, 0x20)
DARK = (0x50, 0x38, 0x10)
BLUE = (0x20, 0x60, 0xC0)
WHITE = (0xFF, 0xFF, 0xFF)
GREY = (0x80, 0x80, 0x80)
LINE = (0x90, 0xB0, 0xE0)


def padlock(u, v):
    """A padlock filling the unit square, or None outside it."""
    if 0.18 <= u <= 0.82 and 0.45 <= v <= 0.92:
        edge = u < 0.24 or u > 0.76 or v < 0.51 or v > 0.86
        hole = (u - 0.5) ** 2 + (v - 0.64) ** 2 < 0.07 ** 2 or (abs(u - 0.5) < 0.03 and 0.64 <= v <= 0.8)
        return DARK if edge or hole else GOLD
    r = ((u - 0.5) ** 2 + (v - 0.45) ** 2) ** 0.5
    if v < 0.45 and 0.15 <= r <= 0.28:
        return DARK if r > 0.23 else GREY
    return None


def module_icon(u, v):
    return padlock(u, v) or (BLUE if 0.04 <= u <= 0.96 and 0.04 <= v <= 0.96 else None)


def document_icon(u, v):
    if not (0.15 <= u <= 0.85 and 0.04 <= v <= 0.96) or u - 0.6 > v - 0.04:
        return None
    lock = padlock((u - 0.4) / 0.5, (v - 0.45) / 0.5)
    if lock:
        return lock
    if u < 0.19 or u > 0.81 or v < 0.08 or v > 0.92 or abs(u - 0.6 - (v - 0.04)) < 0.04:
        return GREY
    if 0.25 <= u <= 0.7 and int(v * 10) % 2 == 0 and v < 0.45:
        return LINE
    return WHITE


def overlay_icon(u, v):
    # Lower left quarter, where the shell expects overlay marks.
    return padlock(u / 0.5, (v - 0.5) / 0.5) if u < 0.5 and v >= 0.5 else None


def icon_image(draw, size):
    pixels = bytearray()
    mask = bytearray()
    row_mask_bytes = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        bits = bytearray(row_mask_bytes)
        for x in range(size):
            c = draw((x + 0.5) / size, (y + 0.5) / size)
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = (0, 0, 0)
            row += bytes((c[2], c[1], c[0]))
        row += bytes((-len(row)) % 4)
        pixels += row
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 24, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def write_icon(name, draw):
    images = [icon_image(draw, s) for s in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(image), offset)
        offset += len(image)
    with open(name, 'wb') as f:
        f.write(out + b''.join(images))


write_icon('vorlink64_module.ico', module_icon)
write_icon('vorlink64_document.ico', document_icon)
write_icon('vorlink64_overlay.ico', overlay_icon)
