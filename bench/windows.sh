#!/usr/bin/env bash
# Windowed against unwindowed phasing on one data set: for each seed and read
# file, one run over the whole region and one window by window
# (bench/windowed_text.py: windows of --window SNPs overlapping by --overlap,
# each with its derived seed, joined by velta-convert ligate), all with the same
# velta options; prints one row per run and the means per read file.
#
#   bash bench/windows.sh [--data DIR] [--seeds "1 2 3"] [--window 2000]
#                         [--overlap 200] [--options "-n 100 -m 20"]
#                         [--reads "reads.txt reads.long.txt"] [--work DIR]
#                         [--build DIR]
#
# Columns: switch errors within the blocks the reads link and over all
# neighbouring heterozygous SNPs (velta-compare), genotype discordance, CPU
# seconds of all velta runs, and the peak memory of the largest velta process.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DATA="${VELTA_SHARED_DIR:-$ROOT/../shared}/data/HG01500/large/inference"
SEEDS="1 2 3"
WINDOW=2000
OVERLAP=200
OPTIONS="-n 100 -m 20"
READS="reads.txt reads.long.txt"
WORK=""
BUILD="$ROOT/build"
source "$ROOT/bench/options.sh"
read_options "data seeds window overlap options reads work build" "$@"
use_scratch_work
COMPARE="$BUILD/compare/velta-compare"

field() { tr ' ' '\n' | awk -F= -v k="$1" '$1 == k { print $2 }'; }

printf '| reads | seed | run | switch in blocks | switch overall | genotype discordance | velta CPU s | peak MiB |\n'
printf '|---|---|---|---|---|---|---|---|\n'
summary=""
for reads in $READS; do
  for seed in $SEEDS; do
    for run in whole windowed; do
      name="$WORK/${reads%.txt}-$seed-$run"
      extra=()
      [ "$run" = whole ] && extra=(--whole)
      line=$(python3 "$ROOT/bench/windowed_text.py" --data "$DATA" --reads "$reads" \
        --window "$WINDOW" --overlap "$OVERLAP" --seed "$seed" --work "$name.d" --build "$BUILD" \
        --velta-args "$OPTIONS" --haplotypes "$name.txt" "${extra[@]}")
      line=${line%%$'\n'*}
      cpu=$(echo "$line" | sed 's/.*cpu \([0-9.]*\) s.*/\1/')
      peak=$(echo "$line" | sed 's/.*peak \([0-9.]*\) MiB.*/\1/')
      blocks=$("$COMPARE" "$DATA/truth.txt" "$name.txt" --map "$DATA/map.txt" \
        --reads "$DATA/$reads" | tail -1)
      overall=$("$COMPARE" "$DATA/truth.txt" "$name.txt" --map "$DATA/map.txt" | tail -1)
      inside=$(echo "$blocks" | field switch_rate)
      all=$(echo "$overall" | field switch_rate)
      geno=$(echo "$overall" | field geno_err_rate)
      awk -v r="$reads" -v s="$seed" -v run="$run" -v b="$inside" -v a="$all" -v g="$geno" \
        -v c="$cpu" -v p="$peak" 'BEGIN { printf "| %s | %s | %s | %.2f%% | %.2f%% | %.3f%% | %s | %s |\n",
        r, s, run, 100 * b, 100 * a, 100 * g, c, p }'
      summary+="$reads $run $inside $all"$'\n'
      rm -rf "$name.d"
    done
  done
done
echo
echo "Means over seeds $SEEDS:"
printf '%s' "$summary" | awk '{ k = $1 " " $2; n[k]++; b[k] += $3; a[k] += $4 }
  END { for (k in n) printf "  %-24s switch in blocks %.2f%%, overall %.2f%% (%d runs)\n",
        k, 100 * b[k] / n[k], 100 * a[k] / n[k], n[k] }' | sort
