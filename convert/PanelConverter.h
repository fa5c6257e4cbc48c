// velta-convert panel: a phased reference panel (VCF or BCF) into a velta SNP
// map (PREFIX.map) and panel file (PREFIX.panel).
#pragma once

#include <string>
#include <vector>

#include "HtsHandles.h"
#include "Options.h"

// Keeps the biallelic SNPs whose two alleles both occur among the kept
// haplotypes (with --keep-monomorphic, every biallelic SNP); writes one map line and one panel line
// (two characters per sample, in header order) per SNP. An unphased, missing or non-diploid
// genotype ends the run naming the record and the sample, except that
// --allow-unphased drops sites with unphased or missing genotypes. Prints
// what was kept and dropped, by reason.
void convertPanel(const ConvertOptions& options);

// The names of --samples-exclude: the text split at commas when every name in
// it is a sample of `header` (a file of that name is not read then, with a
// warning); otherwise the lines of the regular file it names; otherwise the
// text split at commas again (the caller names the unknown sample). Empty
// names are skipped.
std::vector<std::string> readNameList(const std::string& list, const bcf_hdr_t* header);
