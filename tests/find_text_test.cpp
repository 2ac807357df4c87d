// FindTextNoCase: ASCII letters without regard to case, the position in the searched text.
#include <gtest/gtest.h>

#include "support.h"

#include "sysutil.h"

namespace {

struct FindCase {
  const char* label;
  const char* text;
  const char* pattern;
  long offset;  // -1: not found
};
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.label; }

const FindCase kFindCases[] = {
    {"exact", "[rename]", "[rename]", 0},
    {"upper-case pattern in lower-case text", "x=1\n[rename]\n", "[RENAME]", 4},
    {"mixed case inside a comment", "; see [ReNaMe] below", "[rename]", 6},
    {"first of two", "[rename][RENAME]", "[rename]", 0},
    {"not there", "[renam]", "[rename]", -1},
    {"pattern longer than text", "[ren", "[rename]", -1},
    {"empty pattern found at the start", "abc", "", 0},
    {"empty text", "", "a", -1},
    {"non-ASCII letters compared exactly", "\xC4ngstr\xF6m", "\xE4ngstr\xF6m", -1},
    {"non-ASCII letters that match exactly", "x\xC4y", "\xC4Y", 1},
    {"'@' and '[' are not letters: no case folding for them", "`[", "@{", -1},
};

class FindTextTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsInTheTextItself) {
  const FindCase& c = GetParam();
  const char* found = FindTextNoCase(c.text, c.pattern);
  if (c.offset < 0) {
    EXPECT_EQ(found, nullptr) << c.label;
  } else {
    EXPECT_EQ(found, c.text + c.offset) << c.label;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, FindTextTest, ::testing::ValuesIn(kFindCases), test::CaseName<FindCase>);

TEST(FindBytesNoCase, SeesPastZeroBytes) {
  const char text[] = "a\0b[Rename]";
  EXPECT_EQ(FindBytesNoCase(text, sizeof text - 1, "[rename]", 8), text + 3);
}

}  // namespace
