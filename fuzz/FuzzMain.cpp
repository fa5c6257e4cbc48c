// libFuzzer driver of one harness, chosen at build time by VELTA_FUZZ_ENTRY.
// Every harness runs in a fresh scratch folder, so that whatever file names a
// fuzzed command line produces stay inside it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzTargets.h"
#include "VeltaUtil.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velta_fuzz_XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr || chdir(pattern.c_str()) != 0) {
    std::perror("velta fuzz: scratch folder");
    std::abort();
  }
  velta_fuzz::prepareCommandLineFolder();
  veltaSrand(1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velta_fuzz::VELTA_FUZZ_ENTRY(data, size);
  return 0;
}
