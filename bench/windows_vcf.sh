#!/usr/bin/env bash
# Windowed against unwindowed phasing through the field's files: `velta-convert
# phase` on the shared large set's calls, panel VCF and a BAM simulated from
# its truth (bench/simulate_bam.py, as bench/phase_vs_five.sh makes it), once
# over the whole region and once with --window --overlap, for each seed.
# Prints one row per seed with both switch rates (velta-compare, scored over
# the map of the run) and the paired difference, then the mean and spread.
#
#   bash bench/windows_vcf.sh [--seeds "1 2 3"] [--options "-n 100 -m 20"]
#                             [--window 2000] [--overlap 200] [--bam BAM] [--work DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SHARED="${VELTA_SHARED_DIR:-$ROOT/../shared}"
DATA="$SHARED/data/HG01500/large/inference"
BUILD="$ROOT/build"
SEEDS="1 2 3"
OPTIONS="-n 100 -m 20"
WINDOW=2000
OVERLAP=200
BAM=""
WORK=""
source "$ROOT/bench/options.sh"
read_options "seeds options window overlap bam work build" "$@"
use_scratch_work
mkdir -p "$WORK"
if [ -z "$BAM" ]; then
  BAM="$WORK/HG01500.bam"
  python3 "$ROOT/bench/simulate_bam.py" --map "$DATA/map.txt" --truth "$DATA/truth.txt" \
    --start 1000226 --end 3999849 --seed 1100 | samtools sort -o "$BAM" - 2>/dev/null
  samtools index "$BAM"
fi
# Switch rates (in blocks, overall) of a phased VCF against the truth, over the
# map and reads velta used (kept by the first unwindowed run).
score() {
  python3 -c "import sys; sys.path.insert(0, '$ROOT/bench')
from windowed_text import vcf_to_haplotypes
vcf_to_haplotypes('$1', open('$WORK/kept/map.txt').readlines(), '$1.txt')"
  local blocks overall
  blocks=$("$BUILD/compare/velta-compare" "$DATA/truth.txt" "$1.txt" --map "$WORK/kept/map.txt" \
    --reads "$WORK/kept/reads.txt" | tail -1 | tr ' ' '\n' | awk -F= '$1 == "switch_rate" { print $2 }')
  overall=$("$BUILD/compare/velta-compare" "$DATA/truth.txt" "$1.txt" --map "$WORK/kept/map.txt" |
    tail -1 | tr ' ' '\n' | awk -F= '$1 == "switch_rate" { print $2 }')
  echo "$blocks $overall"
}
printf '| seed | in blocks: whole | windowed | difference | overall: whole | windowed | difference |\n|---|---|---|---|---|---|---|\n'
rows=""
for seed in $SEEDS; do
  keep=()
  [ -s "$WORK/kept/reads.txt" ] || { mkdir -p "$WORK/kept"; keep=(--keep-intermediate "$WORK/kept"); }
  common=(--vcf "$DATA/target.unphased.vcf.gz" --sample HG01500 --bam "$BAM"
    --panel "$DATA/panel.vcf.gz" --seed "$seed" -v 0 $OPTIONS)
  "$BUILD/velta-convert" phase "${common[@]}" "${keep[@]}" --out "$WORK/whole-$seed.vcf.gz" > /dev/null
  "$BUILD/velta-convert" phase "${common[@]}" --window "$WINDOW" --overlap "$OVERLAP" \
    --out "$WORK/windowed-$seed.vcf.gz" > "$WORK/windowed-$seed.log"
  read -r wb wa <<< "$(score "$WORK/whole-$seed.vcf.gz")"
  read -r xb xa <<< "$(score "$WORK/windowed-$seed.vcf.gz")"
  rows+="$seed $wb $xb $wa $xa"$'\n'
  awk -v s="$seed" -v wb="$wb" -v xb="$xb" -v wa="$wa" -v xa="$xa" 'BEGIN {
    printf "| %s | %.2f%% | %.2f%% | %+.2f | %.2f%% | %.2f%% | %+.2f |\n", s, 100 * wb, 100 * xb,
      100 * (xb - wb), 100 * wa, 100 * xa, 100 * (xa - wa) }'
done
printf '%s' "$rows" | awk '{ n++; db = 100 * ($3 - $2); da = 100 * ($5 - $4); sb += db; qb += db * db; sa += da; qa += da * da }
  END { mb = sb / n; ma = sa / n
    printf "\n%d pairs, windowed minus unwindowed: in blocks %+.3f points (sample sd %.3f), overall %+.3f points (sample sd %.3f)\n",
      n, mb, (n > 1 ? sqrt((qb - n * mb * mb) / (n - 1)) : 0), ma, (n > 1 ? sqrt((qa - n * ma * ma) / (n - 1)) : 0) }'
