#!/usr/bin/env python3
# read_zip.py FILE PASSWORD FOLDER: Python's zipfile reads every entry of a whole
# self-extracting file, checking its CRC-32 and that no entry has a data descriptor (the stub
# reads none). One line per entry: "name<TAB>size<TAB>attributes<TAB>same<TAB>method", "same"
# when the data equals the file of that name below FOLDER, method 0 stored, 8 deflated. Names
# are decoded from code page 949 unless flagged UTF-8. An empty PASSWORD is none.
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    assert not i.flag_bits & 8, 'the stub reads no data descriptors'
    name = i.filename if i.flag_bits & 0x800 else i.filename.encode('cp437').decode('cp949')
    data = b'' if i.is_dir() else z.read(i, pwd=sys.argv[2].encode() or None)
    path = os.path.join(sys.argv[3], name)
    same = os.path.isdir(path) if i.is_dir() else os.path.isfile(path) and open(path, 'rb').read() == data
    print(name, len(data), oct(i.external_attr), 'same' if same else '-', i.compress_type, sep='\t')
