#include "VeltaIO.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Parameter.h"

namespace {

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
