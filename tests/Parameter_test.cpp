#include "Parameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "TestSupport.h"

namespace {

using velta_test::ExitGuard;
using velta_test::FatalExit;
using velta_test::ScratchDir;

TEST(ParameterRecord, FreshRecordHoldsTheDefaults) {
  Parameter p;
  EXPECT_EQ(p.getVerbose(), 1);
  EXPECT_EQ(p.getMaxIter(), 1000);
  EXPECT_EQ(p.getSubIter(), 100);
  EXPECT_FALSE(p.getHasRef());
  EXPECT_EQ(p.getChunkSize(), 5000);
  EXPECT_EQ(p.getOverlapSize(), 500);
  EXPECT_EQ(p.getSampleSize(), 30);
  EXPECT_DOUBLE_EQ(p.getSeqError(), 0.01);
  EXPECT_DOUBLE_EQ(p.getEmitError(), 0.002);
  EXPECT_DOUBLE_EQ(p.getTranNe(), 0.001);
  EXPECT_DOUBLE_EQ(p.getSmoothMu(), 1.0);
  EXPECT_DOUBLE_EQ(p.getSeqLogError(), std::log(0.01));
  EXPECT_DOUBLE_EQ(p.getSeqLogRight(), std::log(0.99));
  EXPECT_DOUBLE_EQ(p.getEmitLogError(), std::log(0.002));
  EXPECT_DOUBLE_EQ(p.getEmitLogRight(), std::log(1 - 0.002));
  EXPECT_EQ(p.getNSnp(), 0U);
  EXPECT_EQ(p.getMajorAllele(0), '~');
  EXPECT_EQ(p.getMinorAllele(0), '~');
  EXPECT_STREQ(p.getSeqFile(), "");
  EXPECT_STREQ(p.getRefFile(), "");
  EXPECT_STREQ(p.getMapFile(), "");
  EXPECT_STREQ(p.getOutFile(), "");
}

TEST(ParameterRecord, ErrorSettersRecomputeTheirLogarithms) {
  Parameter p;
  p.setSeqError(0.05);
  EXPECT_DOUBLE_EQ(p.getSeqLogError(), std::log(0.05));
  EXPECT_DOUBLE_EQ(p.getSeqLogRight(), std::log(0.95));
  EXPECT_DOUBLE_EQ(p.getSeqRight(), 0.95);
  p.setEmitError(0.1);
  EXPECT_DOUBLE_EQ(p.getEmitLogError(), std::log(0.1));
  EXPECT_DOUBLE_EQ(p.getEmitLogRight(), std::log(0.9));
  EXPECT_DOUBLE_EQ(p.getEmitRight(), 0.9);
  // Rates of 0 and 1 give infinite logarithms, outside 0..1 not a number.
  p.setSeqError(0.0);
  EXPECT_EQ(p.getSeqLogError(), -std::numeric_limits<double>::infinity());
  p.setSeqError(1.0);
  EXPECT_EQ(p.getSeqLogRight(), -std::numeric_limits<double>::infinity());
  p.setEmitError(1.5);
  EXPECT_TRUE(std::isnan(p.getEmitLogRight()));
}

TEST(ParameterTransitions, WorkedExampleAtDistanceOneThousand) {
  Parameter p = velta_test::mapFromText("1 a 0 0 A G\n1 b 1000 0 A G\n");
  p.renewTran(100);
  const double q = std::exp(-0.04);
  EXPECT_EQ(p.getTranHapNo(), 100U);
  EXPECT_DOUBLE_EQ(p.getTranLogDiff(1), std::log((1 - q) / 100));
  EXPECT_DOUBLE_EQ(p.getTranLogSame(1), std::log((1 - q) / 100 + q));
  EXPECT_NEAR(p.getTranLogPlus(1), -0.04, 1e-12);
  EXPECT_EQ(p.getTranLogDiff(0), 0.0);
  EXPECT_EQ(p.getTranLogSame(0), 0.0);
  EXPECT_EQ(p.getTranLogPlus(0), 0.0);
}

TEST(ParameterTransitions, CoincidentCoordinatesMakeMovingImpossibleFromK73) {
  Parameter p = velta_test::mapFromText("1 a 100 0 A G\n1 b 100 0 A G\n");
  p.renewTran(100);
  EXPECT_EQ(p.getTranLogDiff(1), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(p.getTranLogSame(1), 0.0);
  EXPECT_EQ(p.getTranLogPlus(1), 0.0);
  // Small panels keep a finite, tiny move probability at the floored distance.
  p.renewTran(1);
  EXPECT_NEAR(p.getTranLogDiff(1), -33.2, 0.05);
  p.renewTran(30);
  EXPECT_NEAR(p.getTranLogDiff(1), -40.1, 0.05);
  p.renewTran(72);
  EXPECT_TRUE(std::isfinite(p.getTranLogDiff(1)));
  p.renewTran(73);
  EXPECT_EQ(p.getTranLogDiff(1), -std::numeric_limits<double>::infinity());
}

TEST(ParameterTransitions, MuScalesStayAndMoveAndPlusIsTheirDifference) {
  Parameter one = velta_test::mapFromText("1 a 0 0 A G\n1 b 2500 0 A G\n1 c 2600 0 A G\n");
  Parameter two = one;
  one.renewTran(50);
  two.setSmoothMu(2.0);
  two.renewTran(50);
  for (unsigned j = 1; j < 3; ++j) {
    EXPECT_DOUBLE_EQ(two.getTranLogDiff(j), 2 * one.getTranLogDiff(j));
    EXPECT_DOUBLE_EQ(two.getTranLogSame(j), 2 * one.getTranLogSame(j));
    const double same = std::exp(one.getTranLogSame(j));
    const double diff = std::exp(one.getTranLogDiff(j));
    EXPECT_NEAR(two.getTranLogPlus(j), std::log(same * same - diff * diff), 1e-12);
    // In probability space staying is moving plus the extra weight.
    EXPECT_NEAR(std::exp(one.getTranLogSame(j)),
                std::exp(one.getTranLogDiff(j)) + std::exp(one.getTranLogPlus(j)), 1e-15);
  }
}

TEST(ParameterTransitions, OneSnpOnlyStoresThePanelSize) {
  Parameter p = velta_test::mapFromText("1 a 5 0 A G\n");
  p.renewTran(7);
  EXPECT_EQ(p.getTranHapNo(), 7U);
  EXPECT_EQ(p.getTranLogDiff(0), 0.0);
}

TEST(ParameterTransitions, ACopyRenewsIndependently) {
  Parameter original = velta_test::mapFromText("1 a 0 0 A G\n1 b 1000 0 A G\n");
  original.renewTran(100);
  Parameter copy = original;
  copy.renewTran(5);
  EXPECT_EQ(original.getTranHapNo(), 100U);
  EXPECT_DOUBLE_EQ(original.getTranLogPlus(1), std::log(std::exp(-0.04)));
  EXPECT_NE(copy.getTranLogDiff(1), original.getTranLogDiff(1));
}

TEST(MapLoader, ReadsColumnsInOrder) {
  Parameter p = velta_test::mapFromText(
      "20 rs1 100.5 100 A G\n20\trs2\t2e3\t2000\tC\tT\r\n20 rs3 3000 3000 G A");
  ASSERT_EQ(p.getNSnp(), 3U);
  EXPECT_EQ(p.getMajorAllele(0), 'A');
  EXPECT_EQ(p.getMinorAllele(0), 'G');
  EXPECT_EQ(p.getMajorAllele(1), 'C');
  EXPECT_EQ(p.getMinorAllele(1), 'T');
  EXPECT_EQ(p.getMajorAllele(2), 'G');
  EXPECT_EQ(p.getMinorAllele(2), 'A');
  EXPECT_EQ(p.getMajorAllele(3), '~');
  EXPECT_DOUBLE_EQ(p.getSnpPos(0), 100.5);
  EXPECT_DOUBLE_EQ(p.getSnpPos(1), 2000.0);
  for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(p.getTranLogDiff(j), 0.0);
}

TEST(MapLoader, TwoCharacterAlleleColumnGivesBothAlleles) {
  Parameter p = velta_test::mapFromText("20 rs1 1 1 AG T\n");
  ASSERT_EQ(p.getNSnp(), 1U);
  EXPECT_EQ(p.getMajorAllele(0), 'A');
  EXPECT_EQ(p.getMinorAllele(0), 'G');
}

TEST(MapLoader, EmptyFileGivesNoSnp) {
  Parameter p = velta_test::mapFromText("");
  EXPECT_EQ(p.getNSnp(), 0U);
}

TEST(MapLoader, AReadErrorIsFatalNotAnEarlyEnd) {
  ScratchDir scratch;
  std::ifstream folder(scratch.path());  // opens, but every read fails
  Parameter p;
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(p.initFromMapStream(folder), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL => SNP map file  could not be read after line 0\n\n");
}

TEST(FileOptions, AFolderIsRejectedAtOnce) {
  ScratchDir scratch;
  const std::string folder = scratch.path();
  const struct {
    void (Parameter::*set)(const char*);
    const char* what;
  } options[] = {{&Parameter::setSeqFile, "Sequencing file "},
                 {&Parameter::setMapFile, "SNP map file "},
                 {&Parameter::setRefFile, "Reference file "}};
  for (const auto& option : options) {
    Parameter p;
    ExitGuard catcher;
    testing::internal::CaptureStderr();
    EXPECT_THROW((p.*option.set)(folder.c_str()), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FATAL => " + std::string(option.what) + folder + " is a folder, not a file\n\n");
    EXPECT_FALSE(p.getHasRef());
  }
}

TEST(MapLoader, ANulByteInsideANumberIsNotCutAway) {
  const std::string nul(1, '\0');
  for (const std::string& text :
       {"20 rs1 1" + nul + "00 1 A G\n", "20 rs1 100 1" + nul + "7 A G\n"}) {
    ExitGuard catcher;
    testing::internal::CaptureStderr();
    EXPECT_THROW(velta_test::mapFromText(text), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FATAL => Map file has wrong format\n\n");
  }
}

struct BadMap {
  const char* name;
  const char* text;
};

void PrintTo(const BadMap& c, std::ostream* os) {
  *os << c.name;
}

class MapLoaderRejects : public ::testing::TestWithParam<BadMap> {};

TEST_P(MapLoaderRejects, WithTheWrongFormatMessage) {
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  int status = 0;
  try {
    velta_test::mapFromText(GetParam().text);
  } catch (const FatalExit& e) {
    status = e.status;
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "FATAL => Map file has wrong format\n\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MapLoaderRejects,
    ::testing::Values(BadMap{"FiveFields", "20 rs1 1 1 A\n"},
                      BadMap{"SevenFields", "20 rs1 1 1 A G x\n"},
                      BadMap{"BlankLineInside", "20 rs1 1 1 A G\n\n20 rs2 2 2 A G\n"},
                      BadMap{"BlankLastLine", "20 rs1 1 1 A G\n\n"},
                      BadMap{"CoordinateNotANumber", "20 rs1 abc 1 A G\n"},
                      BadMap{"IntegerNotANumber", "20 rs1 1 x1 A G\n"},
                      BadMap{"IntegerWithTrailingText", "20 rs1 1 1e5 A G\n"},
                      BadMap{"NegativeInteger", "20 rs1 1 -4 A G\n"},
                      BadMap{"IntegerBeyond32Bits", "20 rs1 1 4294967296 A G\n"},
                      BadMap{"CoordinateNotFinite", "20 rs1 nan 1 A G\n"},
                      BadMap{"CoordinateInfinite", "20 rs1 1 1 A G\n20 rs2 -inf 2 A G\n"},
                      BadMap{"CoordinateOverflows", "20 rs1 1e400 1 A G\n"}),
    [](const testing::TestParamInfo<BadMap>& info) { return info.param.name; });

TEST(LineCounter, CountsWhiteSpaceSeparatedWords) {
  Parameter p;
  EXPECT_EQ(p.validateLine(""), 0);
  EXPECT_EQ(p.validateLine(" \t "), 0);
  EXPECT_EQ(p.validateLine("a b\tc\r"), 3);
}

}  // namespace

namespace {

TEST(ParameterMap, RecordsInMemoryLoadAsTheMapFileDoes) {
  const Parameter fromFile =
      velta_test::mapFromText("20 rs1 100 100 A G\n20 20:250 250.5 250 C T\n");
  Parameter fromRecords;
  fromRecords.initFromMapRecords(
      {{"20", "rs1", 100, 100, 'A', 'G'}, {"20", "20:250", 250.5, 250, 'C', 'T'}});
  ASSERT_EQ(fromRecords.getNSnp(), 2u);
  for (unsigned j = 0; j < 2; ++j) {
    EXPECT_EQ(fromRecords.getSnpPos(j), fromFile.getSnpPos(j));
    EXPECT_EQ(fromRecords.getMajorAllele(j), fromFile.getMajorAllele(j));
    EXPECT_EQ(fromRecords.getMinorAllele(j), fromFile.getMinorAllele(j));
  }
  Parameter a(fromFile);
  Parameter b(fromRecords);
  a.renewTran(10);
  b.renewTran(10);
  EXPECT_EQ(a.getTranLogDiff(1), b.getTranLogDiff(1));
  EXPECT_EQ(b.getMajorAllele(2), '~');
}

}  // namespace
