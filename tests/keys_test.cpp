// Prompt keys against scripted console queues: what typed-ahead keys, repeats, keys without a
// character and modifiers give at each WaitKey.
#include <gtest/gtest.h>

#include "support.h"

#include <vector>

#include "machine.h"
#include "removal.h"

using standin::KeyDown;
using standin::KeyUp;

namespace {

typedef std::vector<INPUT_RECORD> Records;

Records Press(char c, WORD repeat = 1) {
  WORD vk = (WORD)(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  return {KeyDown(vk, 0x10, c, 0, repeat), KeyUp(vk, 0x10, c)};
}
Records Enhanced(WORD vk, WORD scan, char c = 0, WORD repeat = 1) {
  return {KeyDown(vk, scan, c, ENHANCED_KEY, repeat), KeyUp(vk, scan, c, ENHANCED_KEY)};
}
Records Up() { return Enhanced(VK_UP, 0x48); }
Records Insert(WORD repeat = 1) { return Enhanced(VK_INSERT, 0x52, 0, repeat); }
Records Join(std::initializer_list<Records> parts) {
  Records all;
  for (const Records& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
INPUT_RECORD OtherEvent(WORD type) {
  INPUT_RECORD r{};
  r.EventType = type;
  return r;
}

struct KeyCase {
  const char* label;
  std::vector<Records> batches;  // [0] typed ahead; later ones arrive while a read waits
  std::vector<int> expected;     // successive WaitKey results
  bool peekFails = false;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.label; }

class KeysTest : public ::testing::TestWithParam<KeyCase> {
 protected:
  void SetUp() override { OwedKey = OwedKeyState{OWED_IDLE, 0, 0, 0}; }
};

TEST_P(KeysTest, WaitKeyGivesTheseValues) {
  const KeyCase& c = GetParam();
  standin::ScriptConsole(c.batches, c.peekFails);
  std::vector<int> got;
  for (size_t i = 0; i < c.expected.size(); ++i) got.push_back(WaitKey());
  EXPECT_EQ(got, c.expected) << c.label;
}

const KeyCase kKeyCases[] = {
    {"keys typed ahead are thrown away", {Join({Press('a'), Press('b')}), Press('y')}, {'Y', NO_KEY}},
    {"an arrow typed last: its scan code answers at once", {Up()}, {0x48, NO_KEY}},
    {"an arrow typed ahead of a key is thrown away whole", {Join({Up(), Press('a')}), Press('n')}, {'N', NO_KEY}},
    {"an arrow while waiting: 0 then its scan code", {{}, Up()}, {0, 0x48, NO_KEY}},
    {"repeat count 3 gives the character three times", {{}, Press('x', 3)}, {'X', 'X', 'X', NO_KEY}},
    {"repeated Insert gives 0 and 0x52 for each press", {{}, Insert(2)}, {0, 'R', 0, 'R', NO_KEY}},
    {"a repeated key typed ahead outlives the drain", {Press('a', 2), Press('n')}, {'A', 'N', NO_KEY}},
    {"ENHANCED_KEY with a character (keypad Enter) gives 0 and its scan code",
     {{}, Enhanced(VK_RETURN, 0x1C, '\r')}, {0, 0x1C, NO_KEY}},
    {"modifiers alone count for nothing; Shift+y is Y",
     {{}, {KeyDown(VK_SHIFT, 0x2A, 0, SHIFT_PRESSED), KeyDown(VK_CONTROL, 0x1D, 0, LEFT_CTRL_PRESSED),
           KeyDown(VK_MENU, 0x38, 0, LEFT_ALT_PRESSED), KeyUp(VK_MENU, 0x38, 0), KeyUp(VK_CONTROL, 0x1D, 0),
           KeyDown('Y', 0x15, 'Y', SHIFT_PRESSED), KeyUp('Y', 0x15, 'Y', SHIFT_PRESSED)}},
     {'Y', NO_KEY}},
    {"Ctrl+C is the value 3",
     {{}, {KeyDown(VK_CONTROL, 0x1D, 0, LEFT_CTRL_PRESSED), KeyDown('C', 0x2E, 3, LEFT_CTRL_PRESSED),
           KeyUp('C', 0x2E, 3, LEFT_CTRL_PRESSED)}},
     {3, NO_KEY}},
    {"lower-case letters only become upper case, scan codes too", {{}, Press('{'), Enhanced(0x7C, 0x62)},
     {'{', 0, 0x42, NO_KEY}},
    {"mouse, focus and menu events are skipped", {{OtherEvent(MOUSE_EVENT), OtherEvent(FOCUS_EVENT)},
      Join({{OtherEvent(MENU_EVENT)}, Press('n')})}, {'N', NO_KEY}},
    {"a repeat count of 0 is one press, not an endless run", {{}, Press('y', 0)}, {'Y', NO_KEY}},
    {"no key at all gives -1", {}, {NO_KEY, NO_KEY}},
    {"a queue that cannot be examined holds nothing pending", {Press('a'), Press('y')}, {'A', 'Y', NO_KEY}, true},
};

INSTANTIATE_TEST_SUITE_P(Table, KeysTest, ::testing::ValuesIn(kKeyCases), test::CaseName<KeyCase>);

TEST(ReadRawKey, PutsTheConsoleModeBackAroundEveryRead) {
  OwedKey = OwedKeyState{OWED_IDLE, 0, 0, 0};
  standin::ScriptConsole({{}, Up()});
  ASSERT_TRUE(KeyPending() == false);
  DWORD before = 0;
  HANDLE console = CreateFileA("conin$", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_TRUE(GetConsoleMode(console, &before));
  EXPECT_EQ(ReadRawKey(), 0);
  EXPECT_EQ(ReadRawKey(), 0x48);  // owed: no read, the mode still set and put back
  EXPECT_EQ(ReadRawKey(), NO_KEY);
  std::vector<DWORD> expected = {0, before, 0, before, 0, before};
  EXPECT_EQ(standin::ConsoleModesSet(), expected);
}

TEST(FatalExit, WritesBothLinesToStandardErrorAndEndsWithStatus1) {
  standin::ScriptConsole({{}, Press('q')});
  EXPECT_EXIT(FatalExit("Cannot find system directory"), ::testing::ExitedWithCode(1),
              "^Cannot find system directory\r\nPress eny key to exit \\. \\. \\.\r\n$");
}

}  // namespace
