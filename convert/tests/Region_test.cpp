#include "Region.h"

#include <gtest/gtest.h>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

struct Probe {
  const char* region;
  const char* chrom;
  long position;
  bool inside;
};

TEST(Region, ContainsItsInclusiveRangeOnly) {
  const Probe probes[] = {
      {"20:100-200", "20", 99, false},
      {"20:100-200", "20", 100, true},
      {"20:100-200", "20", 200, true},
      {"20:100-200", "20", 201, false},
      {"20:100-200", "21", 150, false},
      {"20:1,000-2,000", "20", 1500, true},
      {"20:1,000-2,000", "20", 2001, false},
      {"20:500", "20", 499, false},
      {"20:500", "20", 900000000, true},
      {"20:500-", "20", 500, true},
      {"20", "20", 1, true},
      {"20", "2", 1, false},
      {"HLA-A*01:01", "HLA-A*01", 1, true},  // read as a range unless a contig has that name
      {"HLA-A*01:01", "HLA-A*01:01", 1, false},
      {"chrUn:abc", "chrUn:abc", 9, true},
      {"chr20:5-5", "chr20", 5, true},
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(Region(p.region).contains(p.chrom, p.position), p.inside)
        << p.region << " " << p.chrom << ":" << p.position;
  }
  EXPECT_TRUE(Region::chromosome("HLA-A*01:01").contains("HLA-A*01:01", 7));
  EXPECT_FALSE(Region::chromosome("HLA-A*01:01").contains("HLA-A*01", 1));
  EXPECT_TRUE(Region().contains("any", 1));
  EXPECT_TRUE(Region().isWholeGenome());
}

TEST(Region, MalformedRangesEndTheRun) {
  for (const char* text : {"20:200-100", "20:0-5", "20:5-x", "20:12a", ":5-9"}) {
    velta_test::ExitGuard catcher;
    testing::internal::CaptureStderr();
    EXPECT_THROW(Region{text}, velta_test::FatalExit) << text;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(std::string("--region ") + text), std::string::npos) << err;
  }
}

}  // namespace
