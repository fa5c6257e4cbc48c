#!/usr/bin/env bash
# Stress runs of velta at realistic scale; not part of the test suite.
# Builds inputs in a temporary folder, runs velta under /usr/bin/time -v and
# checks that each run completes, writes one line per SNP, and peaks at no
# more memory than its data structures need (with some allowance for the
# allocator). Prints time, peak memory and the estimate for each case.
#
# usage: scripts/stress.sh [assembly|inference|all]      (default all)
# sizes: ASM_SNPS (1000000), INF_SNPS (50000), INF_HAPS (5000),
#        ASM_ITER (20), INF_ITER (1), INF_SUB (1); KEEP=1 keeps the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
which="${1:-all}"
ASM_SNPS=${ASM_SNPS:-1000000}
INF_SNPS=${INF_SNPS:-50000}
INF_HAPS=${INF_HAPS:-5000}
ASM_ITER=${ASM_ITER:-20}
INF_ITER=${INF_ITER:-1}
INF_SUB=${INF_SUB:-1}

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target velta >/dev/null
velta=$PWD/build/velta
dir=$(mktemp -d)
if [ "${KEEP:-0}" = 1 ]; then echo "inputs kept in $dir"; else trap 'rm -rf "$dir"' EXIT; fi

# Writes map.txt, reads.txt (and panel.txt) into the folder and need.txt, the
# bytes the run's data structures hold at their peak.
generate() {
  python3 - "$dir/$1" "$@" <<'PYTHON'
import math, os, random, sys

out, mode = sys.argv[1], sys.argv[2]
n_snp = int(sys.argv[3])
n_hap = int(sys.argv[4]) if mode == "inference" else 0
os.makedirs(out, exist_ok=True)
random.seed(7)
pairs = [("A", "G"), ("C", "T"), ("G", "T"), ("A", "C")]
kind = [random.randrange(4) for _ in range(n_snp)]
with open(f"{out}/map.txt", "w") as f:
    f.write("".join(f"20 rs{j + 1} {100 * (j + 1)} {j + 1} {pairs[k][0]} {pairs[k][1]}\n"
                    for j, k in enumerate(kind)))

# The individual's two haplotypes (codes 0/1): assembly, random with
# complement; inference, mosaics of the first ten panel haplotypes.
if mode == "assembly":
    first = [random.getrandbits(1) for _ in range(n_snp)]
    second = [1 - a for a in first]
else:
    tables = [bytes.maketrans(bytes(range(256)),
                              bytes(ord(p[b & 1]) for b in range(256))) for p in pairs]
    donors = [random.randrange(10), random.randrange(10)]
    first, second = [], []
    with open(f"{out}/panel.txt", "wb") as f:
        for j in range(n_snp):
            if j % 1000 == 0:
                donors = [random.randrange(10), random.randrange(10)]
            raw = os.urandom(n_hap)
            f.write(raw.translate(tables[kind[j]]) + b"\n")
            first.append(raw[donors[0]] & 1)
            second.append(raw[donors[1]] & 1)

# Reads of 2 to 6 consecutive SNPs, a third of them pairs of two runs, about 8
# read alleles per SNP, 1% sequencing errors.
lines, n_reads, n_alleles = [], 0, 0
for _ in range(n_snp * 8 // 5):
    hap = first if random.random() < 0.5 else second
    runs = 2 if random.random() < 1 / 3 else 1
    start = random.randrange(n_snp)
    words = []
    for _ in range(runs):
        length = random.randint(2, 6)
        stop = min(n_snp, start + length)
        if start >= stop:
            break
        text = ""
        for j in range(start, stop):
            a = hap[j] ^ (random.random() < 0.01)
            text += pairs[kind[j]][a]
        words.append(f"{start + 1} {text}")
        n_alleles += stop - start
        start = stop + random.randint(5, 50)
    if words:
        lines.append(" ".join(words) + "\n")
        n_reads += 1
with open(f"{out}/reads.txt", "w") as f:
    f.write("".join(lines))

# Bytes the data structures hold. Per SNP: the map (two short strings of 32,
# coordinate, column 4, two alleles, three transition doubles: 102), the read
# coverage count (4), three haplotypes' counts and alleles (13), the polish
# pass's per-SNP tables (33). Per read: the record (88) and its three smallest
# heap blocks (3 x 32), the vector at up to twice its size; per read allele the
# polish pass's copies (9). Inference adds the panel bits, the path draw's
# forward vectors (one every ceil(sqrt S) SNPs plus one segment) with three
# per-SNP doubles, and the best path search's S x S back-pointers per SNP.
need = n_snp * (102 + 4 + 13 + 33) + n_reads * (2 * 88 + 96) + n_alleles * 9
if mode == "inference":
    words = (n_hap + 63) // 64
    sample = min(30, n_hap)
    need += n_snp * words * 8 * 2            # panel rows, grown by doubling
    step = math.isqrt(n_snp - 1) + 1 if n_snp > 1 else 1
    need += (n_snp // step + 1 + step) * words * 64 * 8 + 3 * n_snp * 8  # forward checkpoints
    need += n_snp * sample * sample * 2      # back-pointers of the search
    need += 2 * sample * sample * 8 * 2      # score layers and candidates
with open(f"{out}/need.txt", "w") as f:
    f.write(f"{need} {n_reads} {n_alleles}\n")
PYTHON
}

runCase() {
  local name=$1
  shift
  local case=$dir/$name
  read -r need reads alleles <"$case/need.txt"
  local start=$SECONDS
  set +e
  /usr/bin/time -v "$velta" "$@" --output "$case/out.txt" -v 0 >"$case/stdout" 2>"$case/time"
  local status=$?
  set -e
  local seconds=$((SECONDS - start))
  local peak
  peak=$(awk -F': ' '/Maximum resident set size/ {printf "%d", $2 * 1024}' "$case/time")
  local snps lines
  snps=$(wc -l <"$case/map.txt")
  lines=$(if [ -f "$case/out.txt" ]; then wc -l <"$case/out.txt"; else echo 0; fi)
  printf '%s: status %d, %d s, %d SNPs, %d reads (%d alleles), %d output lines\n' \
    "$name" "$status" "$seconds" "$snps" "$reads" "$alleles" "$lines"
  awk -v n="$name" -v p="$peak" -v d="$need" 'BEGIN {
    printf "%s: peak memory %.1f MB, data structures need %.1f MB (ratio %.2f)\n", n,
      p / 1048576, d / 1048576, p / d }'
  local ok=1
  [ "$status" -eq 0 ] || { echo "$name: FAILED: exit status $status"; tail -n 5 "$case/time"; ok=0; }
  [ "$lines" -eq "$snps" ] || { echo "$name: FAILED: $lines output lines for $snps SNPs"; ok=0; }
  # The allowance covers the allocator, the C++ runtime and the line buffers.
  if [ "$peak" -gt $((need * 3 / 2 + 64 * 1048576)) ]; then
    echo "$name: FAILED: peak memory beyond 1.5 x the estimate + 64 MB"
    ok=0
  fi
  [ "$ok" -eq 1 ]
}

status=0
if [ "$which" = all ] || [ "$which" = assembly ]; then
  generate assembly "$ASM_SNPS"
  runCase assembly --mfile "$dir/assembly/map.txt" --sfile "$dir/assembly/reads.txt" \
    -n "$ASM_ITER" || status=1
fi
if [ "$which" = all ] || [ "$which" = inference ]; then
  generate inference "$INF_SNPS" "$INF_HAPS"
  runCase inference --mfile "$dir/inference/map.txt" --sfile "$dir/inference/reads.txt" \
    --rfile "$dir/inference/panel.txt" -n "$INF_ITER" -m "$INF_SUB" || status=1
fi
exit "$status"
