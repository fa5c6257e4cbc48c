#include "ForwardStep.h"

#include <cstring>

// The step is built twice, for processors with 256-bit vectors and for any
// other, the first call picking one: the same multiplications and additions
// in the same order, four lanes at a time or two, so both give the same
// numbers (no fused multiply-add: that would round once less).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VELTA_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELTA_WIDE_CLONES
#endif

namespace {

// Four doubles, one per lane; g++ and clang map the operators onto the
// widest vectors the target has.
using Lanes = double __attribute__((vector_size(32)));

}  // namespace

// The running sums live in two vector registers, lanes 0-3 and 4-7 of every
// group of eight, so each lane adds its haplotypes in the order of the
// one-at-a-time form; the compiler's own vectorisation kept them in memory.
// The panel is walked a word (eight groups) at a time, each group's factors
// two loads from the 512-byte table.
VELTA_WIDE_CLONES double forwardStep(const double* __restrict previous,
                                     double* __restrict current,
                                     const std::uint64_t* __restrict panel, std::uint64_t mask,
                                     std::size_t hapNo, double stay, double move,
                                     const double* __restrict table) {
  const Lanes stays = {stay, stay, stay, stay};
  const Lanes moves = {move, move, move, move};
  Lanes low = {0, 0, 0, 0};
  Lanes high = {0, 0, 0, 0};
  const std::size_t groups = hapNo / 8;
  for (std::size_t g = 0; g < groups;) {
    std::uint64_t differ = panel[g / 8] ^ mask;
    const std::size_t end = g + 8 < groups ? g + 8 : groups;
#pragma GCC unroll 8
    for (; g < end; ++g, differ >>= 8) {
      Lanes p0;
      Lanes p1;
      Lanes e0;
      Lanes e1;
      std::memcpy(&p0, previous + 8 * g, sizeof p0);
      std::memcpy(&p1, previous + 8 * g + 4, sizeof p1);
      std::memcpy(&e0, table + 4 * (differ & 15U), sizeof e0);
      std::memcpy(&e1, table + 4 * ((differ >> 4) & 15U), sizeof e1);
      const Lanes c0 = (stays * p0 + moves) * e0;
      const Lanes c1 = (stays * p1 + moves) * e1;
      std::memcpy(current + 8 * g, &c0, sizeof c0);
      std::memcpy(current + 8 * g + 4, &c1, sizeof c1);
      low += c0;
      high += c1;
    }
  }
  double sums[8];
  std::memcpy(sums, &low, sizeof low);
  std::memcpy(sums + 4, &high, sizeof high);
  const std::size_t rest = hapNo - 8 * groups;
  if (rest > 0) {
    const std::uint64_t differ = (panel[groups / 8] ^ mask) >> (8 * (groups % 8));
    const double* p = previous + 8 * groups;
    double* c = current + 8 * groups;
    for (std::size_t t = 0; t < rest; ++t) {
      c[t] = (stay * p[t] + move) * table[4 * ((differ >> (t & 4U)) & 15U) + t % 4];
      sums[t] += c[t];
    }
  }
  return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}
