#!/usr/bin/env bash
# Memory of one window's job against the chromosome's length: the shared large
# set's calls, panel and simulated BAM tiled TILES times along chromosome 20
# (each copy shifted by 3.1 Mb, reads renamed per copy), then `velta-convert
# phase --region` of one 2,000-SNP window, the same window in the first, the
# middle and the last copy, on the untiled and the tiled files. Prints peak
# memory and CPU time of each job; equal peaks mean a window's job reads only
# what its window needs (indexed access to the calls, the panel and the BAM).
#
#   bash bench/scale/window_memory.sh [--tiles 16] [--work DIR] [--bam BAM]
#
# BAM: the large set's BAM simulated by bench/simulate_bam.py (as
# bench/phase_vs_five.sh makes it); made here when not given.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
SHARED="${VELTA_SHARED_DIR:-$ROOT/../shared}"
DATA="$SHARED/data/HG01500/large/inference"
BUILD="$ROOT/build"
TILES=16
WORK=/tmp/velta-window-memory
BAM=""
source "$ROOT/bench/options.sh"
read_options "tiles work bam" "$@"
SHIFT=3100000
mkdir -p "$WORK"
cd "$WORK"
if [ -z "$BAM" ]; then
  BAM="$WORK/large.bam"
  if [ ! -s "$BAM.bai" ]; then
    python3 "$ROOT/bench/simulate_bam.py" --map "$DATA/map.txt" --truth "$DATA/truth.txt" \
      --start 1000226 --end 3999849 --seed 1100 | samtools sort -o "$BAM" - 2>/dev/null
    samtools index "$BAM"
  fi
fi

# tile_vcf IN OUT COPIES: the records COPIES times, copy t shifted by t * SHIFT, IDs dropped.
tile_vcf() {
  local length=$((4000000 + $3 * SHIFT))
  { bcftools view -h "$1" | sed "s/^##contig=<ID=20[^>]*>/##contig=<ID=20,length=$length>/"
    for ((t = 0; t < $3; t++)); do
      bcftools view -H "$1" | awk -v s=$((t * SHIFT)) 'BEGIN { OFS = "\t" } { $2 += s; $3 = "."; print }'
    done; } | bgzip > "$2"
  tabix -f -p vcf "$2"
}
# tile_bam IN OUT COPIES: the alignments COPIES times, shifted and renamed per copy.
tile_bam() {
  local length=$((4000000 + $3 * SHIFT))
  { samtools view -H --no-PG "$1" | grep -v '^@PG' | sed "s/^@SQ\tSN:20\tLN:[0-9]*/@SQ\tSN:20\tLN:$length/"
    for ((t = 0; t < $3; t++)); do
      samtools view "$1" | awk -v s=$((t * SHIFT)) -v t=$t 'BEGIN { OFS = "\t" }
        { $1 = $1 "_" t; $4 += s; if ($8 > 0) $8 += s; print }'
    done; } | samtools view --no-PG -b -o "$2" -
  samtools index "$2"
}
for copies in 1 "$TILES"; do
  if [ ! -s "tiles$copies.bam.bai" ]; then
    tile_vcf "$DATA/target.unphased.vcf.gz" "calls$copies.vcf.gz" "$copies"
    tile_vcf "$DATA/panel.vcf.gz" "panel$copies.vcf.gz" "$copies"
    tile_bam "$BAM" "tiles$copies.bam" "$copies"
  fi
done

# The window: the sixth of the large set's plan (2,000 SNPs overlapping by 200).
"$BUILD/velta-convert" windows --vcf panel1.vcf.gz --window 2000 --overlap 200 --seed 1 \
  --out plan.tsv > /dev/null
read -r from to <<< "$(awk -F'\t' '$1 == 5 { split($2, r, "[:-]"); print r[2], r[3] }' plan.tsv)"
snps=$(awk -F'\t' '$1 == 5 { print $3 }' plan.tsv)
echo "window: 20:$from-$to of the large set ($snps panel SNPs); copies shifted by $SHIFT bp"
printf '| files | chromosome | window in copy | panel SNPs on the chromosome | peak MiB | CPU s |\n|---|---|---|---|---|---|\n'
for copies in 1 "$TILES"; do
  chromosome=$(( (4000000 + (copies - 1) * SHIFT) / 1000000 ))
  all=$(bcftools index -n "panel$copies.vcf.gz")
  copiesMeasured=$(printf '%s\n' 0 $((copies / 2)) $((copies - 1)) | sort -un)
  for t in $copiesMeasured; do
    region="20:$((from + t * SHIFT))-$((to + t * SHIFT))"
    /usr/bin/time -f "%M %U %S" -o time.txt "$BUILD/velta-convert" phase --vcf "calls$copies.vcf.gz" \
      --sample HG01500 --bam "tiles$copies.bam" --panel "panel$copies.vcf.gz" --region "$region" \
      --seed 1 -n 100 -m 20 -v 0 --out "window$copies-$t.vcf.gz" > /dev/null
    read -r peak user sys < time.txt
    awk -v c="$copies" -v ch="$chromosome" -v t="$t" -v a="$all" -v p="$peak" -v u="$user" -v s="$sys" \
      'BEGIN { printf "| %s cop%s | %s Mb | %d | %s | %.1f | %.1f |\n", c, (c == 1 ? "y" : "ies"), ch, t + 1, a, p / 1024, u + s }'
    # The same window gives the same records, whatever the chromosome's length.
    bcftools query -f '%POS\t%REF\t%ALT\t[%GT]\n' "window$copies-$t.vcf.gz" |
      awk -v s=$((t * SHIFT)) 'BEGIN { OFS = "\t" } { $1 -= s; print }' > "window$copies-$t.txt"
    cmp -s "window$copies-$t.txt" window1-0.txt ||
      echo "  (copy $((t + 1)) of $copies: genotypes differ from the untiled window's)"
  done
done
# Planning the windows is the one step that reads a whole chromosome's panel.
for copies in 1 "$TILES"; do
  /usr/bin/time -f "%M %U %S" -o time.txt "$BUILD/velta-convert" windows --vcf "panel$copies.vcf.gz" \
    --window 2000 --overlap 200 --out "plan$copies.tsv" > /dev/null
  read -r peak user sys < time.txt
  awk -v c="$copies" -v p="$peak" -v u="$user" -v s="$sys" -v w="$(grep -vc '^#' "plan$copies.tsv")" \
    'BEGIN { printf "windows (the plan), %s cop%s: %d windows, peak %.1f MiB, CPU %.1f s\n", c, (c == 1 ? "y" : "ies"), w, p / 1024, u + s }'
done
