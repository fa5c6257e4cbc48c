#!/usr/bin/env bash
# Builds velta and phases the example individual in example/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target velta
./build/velta --mfile example/assembly.map.txt --sfile example/assembly.reads.txt \
  --output example-assembly.out.txt -n 200
