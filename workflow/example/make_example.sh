#!/usr/bin/env bash
# Rebuilds the workflow's example (checked in; run from the repository root
# only to regenerate it) from convert/example: two contigs and two samples.
# - Contig 21 is a copy of the 300 SNPs of contig 20 under another name (the
#   panel, the calls and the reads alike), so every rule runs per contig.
# - HG01500 has the example's reads on both contigs; HG01500_half has half of
#   its read pairs (samtools' subsampling by read name, so mates stay together,
#   about 3x) and the same calls under its own name.
# Needs samtools, bcftools and tabix (scripts/setup.sh installs them).
set -euo pipefail
out=workflow/example
src=convert/example
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "20 21" > "$tmp/rename"
bcftools annotate --rename-chrs "$tmp/rename" "$src/panel.vcf.gz" |
  sed 's/^##contig=<ID=20>/##contig=<ID=21>/' | bgzip > "$out/panel.21.vcf.gz"
tabix -f -p vcf "$out/panel.21.vcf.gz"

bcftools annotate --rename-chrs "$tmp/rename" "$src/HG01500.vcf.gz" -Oz -o "$tmp/calls21.vcf.gz"
bcftools concat "$src/HG01500.vcf.gz" "$tmp/calls21.vcf.gz" |
  sed 's/^##contig=<ID=20>/##contig=<ID=20>\n##contig=<ID=21>/' |
  grep -v '^##bcftools' | bgzip > "$out/HG01500.vcf.gz"
tabix -f -p vcf "$out/HG01500.vcf.gz"
echo HG01500_half > "$tmp/name"
bcftools reheader -s "$tmp/name" "$out/HG01500.vcf.gz" > "$out/HG01500_half.vcf.gz"
tabix -f -p vcf "$out/HG01500_half.vcf.gz"

samtools view -H "$src/HG01500.bam" | grep -v '^@PG' |
  sed 's/^@SQ\tSN:20\tLN:63025520$/@SQ\tSN:20\tLN:63025520\n@SQ\tSN:21\tLN:48129895/' > "$tmp/header.sam"
{
  cat "$tmp/header.sam"
  samtools view "$src/HG01500.bam"
  samtools view "$src/HG01500.bam" | awk 'BEGIN { OFS = "\t" } { $3 = "21"; print }'
} | samtools sort --no-PG -o "$out/HG01500.bam" -
samtools index "$out/HG01500.bam"
sed 's/SM:HG01500/SM:HG01500_half/' "$tmp/header.sam" > "$tmp/half.header.sam"
{
  cat "$tmp/half.header.sam"
  samtools view --no-PG -s 7.5 "$out/HG01500.bam"
} | samtools view --no-PG -b -o "$out/HG01500_half.bam" -
samtools index "$out/HG01500_half.bam"
