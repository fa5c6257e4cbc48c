#!/usr/bin/env python3
"""How often each rule puts a novel allele on the right haplotype, on TRUE haplotypes.

usage: novel_allele_rules.py PANEL_DIR [MIN_GAP_BP]

PANEL_DIR holds panel.txt (a SNP per line, an allele character per haplotype) and map.txt.
Every panel sample (two adjacent columns) is left out in turn; at each of its heterozygous
SNPs whose allele the rest of the panel never carries, each rule names the haplotype that
carries it, from the sample's true haplotypes. MIN_GAP_BP keeps only heterozygous SNPs that far
from both neighbouring ones (such SNPs are the ones long reads leave unlinked).
Rules: the closest panel haplotype within 100 SNPs disagrees more (hamming100); the unbroken
agreement with the panel reaches less far (reach; runs counted within 1,000 SNPs either side,
the program counts them to the region's ends); hamming100, its ties broken by reach (the
program's rule). "net" is right minus wrong: the switches it saves against a coin.
Needs python3-numpy."""
import sys
try:
    import numpy as np
except ImportError:
    sys.exit('novel_allele_rules.py needs python3-numpy (apt-get install -y python3-numpy)')

FLANK, WINDOW = 100, 1000


def first_break(mismatch):
    """Per panel haplotype, the rows before its first mismatch (all rows if none)."""
    if mismatch.shape[0] == 0:
        return np.zeros(mismatch.shape[1], dtype=int)
    return np.where(mismatch.any(axis=0), mismatch.argmax(axis=0), mismatch.shape[0])


def main():
    folder = sys.argv[1]
    min_gap = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    panel = np.array([np.frombuffer(l.rstrip('\n').encode(), dtype=np.uint8)
                      for l in open(folder + '/panel.txt')])
    position = np.array([int(l.split()[2]) for l in open(folder + '/map.txt')])
    n_snp, n_hap = panel.shape
    tally = {name: [0, 0, 0] for name in ('hamming100', 'reach', 'hamming100 then reach')}

    def count(name, guess, truth):
        tally[name][2 if guess is None else 0 if guess == truth else 1] += 1

    for sample in range(n_hap // 2):
        keep = np.ones(n_hap, bool)
        keep[2 * sample:2 * sample + 2] = False
        rest, own = panel[:, keep], panel[:, 2 * sample:2 * sample + 2]
        hets = np.where(own[:, 0] != own[:, 1])[0]
        for q, k in enumerate(hets):
            carriers = [(rest[k] == own[k, t]).sum() for t in (0, 1)]
            if (carriers[0] > 0) == (carriers[1] > 0):
                continue
            left_gap = position[k] - position[hets[q - 1]] if q > 0 else min_gap
            right_gap = position[hets[q + 1]] - position[k] if q + 1 < len(hets) else min_gap
            if min(left_gap, right_gap) < min_gap:
                continue
            truth = 0 if carriers[0] == 0 else 1
            lo, hi = max(0, k - WINDOW), min(n_snp, k + WINDOW + 1)
            at = k - lo
            mismatch = [rest[lo:hi] != own[lo:hi, t][:, None] for t in (0, 1)]
            for m in mismatch:
                m[at] = False
            near = slice(max(0, at - FLANK), at + FLANK + 1)
            distance = [m[near].sum(axis=0).min() for m in mismatch]
            reach = [first_break(m[:at][::-1]).max() + first_break(m[at + 1:]).max()
                     for m in mismatch]
            by_distance = None if distance[0] == distance[1] else int(np.argmax(distance))
            by_reach = None if reach[0] == reach[1] else int(np.argmin(reach))
            count('hamming100', by_distance, truth)
            count('reach', by_reach, truth)
            count('hamming100 then reach', by_distance if by_distance is not None else by_reach,
                  truth)
    print(f'| rule | right | wrong | tie | net |\n|---|---|---|---|---|')
    for name, (right, wrong, tie) in tally.items():
        print(f'| {name} | {right} | {wrong} | {tie} | {right - wrong} |')


if __name__ == '__main__':
    main()
