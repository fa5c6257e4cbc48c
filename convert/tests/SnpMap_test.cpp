#include "SnpMap.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TestSupport.h"

namespace {

SnpMap parse(const std::string& text) {
  std::istringstream in(text);
  return readSnpMap(in, "my.map");
}

TEST(SnpMap, ReadsSixFieldsSeparatedByBlanksOrTabs) {
  const SnpMap map = parse("20 rs1 100 100 A G\n20\t20:105\t1.05e2\t105\tC\tT\r\nX  x 7 7  g t\n");
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map.chrom[2], "X");
  EXPECT_EQ(map.name[1], "20:105");
  EXPECT_EQ(map.position[1], 105u);
  EXPECT_EQ(map.major[1], 'C');
  EXPECT_EQ(map.minor[1], 'T');
  EXPECT_EQ(map.major[2], 'g');  // taken as written
}

struct BadMap {
  const char* text;
  const char* message;
};

TEST(SnpMap, MalformedLinesNameTheFileAndLine) {
  const BadMap cases[] = {
      {"20 a 1 1 A G\n\n",
       "SNP map my.map line 2: expected six fields: chromosome, name, "
       "coordinate, position, major allele, minor allele; found 0 fields"},
      {"20 a 1 1 A G C\n", "line 1: expected six fields"},
      {"20 a 1 1 A\n", "found 5 fields"},
      {"20 a x 1 A G\n",
       "line 1: expected a coordinate and a position from 1 in columns 3 and 4, "
       "found 'x' and '1'"},
      {"20 a 1 0 A G\n", "found '1' and '0'"},
      {"20 a 1 -3 A G\n", "found '1' and '-3'"},
      {"20 a 1 99999999999 A G\n", "found '1' and '99999999999'"},
      {"20 a 1 1 AG T\n",
       "line 1: expected one allele character in columns 5 and 6, found 'AG' "
       "and 'T'"},
      {"", "SNP map my.map holds no SNP"},
  };
  for (const BadMap& c : cases) {
    velta_test::ExitGuard catcher;
    testing::internal::CaptureStderr();
    EXPECT_THROW(parse(c.text), velta_test::FatalExit) << c.text;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.message), std::string::npos) << "expected: " << c.message << "\n" << err;
  }
}

TEST(SnpMap, NamesAndLinesAsTheMapFormatWantsThem) {
  EXPECT_EQ(snpName("20", 2000021, "rs73062450"), "rs73062450");
  EXPECT_EQ(snpName("20", 2000021, "."), "20:2000021");
  EXPECT_EQ(snpName("20", 2000021, nullptr), "20:2000021");
  EXPECT_EQ(snpName("20", 5, "rs1;rs2"), "rs1;rs2");
  std::ostringstream out;
  writeMapLine(out, "20", "rs1", 2000021, 'G', 'T');
  EXPECT_EQ(out.str(), "20 rs1 2000021 2000021 G T\n");
}

}  // namespace
