#!/usr/bin/env python3
"""Build a synthetic chromosome for the scale test from the shared large set.

The shared region (18,788 SNPs over 3 Mb, 590 panel haplotypes, HG01500's two
true haplotypes) is tiled --tiles times along one chromosome, tile t shifted by
t x 3,000,000 bp, so the SNP density is the real one. On it:

- a panel of --haplotypes haplotypes, each a copying-model mosaic of the 590
  shared panel haplotypes: it copies one of them and, between neighbouring
  SNPs d bp apart, jumps to a uniformly drawn one with probability
  1 - exp(-d / --segment); every allele then mutates (takes the SNP's other
  allele) with probability --mutation;
- the individual: in each tile HG01500's true haplotypes, in an order drawn per
  tile, with fresh mutations at the same rate (alleles no panel haplotype has
  copied there).

Writes map.txt, panel.txt, truth.txt in velta's formats (SNP names are
CHR:POS) into --out; reads are simulated from them with
../shared/tools/simulate_reads.py (bench/scale/run_scale.sh does both).
Python standard library only; deterministic for a given --seed.
"""
import argparse
import math
import os
import random

TILE_SHIFT = 3000000


def read_lines(path):
    with open(path) as f:
        return [line.rstrip('\n') for line in f]


def mosaic(sources, positions, segment, rng):
    """One haplotype copying the source strings, switching between them."""
    n = len(positions)
    pieces = []
    start = 0
    source = rng.randrange(len(sources))
    k = 1
    while k < n:
        # The next jump: walk until the cumulative distance passes an exponential draw.
        need = rng.expovariate(1.0 / segment)
        while k < n and need > positions[k] - positions[k - 1]:
            need -= positions[k] - positions[k - 1]
            k += 1
        if k >= n:
            break
        pieces.append(sources[source][start:k])
        start = k
        source = rng.randrange(len(sources))
        k += 1
    pieces.append(sources[source][start:n])
    return ''.join(pieces)


def mutate(alleles, major, minor, rate, rng):
    """Flips each allele to the SNP's other one with probability `rate`."""
    out = list(alleles)
    k = int(rng.expovariate(rate)) if rate > 0 else len(out)
    while k < len(out):
        out[k] = minor[k] if out[k] == major[k] else major[k]
        k += 1 + int(rng.expovariate(rate))
    return ''.join(out)


def main():
    p = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    p.add_argument('--data', required=True, help='the shared large inference folder')
    p.add_argument('--out', required=True)
    p.add_argument('--tiles', type=int, default=16)
    p.add_argument('--haplotypes', type=int, default=1000)
    p.add_argument('--segment', type=float, default=200000.0,
                   help='mean bp between jumps of the copying model')
    p.add_argument('--mutation', type=float, default=0.0005)
    p.add_argument('--seed', type=int, default=1)
    args = p.parse_args()
    rng = random.Random(args.seed)

    tile_map = [line.split() for line in read_lines(os.path.join(args.data, 'map.txt'))]
    tile_panel = read_lines(os.path.join(args.data, 'panel.txt'))
    tile_truth = read_lines(os.path.join(args.data, 'truth.txt'))
    n_tile = len(tile_map)
    # Haplotype-major copies of the shared panel: one string per haplotype.
    sources = [''.join(column) for column in zip(*tile_panel)]
    del tile_panel

    chrom = tile_map[0][0]
    positions, major, minor = [], [], []
    for t in range(args.tiles):
        for f in tile_map:
            positions.append(int(f[3]) + t * TILE_SHIFT)
            major.append(f[4])
            minor.append(f[5])
    n = len(positions)
    tiled_sources = [s * args.tiles for s in sources]

    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, 'map.txt'), 'w') as out:
        for k in range(n):
            out.write('%s %s:%d %d %d %s %s\n' % (chrom, chrom, positions[k], positions[k],
                                                   positions[k], major[k], minor[k]))

    panel = []
    for _ in range(args.haplotypes):
        hap = mosaic(tiled_sources, positions, args.segment, rng)
        panel.append(mutate(hap, major, minor, args.mutation, rng))
    del tiled_sources
    with open(os.path.join(args.out, 'panel.txt'), 'w') as out:
        for row in zip(*panel):
            out.write(''.join(row))
            out.write('\n')
    del panel

    first, second = [], []
    for t in range(args.tiles):
        a = ''.join(line[0] for line in tile_truth)
        b = ''.join(line[1] for line in tile_truth)
        if rng.random() < 0.5:
            a, b = b, a
        first.append(a)
        second.append(b)
    first = mutate(''.join(first), major, minor, args.mutation, rng)
    second = mutate(''.join(second), major, minor, args.mutation, rng)
    with open(os.path.join(args.out, 'truth.txt'), 'w') as out:
        for k in range(n):
            out.write(first[k] + second[k] + '\n')
    het = sum(1 for k in range(n) if first[k] != second[k])
    print('chromosome %s: %d SNPs over %d bp, %d panel haplotypes, %d heterozygous SNPs'
          % (chrom, n, positions[-1] - positions[0] + 1, args.haplotypes, het))
    print('region %s:%d-%d' % (chrom, positions[0], positions[-1]))


if __name__ == '__main__':
    main()
