#!/bin/bash
# What an established panel phaser reaches on our leave-one-out individuals, beside velta.
#
# For every individual of a set (a folder with map.txt, panel.txt, truth.txt, reads.txt,
# reads.long.txt) three phasings are scored with velta-compare (switch rate over all
# heterozygous SNPs, the figure eval.sh prints):
#   panel   shapeit4 alone on the true genotypes (no reads);
#   pipe    the two-step pipeline: velta's read-only assembly of the individual's
#           heterozygous SNPs (true genotypes; the reads restricted to those SNPs) gives
#           phase sets, one per group of SNPs the reads connect; shapeit4 --use-PS keeps them;
#   velta   velta inference on the same files (-n 100 -m 20, each seed given).
# shapeit4 runs at its defaults (no genetic map: its constant rate), over the whole map.
# A measurement tool only: nothing in the build or its tests needs shapeit4.
#
# usage: bench/pipeline_baseline.sh [--check] [--keep DIR] [--seeds "1 2 3"] [SET...]
#   SET: small, large, holdout/small, holdout/large (default: all four), under /work/eval
#   --check  only convert and phase HG01500's shared VCFs and its own files (both sizes)
#   --keep   keep every individual's files and outputs under DIR
# Environment: VELTA, COMPARE (binaries; default build/), EVAL (default /work/eval),
# VELTA_SHARED_DIR (default /work/shared).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
velta=${VELTA:-$here/build/velta}
compare=${COMPARE:-$here/build/compare/velta-compare}
eval_root=${EVAL:-/work/eval}
shared=${VELTA_SHARED_DIR:-/work/shared}/data/HG01500

for tool in shapeit4 bcftools bgzip tabix; do
  command -v "$tool" > /dev/null || { echo "pipeline_baseline: $tool not found, skipped (apt-get install shapeit4 bcftools tabix)"; exit 0; }
done
for bin in "$velta" "$compare"; do
  [ -x "$bin" ] || { echo "pipeline_baseline: $bin missing: build first" >&2; exit 1; }
done

check=0; keep=; seeds=1; sets=()
while [ $# -gt 0 ]; do
  case $1 in
    --check) check=1 ;;
    --keep) keep=$2; shift ;;
    --seeds) seeds=$2; shift ;;
    *) sets+=("$1") ;;
  esac
  shift
done
[ ${#sets[@]} -gt 0 ] || sets=(small large holdout/small holdout/large)
if [ -n "$keep" ]; then mkdir -p "$keep"; tmp=$keep; else tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT; fi

# panel.txt -> VCF with the panel's haplotypes 2i-1, 2i as sample i, contig chr20.
panel_vcf() {  # map panel out.bcf
  awk 'NR == FNR { ref[FNR] = $5; alt[FNR] = $6; pos[FNR] = $4; id[FNR] = $2; next }
       FNR == 1 { n = length($0)
                  print "##fileformat=VCFv4.2"
                  print "##contig=<ID=chr20>"
                  print "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">"
                  h = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT"
                  for (s = 1; s <= n / 2; s++) h = h "\tP" s
                  print h }
       { line = "chr20\t" pos[FNR] "\t" id[FNR] "\t" ref[FNR] "\t" alt[FNR] "\t.\t.\t.\tGT"
         for (c = 1; c < n; c += 2)
           line = line "\t" (substr($0, c, 1) == ref[FNR] ? 0 : 1) "|" (substr($0, c + 1, 1) == ref[FNR] ? 0 : 1)
         print line }' "$1" "$2" | bcftools view -Ob -o "$3"
  bcftools index -f "$3"
}

# The individual's genotypes from truth.txt as an unphased VCF; with an assembly
# (hets.txt: het SNP numbers, phased.txt: velta's output on them, ps.txt: phase set of
# each het, 0 for none) the hets in a phase set are written phased with their PS.
target_vcf() {  # map truth out.vcf.gz [hets phased ps]
  local hets=${4:-/dev/null} phased=${5:-/dev/null} ps=${6:-/dev/null}
  awk -v hf="$hets" -v pf="$phased" -v sf="$ps" '
       BEGIN { while ((getline k < hf) > 0) { n++; het[n] = k }
               for (i = 1; i <= n; i++) { getline p < pf; getline s < sf; ph[het[i]] = p; set[het[i]] = s } }
       NR == FNR { ref[FNR] = $5; alt[FNR] = $6; pos[FNR] = $4; id[FNR] = $2; next }
       FNR == 1 { print "##fileformat=VCFv4.2"
                  print "##contig=<ID=chr20>"
                  print "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">"
                  print "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set\">"
                  print "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tT" }
       { a = (substr($0, 1, 1) == ref[FNR] ? 0 : 1); b = (substr($0, 2, 1) == ref[FNR] ? 0 : 1)
         gt = (a < b ? a "/" b : b "/" a); psv = "."
         if ((FNR in set) && set[FNR] > 0) {
           gt = (substr(ph[FNR], 1, 1) == ref[FNR] ? 0 : 1) "|" (substr(ph[FNR], 2, 1) == ref[FNR] ? 0 : 1)
           psv = set[FNR] }
         print "chr20\t" pos[FNR] "\t" id[FNR] "\t" ref[FNR] "\t" alt[FNR] "\t.\t.\t.\tGT:PS\t" gt ":" psv }
  ' "$1" "$2" | bgzip -c > "$3"
  tabix -f -p vcf "$3"
}

# A phased VCF back to haplotype text (one line per map SNP, the two haplotypes' bases).
vcf_to_txt() {  # map in.vcf.gz out.txt
  local n
  bcftools query -f '[%GT]\n' "$2" | awk 'NR == FNR { ref[FNR] = $5; alt[FNR] = $6; next }
       { split($0, g, /[|\/]/); print (g[1] == 0 ? ref[FNR] : alt[FNR]) (g[2] == 0 ? ref[FNR] : alt[FNR]) }' "$1" - > "$3"
  n=$(wc -l < "$3")
  [ "$n" -eq "$(wc -l < "$1")" ] || { echo "pipeline_baseline: $2 has $n records, $1 more" >&2; exit 1; }
}

# The individual's het SNPs (map numbers), and the reads restricted to them, renumbered
# 1..hets, a line kept when it still calls a SNP.
het_subset() {  # map truth reads hets.txt hetmap.txt hetreads.txt
  awk '{ if (substr($0, 1, 1) != substr($0, 2, 1)) print NR }' "$2" > "$4"
  awk 'NR == FNR { keep[$1] = 1; next } (FNR in keep)' "$4" "$1" > "$5"
  awk 'NR == FNR { newk[$1] = FNR; next }
       { m = 0
         for (f = 1; f < NF; f += 2)
           for (c = 1; c <= length($(f + 1)); c++)
             if (($f + c - 1) in newk) { m++; j[m] = newk[$f + c - 1]; ch[m] = substr($(f + 1), c, 1) }
         # consecutive het SNPs form one run; a run neither begins nor ends with a no-call
         s = ""; i = 1
         while (i <= m) {
           e = i; while (e < m && j[e + 1] == j[e] + 1) e++
           while (i <= e && ch[i] == "-") i++
           t = e; while (t >= i && ch[t] == "-") t--
           if (i <= t) { r = ""; for (x = i; x <= t; x++) r = r ch[x]; s = s (s == "" ? "" : " ") j[i] " " r }
           i = e + 1 }
         if (s != "") print s }' "$4" "$3" | sort -s -n -k1,1 > "$6"
}

# Phase sets: SNPs joined by a read line (both mates) form one set; the set is named by
# its first SNP's position; a SNP alone gets 0 (unphased).
phase_sets() {  # hetmap hetreads ps.txt
  awk 'function find(x) { while (par[x] != x) { par[x] = par[par[x]]; x = par[x] } return x }
       NR == FNR { pos[FNR] = $4; par[FNR] = FNR; n = FNR; next }
       { first = 0
         for (f = 1; f < NF; f += 2)
           for (c = 1; c <= length($(f + 1)); c++) {
             if (substr($(f + 1), c, 1) == "-") continue
             k = $f + c - 1
             if (first == 0) first = k
             else { a = find(first); b = find(k); if (a != b) { if (a < b) par[b] = a; else par[a] = b } } } }
       END { for (k = 1; k <= n; k++) { r = find(k); size[r]++ }
             for (k = 1; k <= n; k++) { r = find(k); print (size[r] > 1 ? pos[r] : 0) } }' "$1" "$2" > "$3"
}

switch_of() {  # truth out map -> switch rate in percent
  "$compare" "$1" "$2" --map "$3" | tail -1 | sed -E 's/.*switch_rate=([0-9.]+).*/\1/' | awk '{ printf "%.3f", $1 * 100 }'
}

shapeit() {  # target panel.bcf region out.vcf.gz log [more options]
  local in=$1 ref=$2 region=$3 out=$4 log=$5; shift 5
  nice -n 10 shapeit4 --input "$in" --reference "$ref" --region "$region" --output "$out" --log "$log.shapeit" "$@" > "$log" 2>&1 \
    || { echo "pipeline_baseline: shapeit4 failed, see $log" >&2; tail -5 "$log" >&2; exit 1; }
}

# Every call of a read file as "line: SNP:base ...", mates and runs merged, no-calls dropped.
calls_of() {  # reads
  awk '{ o = ""; for (f = 1; f < NF; f += 2) for (c = 1; c <= length($(f + 1)); c++)
           if (substr($(f + 1), c, 1) != "-") o = o " " ($f + c - 1) ":" substr($(f + 1), c, 1)
         print o }' "$1" | sort
}

# The two-step pipeline on one individual: velta's assembly of its het SNPs into phase
# sets, then shapeit4 keeping them. Writes $w/pipe.$reads.txt.
pipeline() {  # folder workdir short|long
  local d=$1 w=$2 reads=$3 rf region
  case $reads in short) rf=reads.txt ;; long) rf=reads.long.txt ;; esac
  region=chr20:$(head -1 "$d/map.txt" | cut -d' ' -f4)-$(tail -1 "$d/map.txt" | cut -d' ' -f4)
  [ -s "$w/panel.bcf" ] || panel_vcf "$d/map.txt" "$d/panel.txt" "$w/panel.bcf"
  het_subset "$d/map.txt" "$d/truth.txt" "$d/$rf" "$w/hets.txt" "$w/hetmap.$reads.txt" "$w/hetreads.$reads.txt"
  nice -n 10 "$velta" --mfile "$w/hetmap.$reads.txt" --sfile "$w/hetreads.$reads.txt" \
    --output "$w/asm.$reads.txt" --seed 1 > "$w/asm.$reads.log" 2>&1
  phase_sets "$w/hetmap.$reads.txt" "$w/hetreads.$reads.txt" "$w/ps.$reads.txt"
  target_vcf "$d/map.txt" "$d/truth.txt" "$w/target.$reads.vcf.gz" "$w/hets.txt" "$w/asm.$reads.txt" "$w/ps.$reads.txt"
  shapeit "$w/target.$reads.vcf.gz" "$w/panel.bcf" "$region" "$w/pipe.$reads.vcf.gz" "$w/pipe.$reads.log" --use-PS 0.0001
  vcf_to_txt "$d/map.txt" "$w/pipe.$reads.vcf.gz" "$w/pipe.$reads.txt"
}

if [ $check = 1 ]; then
  for size in small large; do
    d=$shared/$size/inference
    w=$tmp/HG01500.$size; mkdir -p "$w"
    region=20:$(head -1 "$d/map.txt" | cut -d' ' -f4)-$(tail -1 "$d/map.txt" | cut -d' ' -f4)
    shapeit "$d/target.unphased.vcf.gz" "$d/panel.vcf.gz" "$region" "$w/shared.vcf.gz" "$w/shared.log"
    vcf_to_txt "$d/map.txt" "$w/shared.vcf.gz" "$w/shared.txt"
    panel_vcf "$d/map.txt" "$d/panel.txt" "$w/panel.bcf"
    target_vcf "$d/map.txt" "$d/truth.txt" "$w/target.vcf.gz"
    region=chr20:${region#20:}
    shapeit "$w/target.vcf.gz" "$w/panel.bcf" "$region" "$w/ours.vcf.gz" "$w/ours.log"
    vcf_to_txt "$d/map.txt" "$w/ours.vcf.gz" "$w/ours.txt"
    het_subset "$d/map.txt" "$d/truth.txt" "$d/reads.txt" "$w/hets.txt" "$w/hetmap.txt" "$w/hetreads.txt"
    same=differ; cmp -s <(calls_of "$w/hetreads.txt") <(calls_of "$shared/$size/assembly/reads.txt") && same=same
    printf 'HG01500 %-5s shapeit4 alone: shared VCFs %s%%, our VCFs %s%%; het reads: calls %s as the assembly folder'"'"'s\n' \
      "$size" "$(switch_of "$d/truth.txt" "$w/shared.txt" "$d/map.txt")" \
      "$(switch_of "$d/truth.txt" "$w/ours.txt" "$d/map.txt")" "$same"
    for reads in short long; do
      pipeline "$d" "$w" "$reads"
      printf 'HG01500 %-5s %-5s pipeline %s%%\n' "$size" "$reads" "$(switch_of "$d/truth.txt" "$w/pipe.$reads.txt" "$d/map.txt")"
    done
  done
  exit 0
fi

printf '%-14s %-5s %-6s %5s %8s %8s %8s\n' set reads indiv hets panel pipe velta
for set in "${sets[@]}"; do
  for reads in short long; do
    case $reads in short) rf=reads.txt ;; long) rf=reads.long.txt ;; esac
    sp=0; spi=0; sv=0; n=0
    for d in "$eval_root/$set"/s*/; do
      name=$(basename "$d"); w=$tmp/${set//\//_}.$name; mkdir -p "$w"
      region=chr20:$(head -1 "$d/map.txt" | cut -d' ' -f4)-$(tail -1 "$d/map.txt" | cut -d' ' -f4)
      if [ ! -s "$w/panel.txt" ]; then  # the panel phaser alone: the same for both read types
        panel_vcf "$d/map.txt" "$d/panel.txt" "$w/panel.bcf"
        target_vcf "$d/map.txt" "$d/truth.txt" "$w/target.vcf.gz"
        shapeit "$w/target.vcf.gz" "$w/panel.bcf" "$region" "$w/panel.vcf.gz" "$w/panel.log"
        vcf_to_txt "$d/map.txt" "$w/panel.vcf.gz" "$w/panel.txt"
      fi
      pipeline "$d" "$w" "$reads"
      vs=0; nv=0
      for seed in $seeds; do
        nice -n 10 "$velta" --mfile "$d/map.txt" --sfile "$d/$rf" --rfile "$d/panel.txt" \
          --output "$w/velta.$reads.$seed.txt" -n 100 -m 20 --seed "$seed" > "$w/velta.$reads.$seed.log" 2>&1
        vs=$(bc -l <<< "$vs + $(switch_of "$d/truth.txt" "$w/velta.$reads.$seed.txt" "$d/map.txt")"); nv=$((nv + 1))
      done
      p=$(switch_of "$d/truth.txt" "$w/panel.txt" "$d/map.txt")
      q=$(switch_of "$d/truth.txt" "$w/pipe.$reads.txt" "$d/map.txt")
      v=$(bc -l <<< "$vs / $nv")
      printf '%-14s %-5s %-6s %5d %7.3f%% %7.3f%% %7.3f%%\n' "$set" "$reads" "$name" "$(wc -l < "$w/hets.txt")" "$p" "$q" "$v"
      sp=$(bc -l <<< "$sp + $p"); spi=$(bc -l <<< "$spi + $q"); sv=$(bc -l <<< "$sv + $v"); n=$((n + 1))
    done
    printf '%-14s %-5s %-6s %5s %7.3f%% %7.3f%% %7.3f%%\n' "$set" "$reads" mean "" \
      "$(bc -l <<< "$sp / $n")" "$(bc -l <<< "$spi / $n")" "$(bc -l <<< "$sv / $n")"
  done
done
