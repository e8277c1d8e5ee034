#!/usr/bin/env bash
# pack_bench.sh [MB]: packs one folder of real files from this machine (about MB megabytes,
# default 300: documentation text and shared libraries) with mksfx --level 9, Info-ZIP
# zip -r -9 and 7-Zip's ZIP writer at -mx=9, in one run, and prints wall time and output size
# of each with its ratio to zip.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
mb=${1:-300}
mksfx=$repo/build/native/bin/mksfx
work=$repo/build/bench/pack
input=$work/input
[ -x "$mksfx" ] || { echo "build the native preset first (make build)" >&2; exit 1; }

# The same selection every time: sorted paths, taken until the size is reached.
if [ ! -f "$work/input.done" ] || [ "$(cat "$work/input.done")" != "$mb" ]; then
  rm -rf "$work"
  mkdir -p "$input"
  limit=$((mb * 1024 * 1024))
  total=0
  while IFS= read -r file; do
    size=$(stat -c %s "$file")
    [ $((total + size)) -gt "$limit" ] && break
    target="$input/${file#/}"
    mkdir -p "$(dirname "$target")"
    cp "$file" "$target"
    total=$((total + size))
  done < <( { find /usr/share/doc /usr/share/man -type f -size -4M;
              find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size -16M; } 2>/dev/null |
            sort | awk 'NR % 2 == 1')
  echo "$mb" > "$work/input.done"
fi
files=$(find "$input" -type f | wc -l)
bytes=$(du -sb "$input" | cut -f1)
echo "input: $files files, $((bytes / 1048576)) MB ($input)"

run() {  # run NAME OUTPUT COMMAND...: wall seconds and output bytes
  local name=$1 output=$2
  shift 2
  rm -f "$output"
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  printf '%s %s %s\n' "$name" "$(echo "$end - $start" | bc)" "$(stat -c %s "$output")"
}

results=$(
  cd "$input"
  run "mksfx --level 9" "$work/out-mksfx.exe" "$mksfx" --level 9 -o "$work/out-mksfx.exe" .
  run "zip -r -9" "$work/out.zip" zip -q -r -9 "$work/out.zip" .
  run "7z a -tzip -mx=9" "$work/out-7z.zip" 7z a -tzip -mx=9 -bd "$work/out-7z.zip" .
)
zip_time=$(echo "$results" | awk '$1 == "zip" {print $(NF-1)}')
zip_size=$(echo "$results" | awk '$1 == "zip" {print $NF}')
printf '%-18s %9s %12s %10s %10s\n' tool seconds bytes "time/zip" "size/zip"
echo "$results" | while read -r line; do
  size=${line##* }
  rest=${line% *}
  time=${rest##* }
  name=${rest% *}
  printf '%-18s %9.2f %12d %10.3f %10.4f\n' "$name" "$time" "$size" \
    "$(echo "$time / $zip_time" | bc -l)" "$(echo "$size / $zip_size" | bc -l)"
done
