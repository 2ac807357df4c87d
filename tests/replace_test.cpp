// Replacement at the next start: the WININIT.INI rewrite byte for byte, what a start of Windows
// then does with it, every injected fault, and the NT way.
#include <gtest/gtest.h>

#include <dirent.h>

#include <set>

#include "support.h"
#include "sysutil.h"

namespace {

using test::TestMachine;
using test::Visible;

const char kZul[] = "C:\\WINDOWS\\SYSTEM\\WSOCK32.ZUL";
const char kDll[] = "C:\\WINDOWS\\SYSTEM\\WSOCK32.DLL";
const std::string kEntry = std::string(kDll) + "=" + kZul + "\r\n";
const std::string kIni = "C:\\WINDOWS\\WININIT.INI";
const std::string kNew = "C:\\WINDOWS\\WININIT.NEW";

void LayWsock(const TestMachine& m) {
  m.Put(kZul, "original sockets");
  m.Put(kDll, "worm's sockets");
}

struct RewriteCase {
  const char* label;
  bool iniExists;
  std::string ini;
  std::string expected;   // WININIT.INI afterwards
  DWORD iniAttributes = 0;
  const char* staleNew = nullptr;
  bool staleNewReadOnly = false;
  bool succeeds = true;
  bool bootReplaces = true;  // a start of Windows then puts WSOCK32.ZUL in place
};
void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.label; }

std::string Repeat(char c, size_t n) { return std::string(n, c); }

const std::string kLongText = Repeat('x', 600) + "[ReName]" + Repeat('y', 600);
// A header across the 64 KiB reads of the copy.
const std::string kSeamText = Repeat('s', 65536 - 3) + "[rename]" + Repeat('t', 100);

const RewriteCase kRewriteCases[] = {
    {"absent", false, "", "[rename]\r\n" + kEntry},
    {"empty", true, "", "[rename]\r\n" + kEntry},
    {"header with a capital R, before the existing entries", true, "[Rename]\r\nNUL=C:\\OLD.TMP\r\n",
     "[Rename]\r\n" + kEntry + "NUL=C:\\OLD.TMP\r\n"},
    {"header in capitals, other sections kept", true, "[boot]\r\nshell=x\r\n[RENAME]\r\nNUL=C:\\A\r\n",
     "[boot]\r\nshell=x\r\n[RENAME]\r\n" + kEntry + "NUL=C:\\A\r\n"},
    {"header inside a comment counts", true, "; see [rename]\r\n[boot]\r\n",
     "; see [rename]\r\n" + kEntry + "[boot]\r\n", 0, nullptr, false, true, false},
    {"two headers: one entry, after the first", true, "[rename]\r\nNUL=C:\\A\r\n[rename]\r\n",
     "[rename]\r\n" + kEntry + "NUL=C:\\A\r\n[rename]\r\n"},
    {"no header: appended at the end", true, "[boot]\r\nshell=x\r\n", "[boot]\r\nshell=x\r\n[rename]\r\n" + kEntry},
    {"LF-only line ends come out CR LF", true, "[boot]\nshell=x\n[rename]\nNUL=C:\\A\n",
     "[boot]\r\nshell=x\r\n[rename]\r\n" + kEntry + "NUL=C:\\A\r\n"},
    {"CR CR LF keeps one CR of its own", true, "[boot]\r\r\n", "[boot]\r\r\n[rename]\r\n" + kEntry},
    {"a lone CR inside a line is dropped", true, "[bo\rot]\r\n", "[boot]\r\n[rename]\r\n" + kEntry},
    {"last line without a line end gets one before the header", true, "[boot]\r\nshell=x",
     "[boot]\r\nshell=x\r\n[rename]\r\n" + kEntry},
    {"header as last line without a line end", true, "[rename]", "[rename]\r\n" + kEntry},
    {"a line over 498 characters is one line", true, kLongText + "\r\nNUL=C:\\A\r\n",
     kLongText + "\r\n" + kEntry + "NUL=C:\\A\r\n", 0, nullptr, false, true, false},
    {"a header across the copy's reads is found", true, kSeamText + "\r\n", kSeamText + "\r\n" + kEntry, 0, nullptr,
     false, true, false},
    {"zero bytes are carried over", true, std::string("[boot]\r\nsh\0ell=x\r\n[rename]\r\n", 28),
     std::string("[boot]\r\nsh\0ell=x\r\n[rename]\r\n", 28) + kEntry},
    {"Ctrl-Z ends the text: the entry goes before it, the rest is kept as it is", true,
     "[boot]\r\n\x1Ajunk\nafter\r\r", "[boot]\r\n[rename]\r\n" + kEntry + "\x1Ajunk\nafter\r\r"},
    {"Ctrl-Z behind a header", true, "[rename]\r\nNUL=C:\\A\r\n\x1A", "[rename]\r\n" + kEntry + "NUL=C:\\A\r\n\x1A"},
    {"read-only WININIT.INI is replaced all the same", true, "[rename]\r\n", "[rename]\r\n" + kEntry,
     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
    {"stale WININIT.NEW is overwritten", true, "[rename]\r\n", "[rename]\r\n" + kEntry, 0, "stale junk\r\n"},
    {"stale read-only WININIT.NEW: nothing changes", true, "[rename]\r\n", "[rename]\r\n", 0, "stale junk\r\n", true,
     false, false},
};

class RewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteTest, WritesTheseBytesAndAStartOfWindowsCarriesThemOut) {
  const RewriteCase& c = GetParam();
  TestMachine m("98");
  LayWsock(m);
  if (c.iniExists) m.Put(kIni, c.ini);
  if (c.iniAttributes) ASSERT_TRUE(SetFileAttributesA(kIni.c_str(), c.iniAttributes));
  if (c.staleNew) {
    m.Put(kNew, c.staleNew);
    if (c.staleNewReadOnly) ASSERT_TRUE(SetFileAttributesA(kNew.c_str(), FILE_ATTRIBUTE_READONLY));
  }

  int result = ReplaceFileOnRestart(kZul, kDll);

  EXPECT_EQ(result != 0, c.succeeds) << c.label;
  EXPECT_EQ(Visible(m.Get(kIni)), Visible(c.expected)) << c.label;
  EXPECT_EQ(m.Has(kNew), c.staleNewReadOnly) << c.label;
  EXPECT_EQ(standin::OpenFileHandles(), 0) << c.label;

  std::string report;
  ASSERT_TRUE(standin::BootMachine(m.folder, &report));
  EXPECT_EQ(m.Get(kDll), c.bootReplaces ? "original sockets" : "worm's sockets") << c.label << "\n" << report;
}

INSTANTIATE_TEST_SUITE_P(Table, RewriteTest, ::testing::ValuesIn(kRewriteCases), test::CaseName<RewriteCase>);

TEST(Rewrite, TwiceGivesTwoIdenticalEntries) {
  TestMachine m("98");
  ASSERT_TRUE(ReplaceFileOnRestart(kZul, kDll));
  ASSERT_TRUE(ReplaceFileOnRestart(kZul, kDll));
  EXPECT_EQ(m.Get(kIni), "[rename]\r\n" + kEntry + kEntry);
}

TEST(Rewrite, AnAbsentNameIsWrittenAsNUL) {
  TestMachine m("98");
  ASSERT_TRUE(ReplaceFileOnRestart(kZul, NULL));
  EXPECT_EQ(m.Get(kIni), std::string("[rename]\r\nNUL=") + kZul + "\r\n");
}

// --- Faults ---

const std::string kOldIni = "[boot]\r\nshell=Explorer.exe\r\n[rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n" +
                            Repeat('z', 70000) + "\r\n";

struct FaultCase {
  const char* label;
  const char* fault;  // a line of the machine's faults file
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.label; }

const FaultCase kFaultCases[] = {
    {"WININIT.INI exists but cannot be opened", "CreateFileA WININIT.INI error=32"},
    {"WININIT.NEW cannot be created", "CreateFileA WININIT.NEW error=5"},
    {"a read fails half way", "ReadFile WININIT.INI after=100 error=30"},
    {"a read fails later on", "ReadFile WININIT.INI nth=2 error=30"},
    {"a write fails half way", "WriteFile WININIT.NEW after=100 error=112"},
    {"every write fails", "WriteFile WININIT.NEW error=112"},
    {"closing WININIT.NEW fails", "CloseHandle WININIT.NEW error=112"},
    {"WININIT.INI cannot be deleted", "DeleteFileA WININIT.INI error=32"},
    {"no Windows directory", "GetWindowsDirectoryA * error=3"},
    {"no version", "GetVersionExA * error=87"},
};

class RewriteFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(RewriteFaultTest, LeavesWininitAsItWasAndSaysSo) {
  const FaultCase& c = GetParam();
  TestMachine m("98");
  LayWsock(m);
  m.Put(kIni, kOldIni);
  ASSERT_TRUE(SetFileAttributesA(kIni.c_str(), FILE_ATTRIBUTE_READONLY));
  standin::Fault fault;
  ASSERT_TRUE(standin::ParseFault(c.fault, &fault));
  standin::AddFault(fault);

  EXPECT_EQ(ReplaceFileOnRestart(kZul, kDll), 0) << c.label;
  EXPECT_GT(standin::FaultHits(), 0) << c.label;
  EXPECT_TRUE(m.Get(kIni) == kOldIni) << c.label;
  EXPECT_EQ(m.Attributes(kIni), (DWORD)FILE_ATTRIBUTE_READONLY) << c.label;
  EXPECT_FALSE(m.Has(kNew)) << c.label;
  EXPECT_EQ(standin::OpenFileHandles(), 0) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Table, RewriteFaultTest, ::testing::ValuesIn(kFaultCases), test::CaseName<FaultCase>);

// Each call of the rewrite in turn fails: either all is done, or WININIT.INI is as it was.
// The one exception is the final move, after which WININIT.NEW holds all there is.
TEST(RewriteFaults, EveryCallThatFailsLosesNothing) {
  std::string done;
  {
    TestMachine m("98", "reference");
    m.Put(kIni, kOldIni);
    ASSERT_TRUE(ReplaceFileOnRestart(kZul, kDll));
    done = m.Get(kIni);
  }
  for (int n = 1;; ++n) {
    TestMachine m("98", "step");
    m.Put(kIni, kOldIni);
    standin::Fault fault;
    fault.nth = n;
    fault.error = ERROR_WRITE_FAULT;
    standin::AddFault(fault);
    int result = ReplaceFileOnRestart(kZul, kDll);
    if (standin::FaultHits() == 0) {
      EXPECT_TRUE(result);
      EXPECT_GT(n, 5) << "the rewrite makes more calls than that";
      break;
    }
    SCOPED_TRACE("call " + std::to_string(n) + ": " + standin::CallLog().back());
    EXPECT_EQ(standin::OpenFileHandles(), 0);
    std::string ini = m.Has(kIni) ? m.Get(kIni) : "(absent)";
    if (result) {
      EXPECT_TRUE(ini == done);  // a failed attribute change does not matter
    } else if (ini == "(absent)") {
      EXPECT_TRUE(m.Get(kNew) == done);
    } else {
      EXPECT_TRUE(ini == kOldIni);
      EXPECT_FALSE(m.Has(kNew));
    }
  }
}

TEST(Rewrite, AWindowsDirectoryTooLongForThePathsTouchesNothing) {
  test::TestMachine base("98");
  standin::MachineConfig config;
  config.windowsDir = "C:\\" + Repeat('W', 250);
  config.systemDir = "C:\\WINDOWS\\SYSTEM";
  std::string folder = test::FreshDir("long");
  std::string error;
  ASSERT_TRUE(standin::CreateMachine(folder, config, &error)) << error;
  ASSERT_TRUE(standin::LoadMachine(folder));
  standin::CallLog().clear();
  EXPECT_EQ(ReplaceFileOnRestart(kZul, kDll), 0);
  for (const std::string& call : standin::CallLog()) EXPECT_EQ(call.find("CreateFileA"), std::string::npos) << call;
}

// --- NT ---

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

TEST(ReplaceOnNT, RegistersOneDelayedMoveAndWritesNoFile) {
  TestMachine m("nt");
  const std::string zul = m.System("WSOCK32.ZUL"), dll = m.System("WSOCK32.DLL");
  m.Put(zul, "original sockets");
  m.Put(dll, "worm's sockets");
  std::string windowsHost = m.Host(m.config.windowsDir);
  std::set<std::string> before = Listing(windowsHost);

  EXPECT_NE(ReplaceFileOnRestart(zul.c_str(), dll.c_str()), 0);

  EXPECT_EQ(Listing(windowsHost), before);
  EXPECT_EQ(test::ReadBytes(m.folder + "/pending-moves"), zul + "\t" + dll + "\n");
  std::string report;
  ASSERT_TRUE(standin::BootMachine(m.folder, &report));
  EXPECT_EQ(m.Get(dll), "original sockets") << report;
}

TEST(ReplaceOnNT, AFailedMoveIsPassedBack) {
  TestMachine m("nt");
  standin::Fault fault;
  fault.call = "MoveFileExA";
  standin::AddFault(fault);
  EXPECT_EQ(ReplaceFileOnRestart(m.System("WSOCK32.ZUL").c_str(), m.System("WSOCK32.DLL").c_str()), 0);
}

}  // namespace
