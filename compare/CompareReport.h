// The report of velta-compare: labelled lines for the reader, then one line of
// key=value pairs for scripts.
#pragma once

#include <string>

#include "BlockStats.h"
#include "PhaseScore.h"

// The labelled lines, each ended by a line feed. `blocks` is null when no read
// file was given: then there are no block lines.
std::string formatReport(const PhaseScore& score, const BlockStats* blocks);

// One line of blank-separated key=value pairs, ended by a line feed. Counts are
// whole numbers, rates fractions with six decimals. Keys: snps het geno_err
// geno_err_rate het_called switch_pairs switch switch_rate flip long_switch
// hamming hamming_rate; with blocks also blocks het_in_blocks largest_block
// n50_snps, and with coordinates n50_span.
std::string summaryLine(const PhaseScore& score, const BlockStats* blocks);
