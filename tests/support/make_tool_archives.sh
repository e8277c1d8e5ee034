#!/usr/bin/env bash
# make_tool_archives.sh OUT_DIR: archives of one small tree made by other tools (Info-ZIP zip,
# 7-Zip, Python's zipfile), for the extraction tests to unpack. OUT_DIR/tree holds the
# originals to compare with.
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out/tree/docs/empty" "$out/tree/bin"
printf 'hello from the tree\r\n' > "$out/tree/readme.txt"
seq 1 20000 | sed 's/^/line /' > "$out/tree/docs/numbers.txt"
head -c 70000 /dev/urandom > "$out/tree/bin/random.bin"
: > "$out/tree/docs/zero.txt"
touch -d '2021-06-15 10:20:30' "$out/tree/readme.txt" "$out/tree/docs/numbers.txt" \
  "$out/tree/bin/random.bin" "$out/tree/docs/zero.txt"

cd "$out/tree"
zip -q -r ../infozip.zip .
zip -q -r -P secret ../infozip_encrypted.zip .
printf 'streamed through a pipe\n' | zip -q -fz- - - | cat > ../infozip_stdin.zip  # a pipe: streamed
7z a -tzip -bd -bso0 ../7zip.zip . >/dev/null
7z a -tzip -bd -bso0 -mem=ZipCrypto -psecret ../7zip_zipcrypto.zip . >/dev/null
for bits in 128 192 256; do
  7z a -tzip -bd -bso0 -mem=AES$bits -psecret ../7zip_aes$bits.zip . >/dev/null
done
# One archive of every kind of entry: stored, deflated, ZipCrypto, AES-256 (7-Zip writes AE-2).
# Entries already in an archive keep their encryption when 7-Zip adds more.
7z a -tzip -bd -bso0 -mx0 ../7zip_mixed.zip readme.txt docs/empty >/dev/null
7z a -tzip -bd -bso0 -mx9 ../7zip_mixed.zip docs/numbers.txt >/dev/null
7z a -tzip -bd -bso0 -mem=ZipCrypto -psecret ../7zip_mixed.zip docs/zero.txt >/dev/null
7z a -tzip -bd -bso0 -mem=AES256 -psecret ../7zip_mixed.zip bin >/dev/null
# Python's zipfile: the tree, written to a file or streamed through a pipe (a data descriptor
# behind every entry), with or without force_zip64 (the 0x0001 field in the local headers).
cat > ../python_zip.py <<'PY'
import os, sys, zipfile
out, zip64 = sys.argv[1], sys.argv[2:] == ['zip64']
with zipfile.ZipFile(sys.stdout.buffer if out == '-' else out, 'w') as z:
    for root, dirs, files in os.walk('.'):
        for d in sorted(dirs):
            path = os.path.join(root, d)[2:] + '/'
            if not os.listdir(os.path.join(root, d)):
                z.writestr(zipfile.ZipInfo(path, (2021, 6, 15, 10, 20, 30)), '')
        for f in sorted(files):
            path = os.path.join(root, f)
            info = zipfile.ZipInfo.from_file(path, path[2:])
            info.compress_type = zipfile.ZIP_STORED if f.endswith('.bin') else zipfile.ZIP_DEFLATED
            with open(path, 'rb') as source, z.open(info, 'w', force_zip64=zip64) as target:
                target.write(source.read())
PY
python3 ../python_zip.py ../python.zip
python3 ../python_zip.py ../python_zip64.zip zip64
python3 ../python_zip.py - zip64 | cat > ../python_zip64_streamed.zip
# Info-ZIP's -fz: the Zip64 field in local and central records, and the Zip64 end records.
# Reading standard input it makes the entry Zip64 by itself; through a pipe it is streamed.
zip -q -r -fz ../infozip_zip64.zip .
printf 'streamed through a pipe\n' | zip -q - - | cat > ../infozip_stdin64.zip
# More entries than the end record counts, streamed: every entry's size is in the central
# directory, which only the Zip64 end records find. One name for all but the last, so that
# extracting them makes two files, not 65,537 (which takes a file system long).
python3 - <<'PY' | cat > ../python_65537.zip
import sys, warnings, zipfile
warnings.simplefilter('ignore')  # the duplicate names
with zipfile.ZipFile(sys.stdout.buffer, 'w') as z:
    for i in range(65537):
        z.writestr('last.txt' if i == 65536 else 'same.txt', '%d\n' % i)
PY

# Names in scripts that code page 949 cannot hold: Greek, an emoji, a combining mark, a CJK
# character outside 949, and Korean ones beside them, one without any ASCII character. Python
# and 7-Zip mark UTF-8 names with flag bit 11; Info-ZIP zip 3.0 on Linux stores the same bytes
# without it (host Unix).
mkdir -p "$out/unicode/αβγ"
printf 'greek\n' > "$out/unicode/αβγ/λόγος.txt"
printf 'emoji\n' > "$out/unicode/😀.txt"
printf 'combining\n' > "$out/unicode/"$'e\xcc\x81.txt'
printf 'cjk\n' > "$out/unicode/𠮷.txt"
printf 'korean\n' > "$out/unicode/한글.txt"
printf 'no ascii\n' > "$out/unicode/가나"
cd "$out/unicode"
python3 - ../python_unicode.zip <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in sorted(os.walk('.')):
        for f in sorted(files):
            path = os.path.join(root, f)
            z.write(path, path[2:])
PY
7z a -tzip -bd -bso0 ../7zip_unicode.zip . >/dev/null
zip -q -r ../infozip_unicode.zip .
cd "$out/tree"

