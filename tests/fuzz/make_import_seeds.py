#!/usr/bin/env python3
"""Writes the seed corpora of the archive tool's importer fuzz targets: small
PNG files of every colour type, bit depth and interlacing, with and without
the chunks the importer skips, some broken; and OBJ texts. Rerun after
changing it:
    python3 tests/fuzz/make_import_seeds.py tests/fuzz"""
import os
import struct
import sys
import zlib


def chunk(kind, data, length=None):
    n = len(data) if length is None else length
    return struct.pack('>I', n) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)


SIG = b'\x89PNG\r\n\x1a\n'
SAMPLES = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}   # colour type: samples a pixel


def raw_rows(w, h, colour, depth, pass_rows=None):
    """Filter byte 0 then the samples, for a plain (non-interlaced) image."""
    bits = SAMPLES[colour] * depth
    row_bytes = (w * bits + 7) // 8
    out = b''
    for y in range(h):
        out += bytes([y % 5]) + bytes(((x * 29 + y * 7) & 255) for x in range(row_bytes))
    return out


def adam7_rows(w, h, colour, depth):
    """The seven passes of an interlaced image, each with its own rows."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    out = b''
    for x0, y0, dx, dy in passes:
        pw, ph = (w - x0 + dx - 1) // dx, (h - y0 + dy - 1) // dy
        if pw > 0 and ph > 0:
            out += raw_rows(pw, ph, colour, depth)
    return out


def png(w, h, colour, depth, interlace=0, extra=b'', palette=0, idat=None, tail=b''):
    head = SIG + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, colour, 0, 0, interlace))
    if palette:
        head += chunk(b'PLTE', bytes((i * 37 + k * 91) & 255 for i in range(palette) for k in range(3)))
    if idat is None:
        rows = adam7_rows(w, h, colour, depth) if interlace else raw_rows(w, h, colour, depth)
        idat = zlib.compress(rows, 9)
    return head + extra + chunk(b'IDAT', idat) + chunk(b'IEND', b'') + tail


def png_seeds():
    seeds = {}
    for colour, depths in ((0, (1, 2, 4, 8, 16)), (2, (8, 16)), (3, (1, 2, 4, 8)), (4, (8, 16)), (6, (8, 16))):
        for depth in depths:
            for interlace in (0, 1):
                palette = 1 << min(depth, 8) if colour == 3 else 0
                seeds['c%d_d%d_i%d' % (colour, depth, interlace)] = png(5, 3, colour, depth, interlace,
                                                                        palette=palette)
    skipped = (chunk(b'gAMA', struct.pack('>I', 100000)) + chunk(b'sRGB', b'\0') +
               chunk(b'tEXt', b'Title\0brass') + chunk(b'zTXt', b'c\0\0' + zlib.compress(b'zz')) +
               chunk(b'pHYs', struct.pack('>IIB', 2835, 2835, 1)) + chunk(b'sBIT', b'\5\6\5') +
               chunk(b'prVt', b'private chunk'))
    seeds['skipped_chunks'] = png(4, 4, 2, 8, extra=skipped)
    seeds['palette_trns'] = png(4, 4, 3, 8, palette=16, extra=chunk(b'tRNS', b'\0\x80'))
    seeds['one_pixel'] = png(1, 1, 2, 8)
    seeds['wide'] = png(300, 1, 2, 8)
    seeds['too_big'] = png(30000, 30000, 2, 8, idat=zlib.compress(b'\0' * 50))
    seeds['rows_missing'] = png(64, 64, 2, 8, idat=zlib.compress(b'\0' * 50))
    seeds['text_2gib'] = SIG + chunk(b'IHDR', struct.pack('>IIBBBBB', 4, 4, 8, 2, 0, 0, 0)) + \
        chunk(b'tEXt', b'a', 0x7fffffff)
    seeds['bad_crc'] = png(4, 4, 2, 8)[:-5] + b'\0\0\0\0\0'
    seeds['bad_zlib'] = png(4, 4, 2, 8, idat=b'not zlib at all')
    seeds['truncated'] = png(8, 8, 6, 16)[:60]
    seeds['trailing_bytes'] = png(2, 2, 0, 8, tail=b'after the end')
    seeds['bad_depth'] = png(4, 4, 2, 4)
    return seeds


OBJ = {
    'quad_and_triangle': 'o shape\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.5\nvn 0 0 1\nvt 0 0\n'
                         'f 1/1/1 2/1/1 3/1/1 4/1/1\nv 2 2 2\nf -1 -2 -3\n',
    'comments_groups': '# made by hand\r\nmtllib m.mtl\r\ng a\r\nusemtl red\r\ns off\r\nv 0 0 0\r\n'
                       'v 0 1 0\r\nv 1 0 0 1.0\r\nf 1//1 2//1 3//1\r\n',
    'fan': 'v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv -1 1 0\nv -1 0 0\nf 1 2 3 4 5 6\n',
    'exponents': 'v 1e-3 -2.5E+2 .5\nv 3 4 5\nv -0 +1 1e30\nf 3 2 1\n',
    'no_faces': 'v 0 0 0\nv 1 1 1\n',
    'forward_index': 'v 0 0 0\nf 1 2 3\nv 1 0 0\nv 0 1 0\n',
    'two_corners': 'v 0 0 0\nv 1 0 0\nf 1 2\n',
    'unknown': 'v 0 0 0\nfoo 1 2 3\n',
    'huge_number': 'v 1e39 0 0\n',
    'zero_index': 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n',
}


def main():
    base = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for sub, seeds, suffix in (('png_corpus', png_seeds(), '.png'),
                               ('obj_corpus', {k: v.encode() for k, v in OBJ.items()}, '.obj')):
        os.makedirs(os.path.join(base, sub), exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(base, sub, name + suffix), 'wb') as f:
                f.write(data)


main()
