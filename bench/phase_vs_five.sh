#!/usr/bin/env bash
# The one-command form (velta-convert phase) against the five-command form
# (panel or map, reads, velta, vcf) on the shared large set turned into calls +
# BAM: CPU time, wall time and peak memory of each, and whether both give the
# same haplotypes for the same seed. The BAM is simulated from the truth by
# bench/simulate_bam.py (and sorted and indexed with samtools).
# Usage: bash bench/phase_vs_five.sh [BUILD_DIR] [WORK_DIR] [SHARED_DIR]
# (SHARED_DIR: the shared data and tools, by default ../shared beside the repo)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
work="${2:-$(mktemp -d)}"
shared="$(cd "${3:-$here/../../shared}" && pwd)"
data="$shared/data/HG01500/large/inference"
mkdir -p "$work" && cd "$work"
seed=7
inference_opts=(-n 100 -m 20)
assembly_opts=(-n 1000)

if [ ! -s HG01500.bam.bai ]; then
  python3 "$here/simulate_bam.py" --map "$data/map.txt" --truth "$data/truth.txt" \
    --start 1000226 --end 3999849 --seed 1100 | samtools sort -o HG01500.bam - 2>/dev/null
  samtools index HG01500.bam
fi
calls="$data/target.unphased.vcf.gz"

# Runs a command under /usr/bin/time; prints "user+sys wall peakMB" of it.
measure() {
  /usr/bin/time -f "%U %S %e %M" -o time.txt "$@" >/dev/null 2>&1
  awk '{printf "%.1f %.1f %.0f", $1 + $2, $3, $4 / 1024}' time.txt
}
sum() { awk '{c += $1; w += $2; if ($3 > m) m = $3} END {printf "%.1f %.1f %.0f", c, w, m}'; }

five_inference() {
  { measure "$build/velta-convert" panel --vcf "$data/panel.vcf.gz" --keep-monomorphic --out five
    echo; measure "$build/velta-convert" reads --bam HG01500.bam --map five.map --out five.reads
    echo; measure "$build/velta" --mfile five.map --sfile five.reads --rfile five.panel \
      --output five.hap "${inference_opts[@]}" --seed $seed
    echo; measure "$build/velta-convert" vcf --map five.map --haplotypes five.hap \
      --sample HG01500 --out five.vcf.gz; echo; } | sum
}
five_assembly() {
  { measure "$build/velta-convert" map --vcf "$calls" --sample HG01500 --het-only --out five.map
    echo; measure "$build/velta-convert" reads --bam HG01500.bam --map five.map --out five.reads
    echo; measure "$build/velta" --mfile five.map --sfile five.reads --output five.hap \
      "${assembly_opts[@]}" --seed $seed
    echo; measure "$build/velta-convert" vcf --map five.map --haplotypes five.hap \
      --sample HG01500 --reads five.reads --out five.vcf.gz; echo; } | sum
}

printf "| mode | form | CPU s | wall s | peak MB | same haplotypes |\n|---|---|---|---|---|---|\n"
for mode in inference assembly; do
  rm -rf one && mkdir one
  if [ $mode = inference ]; then
    five=$(five_inference)
    one=$(measure "$build/velta-convert" phase --vcf "$calls" --sample HG01500 --bam HG01500.bam \
      --panel "$data/panel.vcf.gz" --out one.vcf.gz --keep-intermediate one \
      "${inference_opts[@]}" --seed $seed)
  else
    five=$(five_assembly)
    one=$(measure "$build/velta-convert" phase --vcf "$calls" --sample HG01500 --bam HG01500.bam \
      --out one.vcf.gz --keep-intermediate one "${assembly_opts[@]}" --seed $seed)
  fi
  same=no
  cmp -s five.hap one/haplotypes.txt && cmp -s five.map one/map.txt && cmp -s five.reads one/reads.txt && same=yes
  read -r c w m <<<"$five"; printf "| %s | five commands | %s | %s | %s | |\n" $mode "$c" "$w" "$m"
  read -r c w m <<<"$one"; printf "| %s | phase | %s | %s | %s | %s |\n" $mode "$c" "$w" "$m" $same
done
