#!/usr/bin/env python3
"""Turns an MP4 written by ffmpeg (mdat before moov) into a HEIF image sequence: brands msf1/hevc,
handler 'pict', and a coding-constraints box in the hvc1 sample entry, which ffmpeg cannot write.
Usage: make-sequence.py in.mp4 out.heics"""
import struct
import sys

data = bytearray(open(sys.argv[1], 'rb').read())
CCST = struct.pack('>I4sI', 16, b'ccst', 0) + bytes([0x48, 0, 0, 0])  # intra pred used, 2 refs per picture

def boxes(start, end):
    while start < end:
        size, kind = struct.unpack('>I4s', data[start:start + 8])
        yield start, size, kind
        start += size

def find_path(start, end, path):
    """Offsets of the boxes along path, e.g. [b'moov', b'trak', ...]."""
    found = []
    for offset, size, kind in boxes(start, end):
        if kind == path[0]:
            found.append(offset)
            if len(path) == 1:
                return found
            header = {b'stsd': 16, b'hvc1': 86}.get(kind, 8)
            rest = find_path(offset + header, offset + size, path[1:])
            if rest:
                return found + rest
            found.pop()
    return None

assert data[4:8] == b'ftyp' and struct.unpack('>I', data[0:4])[0] == 28
data[8:28] = b'msf1' + bytes(4) + b'msf1iso2hevc'

hdlr = find_path(0, len(data), [b'moov', b'trak', b'mdia', b'hdlr'])
assert data[hdlr[-1] + 16:hdlr[-1] + 20] == b'vide'
data[hdlr[-1] + 16:hdlr[-1] + 20] = b'pict'

path = find_path(0, len(data), [b'moov', b'trak', b'mdia', b'minf', b'stbl', b'stsd', b'hvc1', b'hvcC'])
assert data[path[0] - 0:path[0] + 8][4:8] == b'moov' and all(data[4:8] for _ in [0])
hvcc = path[-1]
insert_at = hvcc + struct.unpack('>I', data[hvcc:hvcc + 4])[0]
for offset in path[:-1]:
    size = struct.unpack('>I', data[offset:offset + 4])[0]
    data[offset:offset + 4] = struct.pack('>I', size + len(CCST))
data[insert_at:insert_at] = CCST
open(sys.argv[2], 'wb').write(data)
