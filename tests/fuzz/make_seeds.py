#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: small archives, well-formed and broken
in each way the reader must survive. Rerun after changing it:
    python3 tests/fuzz/make_seeds.py tests/fuzz/corpus"""
import os
import struct
import sys
import zlib


def record(name, typ, unpacked, packed, offset):
    return name.ljust(40, b'\0')[:40] + struct.pack('<IIII', typ, unpacked, packed, offset)


def archive(entries, modes=0, count=None, tail=b''):
    """entries: (name, type, payload, overrides) with overrides of the record's fields."""
    at = 16 + 56 * len(entries)
    dirbytes, blobs = b'', b''
    for name, typ, payload, over in entries:
        packed = over.get('blob', zlib.compress(payload, 9))
        dirbytes += record(name, typ, over.get('unpacked', len(payload)),
                           over.get('packed', len(packed)), over.get('offset', at))
        blobs += packed
        at += len(packed)
    n = len(entries) if count is None else count
    return b'ZARD' + struct.pack('<III', 1, modes, n) + dirbytes + blobs + tail


def mesh(n, floats=None, word=0):
    floats = 9 * n if floats is None else floats
    return struct.pack('<II', n, word) + b''.join(struct.pack('<f', i * 0.25) for i in range(floats))


def pic(tx, ty, w, h, pixels=None):
    pixels = 3 * w * h * tx * ty if pixels is None else pixels
    return struct.pack('<IIII', tx, ty, w, h) + bytes((i * 7) & 255 for i in range(pixels))


SEEDS = {
    'all_kinds': archive([(b'ferretoid', 15, mesh(2), {}), (b'logo', 16, pic(2, 1, 4, 2), {}),
                          (b'helmet', 32, b'HELLO DEMO', {}), (b'blob', 33, b'\0\1\2', {})]),
    'raw_reads': archive([(b'helmet', 32, b'TEXT', {}), (b'ferretoid', 15, mesh(1), {})], modes=0x5),
    'case_flipped': archive([(b'helmet', 32, b'TEXT', {}), (b'Helmet', 32, b'text', {})], modes=0xf),
    'case_missing': archive([(b'helmet', 32, b'TEXT', {})], modes=0x3),
    'wrong_types': archive([(b'ferretoid', 15, mesh(1), {}), (b'ferretoid', 16, pic(1, 1, 1, 1), {}),
                            (b'bootpic', 16, pic(1, 1, 1, 1), {})], modes=0x2a),
    'empty_directory': archive([]),
    'empty_entries': archive([(b'none', 15, mesh(0), {}), (b'dot', 16, pic(1, 1, 1, 1), {}),
                              (b'nothing', 32, b'', {})]),
    'size_too_large': archive([(b'water', 32, b'abc', {'unpacked': 1000})]),
    'size_too_small': archive([(b'water', 32, b'abcdef', {'unpacked': 2})]),
    'zero_packed': archive([(b'zero', 32, b'', {'packed': 0})]),
    'bad_zlib': archive([(b'junk', 32, b'x' * 10, {'blob': b'not a zlib stream'})]),
    'past_end': archive([(b'past', 32, b'hello', {'packed': 40})]),
    'short_header': b'ZARD\1\0\0\0\0',
    'short_magic': b'ZAR',
    'directory_too_big': archive([(b'a', 32, b'x', {})], count=5),
    'unterminated_name': archive([(b'ok', 32, b'fine', {}), (b'q' * 40, 0x21212121, b'zz', {})]),
    'mesh_short': archive([(b'm', 15, mesh(3, floats=20), {}), (b'h', 15, b'\1\0', {})]),
    'pic_short': archive([(b'p', 16, pic(2, 2, 4, 4, pixels=10), {}), (b'h', 16, b'\1\0\0\0', {})]),
    'pic_overflow': archive([(b'p', 16, pic(0x10000, 0x10000, 1, 1, pixels=3), {}),
                             (b'q', 16, pic(0x80000000, 0x80000000, 0x80000000, 0x80000000, pixels=3), {})]),
    'pic_no_pixels': archive([(b'p', 16, pic(0xffffffff, 0xffffffff, 0, 0), {}),
                              (b'q', 16, pic(1000, 1, 0, 32), {})]),
}

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'corpus')
os.makedirs(out, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(out, name + '.zar'), 'wb') as f:
        f.write(data)
