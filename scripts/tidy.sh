#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the program (src/), the
# comparison tool (compare/), the converter (convert/, when htslib is
# installed) and the fuzz harnesses (fuzz/); any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-tidy >/dev/null || { echo "clang-tidy is not installed" >&2; exit 1; }
# Configuring is enough: the compilation database is written at configure time.
cmake -S . -B build-tidy -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
CC=clang CXX=clang++ cmake -S fuzz -B build-tidy-fuzz -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
status=0
convert_sources=()
pkg-config --exists htslib 2>/dev/null && convert_sources=(convert/*.cpp)
printf '%s\n' src/*.cpp compare/*.cpp "${convert_sources[@]}" |
  xargs -P "$(nproc)" -n 1 clang-tidy -p build-tidy --quiet 2>/dev/null || status=1
printf '%s\n' fuzz/*.cpp |
  xargs -P "$(nproc)" -n 1 clang-tidy -p build-tidy-fuzz --quiet 2>/dev/null || status=1
if [ "$status" -ne 0 ]; then
  echo "clang-tidy: findings above" >&2
  exit 1
fi
echo "clang-tidy: no findings"
