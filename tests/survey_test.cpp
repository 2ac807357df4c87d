// Target paths: built from the system directory, and never a cut one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "removal.h"

namespace {

TEST(MakeSystemPath, JoinsDirectoryAndName) {
  strcpy(SystemDirectory, "C:\\WINDOWS\\SYSTEM");
  PathBuffer out;
  EXPECT_EQ(MakeSystemPath("ZUL.EXE", out), out);
  EXPECT_STREQ(out, "C:\\WINDOWS\\SYSTEM\\ZUL.EXE");
}

TEST(MakeSystemPath, APathThatWouldBeCutIsLeftEmptyAndCountsAsAbsent) {
  // 247 + 1 + 11 = 259 characters fit; one more would not.
  std::string directory = "C:\\" + std::string(244, 'D');
  strcpy(SystemDirectory, directory.c_str());
  PathBuffer out;
  MakeSystemPath("WSOCK32.ZUL", out);
  EXPECT_EQ(strlen(out), 259u);
  MakeSystemPath("WSOCK32.DLL", out);  // same length: still fits
  EXPECT_EQ(strlen(out), 259u);
  strcat(SystemDirectory, "D");
  MakeSystemPath("WSOCK32.DLL", out);
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(IsPresent(out));
}

}  // namespace
