#!/usr/bin/env bash
# server_latency.sh: where the time of many small files goes under Wine. Extracts the 10,000
# files of extract_bench.sh's "many" set silently into memory (/dev/shm, so that no disk is
# measured), with each stub this host runs, next to native `unzip`; once on a quiet machine and
# once with one CPU kept busy by a spinning process. It also reads the CPU time of the stub
# process and of the Wine server.
#
# Every file costs the stub three requests to the Wine server (create, file descriptor, close).
# On a quiet virtual machine both sides of each request wait for an idle CPU to wake; with a
# busy CPU that wake-up is gone, and what is left is Wine's own work per file.
# Needs extract_bench.sh to have made build/bench/extract/many-*.exe and many.zip.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$repo/build/bench/extract
[ -f "$work/many.zip" ] || { echo "run bench/extract/extract_bench.sh first" >&2; exit 1; }
source "$repo/scripts/wine-env"
archs=x64
[ "$WINE_RUNS_32BIT" = 1 ] && archs="x86 x64"

measure() {
  local out=/dev/shm/sfx-server-latency dest start end server_before server_after server
  dest=$(echo "Z:$out" | tr / '\\')
  server() { awk '{ print $14 + $15 }' "/proc/$(pgrep -o wineserver)/stat"; }
  "$WINE" cmd /c exit >/dev/null 2>&1  # the server and the desktop are up before the first run
  for busy in no yes; do
    local spinner=
    if [ $busy = yes ]; then
      sh -c 'while :; do :; done' &
      spinner=$!
    fi
    for arch in $archs; do
      # The x64 program under the 64-bit loader itself, so that its CPU time is that of a child.
      local loader=$WINE
      [ $arch = x64 ] && loader=/usr/lib/wine/wine64
      for round in 1 2 3; do
        rm -rf "$out"
        server_before=$(server)
        start=$(date +%s.%N)
        /usr/bin/time -f '%U %S' -o "$work/cpu.txt" "$loader" "$work/many-$arch.exe" /S "/D=$dest" \
          >/dev/null 2>&1
        end=$(date +%s.%N)
        server_after=$(server)
        [ "$(find "$out" -type f | wc -l)" = 10000 ] || { echo "files missing" >&2; exit 1; }
        read -r user system < "$work/cpu.txt"
        printf 'busy CPU %-3s %s stub %.2f s (its CPU %.2f s, the server'"'"'s %.2f s)\n' "$busy" \
          "$arch" "$(echo "$end - $start" | bc)" "$(echo "$user + $system" | bc)" \
          "$(echo "($server_after - $server_before) / $(getconf CLK_TCK)" | bc -l)"
      done
    done
    rm -rf "$out"
    start=$(date +%s.%N)
    unzip -o -q "$work/many.zip" -d "$out"
    end=$(date +%s.%N)
    printf 'busy CPU %-3s unzip %.2f s\n' "$busy" "$(echo "$end - $start" | bc)"
    rm -rf "$out"
    [ -z "$spinner" ] || kill "$spinner"
  done
}

export -f measure
export work archs
"$repo/scripts/with-wine" bash -c measure
