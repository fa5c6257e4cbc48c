#!/usr/bin/env python3
"""Simulate an aligned BAM-ready SAM of one diploid individual from its truth.

A synthetic chromosome carries random bases; the individual's two haplotypes
are that sequence with the truth's alleles at the SNPs. Read pairs are drawn like
../shared/tools/simulate_reads.py draws them: fragment length ~ N(--frag-mean,
--frag-sd), starts uniform over [--start, --end] at --depth, each fragment
from either haplotype with probability 1/2, mates of --read-len bp at both
ends (the second on the reverse strand). At a SNP a base is a no-call (N) with
probability --missing and otherwise the other allele with probability
--error. Writes SAM on standard output (sort it with samtools).
Only the Python standard library is used.
"""
import argparse
import bisect
import random
import sys


def read_inputs(map_path, truth_path):
    chrom, positions, alleles = None, [], []
    with open(map_path) as m, open(truth_path) as t:
        for line, hap in zip(m, t):
            w = line.split()
            chrom = w[0]
            positions.append(int(w[3]))
            alleles.append((w[4], w[5], hap.strip()))
    return chrom, positions, alleles


def main():
    p = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    p.add_argument('--map', required=True)
    p.add_argument('--truth', required=True)
    p.add_argument('--start', type=int, required=True)
    p.add_argument('--end', type=int, required=True)
    p.add_argument('--depth', type=float, default=30.0)
    p.add_argument('--error', type=float, default=0.01)
    p.add_argument('--missing', type=float, default=0.01)
    p.add_argument('--read-len', type=int, default=150)
    p.add_argument('--frag-mean', type=float, default=400.0)
    p.add_argument('--frag-sd', type=float, default=50.0)
    p.add_argument('--seed', type=int, default=1)
    a = p.parse_args()
    rng = random.Random(a.seed)
    chrom, positions, alleles = read_inputs(a.map, a.truth)
    length = a.end + 2 * int(a.frag_mean) + a.read_len
    base = bytearray(rng.choice(b'ACGT') for _ in range(length))
    haps = [bytearray(base), bytearray(base)]
    for pos, (_, _, truth) in zip(positions, alleles):
        haps[0][pos - 1] = ord(truth[0])
        haps[1][pos - 1] = ord(truth[1])
    out = sys.stdout
    out.write(f'@HD\tVN:1.6\tSO:unsorted\n@SQ\tSN:{chrom}\tLN:{length}\n')
    quality = 'I' * a.read_len
    pairs = int(a.depth * (a.end - a.start + 1) / (2 * a.read_len))
    for n in range(pairs):
        frag = max(a.read_len, round(rng.gauss(a.frag_mean, a.frag_sd)))
        start = rng.randint(a.start, a.end)  # 1-based first base of the fragment
        hap = haps[rng.getrandbits(1)]
        second = start + frag - a.read_len
        mates = []
        for first in (start, second):
            seq = bytearray(hap[first - 1:first - 1 + a.read_len])
            k = bisect.bisect_left(positions, first)
            while k < len(positions) and positions[k] < first + a.read_len:
                i = positions[k] - first
                major, minor, _ = alleles[k]
                r = rng.random()
                if r < a.missing:
                    seq[i] = ord('N')
                elif rng.random() < a.error:
                    seq[i] = ord(minor if seq[i] == ord(major) else major)
                k += 1
            mates.append(seq.decode())
        name = f'p{n}'
        out.write(f'{name}\t99\t{chrom}\t{start}\t60\t{a.read_len}M\t=\t{second}\t{frag}\t'
                  f'{mates[0]}\t{quality}\n')
        out.write(f'{name}\t147\t{chrom}\t{second}\t60\t{a.read_len}M\t=\t{start}\t{-frag}\t'
                  f'{mates[1]}\t{quality}\n')


if __name__ == '__main__':
    main()
