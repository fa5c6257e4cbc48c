// velta-convert vcf: velta's haplotype output into a VCF of phased genotypes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"
#include "OutputFile.h"
#include "SnpMap.h"

// How a VCF output is written, from its name: .vcf.gz bgzipped with a .tbi
// index, .bcf as BCF with a .csi index, any other name plain text.
struct OutputKind {
  const char* mode;  // hts_open mode
  int indexShift;    // bcf_index_build3: 0 a .tbi, 14 a .csi; -1 no index
};
OutputKind outputKindOf(const std::string& path);

// Builds the index of the finished data of `out` beside them (nothing for
// plain text, or for a device or pipe that cannot be read back), before
// out.commit(); a failure ends the run naming the file.
void buildIndex(OutputFile& out, int indexShift);

// The allele codes (0 major, 1 minor) of the two haplotypes at every SNP.
struct PhasedGenotypes {
  std::vector<std::uint8_t> first;
  std::vector<std::uint8_t> second;
};

// Reads velta's output: one line of two allele characters per map SNP. A
// line that is not two of the SNP's allele characters, or a line count other
// than the map's SNP count, ends the run naming the file and line.
PhasedGenotypes loadHaplotypes(const std::string& path, const SnpMap& map);

// Writes the map's SNPs as VCF records (the major allele as REF, the minor
// as ALT) with the sample's genotype: phased everywhere without --reads;
// with --reads, phased with a phase set (PS, the position of the group's
// first SNP) only at heterozygous SNPs that reads link to another, unphased
// elsewhere. A .vcf.gz output is bgzipped and gets a .tbi index, a .bcf one a
// .csi index; any other name gives plain text.
void convertToVcf(const ConvertOptions& options);
