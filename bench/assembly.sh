#!/usr/bin/env bash
# Runs the built velta in assembly mode on the shared assembly datasets (small
# and large region, short and long reads) and prints, per run: wall time, peak
# memory, read flip draws per second (reads x iterations / wall time) and the
# phase accuracy from score.py, counting switches only inside the blocks that
# reads link.
#
#   bash bench/assembly.sh [-n ITERATIONS] [-b VELTA_BINARY] [-d SHARED_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

iterations=1000
velta=build/velta
shared=../shared
while getopts "n:b:d:" option; do
  case $option in
    n) iterations=$OPTARG ;;
    b) velta=$OPTARG ;;
    d) shared=$OPTARG ;;
    *) echo "usage: $0 [-n ITERATIONS] [-b VELTA_BINARY] [-d SHARED_DIR]" >&2; exit 1 ;;
  esac
done

data=$shared/data/HG01500
score=$shared/tools/score.py
[ -x "$velta" ] || { echo "no velta binary at $velta: build it first" >&2; exit 1; }
[ -d "$data" ] || { echo "no shared data at $data" >&2; exit 1; }
if [ ! -x /usr/bin/time ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get install -y -qq time >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-6s %-6s %7s %6s %7s %8s %9s %9s %7s %8s\n' size reads reads SNPs wall_s peak_MB \
  flips/s mismatch blocks switch%
for size in small large; do
  for kind in reads reads.long; do
    dir=$data/$size/assembly
    reads=$dir/$kind.txt
    out=$work/$size.$kind.out
    /usr/bin/time -v -o "$work/time" "$velta" --mfile "$dir/map.txt" --sfile "$reads" \
      --output "$out" -n "$iterations" -v 0 >"$work/stdout"
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' \
      "$work/time")
    peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time")
    nreads=$(sed -n 's/^Number of read : \[\([0-9]*\)\]$/\1/p' "$work/stdout")
    nsnp=$(sed -n 's/^Number of SNP : \[\([0-9]*\)\]$/\1/p' "$work/stdout")
    mismatch=$(sed -n 's/^Optimal number of mismatch : \[\([0-9]*\)\]$/\1/p' "$work/stdout")
    flips=$(awk -v r="$nreads" -v n="$iterations" -v w="$wall" \
      'BEGIN { printf "%.3g", (w > 0 ? r * n / w : 0) }')
    summary=$(python3 "$score" "$dir/truth.txt" "$out" --reads "$reads" | tail -n 1)
    blocks=$(sed -n 's/.*blocks=\([0-9]*\).*/\1/p' <<<"$summary")
    rate=$(sed -n 's/.*switch_rate=\([0-9.]*\).*/\1/p' <<<"$summary")
    length=short
    [ "$kind" = reads ] || length=long
    printf '%-6s %-6s %7s %6s %7s %8s %9s %9s %7s %8.3f\n' "$size" "$length" "$nreads" "$nsnp" \
      "$wall" "$peak" "$flips" "$mismatch" "$blocks" "$(awk -v r="$rate" 'BEGIN { print 100 * r }')"
  done
done
