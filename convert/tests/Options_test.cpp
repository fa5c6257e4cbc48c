#include "Options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"

namespace {

using convert_test::runConvert;

ConvertOptions parse(std::vector<std::string> args) {
  args.insert(args.begin(), "velta-convert");
  std::vector<char*> argv;
  for (std::string& word : args) argv.push_back(&word[0]);
  return parseOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(Options, EachCommandReadsItsOptions) {
  const ConvertOptions panel =
      parse({"panel", "--vcf", "p.vcf.gz", "--out", "x", "--region", "20:1-9", "--samples-exclude",
             "A,B", "--allow-unphased", "--keep-monomorphic"});
  EXPECT_EQ(panel.command, Command::kPanel);
  EXPECT_EQ(panel.vcf, "p.vcf.gz");
  EXPECT_EQ(panel.out, "x");
  EXPECT_EQ(panel.region, "20:1-9");
  EXPECT_EQ(panel.samplesExclude, "A,B");
  EXPECT_TRUE(panel.allowUnphased);
  EXPECT_TRUE(panel.keepMonomorphic);

  const ConvertOptions map =
      parse({"map", "--vcf", "s.vcf", "--sample", "NA1", "--het-only", "--out", "s.map"});
  EXPECT_EQ(map.command, Command::kMap);
  EXPECT_EQ(map.sample, "NA1");
  EXPECT_TRUE(map.hetOnly);

  const ConvertOptions reads = parse({"reads", "--bam", "r.cram", "--reference", "ref.fa", "--map",
                                      "m", "--out", "o", "--min-mapq", "0", "--min-baseq", "30"});
  EXPECT_EQ(reads.command, Command::kReads);
  EXPECT_EQ(reads.bam, "r.cram");
  EXPECT_EQ(reads.reference, "ref.fa");
  EXPECT_EQ(reads.minMapq, 0);
  EXPECT_EQ(reads.minBaseq, 30);

  const ConvertOptions vcf = parse({"vcf", "--map", "m", "--haplotypes", "h", "--sample", "S",
                                    "--reads", "r", "--out", "o.vcf.gz"});
  EXPECT_EQ(vcf.command, Command::kVcf);
  EXPECT_EQ(vcf.haplotypes, "h");
  EXPECT_EQ(vcf.reads, "r");

  // velta's options are kept for velta's own parser, values verbatim and in order.
  const ConvertOptions phase =
      parse({"phase", "--vcf", "c.vcf.gz", "--sample", "S", "--bam", "r.bam", "--out", "o.vcf.gz",
             "--panel", "p.bcf", "-n", "50", "--seed", "7", "-r", "-5", "--keep-intermediate",
             "dir", "-n", "60"});
  EXPECT_EQ(phase.command, Command::kPhase);
  EXPECT_EQ(phase.panel, "p.bcf");
  EXPECT_EQ(phase.keepIntermediate, "dir");
  EXPECT_EQ(phase.veltaOptions,
            (std::vector<std::string>{"-n", "50", "--seed", "7", "-r", "-5", "-n", "60"}));

  const ConvertOptions ligate =
      parse({"ligate", "--out", "j.vcf.gz", "w0.vcf.gz", "--sample", "S", "w1.vcf.gz"});
  EXPECT_EQ(ligate.command, Command::kLigate);
  EXPECT_EQ(ligate.inputs, (std::vector<std::string>{"w0.vcf.gz", "w1.vcf.gz"}));
  EXPECT_EQ(ligate.sample, "S");

  const ConvertOptions windows = parse({"windows", "--vcf", "p.bcf", "--out", "w.tsv", "--window",
                                        "500", "--overlap", "0", "--seed", "4294967295"});
  EXPECT_EQ(windows.command, Command::kWindows);
  EXPECT_EQ(windows.window, 500);
  EXPECT_EQ(windows.overlap, 0);
  EXPECT_EQ(windows.seed, 4294967295u);
}

TEST(Options, DefaultsAreTheDocumentedOnes) {
  const ConvertOptions reads = parse({"reads", "--bam", "r.bam", "--map", "m", "--out", "o"});
  EXPECT_EQ(reads.minMapq, 20);
  EXPECT_EQ(reads.minBaseq, 13);
  EXPECT_FALSE(reads.allowUnphased);
  EXPECT_TRUE(reads.region.empty());
}

TEST(Options, UsageShowsTheLiveDefaults) {
  char buffer[8192] = {};
  std::FILE* stream = fmemopen(buffer, sizeof buffer - 1, "w");
  printUsage(stream);
  std::fclose(stream);
  const std::string usage(buffer);
  const ConvertOptions defaults;
  EXPECT_NE(usage.find("[--min-mapq " + std::to_string(defaults.minMapq) + "]"), std::string::npos);
  EXPECT_NE(usage.find("[--min-baseq " + std::to_string(defaults.minBaseq) + "]"),
            std::string::npos);
  EXPECT_NE(usage.find("[--window " + std::to_string(kDefaultWindow) + "] [--overlap " +
                       std::to_string(defaults.overlap) + "] [--seed " +
                       std::to_string(defaults.seed) + "]"),
            std::string::npos);
  for (const char* command : {"panel", "map", "reads", "vcf", "ligate", "windows"}) {
    EXPECT_NE(usage.find(std::string("velta-convert ") + command + " "), std::string::npos)
        << command;
  }
}

struct BadLine {
  std::vector<std::string> args;
  const char* message;
};

TEST(Options, MalformedLinesEndTheRunNamingTheProblem) {
  const BadLine cases[] = {
      {{"phasing", "--vcf", "x"}, "unknown command 'phasing'"},
      {{"phase", "--vcf", "x"}, "velta-convert phase needs --sample"},
      {{"map", "--vcf", "s.vcf", "--sample", "S", "--out", "x", "-n", "5"},
       "-n is not an option of velta-convert map"},
      {{"panel", "--vcf", "p.vcf", "--bogus", "--out", "x"}, "unknown option '--bogus'"},
      {{"panel", "--vcf", "p.vcf", "--bam", "r.bam", "--out", "x"},
       "--bam is not an option of velta-convert panel"},
      {{"panel", "--out", "x"}, "velta-convert panel needs --vcf"},
      {{"map", "--vcf", "s.vcf", "--out", "x"}, "velta-convert map needs --sample"},
      {{"vcf", "--map", "m", "--haplotypes", "h", "--out", "o"},
       "velta-convert vcf needs --sample"},
      {{"reads", "--bam", "r", "--map", "m", "--out"}, "--out needs a value"},
      {{"reads", "--bam", "r", "--map", "m", "--out", "o", "--min-mapq", "high"},
       "--min-mapq expects a whole number from 0 to 255, found 'high'"},
      {{"reads", "--bam", "r", "--map", "m", "--out", "o", "--min-baseq", "-1"},
       "--min-baseq expects a whole number from 0 to 255, found '-1'"},
      {{"reads", "--bam", "r", "--map", "m", "--out", "o", "--min-mapq", "20x"},
       "--min-mapq expects a whole number"},
      {{"panel", "--vcf", "", "--out", "x"}, "--vcf needs a value, found an empty text"},
      {{"windows", "--vcf", "p", "--out", "o", "--window", "10", "--overlap", "10"},
       "--window 10 must be larger than --overlap 10"},
      {{"windows", "--vcf", "p", "--out", "o", "--seed", "4294967296"},
       "--seed expects a whole number from 0 to 4294967295, found '4294967296'"},
      {{"windows", "--vcf", "p", "--out", "o", "--seed", "-1"}, "--seed expects a whole number"},
      {{"ligate", "--out", "o", "--overlap", "3", "w.vcf.gz"},
       "--overlap is not an option of velta-convert ligate"},
  };
  for (const BadLine& c : cases) {
    const auto run = runConvert(c.args);
    EXPECT_TRUE(run.fatal) << c.message;
    EXPECT_EQ(run.status, 1) << c.message;
    EXPECT_NE(run.err.find(std::string("FATAL => ") + c.message), std::string::npos)
        << "expected: " << c.message << "\nfound: " << run.err;
  }
}

TEST(Options, HelpGoesToStandardOutputAndSucceeds) {
  const auto help = runConvert({"reads", "--help"});
  EXPECT_TRUE(help.fatal);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: velta-convert"), std::string::npos);
  EXPECT_TRUE(help.err.empty());

  const auto bare = runConvert({});
  EXPECT_EQ(bare.status, 1);
  EXPECT_NE(bare.err.find("Usage: velta-convert"), std::string::npos);
  EXPECT_TRUE(bare.out.empty());
}

}  // namespace
