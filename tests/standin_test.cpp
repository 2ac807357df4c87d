// The stand-in itself: Windows file semantics on a Unix folder, terminal bytes as key records.
#include <gtest/gtest.h>

#include <sys/xattr.h>

#include "support.h"

namespace {

using test::TestMachine;

TEST(StandinFiles, NamesMatchWithoutRegardToCaseAndAttributesReadAsWineStoresThem) {
  TestMachine m("98");
  m.Put(m.System("zul.dll"), "x");
  EXPECT_EQ(GetFileAttributesA("c:\\windows\\system\\ZUL.DLL"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\SYSTEM"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\SYSTEM\\ZUL.EXE"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

  ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\SYSTEM\\ZUL.DLL",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  std::string host = m.Host(m.System("ZUL.DLL"));
  char value[16] = {0};
  ASSERT_GT(getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value - 1), 0);
  EXPECT_STREQ(value, "0x6");  // what Wine writes for hidden + system
  EXPECT_EQ(GetFileAttributesA(m.System("ZUL.DLL").c_str()),
            (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

  EXPECT_FALSE(DeleteFileA(m.System("ZUL.DLL").c_str()));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA(m.System("ZUL.DLL").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL),
            INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileAttributesA(m.System("ZUL.DLL").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(m.System("ZUL.DLL").c_str()), (DWORD)FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFileA(m.System("ZUL.DLL").c_str()));
}

TEST(StandinFiles, MoveFileRefusesAnExistingTarget) {
  TestMachine m("98");
  m.Put(m.Windows("A.TXT"), "a");
  m.Put(m.Windows("B.TXT"), "b");
  EXPECT_FALSE(MoveFileA("C:\\WINDOWS\\A.TXT", "C:\\WINDOWS\\b.txt"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileA("C:\\WINDOWS\\A.TXT", "C:\\WINDOWS\\C.TXT"));
  EXPECT_EQ(m.Get(m.Windows("C.TXT")), "a");
}

TEST(StandinFiles, NoMachineNamedMeansNoSystemDirectory) {
  standin::LoadMachine("");
  char buffer[MAX_PATH];
  EXPECT_EQ(GetSystemDirectoryA(buffer, MAX_PATH), 0u);
}

struct TerminalCase {
  const char* label;
  std::string bytes;
  WORD vk, scan;
  char ch;
  DWORD state;      // of the key's own down record
  size_t records;   // down and up, plus a modifier's pair
};
void PrintTo(const TerminalCase& c, std::ostream* os) { *os << c.label; }

class TerminalKeysTest : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalKeysTest, BecomeTheRecordsAConsoleQueues) {
  const TerminalCase& c = GetParam();
  std::vector<INPUT_RECORD> r = standin::KeyRecordsFor(c.bytes);
  ASSERT_EQ(r.size(), c.records) << c.label;
  const KEY_EVENT_RECORD& k = r[c.records == 4 ? 1 : 0].Event.KeyEvent;
  EXPECT_TRUE(k.bKeyDown) << c.label;
  EXPECT_EQ(k.wVirtualKeyCode, c.vk) << c.label;
  EXPECT_EQ(k.wVirtualScanCode, c.scan) << c.label;
  EXPECT_EQ(k.uChar.AsciiChar, c.ch) << c.label;
  EXPECT_EQ(k.dwControlKeyState, c.state) << c.label;
  EXPECT_FALSE(r.back().Event.KeyEvent.bKeyDown) << c.label;
}

const TerminalCase kTerminalCases[] = {
    {"letter", "y", 'Y', 0x15, 'y', 0, 2},
    {"capital: Shift first", "Y", 'Y', 0x15, 'Y', SHIFT_PRESSED, 4},
    {"digit", "7", '7', 0x08, '7', 0, 2},
    {"Enter", "\r", VK_RETURN, 0x1C, '\r', 0, 2},
    {"Escape alone", "\x1b", VK_ESCAPE, 0x01, 0x1B, 0, 2},
    {"Backspace", "\x7f", VK_BACK, 0x0E, 8, 0, 2},
    {"Tab", "\t", VK_TAB, 0x0F, '\t', 0, 2},
    {"Ctrl+C", "\x03", 'C', 0x2E, 3, LEFT_CTRL_PRESSED, 4},
    {"Up", "\x1b[A", VK_UP, 0x48, 0, ENHANCED_KEY, 2},
    {"Left in application mode", "\x1bOD", VK_LEFT, 0x4B, 0, ENHANCED_KEY, 2},
    {"Insert", "\x1b[2~", VK_INSERT, 0x52, 0, ENHANCED_KEY, 2},
    {"Delete", "\x1b[3~", VK_DELETE, 0x53, 0, ENHANCED_KEY, 2},
    {"Home", "\x1b[H", VK_HOME, 0x47, 0, ENHANCED_KEY, 2},
    {"End", "\x1b[4~", VK_END, 0x4F, 0, ENHANCED_KEY, 2},
    {"Page Up", "\x1b[5~", VK_PRIOR, 0x49, 0, ENHANCED_KEY, 2},
    {"Page Down", "\x1b[6~", VK_NEXT, 0x51, 0, ENHANCED_KEY, 2},
    {"F1", "\x1bOP", VK_F1, 0x3B, 0, 0, 2},
    {"F5", "\x1b[15~", VK_F1 + 4, 0x3F, 0, 0, 2},
    {"F12", "\x1b[24~", VK_F1 + 11, 0x58, 0, 0, 2},
    {"Ctrl+Up", "\x1b[1;5A", VK_UP, 0x48, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED, 4},
};

INSTANTIATE_TEST_SUITE_P(Table, TerminalKeysTest, ::testing::ValuesIn(kTerminalCases), test::CaseName<TerminalCase>);

TEST(TerminalKeys, UnknownSequencesGiveNothingAndKeysAroundThemSurvive) {
  std::vector<INPUT_RECORD> r = standin::KeyRecordsFor("a\x1b[99~b");
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].Event.KeyEvent.uChar.AsciiChar, 'a');
  EXPECT_EQ(r[2].Event.KeyEvent.uChar.AsciiChar, 'b');
}

}  // namespace
