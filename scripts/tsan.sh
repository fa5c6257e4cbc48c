#!/usr/bin/env bash
# The unit and whole-program tests under ThreadSanitizer: the sampler's and the
# final phase's threads, the converter's windows run side by side. Built with
# clang (see VELTA_SANITIZE_THREAD). Leaves out the one test that fills the
# memory limit on purpose: the sanitizer's allocator ends that process with its
# own exit code instead of the program's message.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh clang libclang-rt-14-dev
CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTA_SANITIZE_THREAD=ON \
  -DVELTA_WERROR=ON
cmake --build build-tsan -j"$(nproc)" --target velta_tests
TSAN_OPTIONS=halt_on_error=1 ./build-tsan/tests/velta_tests \
  --gtest_filter=-BestPathSearch.ABackPointerTableBeyondMemoryEndsTheRunWithItsSize
