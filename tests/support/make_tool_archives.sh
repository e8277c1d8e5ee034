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
python3 - ../python.zip <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for root, dirs, files in os.walk('.'):
        for d in sorted(dirs):
            path = os.path.join(root, d)[2:] + '/'
            if not os.listdir(os.path.join(root, d)):
                z.writestr(zipfile.ZipInfo(path, (2021, 6, 15, 10, 20, 30)), '')
        for f in sorted(files):
            path = os.path.join(root, f)
            method = zipfile.ZIP_STORED if f.endswith('.bin') else zipfile.ZIP_DEFLATED
            z.write(path, path[2:], compress_type=method)
PY

# Names in scripts that code page 949 cannot hold: Greek, an emoji, a combining mark, a CJK
# character outside 949, and a Korean one beside them. Python and 7-Zip mark UTF-8 names with
# flag bit 11; Info-ZIP zip 3.0 on Linux stores the same bytes without it (host Unix).
mkdir -p "$out/unicode/αβγ"
printf 'greek\n' > "$out/unicode/αβγ/λόγος.txt"
printf 'emoji\n' > "$out/unicode/😀.txt"
printf 'combining\n' > "$out/unicode/"$'e\xcc\x81.txt'
printf 'cjk\n' > "$out/unicode/𠮷.txt"
printf 'korean\n' > "$out/unicode/한글.txt"
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
