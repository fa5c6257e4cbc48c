#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang, then runs each one on its
# seed corpus and regression inputs (replayed first) and fuzzes it for the
# given number of seconds (default 60), two harnesses at a time. Inputs that
# fail are kept in build-fuzz/findings/ and printed in base64.
# usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz >/dev/null
cmake --build build-fuzz -j"$(nproc)"
findings=$root/build-fuzz/findings
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$findings"

declare -A maxLen=([map_loader]=4096 [read_line]=8192 [read_file]=8192 [panel_loader]=8192
                   [command_line]=1024)

fuzzOne() {
  local target=$1
  mkdir -p "$work/$target"
  local inputs=("$work/$target")
  for folder in corpus regressions; do
    [ -d "$root/fuzz/$folder/$target" ] && inputs+=("$root/fuzz/$folder/$target")
  done
  if ./build-fuzz/fuzz_"$target" "${inputs[@]}" -max_total_time="$seconds" -max_len="${maxLen[$target]}" \
      -rss_limit_mb=2048 -timeout=10 -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" >"$work/$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -E '^Done' "$work/$target.log")"
    return 0
  fi
  echo "fuzz_$target FAILED:"
  grep -v -E '^#[0-9]+|Uses: ' "$work/$target.log" | tail -n 40
  for input in "$findings/$target"-*; do
    [ -e "$input" ] && echo "input $input (base64): $(base64 -w0 "$input")"
  done
  return 1
}

status=0
running=0
for target in map_loader read_line read_file panel_loader command_line; do
  if [ "$running" -ge 2 ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzzOne "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit "$status"
