#!/usr/bin/python3
"""Walks layer 0's tag chain of a raster layer file on its own and prints the tag
numbers, then the first tag 500 payload as little-endian 32-bit words in hex."""
import struct
import sys

data = open(sys.argv[1], 'rb').read()
magic, version, _ = struct.unpack_from('<4sii', data, 0)
if magic != b'RDPR':
    sys.exit('not a raster layer file')
if version == 3:
    number, first, _, _, _ = struct.unpack_from('<5i', data, 12)
    if number != 0:
        sys.exit('layer record 0 expected at 12')
else:
    first = 12

tags, payload, seen, at = [], None, set(), first
while at:
    if at in seen or at + 12 > len(data):
        sys.exit('broken tag chain')
    seen.add(at)
    tag, offset, at = struct.unpack_from('<3i', data, at)
    tags.append(tag)
    if tag == 500 and payload is None:
        (length,) = struct.unpack_from('<i', data, offset)
        if length % 4 or offset + length > len(data):
            sys.exit('tag 500 payload outside the file')
        payload = data[offset:offset + length]

print('tags', *tags)
if payload is not None:
    words = struct.unpack('<%dI' % (len(payload) // 4), payload)
    print('words', ' '.join('%08x' % w for w in words))
