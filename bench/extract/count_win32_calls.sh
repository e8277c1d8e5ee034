#!/usr/bin/env bash
# count_win32_calls.sh: the Windows API calls that each stub makes per extracted file, read from
# Wine's relay trace (WINEDEBUG=+relay). Two archives of small files in one folder, 20 and 40 of
# them, are extracted silently (/S) and through the dialog (auto-extract); the difference of the
# two traces, divided by 20, is the cost of one more file in a known folder, without what a run
# costs once. Calls are counted only when made by the stub itself (return address inside its
# image), by function, and grouped: the output file, reading the archive, the window (message
# steps and progress), and text conversions (which never leave the process).
# Needs `make build`; runs its own Wine session.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
mksfx=$repo/build/native/bin/mksfx
work=$repo/build/bench/calls
[ -x "$mksfx" ] || { echo "build the native preset first (make build)" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
source "$repo/scripts/wine-env"
archs=x64
[ "$WINE_RUNS_32BIT" = 1 ] && archs="x86 x64"

for count in 20 40; do
  mkdir -p "$work/src$count/folder"
  for i in $(seq "$count"); do
    head -c $((500 + i * 37)) /usr/share/common-licenses/GPL-3 > "$work/src$count/folder/f$i.txt"
  done
  for arch in $archs; do
    dest=$(echo "Z:$work/out-dialog" | tr / '\\')
    "$mksfx" --arch "$arch" --auto --overwrite --folder "$dest" \
      -o "$work/dialog-$arch-$count.exe" "$work/src$count" >/dev/null
    "$mksfx" --arch "$arch" -o "$work/silent-$arch-$count.exe" "$work/src$count" >/dev/null
  done
done

count_calls() {  # count_calls PROGRAM TRACE: "function count" lines of the calls PROGRAM made
  python3 - "$1" "$2" <<'PY'
import collections, re, struct, sys
image = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', image, 60)[0]
magic = struct.unpack_from('<H', image, pe + 24)[0]
base = struct.unpack_from('<Q' if magic == 0x20B else '<I', image, pe + 24 + (24 if magic == 0x20B else 28))[0]
size = struct.unpack_from('<I', image, pe + 24 + 56)[0]
calls = collections.Counter()
for line in open(sys.argv[2], errors='replace'):
    m = re.match(r'[0-9a-f]+:Call ([\w.]+)\(.*\) ret=([0-9a-f]+)$', line.rstrip())
    if m and base <= int(m.group(2), 16) < base + size:
        calls[m.group(1)] += 1
for name, n in calls.items():
    print(name, n)
PY
}

run_all() {
  for arch in $archs; do
    for mode in silent dialog; do
      for count in 20 40; do
        rm -rf "$work/out-$mode"
        args=()
        [ $mode = silent ] && args=(/S "/D=$(echo "Z:$work/out-$mode" | tr / '\\')")
        WINEDEBUG=+relay "$WINE" "$work/$mode-$arch-$count.exe" "${args[@]}" \
          > /dev/null 2> "$work/trace.txt" || true
        [ "$(find "$work/out-$mode" -type f | wc -l)" = "$count" ] ||
          { echo "the $arch stub did not extract $count files ($mode)" >&2; exit 1; }
        count_calls "$work/$mode-$arch-$count.exe" "$work/trace.txt" > "$work/calls-$count.txt"
      done
      echo "== the $arch stub, $mode: calls per extracted file"
      python3 - "$work/calls-20.txt" "$work/calls-40.txt" <<'PY'
import sys
def load(p):
    return {n: int(c) for n, c in (l.split() for l in open(p))}
a, b = load(sys.argv[1]), load(sys.argv[2])
groups = [
    ('output file', ('CreateFile', 'WriteFile', 'SetFileTime', 'CloseHandle', 'SetFileAttributes',
                     'FindFirstFile', 'FindClose', 'GetFileAttributes', 'SetFileInformationByHandle',
                     'CreateDirectory', 'DeleteFile', 'FileTimeTo', 'DosDateTimeToFileTime',
                     'LocalFileTimeToFileTime')),
    ('archive', ('ReadFile', 'SetFilePointer')),
    ('window', ('PeekMessage', 'SendMessage', 'TranslateMessage', 'DispatchMessage',
                'GetTickCount')),
    ('conversion', ('MultiByteToWideChar', 'WideCharToMultiByte')),
]
per = {n: (b.get(n, 0) - a.get(n, 0)) / 20 for n in set(a) | set(b)}
shown = set()
for title, prefixes in groups:
    names = sorted(n for n in per if per[n] and n.split('.')[-1].startswith(prefixes))
    shown |= set(names)
    total = sum(per[n] for n in names)
    print('  %-11s %5.2f  %s' % (title, total, ', '.join('%s %.2g' % (n.split('.')[-1], per[n]) for n in names)))
rest = sorted(n for n in per if per[n] and n not in shown and not n.startswith('msvcrt.'))
if rest:
    print('  %-11s %5.2f  %s' % ('other', sum(per[n] for n in rest), ', '.join('%s %.2g' % (n, per[n]) for n in rest)))
PY
    done
  done
}

export -f count_calls run_all
export work archs
"$repo/scripts/with-wine" bash -c run_all
