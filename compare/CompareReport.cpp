#include "CompareReport.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Appends printf-style text to `out`; the text may be of any length.
__attribute__((format(printf, 2, 3))) void appendFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    const std::size_t end = out.size();
    out.resize(end + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(&out[end], static_cast<std::size_t>(length) + 1, format, args);
    out.resize(end + static_cast<std::size_t>(length));
  }
  va_end(args);
}

double percent(double fraction) {
  return 100.0 * fraction;
}

}  // namespace

std::string formatReport(const PhaseScore& score, const BlockStats* blocks) {
  std::string out;
  appendFormat(out, "SNPs                          %u\n", score.snps);
  appendFormat(out, "heterozygous SNPs (truth)     %u\n", score.het);
  appendFormat(out, "genotype discordance          %u (%.4f%% of SNPs)\n", score.genotypeErrors,
               percent(score.genotypeErrorRate()));
  appendFormat(out, "heterozygous in both          %u\n", score.hetCalled);
  appendFormat(out, "switch errors                 %u (%.4f%% of %u neighbouring pairs%s)\n",
               score.switches, percent(score.switchRate()), score.switchPairs,
               blocks ? " within blocks" : "");
  appendFormat(out, "  flips                       %u (= %u switches)\n", score.flips,
               2 * score.flips);
  appendFormat(out, "  long switches               %u\n", score.longSwitches);
  appendFormat(out, "Hamming errors                %u (%.4f%% of heterozygous SNPs)\n",
               score.hamming, percent(score.hammingRate()));
  if (blocks) {
    appendFormat(out, "blocks (2+ heterozygous SNPs) %u holding %u heterozygous SNPs\n",
                 blocks->blocks, blocks->hetInBlocks);
    appendFormat(out, "largest block                 %u heterozygous SNPs\n", blocks->largest);
    appendFormat(out, "block span N50                %u SNPs", blocks->n50Snps);
    if (blocks->hasCoordinates) {
      appendFormat(out, ", %.10g coordinate units", blocks->n50Coordinates);
    }
    out += '\n';
  }
  return out;
}

std::string summaryLine(const PhaseScore& score, const BlockStats* blocks) {
  std::string out;
  appendFormat(out,
               "snps=%u het=%u geno_err=%u geno_err_rate=%.6f het_called=%u switch_pairs=%u "
               "switch=%u switch_rate=%.6f flip=%u long_switch=%u hamming=%u hamming_rate=%.6f",
               score.snps, score.het, score.genotypeErrors, score.genotypeErrorRate(),
               score.hetCalled, score.switchPairs, score.switches, score.switchRate(), score.flips,
               score.longSwitches, score.hamming, score.hammingRate());
  if (blocks) {
    appendFormat(out, " blocks=%u het_in_blocks=%u largest_block=%u n50_snps=%u", blocks->blocks,
                 blocks->hetInBlocks, blocks->largest, blocks->n50Snps);
    if (blocks->hasCoordinates) appendFormat(out, " n50_span=%.10g", blocks->n50Coordinates);
  }
  out += '\n';
  return out;
}
