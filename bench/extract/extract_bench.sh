#!/usr/bin/env bash
# extract_bench.sh: times each unpacker stub that this host runs (x86 and x64, or x64 alone
# where the host runs 64-bit code only) extracting two archives under Wine, next to Info-ZIP
# unzip and 7-Zip extracting the same ZIP natively, in one run:
#   big    one deflated file of about 200 MB of real files from this machine, concatenated
#   many   10,000 small files
#   7k, 70k  7,000 and 70,000 files of 60-250 bytes (70,000 needs the Zip64 end records): the
#          time per entry, which must not grow with the count
#   mid    the first 100 MB of big's data, once plain and once encrypted with AES-256 (the
#          stub given the password with /P=): the cost of decryption and authentication
# and reads the stub's peak memory (the Wine process's VmHWM) for a small and the big archive,
# to show that it does not grow with the archive. Needs `make build`; runs its own Wine session.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
mksfx=$repo/build/native/bin/mksfx
work=$repo/build/bench/extract
[ -x "$mksfx" ] || { echo "build the native preset first (make build)" >&2; exit 1; }
mkdir -p "$work"

if [ ! -f "$work/data.done" ]; then
  rm -rf "$work/big" "$work/many" "$work/small" "$work/one"
  mkdir -p "$work/big" "$work/many" "$work/small" "$work/one"
  echo "one small file" > "$work/one/one.txt"
  # ~200 MB of binaries and text, in a fixed order (head ends the pipe early: no pipefail).
  set +o pipefail
  { find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size -16M; find /usr/share/doc -type f; } \
    2>/dev/null | sort | while IFS= read -r f; do cat "$f"; done | head -c 200000000 \
    > "$work/big/mixed.bin"
  set -o pipefail
  head -c 10000000 "$work/big/mixed.bin" > "$work/small/mixed.bin"
  # 10,000 files of 1-4 KB cut from the same data, in 100 folders.
  python3 - "$work/big/mixed.bin" "$work/many" <<'PY'
import os, sys
data = open(sys.argv[1], 'rb').read(64 << 20)
for i in range(10000):
    folder = os.path.join(sys.argv[2], 'd%02d' % (i % 100))
    os.makedirs(folder, exist_ok=True)
    start = (i * 6151) % (len(data) - 4096)
    with open(os.path.join(folder, 'f%05d.txt' % i), 'wb') as f:
        f.write(data[start:start + 1024 + (i * 37) % 3072])
PY
  touch "$work/data.done"
fi

if [ ! -d "$work/70k" ]; then
  python3 - "$work" <<'PY'
import os, sys
for count in (7000, 70000):
    root = os.path.join(sys.argv[1], '%dk' % (count // 1000))
    for i in range(count):
        folder = os.path.join(root, 'd%03d' % (i // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'f%05d.txt' % i), 'w') as f:
            f.write(('entry %d of %d\n' % (i, count)) * (4 + i % 12))
PY
fi

if [ ! -f "$work/mid/mixed.bin" ]; then
  mkdir -p "$work/mid"
  head -c 100000000 "$work/big/mixed.bin" > "$work/mid/mixed.bin"
fi

source "$repo/scripts/wine-env"
archs=x64
[ "$WINE_RUNS_32BIT" = 1 ] && archs="x86 x64"
for arch in x86 x64; do
  if [ ! -f "$work/mid-aes-$arch.exe" ]; then
    dest=$(echo "Z:$work/out-mid" | tr / '\\')
    "$mksfx" --arch $arch --level 6 --auto --overwrite --folder "$dest" --password secret \
      -o "$work/mid-aes-$arch.exe" "$work/mid" >/dev/null
  fi
done
for set in big many 7k 70k small one mid; do
  for arch in x86 x64; do
    if [ ! -f "$work/$set-$arch.exe" ]; then
      dest=$(echo "Z:$work/out-$set" | tr / '\\')
      "$mksfx" --arch $arch --level 6 --auto --overwrite --folder "$dest" -o "$work/$set-$arch.exe" \
        "$work/$set" >/dev/null
    fi
  done
  # The native tools open the self-extractor itself: mksfx counts its offsets from the file's
  # start, as `zip -A` does.
  [ -f "$work/$set.zip" ] || cp "$work/$set-x86.exe" "$work/$set.zip"

done

timed() {  # timed COMMAND...: "seconds peak-kB" of the command
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  printf '%.2f %s' "$(echo "$end - $start" | bc)" "$(tail -1 "$work/time.txt")"
}

run_all() {
  # Without a window manager Wine waits about 2 s whenever a window hides; the stubs here are
  # told to manage their windows themselves, as on a desktop.
  for set in big many 7k 70k small one mid mid-aes; do
    for arch in x86 x64; do
      "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$set-$arch.exe\\X11 Driver" /v Managed \
        /d N /f >/dev/null 2>&1
    done
  done
  for arch in $archs; do
    echo "== the $arch stub"
    read -r empty_s _ <<< "$(timed "$WINE" "$work/one-$arch.exe")"
    rm -rf "$work/out-one"
    echo "a one-file archive takes ${empty_s} s: Wine's start-up and the dialog"
    printf '%-6s %10s %10s %10s %12s %12s %10s\n' set stub_s unzip_s 7z_s stub/unzip stub/7z stub_kB
    local big_kb=
    local per_entry=()
    for set in big many 7k 70k; do
      rm -rf "$work/out-$set"; sync
      read -r stub_s stub_kb <<< "$(timed "$WINE" "$work/$set-$arch.exe")"
      [ -d "$work/out-$set" ] || { echo "the stub extracted nothing for $set" >&2; exit 1; }
      rm -rf "$work/out-$set"; sync
      read -r unzip_s _ <<< "$(timed unzip -o -q "$work/$set.zip" -d "$work/out-$set")"
      rm -rf "$work/out-$set"; sync
      read -r sevenz_s _ <<< "$(timed 7z x -tzip -y "-o$work/out-$set" "$work/$set.zip")"
      rm -rf "$work/out-$set"
      [ "$set" = big ] && big_kb=$stub_kb
      printf '%-6s %10s %10s %10s %12.2f %12.2f %10s\n' "$set" "$stub_s" "$unzip_s" "$sevenz_s" \
        "$(echo "$stub_s / $unzip_s" | bc -l)" "$(echo "$stub_s / $sevenz_s" | bc -l)" "$stub_kb"
      case $set in
        7k | 70k)
          local entries=$((${set%k} * 1000))
          per_entry+=("$(printf '%s entries: stub %.0f us, unzip %.0f us per entry (Wine start-up of %s s taken off the stub)' \
            "$entries" "$(echo "($stub_s - $empty_s) * 1000000 / $entries" | bc -l)" \
            "$(echo "$unzip_s * 1000000 / $entries" | bc -l)" "$empty_s")")
          ;;
      esac
    done
    printf '%s\n' "${per_entry[@]}"
    rm -rf "$work/out-small"
    read -r _ small_kb <<< "$(timed "$WINE" "$work/small-$arch.exe")"
    rm -rf "$work/out-small"
    echo "stub peak memory (the Wine process's maximum resident set): 10 MB archive ${small_kb} kB," \
      "200 MB archive ${big_kb} kB"
    local plain_s aes_s
    rm -rf "$work/out-mid"; sync
    read -r plain_s _ <<< "$(timed "$WINE" "$work/mid-$arch.exe")"
    rm -rf "$work/out-mid"; sync
    read -r aes_s _ <<< "$(timed "$WINE" "$work/mid-aes-$arch.exe" /P=secret)"
    cmp -s "$work/out-mid/mixed.bin" "$work/mid/mixed.bin" ||
      { echo "the AES stub's output differs" >&2; exit 1; }
    rm -rf "$work/out-mid"
    echo "100 MB entry: plain ${plain_s} s, AES-256 ${aes_s} s: AES runs at" \
      "$(printf '%.2f' "$(echo "$plain_s / $aes_s" | bc -l)")x the plain speed"
  done
}

if [ "$WINE_RUNS_32BIT" != 1 ]; then
  echo "this host runs 64-bit Windows programs only: the x86 stub is not measured"
fi
export -f timed run_all
export work archs
"$repo/scripts/with-wine" bash -c run_all
