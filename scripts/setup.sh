#!/usr/bin/env bash
# Installs what building and testing velta needs on Debian 12, when missing
# (snakemake, bcftools, tabix and samtools for the workflow in workflow/).
# Extra package names given as arguments are installed too (CI adds clang,
# clang-tidy and libclang-rt-14-dev for its static checks and fuzzing).
set -euo pipefail
packages=(cmake g++ make pkg-config python3 time libgtest-dev libbenchmark-dev libhts-dev
          snakemake bcftools tabix samtools "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
