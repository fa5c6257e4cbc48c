#!/usr/bin/env python3
"""Phase a region window by window through velta's text files, then ligate.

Splits a velta SNP map, panel and read file into the windows velta-convert
plans (windows of --window SNPs, neighbours sharing exactly --overlap SNPs,
balanced sizes; the formula of convert/Windows.cpp), runs build/velta on each
window with --seed set to the window's seed (windowSeed of
convert/Windows.cpp: splitmix64 of seed * 2^32 + index, upper 32 bits), turns
each window's result into a VCF with `velta-convert vcf` and joins them with
`velta-convert ligate`. The joined phase is written back as velta haplotype
lines (--haplotypes) for scoring with velta-compare; --whole runs the same
options unwindowed, seeded with --seed itself, for comparison. Prints the peak
memory and CPU time of the largest window's velta run.

Example (large shared set, short reads):
  python3 bench/windowed_text.py --data ../shared/data/HG01500/large/inference \
      --reads reads.txt --window 2000 --overlap 200 --seed 7 --work /tmp/win \
      --velta-args "-n 100 -m 20" --haplotypes /tmp/win/windowed.txt
"""
import argparse
import bisect
import gzip
import os
import subprocess
import sys
import time

M64 = (1 << 64) - 1


def window_seed(seed, index):
    x = ((seed << 32) | index) & M64
    x = (x + 0x9E3779B97F4A7C15) & M64
    x = ((x ^ (x >> 30)) * 0xBF58476D1CE4E5B9) & M64
    x = ((x ^ (x >> 27)) * 0x94D049BB133111EB) & M64
    x ^= x >> 31
    return x >> 32


def plan_windows(snps, size, overlap):
    if snps == 0:
        return []
    if snps <= size:
        return [(0, snps)]
    step = size - overlap
    shared = snps - overlap
    count = (shared + step - 1) // step
    return [(i * shared // count, (i + 1) * shared // count + overlap) for i in range(count)]


class ReadIndex:
    """Read lines with the SNP span of each, to find a window's lines fast."""

    def __init__(self, lines):
        spans = []
        for line in lines:
            words = line.split()
            starts = [int(words[k]) - 1 for k in range(0, len(words) - 1, 2)]
            ends = [starts[i] + len(words[2 * i + 1]) for i in range(len(starts))]
            spans.append((min(starts), max(ends), line))
        spans.sort(key=lambda span: span[0])
        self.starts = [span[0] for span in spans]
        self.spans = spans
        self.longest = max((span[1] - span[0] for span in spans), default=0)

    def lines(self, first, end):
        """The lines that reach into SNPs [first, end), in the file's order of first SNPs."""
        lo = bisect.bisect_left(self.starts, first - self.longest)
        hi = bisect.bisect_left(self.starts, end)
        return [span[2] for span in self.spans[lo:hi] if span[1] > first]


def split_reads(lines, first, end):
    """Read lines restricted to SNPs [first, end), numbered from the window's start."""
    out = []
    for line in lines:
        words = line.split()
        runs = []
        for k in range(0, len(words) - 1, 2):
            start = int(words[k]) - 1
            run = words[k + 1]
            lo, hi = max(start, first), min(start + len(run), end)
            if lo >= hi:
                continue
            piece = run[lo - start:hi - start]
            stripped = piece.lstrip('-')
            lo += len(piece) - len(stripped)
            stripped = stripped.rstrip('-')
            if stripped:
                runs.append('%d %s' % (lo - first + 1, stripped))
        if runs:
            out.append(' '.join(runs) + '\n')
    return out


def run_velta(args, work, name, mfile, sfile, rfile, seed):
    out = os.path.join(work, name + '.out.txt')
    cmd = [args.velta, '--mfile', mfile, '--sfile', sfile, '--output', out, '-v', '0']
    if rfile:
        cmd += ['--rfile', rfile]
    cmd += ['--seed', str(seed)] + args.velta_args.split()
    # /usr/bin/time measures velta itself: a child forked from this (large)
    # script would report the script's memory as its peak.
    usage = out + '.time'
    subprocess.run(['/usr/bin/time', '-f', '%M %U', '-o', usage] + cmd, check=True,
                   stdout=subprocess.DEVNULL)
    peak_kb, user = open(usage).read().split()[-2:]
    return out, float(user), int(peak_kb) / 1024.0


def vcf_to_haplotypes(vcf, map_lines, path):
    """The ligated VCF's genotypes as velta haplotype lines over the map."""
    calls = {}
    with gzip.open(vcf, 'rt') as f:
        for line in f:
            if line.startswith('#'):
                continue
            fields = line.rstrip('\n').split('\t')
            alleles = [fields[3]] + fields[4].split(',')
            gt = fields[9].split(':')[0].replace('/', '|').split('|')
            calls[(fields[1], fields[3], fields[4])] = alleles[int(gt[0])] + alleles[int(gt[1])]
    with open(path, 'w') as out:
        for line in map_lines:
            f = line.split()
            out.write(calls[(f[3], f[4], f[5])] + '\n')


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument('--data', required=True, help='folder with map.txt (and panel.txt)')
    p.add_argument('--reads', default='reads.txt')
    p.add_argument('--assembly', action='store_true', help='no panel')
    p.add_argument('--window', type=int, default=2000)
    p.add_argument('--overlap', type=int, default=200)
    p.add_argument('--seed', type=int, default=1)
    p.add_argument('--work', required=True)
    p.add_argument('--velta-args', default='')
    p.add_argument('--haplotypes', required=True, help='joined result as velta output lines')
    p.add_argument('--whole', action='store_true', help='one unwindowed run instead')
    p.add_argument('--build', default='build')
    args = p.parse_args()
    args.velta = os.path.join(args.build, 'velta')
    convert = os.path.join(args.build, 'velta-convert')
    os.makedirs(args.work, exist_ok=True)
    mfile = os.path.join(args.data, 'map.txt')
    pfile = None if args.assembly else os.path.join(args.data, 'panel.txt')
    sfile = os.path.join(args.data, args.reads)
    start = time.time()
    if args.whole:
        out, cpu, rss = run_velta(args, args.work, 'whole', mfile, sfile, pfile, args.seed)
        os.replace(out, args.haplotypes)
        print('whole: cpu %.1f s, peak %.1f MiB, wall %.1f s' % (cpu, rss, time.time() - start))
        return
    map_lines = open(mfile).readlines()
    panel_lines = open(pfile).readlines() if pfile else None
    reads = ReadIndex(open(sfile).readlines())
    windows = plan_windows(len(map_lines), args.window, args.overlap)
    vcfs = []
    total_cpu = 0.0
    peak = 0.0
    for i, (first, end) in enumerate(windows):
        name = 'window%04d' % i
        base = os.path.join(args.work, name)
        with open(base + '.map', 'w') as f:
            f.writelines(map_lines[first:end])
        if panel_lines:
            with open(base + '.panel', 'w') as f:
                f.writelines(panel_lines[first:end])
        with open(base + '.reads', 'w') as f:
            f.writelines(split_reads(reads.lines(first, end), first, end))
        out, cpu, rss = run_velta(args, args.work, name, base + '.map', base + '.reads',
                                  base + '.panel' if panel_lines else None,
                                  window_seed(args.seed, i))
        total_cpu += cpu
        peak = max(peak, rss)
        vcf = base + '.vcf.gz'
        cmd = [convert, 'vcf', '--map', base + '.map', '--haplotypes', out, '--sample', 'S',
               '--out', vcf]
        if args.assembly:
            cmd += ['--reads', base + '.reads']
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        vcfs.append(vcf)
    joined = os.path.join(args.work, 'joined.vcf.gz')
    subprocess.run([convert, 'ligate', '--out', joined] + vcfs, check=True,
                   stdout=open(os.path.join(args.work, 'ligate.log'), 'w'))
    vcf_to_haplotypes(joined, map_lines, args.haplotypes)
    print('windowed: %d windows, cpu %.1f s, largest window peak %.1f MiB, wall %.1f s'
          % (len(windows), total_cpu, peak, time.time() - start))
    sys.stdout.write(open(os.path.join(args.work, 'ligate.log')).read().splitlines()[-1] + '\n')


if __name__ == '__main__':
    main()
