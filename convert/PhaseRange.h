// velta run in-process on one range of SNPs: the inputs velta phases from,
// loaded once from the field's files, and the job that phases one range of
// them (the whole region, or one window of it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ReadLines.h"
#include "SnpMap.h"

class Parameter;

// The calls of every read or pair, in the order velta's read file would list
// them; SNP numbers are those of the SNPs they were read against.
class ReadCallStore {
 public:
  // Appends one read's calls (sorted by SNP, one per SNP).
  void add(const std::vector<SnpCall>& calls);
  std::size_t size() const { return ends_.size(); }
  const SnpCall* begin(std::size_t read) const {
    return calls_.data() + (read ? ends_[read - 1] : 0);
  }
  const SnpCall* end(std::size_t read) const { return calls_.data() + ends_[read]; }

 private:
  std::vector<SnpCall> calls_;     // every read's calls, read after read
  std::vector<std::size_t> ends_;  // per read: one past its last call in calls_
};

// What velta phases from.
struct PhaseInputs {
  SnpMap snps;                         // one chromosome, in position order
  std::vector<std::string> panelRows;  // row k: panel alleles at SNP k; empty: assembly
  ReadCallStore reads;                 // numbered by `snps`
  std::string readsName;               // the reads' file, for messages
  std::string panelName;               // the panel's file, for messages
};

// SNPs first .. end - 1 of the inputs (from 0).
struct SnpRange {
  std::size_t first;
  std::size_t end;
};

// velta's result over a range, one entry per SNP of the range.
struct RangePhase {
  std::vector<std::uint8_t> first;  // allele codes of the two haplotypes: 0 major (REF), 1 minor
  std::vector<std::uint8_t> second;
  // Phase set of a SNP whose two alleles differ: the position of the first
  // SNP of the set; 0 where the result is homozygous or no read links the SNP
  // to another (assembly). With a panel the whole range is one set.
  std::vector<std::uint32_t> phaseSet;
  std::size_t readsUsed = 0;  // reads velta loaded (a read cut at velta's limits counts per piece)
};

// Runs velta's job on the SNPs of `range`: assembly without panel rows,
// inference with them, on the reads' calls inside the range. `settings` holds
// velta's options (its map is set here); the random generator is seeded with
// `seed` before anything draws, so a range gives the same result as velta's
// command line on the same files and seed. velta's own messages are shown
// only from verbose level 2. With `keepDir` not empty, velta's files go there
// too (map.txt, reads.txt, panel.txt and haplotypes.txt), so that the run can
// be repeated with velta itself.
RangePhase phaseSnpRange(const PhaseInputs& inputs, SnpRange range, const Parameter& settings,
                         unsigned int seed, const std::string& keepDir);
