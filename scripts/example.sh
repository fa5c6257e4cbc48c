#!/usr/bin/env bash
# Builds velta and phases the example individual in example/: with the
# 100-haplotype panel (inference), then from its long reads alone (assembly),
# and scores both against the individual's true haplotypes; then phases the same
# individual from its calls and BAM in convert/example/ in one command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target velta velta-compare velta-convert
./build/velta --mfile example/map.txt --sfile example/reads.txt --rfile example/panel.txt \
  --output example-inference.out.txt -n 100 -m 20
./build/velta --mfile example/assembly.map.txt --sfile example/assembly.reads.txt \
  --output example-assembly.out.txt -n 200
./build/compare/velta-compare example/truth.txt example-inference.out.txt --map example/map.txt
./build/compare/velta-compare example/assembly.truth.txt example-assembly.out.txt \
  --map example/assembly.map.txt --reads example/assembly.reads.txt
./build/velta-convert phase --vcf convert/example/HG01500.vcf.gz --sample HG01500 \
  --bam convert/example/HG01500.bam --panel convert/example/panel.vcf.gz \
  --out HG01500.phased.vcf.gz -n 100 --seed 1
