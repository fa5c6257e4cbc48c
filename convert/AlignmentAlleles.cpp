#include "AlignmentAlleles.h"

#include <algorithm>
#include <cctype>

namespace {

char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

char callBase(const bam1_t* alignment, std::int64_t queryPos, const TrackedSnp& site, int minBaseq,
              BaseCounts& counts) {
  if (queryPos >= alignment->core.l_qseq) {
    ++counts.otherBase;  // no sequence stored for this base
    return '-';
  }
  const std::uint8_t* quality = bam_get_qual(alignment);
  // 0xff in the first quality marks a record stored without qualities.
  if (quality[0] != 0xff && quality[queryPos] < minBaseq) {
    ++counts.lowQuality;
    return '-';
  }
  const char base = seq_nt16_str[bam_seqi(bam_get_seq(alignment), queryPos)];
  if (base == upper(site.major) || base == upper(site.minor)) {
    ++counts.calls;
    return base == upper(site.major) ? site.major : site.minor;
  }
  ++counts.otherBase;
  return '-';
}

}  // namespace

void collectAlignmentCalls(const bam1_t* alignment, const SnpTrack& track, int minBaseq,
                           BaseCounts& counts, std::vector<SnpCall>& calls) {
  std::int64_t refPos = alignment->core.pos;
  std::int64_t queryPos = 0;
  auto site =
      std::lower_bound(track.begin(), track.end(), refPos,
                       [](const TrackedSnp& snp, std::int64_t pos) { return snp.position0 < pos; });
  const std::uint32_t* cigar = bam_get_cigar(alignment);
  for (std::uint32_t i = 0; i < alignment->core.n_cigar && site != track.end(); ++i) {
    const std::int64_t length = bam_cigar_oplen(cigar[i]);
    const int type = bam_cigar_type(bam_cigar_op(cigar[i]));  // bit 0: query, bit 1: reference
    if (type & 2) {
      const std::int64_t end = refPos + length;
      for (; site != track.end() && site->position0 < end; ++site) {
        char allele = '-';
        if (type & 1) {
          allele =
              callBase(alignment, queryPos + (site->position0 - refPos), *site, minBaseq, counts);
        } else {
          ++counts.deleted;
        }
        calls.push_back({site->snp, allele});
      }
      refPos = end;
    }
    if (type & 1) queryPos += length;
  }
}
