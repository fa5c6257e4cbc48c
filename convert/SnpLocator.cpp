#include "SnpLocator.h"

#include <algorithm>

SnpLocator::SnpLocator(const SnpMap& map) {
  for (std::size_t k = 0; k < map.size(); ++k) {
    SnpTrack& track = tracks_[map.chrom[k]];
    if (track.empty()) chromosomes_.push_back(map.chrom[k]);
    track.push_back(
        {map.position[k] - 1, static_cast<std::uint32_t>(k), map.major[k], map.minor[k]});
  }
  for (auto& entry : tracks_) {
    std::stable_sort(
        entry.second.begin(), entry.second.end(),
        [](const TrackedSnp& a, const TrackedSnp& b) { return a.position0 < b.position0; });
  }
}

const SnpTrack* SnpLocator::find(const std::string& chrom) const {
  const auto found = tracks_.find(chrom);
  return found == tracks_.end() ? nullptr : &found->second;
}
