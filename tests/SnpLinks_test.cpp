#include "SnpLinks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// A plain reference: group labels relabelled by flooding after every link.
class FloodGroups {
 public:
  explicit FloodGroups(std::size_t n) : label_(n) {
    for (std::size_t k = 0; k < n; ++k) label_[k] = k;
  }
  void link(std::size_t a, std::size_t b) {
    const std::size_t from = label_[b];
    const std::size_t to = label_[a];
    for (std::size_t& label : label_) {
      if (label == from) label = to;
    }
  }
  std::size_t smallestMember(std::size_t k) const {
    for (std::size_t j = 0; j < label_.size(); ++j) {
      if (label_[j] == label_[k]) return j;
    }
    return k;
  }
  std::size_t size(std::size_t k) const {
    std::size_t n = 0;
    for (std::size_t label : label_) n += label == label_[k];
    return n;
  }

 private:
  std::vector<std::size_t> label_;
};

TEST(SnpLinks, AgreeWithAPlainReferenceOnRandomLinks) {
  std::srand(5);
  for (int trial = 0; trial < 40; ++trial) {
    const std::size_t n = 1 + std::rand() % 60;
    SnpLinks sets(n);
    FloodGroups reference(n);
    const int links = std::rand() % 50;
    for (int i = 0; i < links; ++i) {
      const std::uint32_t a = static_cast<std::uint32_t>(std::rand() % n);
      const std::uint32_t b = static_cast<std::uint32_t>(std::rand() % n);
      sets.link(a, b);
      reference.link(a, b);
    }
    for (std::uint32_t k = 0; k < n; ++k) {
      EXPECT_EQ(sets.firstOfBlock(k), reference.smallestMember(k));
      EXPECT_EQ(sets.isLinked(k), reference.size(k) > 1);
    }
  }
}

}  // namespace
