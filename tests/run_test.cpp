// The built zulremove, run as a user runs it: in a pseudo-terminal, against simulated machines,
// its redirected output checked byte for byte and the machine folder inspected afterwards.
//
// Keys are sent only once the tool waits for one: the stand-in notes each such wait in the
// machine's console.log, so no test guesses when a prompt begins its read.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "messages.h"
#include "pty.h"
#include "support.h"

namespace {

using namespace test;

const std::string kInsert = "\x1b[2~";

class ToolRun {
 public:
  std::string dir = test::FreshDir();
  std::string machine = dir + "/machine";
  test::Session session;
  termios before{};

  // Sets up the machine with zulmachine; `options` as on its command line.
  void Create(const std::string& options) {
    std::string command = std::string(ZUL_MACHINE_TOOL) + " create " + machine + " " + options;
    ASSERT_EQ(system(command.c_str()), 0) << command;
  }
  void Faults(const std::string& lines) { test::WriteBytes(machine + "/faults", lines); }

  void Start(std::vector<std::string> args = {}, bool named = true, bool terminal = true) {
    test::Run run;
    run.argv = {ZUL_REMOVE_PATH};
    run.argv.insert(run.argv.end(), args.begin(), args.end());
    run.env["ZUL_MACHINE"] = named ? machine : "";
    run.stdoutPath = dir + "/stdout";
    run.stderrPath = dir + "/stderr";
    run.terminal = terminal;
    ASSERT_TRUE(session.Start(run));
    before = session.Settings();
  }

  int Reads() {
    std::ifstream log(machine + "/console.log");
    std::string line;
    int n = 0;
    while (std::getline(log, line)) n += line == "wait";
    return n;
  }
  std::string Log() { return test::ReadBytes(machine + "/console.log"); }
  int KeysTaken() {
    std::string log = Log();
    int n = 0;
    for (size_t at = log.find("key down"); at != std::string::npos; at = log.find("key down", at + 1)) ++n;
    return n;
  }
  // Waits for the tool's nth wait for a key, counting from the start.
  void AwaitRead(int n) {
    ASSERT_TRUE(session.WaitUntil([&] { return Reads() >= n; }, 15000))
        << "no read " << n << "; console.log:\n" << Log();
  }
  // Sends keys at the nth read and waits until they were taken.
  void KeyAt(int n, const std::string& keys) {
    AwaitRead(n);
    int taken = KeysTaken();
    session.Send(keys);
    ASSERT_TRUE(session.WaitUntil([&] { return KeysTaken() > taken; }, 15000))
        << "keys not taken; console.log:\n" << Log();
  }
  int Finish(int timeoutMs = 15000) { return session.Wait(timeoutMs); }
  std::string Out() { return test::ReadBytes(dir + "/stdout"); }
  std::string Err() { return test::ReadBytes(dir + "/stderr"); }

  // Resolved as the stand-in resolves it, without regard to case.
  std::string Host(const std::string& windowsPath) {
    standin::LoadMachine(machine);
    return standin::HostPath(windowsPath);
  }
  std::string System98(const std::string& name) { return Host("C:\\WINDOWS\\SYSTEM\\" + name); }
  bool Has(const std::string& host) { return test::Exists(host); }
  DWORD Attributes(const std::string& host) { return standin::HostAttributes(host); }
  std::string Boot() {
    std::string command = std::string(ZUL_MACHINE_TOOL) + " boot " + machine + " > " + dir + "/boot.txt";
    EXPECT_EQ(system(command.c_str()), 0);
    return test::ReadBytes(dir + "/boot.txt");
  }
  bool TerminalRestored() { return test::SameSettings(before, session.Settings()); }
};

// --- Survey ---

TEST(Run, CleanSystemSaysSoAndClosesOnAnyKey) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"/?", "--remove", "C:\\"}}) {
    ToolRun t;
    t.Create("--files WSOCK32.DLL");
    t.Start(args);
    t.KeyAt(1, "x");
    EXPECT_EQ(t.Finish(), 0);
    EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kNotFound + kClosing)) << "arguments: " << args.size();
    EXPECT_EQ(t.Err(), "");
    EXPECT_TRUE(t.TerminalRestored());
  }
}

struct VerdictCase {
  const char* label;
  const char* files;
  bool zulExeDirectory;
  std::string verdict;
};
void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.label; }

class VerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTest, AsksAndDecliningChangesNothing) {
  const VerdictCase& c = GetParam();
  ToolRun t;
  t.Create(std::string("--files ") + c.files);
  if (c.zulExeDirectory) ASSERT_EQ(mkdir(t.System98("ZUL.EXE").c_str(), 0755), 0);
  t.Start();
  t.KeyAt(1, "n");
  EXPECT_EQ(t.Finish(), 1) << c.label;
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + c.verdict + kQuestion)) << c.label;
  EXPECT_EQ(t.Attributes(t.System98("WSOCK32.ZUL")) == INVALID_FILE_ATTRIBUTES,
            std::string(c.files).find("WSOCK32.ZUL") == std::string::npos);
  EXPECT_FALSE(t.Has(t.Host("C:\\WINDOWS\\WININIT.INI")));
}

const VerdictCase kVerdictCases[] = {
    {"full infection", "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL,WSOCK32.DLL", false, kFound},
    {"full infection without WSOCK32.DLL", "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL", false, kFound},
    {"a directory named ZUL.EXE counts", "ZUL.DLL,WSOCK32.ZUL", true, kFound},
    {"only WSOCK32.ZUL", "WSOCK32.ZUL,WSOCK32.DLL", false, kPartsFound},
    {"only ZUL.EXE", "ZUL.EXE", false, kPartsFound},
};

INSTANTIATE_TEST_SUITE_P(Table, VerdictTest, ::testing::ValuesIn(kVerdictCases), test::CaseName<VerdictCase>);

TEST(Run, TheQuestionIgnoresOtherKeysCtrlCIncluded) {
  ToolRun t;
  t.Create("");
  t.Start();
  int read = 1;
  for (std::string key : {"x", "\r", "\x03", "\x1b[A"}) t.KeyAt(read++, key);
  t.KeyAt(read, "N");  // capital: Shift comes first and counts for nothing
  EXPECT_EQ(t.Finish(), 1);
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion));
  EXPECT_TRUE(t.TerminalRestored());
}

TEST(Run, NoMachineMeansNoSystemDirectory) {
  ToolRun t;
  t.Create("");
  t.Start({}, false);
  t.session.WaitUntil([&] { return !t.Err().empty(); }, 5000);
  t.session.Send("q");
  EXPECT_EQ(t.Finish(), 1);  // not the stand-in's 99 for Win32's own FatalExit
  EXPECT_EQ(Visible(t.Err()), Visible("Cannot find system directory\r\n" + kFatalPrompt));
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner));
}

TEST(Run, ASystemDirectoryTooLongForItsBufferIsNotFound) {
  ToolRun t;
  std::string longDir = "C:\\WINDOWS";
  while (longDir.size() < 300) longDir += "\\DIRECTORY";
  t.Create("--system '" + longDir + "' --files none");
  t.Start();
  t.KeyAt(1, "q");
  EXPECT_EQ(t.Finish(), 1);
  EXPECT_EQ(Visible(t.Err()), Visible("Cannot find system directory\r\n" + kFatalPrompt));
}

TEST(Run, WithoutAnyTerminalTheQuestionEndsAsDeclined) {
  ToolRun t;
  t.Create("");
  t.Start({}, true, false);
  EXPECT_EQ(t.Finish(5000), 1);
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion));
  EXPECT_TRUE(t.Has(t.System98("ZUL.EXE")));
}

TEST(Run, CtrlCDuringThePauseEndsTheRunBeforeAnyFileChanges) {
  ToolRun t;
  t.Create("--attr ZUL.DLL=RHS");
  t.Start();
  t.KeyAt(1, "y");
  usleep(300 * 1000);
  t.session.Send("\x03");
  EXPECT_EQ(t.Finish(), 128 + SIGINT);
  EXPECT_TRUE(t.Has(t.System98("ZUL.EXE")));
  EXPECT_EQ(t.Attributes(t.System98("ZUL.DLL")),
            (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_TRUE(t.TerminalRestored());
}

TEST(Run, ASignalDuringAKeyReadLeavesTheTerminalAsItWas) {
  ToolRun t;
  t.Create("");
  t.Start();
  t.AwaitRead(1);
  EXPECT_FALSE(test::SameSettings(t.before, t.session.Settings()));  // raw while it reads
  t.session.Kill(SIGTERM);
  EXPECT_EQ(t.Finish(), 128 + SIGTERM);
  EXPECT_TRUE(t.TerminalRestored());
}

// --- Cleaning ---

struct CureCase {
  const char* family;
  const char* system;
  std::string answer;  // at the restart prompt
};
void PrintTo(const CureCase& c, std::ostream* os) { *os << c.family; }

class CureTest : public ::testing::TestWithParam<CureCase> {};

TEST_P(CureTest, FullInfectionIsCuredAtTheNextStart) {
  const CureCase& c = GetParam();
  ToolRun t;
  t.Create(std::string("--clock 20 --family ") + c.family);
  auto file = [&](const char* name) { return t.Host(std::string(c.system) + "\\" + name); };
  t.Start();
  t.KeyAt(1, "y");
  t.AwaitRead(2);
  EXPECT_FALSE(t.Has(file("ZUL.EXE")));
  EXPECT_FALSE(t.Has(file("ZUL.DLL")));
  EXPECT_EQ(t.Attributes(file("WSOCK32.ZUL")), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(t.Attributes(file("WSOCK32.DLL")), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
  std::string zul = std::string(c.system) + "\\WSOCK32.ZUL", dll = std::string(c.system) + "\\WSOCK32.DLL";
  if (std::string(c.family) == "nt") {
    EXPECT_EQ(test::ReadBytes(t.machine + "/pending-moves"), zul + "\t" + dll + "\n");
    EXPECT_FALSE(t.Has(t.Host("C:\\WINNT\\WININIT.INI")));
  } else {
    EXPECT_EQ(Visible(test::ReadBytes(t.Host("C:\\WINDOWS\\WININIT.INI"))),
              Visible("[rename]\r\n" + dll + "=" + zul + "\r\n"));
  }
  EXPECT_FALSE(t.Has(t.machine + "/restarts"));

  t.KeyAt(2, c.answer);
  ASSERT_TRUE(t.session.WaitUntil([&] { return t.Has(t.machine + "/restarts"); }, 5000));
  EXPECT_EQ(test::ReadBytes(t.machine + "/restarts"), "flags=0x2 reason=0x0\n");
  usleep(500 * 1000);
  EXPECT_TRUE(t.session.Alive()) << "the tool waits for Windows to end it";
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kRestart));
  EXPECT_EQ(t.Err(), "");
  t.session.Kill(SIGTERM);  // what the shutdown would do
  t.Finish();

  std::string report = t.Boot();
  EXPECT_EQ(test::ReadBytes(file("WSOCK32.DLL")), "Windows Sockets library, the original one\r\n") << report;
  EXPECT_FALSE(t.Has(file("WSOCK32.ZUL")));
}

const CureCase kCureCases[] = {
    {"98", "C:\\WINDOWS\\SYSTEM", "r"},
    {"nt", "C:\\WINNT\\system32", "R"},
};

INSTANTIATE_TEST_SUITE_P(Families, CureTest, ::testing::ValuesIn(kCureCases),
                         [](const ::testing::TestParamInfo<CureCase>& i) { return std::string("Windows") + i.param.family; });

TEST(Run, PartialInfectionIsRemovedAndTheRunEndsNormally) {
  for (const char* files : {"ZUL.EXE,ZUL.DLL,WSOCK32.DLL", "ZUL.DLL"}) {
    ToolRun t;
    t.Create(std::string("--clock 20 --files ") + files);
    t.Start();
    t.KeyAt(1, "y");
    t.KeyAt(2, "x");
    EXPECT_EQ(t.Finish(), 0) << files;
    EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kPartsFound + kQuestion + kRemoving + kPartial + kClosing));
    EXPECT_FALSE(t.Has(t.System98("ZUL.EXE")));
    EXPECT_FALSE(t.Has(t.System98("ZUL.DLL")));
    EXPECT_FALSE(t.Has(t.Host("C:\\WINDOWS\\WININIT.INI")));
    EXPECT_FALSE(t.Has(t.machine + "/restarts"));
  }
}

TEST(Run, ProtectedZulDllGoesAndAZulExeInUseChangesNoMessage) {
  ToolRun t;
  t.Create("--clock 20 --attr ZUL.DLL=RHS");
  t.Faults("DeleteFileA ZUL.EXE error=32\n");
  t.Start();
  t.KeyAt(1, "y");
  t.AwaitRead(2);
  EXPECT_FALSE(t.Has(t.System98("ZUL.DLL")));
  EXPECT_TRUE(t.Has(t.System98("ZUL.EXE")));
  t.KeyAt(2, "r");
  EXPECT_TRUE(t.session.WaitUntil([&] { return t.Has(t.machine + "/restarts"); }, 5000));
  t.session.Kill(SIGTERM);
  t.Finish();
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kRestart));
}

TEST(Run, OnlyRAndInsertAnswerTheRestartPrompt) {
  ToolRun t;
  t.Create("--clock 20");
  t.Start();
  t.KeyAt(1, "y");
  int read = 2;
  for (std::string key : {"Y", "n", "\r", "\x1b", "\x03"}) t.KeyAt(read++, key);
  EXPECT_FALSE(t.Has(t.machine + "/restarts"));
  t.KeyAt(read, kInsert);  // 0, then its scan code 0x52: 'R'
  EXPECT_TRUE(t.session.WaitUntil([&] { return t.Has(t.machine + "/restarts"); }, 5000));
}

TEST(Run, InsertTypedDuringThePauseAnswersTheRestartPrompt) {
  ToolRun t;
  t.Create("--clock 5");
  t.Start();
  t.KeyAt(1, "y");
  t.session.Send(kInsert);
  EXPECT_TRUE(t.session.WaitUntil([&] { return t.Has(t.machine + "/restarts"); }, 10000));
  EXPECT_EQ(t.Reads(), 1) << "no key was waited for after the pause";
}

TEST(Run, ThePauseComesBeforeAnyFileIsTouched) {
  ToolRun t;
  t.Create("--clock 4 --attr ZUL.EXE=R");
  t.Start();
  t.KeyAt(1, "y");
  // Seconds into the pause nothing has changed, and what changes now is what the cleaning sees.
  EXPECT_TRUE(t.Has(t.System98("ZUL.EXE")));
  EXPECT_EQ(t.Attributes(t.System98("ZUL.EXE")), (DWORD)FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(unlink(t.System98("WSOCK32.DLL").c_str()), 0);
  t.KeyAt(2, "x");
  EXPECT_EQ(t.Finish(), 0);
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kPartial + kClosing));
}

TEST(Run, AFailedRegistrationIsReportedAndNothingIsRestarted) {
  ToolRun t;
  std::string ini = "[boot]\r\nshell=Explorer.exe\r\n";
  test::WriteBytes(t.dir + "/wininit", ini);
  t.Create("--clock 20 --wininit " + t.dir + "/wininit");
  t.Faults("CreateFileA WININIT.NEW error=5\n");
  t.Start();
  t.KeyAt(1, "y");
  t.KeyAt(2, "r");
  EXPECT_EQ(t.Finish(), 1);
  EXPECT_EQ(Visible(t.Err()),
            Visible("Cannot register the replacement of WSOCK32.DLL for the next start of Windows\r\n" + kFatalPrompt));
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion + kRemoving));
  EXPECT_EQ(test::ReadBytes(t.Host("C:\\WINDOWS\\WININIT.INI")), ini);
  EXPECT_FALSE(t.Has(t.machine + "/restarts"));
}

TEST(Run, AFailedRestartIsReported) {
  ToolRun t;
  t.Create("--clock 20");
  t.Faults("ExitWindowsEx * error=5\n");
  t.Start();
  t.KeyAt(1, "y");
  t.KeyAt(2, "r");
  t.KeyAt(3, "x");
  EXPECT_EQ(t.Finish(), 1);
  EXPECT_EQ(Visible(t.Err()), Visible("Cannot restart Windows, restart it yourself to finish\r\n" + kFatalPrompt));
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kRestart));
}

TEST(Run, NoKeyAtTheRestartPromptEndsWithoutRestarting) {
  ToolRun t;
  t.Create("--clock 20");
  // The question's read and the drain of its key release go through; then the console is gone.
  t.Faults("ReadConsoleInputA * from=3 error=6\n");
  t.Start();
  t.KeyAt(1, "y");
  EXPECT_EQ(t.Finish(), 0);
  EXPECT_EQ(Visible(t.Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kRestart));
  EXPECT_FALSE(t.Has(t.machine + "/restarts"));
}

}  // namespace
