#include "MatePairs.h"

#include <algorithm>
#include <utility>

MateEnd mateEndOf(unsigned flag) {
  const unsigned ends = flag & (0x40u | 0x80u);
  return ends == 0x40u ? MateEnd::kFirst : ends == 0x80u ? MateEnd::kLast : MateEnd::kUnknown;
}

void MatePairs::hold(const char* name, MateEnd end, FragmentCalls& read) {
  Held& held = held_[name];
  held.order = nextOrder_++;
  held.end = end;
  held.read.calls.swap(read.calls);
  held.read.anyKept = read.anyKept;
  read.calls.clear();
  read.anyKept = false;
}

MateMatch MatePairs::takeMate(const char* name, MateEnd end, FragmentCalls& read) {
  const auto found = held_.find(name);
  if (found == held_.end()) return MateMatch::kNone;
  if (end != MateEnd::kUnknown && end == found->second.end) return MateMatch::kSameEnd;
  const FragmentCalls& mate = found->second.read;
  read.calls.insert(read.calls.end(), mate.calls.begin(), mate.calls.end());
  read.anyKept = read.anyKept || mate.anyKept;
  held_.erase(found);
  return MateMatch::kJoined;
}

std::vector<FragmentCalls> MatePairs::takeLeftovers() {
  std::vector<Held> waiting;
  waiting.reserve(held_.size());
  for (auto& entry : held_) waiting.push_back(std::move(entry.second));
  held_.clear();
  std::sort(waiting.begin(), waiting.end(),
            [](const Held& a, const Held& b) { return a.order < b.order; });
  std::vector<FragmentCalls> leftovers;
  leftovers.reserve(waiting.size());
  for (Held& held : waiting) leftovers.push_back(std::move(held.read));
  return leftovers;
}
