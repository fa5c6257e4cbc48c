#!/usr/bin/env bash
# Windowed against unwindowed phasing as paired comparisons: for every data set
# (the shared large set and leave-one-out individuals), seed and read file, one
# unwindowed and one windowed run with the same options (bench/windows.sh);
# prints every pair's difference in switch rate (windowed minus unwindowed, in
# percentage points) and their mean and standard deviation per read file.
#
#   bash bench/windows_paired.sh [--seeds "1 2 3"] [--options "-n 100 -m 20"]
#                                [--window 2000] [--overlap 200]
#                                [--reads "reads.txt reads.long.txt"] [--build DIR]
#                                DATA_DIR...
#
# Each DATA_DIR holds map.txt, panel.txt, truth.txt, reads.txt and
# reads.long.txt (as the shared large set's inference folder does).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SEEDS="1 2 3"
OPTIONS="-n 100 -m 20"
BUILD="$ROOT/build"
WINDOW=2000
OVERLAP=200
READS="reads.txt reads.long.txt"
while [ $# -gt 0 ]; do
  case "$1" in
    --seeds) SEEDS="$2"; shift 2 ;;
    --options) OPTIONS="$2"; shift 2 ;;
    --build) BUILD="$2"; shift 2 ;;
    --window) WINDOW="$2"; shift 2 ;;
    --overlap) OVERLAP="$2"; shift 2 ;;
    --reads) READS="$2"; shift 2 ;;
    *) break ;;
  esac
done
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
for data in "$@"; do
  name=$(basename "$(dirname "$data")")/$(basename "$data")
  bash "$ROOT/bench/windows.sh" --data "$data" --seeds "$SEEDS" --options "$OPTIONS" \
    --window "$WINDOW" --overlap "$OVERLAP" --reads "$READS" --build "$BUILD" |
    awk -v d="$name" -F'|' '$4 ~ /whole|windowed/ {
      gsub(/[ %]/, "", $2); gsub(/ /, "", $3); gsub(/ /, "", $4); gsub(/[ %]/, "", $5); gsub(/[ %]/, "", $6);
      print d, $2, $3, $4, $5, $6 }' >> "$rows"
done
printf '| data | reads | seed | in blocks: whole | windowed | difference | overall: whole | windowed | difference |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
awk '{ k = $1 " " $2 " " $3; if ($4 == "whole") { wb[k] = $5; wa[k] = $6 } else { xb[k] = $5; xa[k] = $6 } }
  END { for (k in wb) { split(k, f, " ");
          printf "| %s | %s | %s | %.2f%% | %.2f%% | %+.2f | %.2f%% | %.2f%% | %+.2f |\n", f[1], f[2], f[3],
            wb[k], xb[k], xb[k] - wb[k], wa[k], xa[k], xa[k] - wa[k] } }' "$rows" | sort
echo
awk '{ k = $1 " " $2 " " $3; if ($4 == "whole") { wb[k] = $5; wa[k] = $6 } else { xb[k] = $5; xa[k] = $6 } }
  END { for (k in wb) { split(k, f, " "); r = f[2]; n[r]++;
          db = xb[k] - wb[k]; da = xa[k] - wa[k]; sb[r] += db; qb[r] += db * db; sa[r] += da; qa[r] += da * da }
        for (r in n) { mb = sb[r] / n[r]; ma = sa[r] / n[r]
          printf "%s: %d pairs, windowed minus unwindowed: in blocks %+.3f points (sample sd %.3f), overall %+.3f points (sample sd %.3f)\n",
            r, n[r], mb, (n[r] > 1 ? sqrt((qb[r] - n[r] * mb * mb) / (n[r] - 1)) : 0), ma, (n[r] > 1 ? sqrt((qa[r] - n[r] * ma * ma) / (n[r] - 1)) : 0) } }' "$rows" | sort
