#!/usr/bin/env python3
"""Where velta and the two-step pipeline err, pair by pair.

Reads the files `bench/pipeline_baseline.sh --keep DIR` leaves and counts, per set
and read type, the switched pairs of consecutive heterozygous SNPs (as velta-compare
counts them) of velta (mean over the seeds run), the pipeline and the panel phaser
alone, split by what the data hold for the pair:
  linked    some read (or read pair) calls both SNPs;
  novel     no read links them and one of the two carries an allele no panel
            haplotype carries (nothing in the data orients it);
  panel     the rest: the panel alone decides.
A pair a phasing calls homozygous at either end counts as no switch (velta-compare
chains over such a SNP instead: the counts can differ by the genotype errors).
Then the hets of the `novel` kind with both neighbours present: how often each
phasing flips such a het alone against both neighbours (two switches) or gets it right.

usage: bench/pipeline_pairs.py DIR [SET...]   (SET as for the baseline; default all four)
"""
import glob
import os
import sys
from collections import Counter

EVAL = os.environ.get('EVAL', '/work/eval')


def lines(path):
    with open(path) as f:
        return [l.rstrip('\n') for l in f]


def linked_pairs(reads_path, het_index):
    """Pairs (i - 1, i) of consecutive hets some read line calls both of, by i."""
    linked = set()
    for line in open(reads_path):
        fields = line.split()
        calls = set()
        for f in range(0, len(fields), 2):
            first = int(fields[f]) - 1
            for c, ch in enumerate(fields[f + 1]):
                if ch != '-' and first + c in het_index:
                    calls.add(het_index[first + c])
        ordered = sorted(calls)
        linked.update(b for a, b in zip(ordered, ordered[1:]) if b == a + 1)
    return linked


def orientation(phased, truth, snp):
    return phased[snp][0] == truth[snp][0]


def analyse(keep, eval_set, reads, counts):
    read_file = 'reads.txt' if reads == 'short' else 'reads.long.txt'
    for folder in sorted(glob.glob(f'{EVAL}/{eval_set}/s*/')):
        name = os.path.basename(folder.rstrip('/'))
        work = f"{keep}/{eval_set.replace('/', '_')}.{name}"
        if not os.path.exists(f'{work}/pipe.{reads}.txt'):
            continue
        truth = lines(folder + 'truth.txt')
        panel = lines(folder + 'panel.txt')
        hets = [k for k, t in enumerate(truth) if t[0] != t[1]]
        novel = {i for i, k in enumerate(hets) if panel[k].count(truth[k][0]) == 0
                 or panel[k].count(truth[k][1]) == 0}
        linked = linked_pairs(folder + read_file, {k: i for i, k in enumerate(hets)})
        velta = [lines(p) for p in sorted(glob.glob(f'{work}/velta.{reads}.[0-9]*.txt'))]
        others = {'pipe': lines(f'{work}/pipe.{reads}.txt'), 'panel': lines(f'{work}/panel.txt')}
        runs = {'velta': velta, 'pipe': [others['pipe']], 'panel': [others['panel']]}

        def switched(phased, i):
            # a pair the phasing calls homozygous at is not a switch (its genotype is wrong)
            a, b = phased[hets[i - 1]], phased[hets[i]]
            if a[0] == a[1] or b[0] == b[1]:
                return False
            return orientation(phased, truth, hets[i - 1]) != orientation(phased, truth, hets[i])

        for i in range(1, len(hets)):
            kind = 'linked' if i in linked else ('novel' if {i - 1, i} & novel else 'panel')
            errs = {key: sum(switched(p, i) for p in ps) / len(ps) for key, ps in runs.items()}
            counts[('pairs', kind)] += 1
            for key, e in errs.items():
                counts[(key, kind)] += e
            counts[('velta only', kind)] += errs['velta'] * (1 - errs['pipe'])
            counts[('pipe only', kind)] += errs['pipe'] * (1 - errs['velta'])
            if i in novel and i + 1 < len(hets) and i not in linked and i + 1 not in linked:
                counts[('lone novel hets', '')] += 1
                for key, ps in runs.items():
                    for p in ps:
                        o = [orientation(p, truth, hets[j]) for j in (i - 1, i, i + 1)]
                        verdict = 'right' if o == [o[0]] * 3 else (
                            'flipped alone' if o[0] == o[2] else 'neighbours differ')
                        counts[(key, verdict)] += 1 / len(ps)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    keep = sys.argv[1]
    sets = sys.argv[2:] or ['small', 'large', 'holdout/small', 'holdout/large']
    kinds = ['linked', 'novel', 'panel']
    print(f"{'set':14} {'reads':5} {'count':11} " + ' '.join(f'{k:>8}' for k in kinds)
          + '   lone novel het: right / flipped alone / neighbours differ')
    for eval_set in sets:
        for reads in ('short', 'long'):
            counts = Counter()
            analyse(keep, eval_set, reads, counts)
            if not counts:
                continue
            for key in ('pairs', 'velta', 'pipe', 'panel', 'velta only', 'pipe only'):
                row = ' '.join(f'{counts[(key, k)]:8.1f}' for k in kinds)
                lone = ''
                if key in ('velta', 'pipe', 'panel'):
                    lone = '   ' + ' / '.join(f'{counts[(key, v)]:.1f}' for v in
                                              ('right', 'flipped alone', 'neighbours differ'))
                elif key == 'pairs':
                    lone = f"   {counts[('lone novel hets', '')]} hets"
                print(f'{eval_set:14} {reads:5} {key:11} {row}{lone}')


if __name__ == '__main__':
    main()
