#!/usr/bin/env bash
# make_self_extractors.sh OUT_DIR TREE MKSFX: self-extractors of TREE (readme.txt made
# read-only) on a minimal PE32 stub (one section of code, no imports): as MKSFX makes them
# (offsets from the ZIP data), adjusted by `zip -A` (offsets from the file's start), and signed
# by osslsigncode with a self-signed certificate (a certificate table behind the ZIP data).
# A step that fails leaves its files out and the build goes on: the tests that read them fail,
# which is where a broken mksfx belongs.
set -uo pipefail
out=$1
tree=$(realpath "$2")
mksfx=$(realpath "$3")
rm -rf "$out"
mkdir -p "$out"
cd "$out"
(
  set -e
  python3 - stub.exe <<'PY'
import struct, sys
image = bytearray(0x400)
image[0:2] = b'MZ'
struct.pack_into('<I', image, 60, 0x80)
image[0x80:0x84] = b'PE\0\0'
struct.pack_into('<HHIIIHH', image, 0x84, 0x14C, 1, 0, 0, 0, 224, 0x0102)
struct.pack_into('<HBBIIIIII', image, 0x98, 0x10B, 14, 0, 0x200, 0, 0, 0x1000, 0x1000, 0x1000)
struct.pack_into('<IIIHHHHHHIIIIHHIIIIII', image, 0x98 + 28, 0x400000, 0x1000, 0x200, 4, 0, 0, 0,
                 4, 0, 0, 0x2000, 0x200, 0, 2, 0, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
image[0x178:0x180] = b'.text\0\0\0'
struct.pack_into('<IIIIIIHHI', image, 0x180, 0x200, 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
image[0x200] = 0xC3  # ret
open(sys.argv[1], 'wb').write(image)
PY
  cp -a "$tree" sfx_tree
  chmod 444 sfx_tree/readme.txt
  "$mksfx" --stub stub.exe -o sfx.exe sfx_tree >/dev/null
  cp sfx.exe sfx_file_offsets.exe
  zip -q -A sfx_file_offsets.exe
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=mksfx-test \
    -keyout signer.key -out signer.pem 2>/dev/null
  osslsigncode sign -certs signer.pem -key signer.key -in sfx.exe -out sfx_signed.exe >/dev/null
  osslsigncode verify -CAfile signer.pem sfx_signed.exe >/dev/null
)
# (Not "( ... ) || echo": errexit is ignored inside the left side of ||.)
[ $? -eq 0 ] || echo "make_self_extractors: a step failed; the tests that read its files fail" >&2
touch made
