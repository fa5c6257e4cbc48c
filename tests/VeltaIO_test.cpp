#include "VeltaIO.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using velta_test::ExitGuard;
using velta_test::FatalExit;
using velta_test::fileExists;
using velta_test::readFile;
using velta_test::ScratchDir;

Parameter mapOf(const std::string& text) {
  std::istringstream in(text);
  Parameter parameter;
  parameter.initFromMapStream(in);
  return parameter;
}

const char kThreeSnps[] = "20 rs1 100 100 A G\n20 rs2 200 200 C T\n20 rs3 300 300 G A\n";

TEST(MessageLine, LongTextIsCutToTheBuffer) {
  const std::string huge(5000, 'x');
  std::memset(line, 0, kLineSize);
  composeLine("Sequencing file %s does not exist\n", huge.c_str());
  EXPECT_EQ(std::strlen(line), kLineSize - 1);
  EXPECT_EQ(std::string(line).substr(0, 16), "Sequencing file ");
}

TEST(MessageLine, ShortTextIsComposedWhole) {
  composeLine("Number of read : [%d]", 42);
  EXPECT_STREQ(line, "Number of read : [42]");
}

TEST(Messages, LevelGatesProgressMessages) {
  Parameter p;
  p.setVerbose(1);
  testing::internal::CaptureStdout();
  veltaMessage("zero", 0, p);
  veltaMessage("one", 1, p);
  veltaMessage("two", 2, p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "zero\none\n");
  p.setVerbose(0);
  testing::internal::CaptureStdout();
  veltaMessage("zero", 0, p);
  veltaMessage("one", 1, p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "zero\n");
}

TEST(Messages, WarningKeepsItsTextAndAddsANewline) {
  testing::internal::CaptureStderr();
  veltaWarning("careful\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARINING => careful\n\n");
}

TEST(Messages, ErrorExitEndsWithStatusOne) {
  EXPECT_EXIT(veltaErrorExit("broken\n"), testing::ExitedWithCode(1), "FATAL => broken\n\n");
}

struct EmptyCase {
  const char* text;
  bool empty;
};

TEST(IsEmpty, OnlyDashesBlanksAndTabsAreEmpty) {
  const EmptyCase cases[] = {{"", true},    {"---", true}, {" \t-", true},  {"-A-", false},
                             {"\r", false}, {"5", false},  {"  - \t", true}};
  for (const EmptyCase& c : cases) EXPECT_EQ(isEmpty(c.text), c.empty) << '"' << c.text << '"';
}

}  // namespace

namespace {

std::vector<Read> loadReads(const std::string& text, const Parameter& parameter) {
  std::istringstream in(text);
  std::vector<Read> reads;
  readSeqStream(in, "reads.txt", reads, parameter);
  return reads;
}

TEST(ReadFile, SkipsBlankLinesAndDropsReadsWithoutCalls) {
  const Parameter p = mapOf(kThreeSnps);
  veltaSrand(12);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const std::vector<Read> reads = loadReads("1 AC\n\n--\n \t-\n\r\n2 --\n1 XX\n3 A\n1 G-G", p);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(reads.size(), 3U);
  EXPECT_EQ(reads[0].size(), 2U);
  EXPECT_EQ(reads[1].size(), 1U);
  EXPECT_EQ(reads[2].size(), 2U);  // the last line needs no line feed
  // Skipped lines draw nothing; every parsed line draws once for its flip,
  // also the dropped ones ("\r", "2 --", "1 XX").
  veltaSrand(12);
  std::vector<int> flips;
  for (int i = 0; i < 6; ++i) flips.push_back(veltaRand() & 1);
  EXPECT_EQ(reads[0].getFlip(), flips[0]);
  EXPECT_EQ(reads[1].getFlip(), flips[4]);
  EXPECT_EQ(reads[2].getFlip(), flips[5]);
}

TEST(ReadFile, FatalLinesAreNamedByFileAndLine) {
  const Parameter p = mapOf(kThreeSnps);
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(loadReads("1 A\n\n2 C 0 A\n", p), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL => Read file reads.txt, line 3: SNP positions count from 1, found position "
            "0\n\n");
}

TEST(ReadFile, ASnpMayGatherAtMostWhatItsCountsHold) {
  const Parameter p = mapOf(kThreeSnps);
  std::string text;
  for (int i = 0; i < 65535; ++i) text += i % 2 ? "2 C\n" : "1 AT\n";
  EXPECT_EQ(loadReads(text, p).size(), 65535U);  // SNP 2 holds exactly 65535
  text += "3 A\n1 -T\n";
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(loadReads(text, p), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL => Read file reads.txt, line 65537: SNP 2 of the SNP map is covered by more "
            "than 65535 read alleles, more than its allele counts hold\n\n");
}

TEST(ReadFile, AReadErrorIsFatalNotAnEarlyEnd) {
  const Parameter p = mapOf(kThreeSnps);
  ScratchDir scratch;
  std::ifstream folder(scratch.path());  // opens, but every read fails
  std::vector<Read> reads;
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(readSeqStream(folder, "reads.txt", reads, p), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL => Read file reads.txt could not be read after line 0\n\n");
}

TEST(ReadFile, AMissingFileGivesNoReadsAndNoMessage) {
  const Parameter p = mapOf(kThreeSnps);
  ScratchDir scratch;
  std::vector<Read> reads;
  testing::internal::CaptureStderr();
  readSeqFile(scratch.file("none.txt").c_str(), reads, p);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(reads.empty());
  readSeqFile(scratch.write("reads.txt", "1 A\n2 T\n").c_str(), reads, p);
  EXPECT_EQ(reads.size(), 2U);
}

TEST(OutputCheck, KeepsExistingContentsAndLeavesNoNewFile) {
  ScratchDir scratch;
  const std::string existing = scratch.write("old.txt", "keep me\n");
  checkOutputWritable(existing.c_str());
  EXPECT_EQ(readFile(existing), "keep me\n");
  const std::string fresh = scratch.file("new.txt");
  checkOutputWritable(fresh.c_str());
  EXPECT_FALSE(fileExists(fresh));
  checkOutputWritable("");
}

TEST(OutputCheck, AnUncreatableFileIsFatal) {
  ScratchDir scratch;
  const std::string cases[] = {scratch.file("missing/out.txt"), scratch.path()};
  const char* reasons[] = {"No such file or directory", "Is a directory"};
  ExitGuard catcher;
  for (int i = 0; i < 2; ++i) {
    testing::internal::CaptureStderr();
    EXPECT_THROW(checkOutputWritable(cases[i].c_str()), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FATAL => Output file " + cases[i] + " cannot be created: " + reasons[i] + "\n\n");
  }
}

class OutputFile : public ::testing::Test {
 protected:
  const Parameter map_ = mapOf(kThreeSnps);
  ScratchDir scratch_;
};

TEST_F(OutputFile, AssemblyWritesTheHaplotypeAndItsComplement) {
  Parameter p = map_;
  const std::string out = scratch_.write("out.txt", "an older, longer result\n\n\n\n");
  p.setOutFile(out.c_str());
  outputAssembly(Haplotype(std::vector<bool>{false, true, false}), p);
  EXPECT_EQ(readFile(out), "AG\nTC\nGA\n");
}

TEST_F(OutputFile, InferenceWritesBothHaplotypes) {
  Parameter p = map_;
  const std::string out = scratch_.file("out.txt");
  p.setOutFile(out.c_str());
  outputInference(Haplotype(std::vector<bool>{false, true, true}),
                  Haplotype(std::vector<bool>{false, true, false}), p);
  EXPECT_EQ(readFile(out), "AA\nTT\nAG\n");
}

TEST_F(OutputFile, ZeroSnpsGiveAnEmptyFile) {
  Parameter p;
  const std::string out = scratch_.write("out.txt", "old\n");
  p.setOutFile(out.c_str());
  outputAssembly(Haplotype(0), p);
  EXPECT_TRUE(fileExists(out));
  EXPECT_EQ(readFile(out), "");
}

TEST_F(OutputFile, NoNameWritesNothing) {
  const Parameter p = map_;
  outputAssembly(Haplotype(3), p);
  outputInference(Haplotype(3), Haplotype(3), p);
  EXPECT_FALSE(fileExists(""));
}

TEST_F(OutputFile, FailedWritesAreFatal) {
  if (!fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  Parameter p = map_;
  p.setOutFile("/dev/full");
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(outputAssembly(Haplotype(3), p), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL => Cannot write output file /dev/full: No space left on device\n\n");
  const std::string missing = scratch_.file("missing/out.txt");
  p.setOutFile(missing.c_str());
  testing::internal::CaptureStderr();
  EXPECT_THROW(outputInference(Haplotype(3), Haplotype(3), p), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL => Cannot open output file " + missing + ": No such file or directory\n\n");
}

}  // namespace
