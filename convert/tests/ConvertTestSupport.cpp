#include "ConvertTestSupport.h"

#include <gtest/gtest.h>
#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/sam.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "Converter.h"
#include "TestSupport.h"

namespace convert_test {

std::string dataFile(const std::string& name) {
  return std::string(CONVERT_TEST_DATA) + "/" + name;
}

velta_test::RunResult runConvertBinary(const std::vector<std::string>& args,
                                       const std::string& env) {
  return velta_test::runBinary(VELTA_CONVERT_BIN, args, env);
}

ConvertRun runConvert(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"velta-convert"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  ConvertRun run{false, 0, "", ""};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  {
    velta_test::ExitGuard catcher;
    try {
      runConverter(static_cast<int>(words.size()), argv.data());
    } catch (const velta_test::FatalExit& exit) {
      run.fatal = true;
      run.status = exit.status;
    }
  }
  std::fflush(stdout);
  std::fflush(stderr);
  run.out = testing::internal::GetCapturedStdout();
  run.err = testing::internal::GetCapturedStderr();
  return run;
}

std::vector<std::string> vcfBodyLines(const std::string& path) {
  htsFile* file = hts_open(path.c_str(), "r");
  if (file == nullptr) throw std::runtime_error("cannot open " + path);
  bcf_hdr_t* header = bcf_hdr_read(file);
  bcf1_t* record = bcf_init();
  kstring_t text = KS_INITIALIZE;
  std::vector<std::string> lines;
  while (bcf_read(file, header, record) == 0) {
    ks_clear(&text);
    vcf_format(header, record, &text);
    std::string line(text.s, text.l);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  ks_free(&text);
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(file);
  return lines;
}

std::string vcfText(const std::string& path) {
  htsFile* file = hts_open(path.c_str(), "r");
  if (file == nullptr) throw std::runtime_error("cannot open " + path);
  bcf_hdr_t* header = bcf_hdr_read(file);
  kstring_t text = KS_INITIALIZE;
  bcf_hdr_format(header, 0, &text);
  std::string all(text.s, text.l);
  ks_free(&text);
  bcf_hdr_destroy(header);
  hts_close(file);
  for (const std::string& line : vcfBodyLines(path)) all += line + "\n";
  return all;
}

std::string tabField(const std::string& line, int column) {
  std::size_t start = 0;
  for (int i = 0; i < column; ++i) {
    start = line.find('\t', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  return line.substr(start, line.find('\t', start) - start);
}

void writeIndexedVcf(const std::string& path, const std::string& vcfText) {
  velta_test::ScratchDir scratch;
  const std::string plain = scratch.write("input.vcf", vcfText);
  const bool isBcf = path.size() > 4 && path.compare(path.size() - 4, 4, ".bcf") == 0;
  htsFile* in = hts_open(plain.c_str(), "r");
  bcf_hdr_t* header = bcf_hdr_read(in);
  htsFile* out = hts_open(path.c_str(), isBcf ? "wb" : "wz");
  if (bcf_hdr_write(out, header) != 0) throw std::runtime_error("cannot write " + path);
  bcf1_t* record = bcf_init();
  while (bcf_read(in, header, record) == 0) {
    if (bcf_write(out, header, record) != 0) throw std::runtime_error("cannot write " + path);
  }
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(in);
  if (hts_close(out) != 0) throw std::runtime_error("cannot close " + path);
  if (bcf_index_build3(path.c_str(), nullptr, isBcf ? 14 : 0, 0) != 0) {
    throw std::runtime_error("cannot index " + path);
  }
}

void writeSortedCopy(const std::string& sam, const std::string& path,
                     const std::string& reference) {
  samFile* in = sam_open(sam.c_str(), "r");
  sam_hdr_t* header = sam_hdr_read(in);
  std::vector<bam1_t*> records;
  bam1_t* record = bam_init1();
  while (sam_read1(in, header, record) >= 0) {
    records.push_back(record);
    record = bam_init1();
  }
  bam_destroy1(record);
  std::stable_sort(records.begin(), records.end(), [](const bam1_t* a, const bam1_t* b) {
    const auto key = [](const bam1_t* r) {
      return r->core.tid < 0 ? INT64_MAX
                             : (static_cast<std::int64_t>(r->core.tid) << 32) | r->core.pos;
    };
    return key(a) < key(b);
  });
  ASSERT_EQ(sam_hdr_update_hd(header, "SO", "coordinate"), 0);
  samFile* out = sam_open(path.c_str(), reference.empty() ? "wb" : "wc");
  if (!reference.empty()) {
    ASSERT_EQ(hts_set_fai_filename(out, reference.c_str()), 0);
  }
  ASSERT_EQ(sam_hdr_write(out, header), 0);
  for (bam1_t* r : records) {
    ASSERT_GE(sam_write1(out, header, r), 0);
    bam_destroy1(r);
  }
  ASSERT_EQ(sam_close(out), 0);
  sam_hdr_destroy(header);
  sam_close(in);
  ASSERT_EQ(sam_index_build(path.c_str(), 0), 0);
}

std::string replaceOnce(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << "test data lacks: " << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace convert_test
