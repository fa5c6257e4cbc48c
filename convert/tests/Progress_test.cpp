#include "Progress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Progress, PrintsALineEveryNItems) {
  Progress progress("alignments", 3);
  testing::internal::CaptureStdout();
  for (int i = 1; i <= 7; ++i) progress.tick("20", 1000 * i);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "  3 alignments read, at 20:3000\n  6 alignments read, at 20:6000\n");
  EXPECT_EQ(progress.count(), 7u);
}

}  // namespace
