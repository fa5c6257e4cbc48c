#!/usr/bin/env bash
# Runs the example workflow (workflow/config.example.yaml) with the programs of
# a build folder, in a scratch folder, then deletes one window's output and
# checks that the rerun redoes that window, its chromosome's ligation and its
# sample's concatenation only, and gives byte-identical VCFs (every window's
# seed is fixed by the plan); and that `phase --window` in one process gives
# the chromosome the workflow's jobs gave; and that a sample with nothing to
# phase in one window still gets its VCF. Exit 77 (skipped) when snakemake or bcftools is
# missing.
#   bash workflow/test_example.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
for tool in snakemake bcftools tabix; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The example's paths are relative to the repository root: the scratch folder
# mirrors it, so snakemake's own state (.snakemake/) stays out of the tree.
ln -s "$repo/workflow" "$repo/convert" "$scratch/"
ln -s "$build" "$scratch/build"
cd "$scratch"
run() {
  snakemake -s workflow/Snakefile --configfile workflow/config.example.yaml --cores 2 "$@" \
    > "$scratch/snakemake.log" 2>&1 || { cat "$scratch/snakemake.log"; exit 1; }
}
fail() {
  echo "FAIL: $*"
  exit 1
}

run
for sample in HG01500 HG01500_half; do
  [ -s "results/$sample.phased.vcf.gz" ] && [ -s "results/$sample.phased.vcf.gz.tbi" ] ||
    fail "no phased, indexed VCF for $sample"
  contigs=$(bcftools index -s "results/$sample.phased.vcf.gz" | cut -f1,3 | tr '\t\n' ': ')
  [ "$contigs" = "20:300 21:300 " ] || fail "$sample: records per contig '$contigs', expected 300 on 20 and 21"
done
windows=$(ls results/HG01500/20/window*.vcf.gz | wc -l)
[ "$windows" -ge 2 ] || fail "expected several windows per contig, found $windows"

# The jobs split the work of one windowed run: its output is the same.
build/velta-convert phase --vcf workflow/example/HG01500.vcf.gz --sample HG01500 \
  --bam workflow/example/HG01500.bam --panel convert/example/panel.vcf.gz --region 20 \
  --window 150 --overlap 40 --seed 1 -n 100 -m 20 -v 0 --out one.vcf.gz > one.log
cmp -s <(bcftools view -H one.vcf.gz) <(bcftools view -H results/HG01500/20.vcf.gz) ||
  fail "phase --window in one process differs from the workflow's windows ligated"

# Everything but the deleted window's chain must stay untouched.
sleep 1
find results -name '*.vcf.gz' -newer results/windows/20.tsv -printf '%p %T@\n' | sort > before.txt
cp results/HG01500.phased.vcf.gz first.vcf.gz
rm results/HG01500/20/window1.vcf.gz
run
find results -name '*.vcf.gz' -printf '%p %T@\n' | sort > after.txt
changed=$(comm -13 before.txt after.txt | cut -d' ' -f1 | tr '\n' ' ')
expected="results/HG01500.phased.vcf.gz results/HG01500/20.vcf.gz results/HG01500/20/window1.vcf.gz "
[ "$changed" = "$expected" ] || fail "rerun redid '$changed', expected '$expected'"
cmp -s first.vcf.gz results/HG01500.phased.vcf.gz || fail "the rerun changed HG01500's phased VCF"
# A sample with nothing to phase in one window (its heterozygous calls there
# made homozygous) still gets its VCF: the window's job writes its records
# unphased, and the chromosome's phase sets do not join across it.
read -r from to <<< "$(awk -F'\t' '$1 == 1 { split($2, r, "[:-]"); print r[2], r[3] }' results/windows/20.tsv)"
bcftools view -r 20 workflow/example/HG01500.vcf.gz |
  awk -v f="$from" -v t="$to" 'BEGIN { OFS = "\t" } !/^#/ && $2 >= f && $2 <= t && $10 == "0/1" { $10 = "0/0" } { print }' |
  bgzip > gap.vcf.gz
tabix -p vcf gap.vcf.gz
printf 'name\tbam\tvcf\nHG01500\tworkflow/example/HG01500.bam\tgap.vcf.gz\n' > gap.tsv
printf 'samples: gap.tsv\npanels:\n  "20": convert/example/panel.vcf.gz\nresults: gap\nwindow: 150\noverlap: 40\nphase_options: "-n 100 -m 20"\n' > gap.yaml
snakemake -s workflow/Snakefile --configfile gap.yaml --cores 2 > gap.log 2>&1 || { cat gap.log; fail "the run with a window without heterozygous calls failed"; }
grep -q "nothing to phase" gap/logs/HG01500/20/window1.log || fail "window 1 of the gap run does not say it had nothing to phase"
grep -q " 1 windows without a phased SNP" gap/logs/HG01500/20.ligate.log || fail "the gap run's ligation does not count the unphased window"
sets=$(bcftools query -i 'GT="het" && FMT/PS!="."' -f '[%PS]\n' gap/HG01500.phased.vcf.gz | sort -u | wc -l)
[ "$sets" -ge 2 ] || fail "the gap run's chromosome has $sets phase set(s); the gap must start a new one"
echo "workflow example: $windows windows per contig, rerun redid one window, its ligation and concatenation; a window with nothing to phase passed through"
