#!/usr/bin/env bash
# The scale test (not part of the default test run): a synthetic chromosome of
# 300,608 SNPs (the shared large region tiled 16 times, 48 Mb) with a panel of
# 1,000 copying-model haplotypes and 30x simulated short reads, phased once
# unwindowed and once window by window with the same velta options. Prints
# wall time, CPU time and peak memory of each, and the accuracy of both.
#
#   bash bench/scale/run_scale.sh [--work DIR] [--options "-n 100 -m 20"]
#                                 [--window 2000] [--overlap 200] [--seed 1]
#
# The data (about 320 MB) are built once in WORK/data and reused.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
SHARED="${VELTA_SHARED_DIR:-$ROOT/../shared}"
WORK=/tmp/velta-scale
OPTIONS="-n 100 -m 20"
WINDOW=2000
OVERLAP=200
SEED=1
source "$ROOT/bench/options.sh"
read_options "work options window overlap seed" "$@"
DATA="$WORK/data"
BUILD="$ROOT/build"
mkdir -p "$WORK"

if [ ! -s "$DATA/truth.txt" ]; then
  python3 "$ROOT/bench/scale/make_chromosome.py" --data "$SHARED/data/HG01500/large/inference" \
    --out "$DATA" --tiles 16 --haplotypes 1000 --seed 1
fi
if [ ! -s "$DATA/reads.txt" ]; then
  region=$(awk 'NR == 1 { first = $4 } END { print first, $4 }' "$DATA/map.txt")
  read -r start end <<< "$region"
  python3 "$SHARED/tools/simulate_reads.py" --map "$DATA/map.txt" --truth "$DATA/truth.txt" \
    --start "$start" --end "$end" --depth 30 --missing 0.01 --error 0.01 --seed 1100 \
    --out "$DATA/reads.txt.part"
  mv "$DATA/reads.txt.part" "$DATA/reads.txt"
fi
echo "data: $(wc -l < "$DATA/map.txt") SNPs, $(head -1 "$DATA/panel.txt" | tr -d '\n' | wc -c) panel haplotypes, $(wc -l < "$DATA/reads.txt") read pairs"

# Unwindowed: one velta process over the whole chromosome.
/usr/bin/time -v "$BUILD/velta" --mfile "$DATA/map.txt" --sfile "$DATA/reads.txt" \
  --rfile "$DATA/panel.txt" --output "$WORK/whole.txt" --seed "$SEED" -v 0 $OPTIONS \
  > "$WORK/whole.log" 2> "$WORK/whole.time"
# Windowed: one velta process per window, one after the other, then ligate.
/usr/bin/time -v python3 "$ROOT/bench/windowed_text.py" --data "$DATA" --reads reads.txt \
  --window "$WINDOW" --overlap "$OVERLAP" --seed "$SEED" --work "$WORK/windows" \
  --velta-args "$OPTIONS" --haplotypes "$WORK/windowed.txt" --build "$BUILD" \
  > "$WORK/windowed.log" 2> "$WORK/windowed.time"

timing() {  # wall seconds, user CPU seconds, peak MiB of a /usr/bin/time -v log
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i] }
    /User time/ { u = $2 } /Maximum resident/ { m = $2 / 1024 }
    END { printf "wall %.0f s, user CPU %.0f s, peak %.0f MiB", w, u, m }' "$1"
}
score() {
  "$BUILD/compare/velta-compare" "$DATA/truth.txt" "$1" --map "$DATA/map.txt" | tail -1
}
echo "options: $OPTIONS, seed $SEED; windows of $WINDOW SNPs overlapping by $OVERLAP"
echo "unwindowed: $(timing "$WORK/whole.time")"
echo "  $(score "$WORK/whole.txt")"
echo "windowed (windows in sequence, splitting and ligation included): $(timing "$WORK/windowed.time")"
echo "  $(head -1 "$WORK/windowed.log")"
echo "  $(score "$WORK/windowed.txt")"
