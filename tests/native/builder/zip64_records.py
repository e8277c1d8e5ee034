#!/usr/bin/env python3
# zip64_records.py FILE [entries] [data]: the Zip64 records as Python's zipfile and the raw
# bytes show them. With "entries", per entry: name, size, whether its local header lies at
# 4 GiB or beyond, version needed, the bytes of its central 0x0001 field, and from the local
# header the version needed, the two 32-bit sizes and whether its 0x0001 field holds both
# 64-bit sizes. Then the Zip64 end record (its count, where the directory lies, how far its
# locator's offset is from the record) and the end record's count and directory offset; the
# entries that zipfile finds, "all intact" when with "data" every entry's CRC-32 matches.
import struct, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
f = open(sys.argv[1], 'rb')
def fields(extra):
    out = {}
    while len(extra) >= 4:
        tag, size = struct.unpack('<HH', extra[:4])
        out[tag], extra = extra[4:4 + size], extra[4 + size:]
    return out
for i in z.infolist() if 'entries' in sys.argv else []:
    f.seek(i.header_offset)
    need, csize, usize, n, m = struct.unpack('<4xH12xIIHH', f.read(30))
    f.seek(n, 1)
    local = fields(f.read(m)).get(1)
    both = local == struct.pack('<QQ', i.file_size, i.compress_size)
    where = '4GiB+' if i.header_offset >= 1 << 32 else 'low'
    print(i.filename, i.file_size, where, i.extract_version, len(fields(i.extra).get(1, b'')),
          '|', need, hex(csize), hex(usize), 'both' if both else local)
end = f.seek(0, 2)
f.seek(end - 42)
locator = f.read(20)
if locator[:4] == b'PK\x06\x07':
    f.seek(end - 98)
    count, at = struct.unpack('<32xQ8xQ', f.read(56))
    off = end - 98 - struct.unpack('<8xQ4x', locator)[0]
    print(f"zip64 end: {count} entries, directory {'4GiB+' if at >= 1 << 32 else 'low'}, "
          f"locator off by {off}")
f.seek(end - 22)
count, offset = struct.unpack('<10xH4xI2x', f.read(22))
at = hex(offset) if offset == 0xFFFFFFFF else 'its offset'
print('end:', hex(count), 'entries, directory at', at)
intact = 'data' in sys.argv and z.testzip() is None
print(f"{len(z.infolist())} entries{', all intact' if intact else ''}")
