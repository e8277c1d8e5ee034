#!/usr/bin/env bash
# five_gib_round_trip.sh MKSFX_EXE UNPACKER_EXE: a file of 5 GiB through mksfx.exe and the stub
# of UNPACKER_EXE's architecture, silently, under Wine. The input is sparse (it takes no disk
# space) with marks at its start, around 4 GiB and at its end, where 32-bit sizes, offsets or
# counters would go wrong. The output's SHA-1 is computed while reading it and compared with the
# input's; the output is deleted right after. The stub's peak memory for the 5 GiB entry must
# stay that of a 5 MiB one: the decoder streams, whatever the size. Run by CTest in a Wine
# session; exits 77 (skipped) where the host cannot run the stub.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
source "$repo/scripts/wine-env"
mksfx=$1
stub=$2
host_runs "$stub" || { echo "skipped: this host runs 64-bit code only"; exit 77; }
arch=$(pe_machine "$stub")
work=$(mktemp -d "${TMPDIR:-/tmp}/five-gib.XXXXXX")
trap 'rm -rf "$work"' EXIT
windows() { echo "Z:$1" | tr / '\\'; }

sha1() { python3 -c '
import hashlib, sys
h = hashlib.sha1()
with open(sys.argv[1], "rb") as f:
    while block := f.read(1 << 20):
        h.update(block)
print(h.hexdigest())' "$1"; }

# round_trip SIZE NAME: packs a sparse file of SIZE bytes, extracts it, compares, deletes it,
# and leaves the stub's peak resident memory (kB) in $work/NAME.kb.
round_trip() {
  local size=$1 name=$2
  mkdir -p "$work/$name/in"
  truncate -s "$size" "$work/$name/in/data.bin"
  for at in 0 $((size / 2)) $((4 << 30)) $((size - 16)); do
    [ "$at" -lt "$size" ] || continue
    printf 'mark at %8x' "$at" |
      dd of="$work/$name/in/data.bin" bs=1 seek=$((at > 8 ? at - 8 : at)) conv=notrunc status=none
  done
  echo "a small file behind it" > "$work/$name/in/small.txt"
  local expected
  expected=$(sha1 "$work/$name/in/data.bin")
  "$WINE" "$mksfx" --arch "$arch" --level 1 -o "$(windows "$work/$name/setup.exe")" \
    "$(windows "$work/$name/in")" > /dev/null
  rm -rf "$work/$name/in/data.bin"
  local status=0
  /usr/bin/time -f %M -o "$work/$name.kb" \
    "$WINE" "$work/$name/setup.exe" /S "/D=$(windows "$work/$name/out")" || status=$?
  [ "$status" = 0 ] || { echo "$name: the stub exited with $status" >&2; return 1; }
  local got
  got=$(sha1 "$work/$name/out/data.bin")
  rm -rf "$work/$name"
  [ "$got" = "$expected" ] || { echo "$name: SHA-1 $got, expected $expected" >&2; return 1; }
  echo "$name: $size bytes extracted intact, peak memory $(tail -1 "$work/$name.kb") kB"
}

round_trip $((5 << 20)) small
round_trip $((5 << 30)) big
small_kb=$(tail -1 "$work/small.kb")
big_kb=$(tail -1 "$work/big.kb")
# Wine's own resident set wanders by some hundred kB between runs; a buffer that grew with the
# entry would add gigabytes.
if [ "$big_kb" -gt $((small_kb + 2048)) ]; then
  echo "the 5 GiB entry took $big_kb kB, the 5 MiB one $small_kb kB" >&2
  exit 1
fi
