// The real Windows build under Wine, in NT mode and in Windows 98 mode, run in a
// pseudo-terminal whose keys are the user's, standard output and error redirected to files.
// (Wine's console takes its keys from the terminal on the wine command's standard input.)
//
// Wine's console gives no sign of when a prompt starts to read, and keys typed ahead of a
// prompt are thrown away; so each answer is typed again and again until its effect shows
// (the process ends, a file goes, a file changes). Keys left over are ones the tool drains or
// ignores.
//
// A start of Wine (the first process of a wineserver session, and ExitWindowsEx) carries out
// WININIT.INI and the pending moves, so each scenario keeps one persistent wineserver from
// laying its files to the end of the tool's run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "messages.h"
#include "pty.h"
#include "support.h"

namespace {

using namespace test;

const std::string kOriginal = "original Windows Sockets library\r\n";
const std::string kWormSockets = "worm's Windows Sockets wrapper\r\n";
const char kSessionManager[] = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";

const int kPauseMs = 10 * 1000;  // the real pause: Wine sleeps as Windows does

std::string Prefix() { return ZUL_WINE_PREFIX; }
std::string System32() { return Prefix() + "/drive_c/windows/system32"; }
std::string WindowsDir() { return Prefix() + "/drive_c/windows"; }

// Host path of a file in a folder, matched without regard to case (Wine keeps names as written).
std::string Find(const std::string& folder, const std::string& name) {
  std::string command = "find '" + folder + "' -maxdepth 1 -iname '" + name + "' | head -n 1";
  FILE* p = popen(command.c_str(), "r");
  char line[4096] = {0};
  if (p) {
    if (!fgets(line, sizeof line, p)) line[0] = 0;
    pclose(p);
  }
  std::string found = line;
  while (!found.empty() && found.back() == '\n') found.pop_back();
  return found;
}
bool Has(const std::string& folder, const std::string& name) { return !Find(folder, name).empty(); }
void Remove(const std::string& folder, const std::string& name) {
  std::string host = Find(folder, name);
  if (!host.empty()) {
    chmod(host.c_str(), 0644);
    unlink(host.c_str());
  }
}

// A wine command whose output goes to a file: Wine's services inherit its handles.
int Wine(const std::string& args, const std::string& output = "/dev/null") {
  std::string command = "wine " + args + " < /dev/null > '" + output + "' 2>&1";
  return system(command.c_str());
}

class WineRun : public ::testing::Test {
 protected:
  std::string dir;
  test::Session session;
  termios before{};

  static void SetUpTestSuite() {
    setenv("WINEPREFIX", ZUL_WINE_PREFIX, 1);
    setenv("WINEARCH", "win32", 1);
    setenv("WINEDEBUG", "-all", 1);
    unsetenv("DISPLAY");
  }

  void SetUp() override { dir = test::FreshDir(); }
  void TearDown() override {
    session.Kill(SIGKILL);
    system("wineserver -k > /dev/null 2>&1");
    system("wineserver -w > /dev/null 2>&1");
  }

  // A new Wine session with the tool's Windows version set, nothing pending, and the system
  // directory as Wine left it but for the files named here.
  void Reset(bool windows98, const std::string& wormFiles) {
    system("wineserver -k > /dev/null 2>&1");
    system("wineserver -w > /dev/null 2>&1");
    ASSERT_EQ(system("wineserver -p"), 0);
    Wine(std::string("reg delete \"") + kSessionManager + "\" /v PendingFileRenameOperations /f");
    std::string appDefaults = "\"HKCU\\Software\\Wine\\AppDefaults\\zulremove.exe\"";
    if (windows98)
      ASSERT_EQ(Wine("reg add " + appDefaults + " /v Version /d win98 /f"), 0);
    else
      Wine("reg delete " + appDefaults + " /f");
    for (const char* name : {"ZUL.EXE", "ZUL.DLL", "WSOCK32.ZUL", "WSOCK32.DLL"}) Remove(System32(), name);
    for (const char* name : {"WININIT.INI", "WININIT.BAK", "WININIT.NEW"}) Remove(WindowsDir(), name);
    test::WriteBytes(System32() + "/wsock32.dll", kWormSockets);
    std::stringstream names(wormFiles);
    std::string name;
    while (std::getline(names, name, ','))
      if (!name.empty()) test::WriteBytes(System32() + "/" + name, name == "WSOCK32.ZUL" ? kOriginal : "worm\r\n");
  }

  void Start(bool terminal = true) {
    test::Run run;
    run.argv = {"wine", ZUL_WINDOWS_EXE};
    run.stdoutPath = dir + "/stdout";
    run.stderrPath = dir + "/stderr";
    run.terminal = terminal;
    // Wine's console reads the Unix terminal through the wine command's standard input; the
    // tool itself still reads only "conin$".
    run.stdinFromTerminal = true;
    ASSERT_TRUE(session.Start(run));
    before = session.Settings();
  }

  // Types `key` every 300 ms until `done` holds.
  bool TypeUntil(const std::string& key, const std::function<bool()>& done, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      session.Send(key);
      session.WaitUntil(done, 300);
    }
    return true;
  }
  bool TypeUntilExit(const std::string& key, int timeoutMs = 15000) {
    return TypeUntil(key, [&] { return !session.Alive(); }, timeoutMs);
  }
  std::string Out() { return test::ReadBytes(dir + "/stdout"); }
  std::string Err() { return test::ReadBytes(dir + "/stderr"); }
  std::string PendingMoves() {
    Wine(std::string("reg query \"") + kSessionManager + "\" /v PendingFileRenameOperations", dir + "/reg.txt");
    return test::ReadBytes(dir + "/reg.txt");
  }
};

TEST_F(WineRun, CleanSystem) {
  Reset(false, "");
  Start();
  ASSERT_TRUE(TypeUntilExit("x"));
  EXPECT_EQ(session.Wait(1000), 0);
  EXPECT_EQ(Visible(Out()), Visible(kBanner + kNotFound + kClosing));
  EXPECT_EQ(Err(), "");
}

TEST_F(WineRun, DecliningChangesNothing) {
  Reset(true, "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL");
  Start();
  ASSERT_TRUE(TypeUntilExit("n"));
  EXPECT_EQ(session.Wait(1000), 1);
  EXPECT_EQ(Visible(Out()), Visible(kBanner + kFound + kQuestion));
  EXPECT_TRUE(Has(System32(), "ZUL.EXE"));
  EXPECT_TRUE(Has(System32(), "WSOCK32.ZUL"));
  EXPECT_FALSE(Has(WindowsDir(), "WININIT.INI"));
}

TEST_F(WineRun, PartialInfectionWithAProtectedZulDll) {
  Reset(false, "ZUL.EXE,ZUL.DLL");
  // Stored as Wine stores them: read-only as no write bits, hidden and system in user.DOSATTRIB.
  ASSERT_TRUE(standin::SetHostAttributes(System32() + "/ZUL.DLL",
                                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  Wine("cmd /c attrib 'C:\\windows\\system32\\ZUL.DLL'", dir + "/attrib.txt");
  std::string flags = test::ReadBytes(dir + "/attrib.txt").substr(0, 10);  // Wine sees what the stand-in writes
  for (char flag : {'R', 'H', 'S'}) EXPECT_NE(flags.find(flag), std::string::npos) << flags;
  Start();
  ASSERT_TRUE(TypeUntil("y", [&] { return !Has(System32(), "ZUL.DLL"); }, kPauseMs + 15000));
  ASSERT_TRUE(TypeUntilExit("x"));
  EXPECT_EQ(session.Wait(1000), 0);
  EXPECT_EQ(Visible(Out()), Visible(kBanner + kPartsFound + kQuestion + kRemoving + kPartial + kClosing));
  EXPECT_FALSE(Has(System32(), "ZUL.EXE"));
  EXPECT_FALSE(Has(WindowsDir(), "WININIT.INI"));
  EXPECT_EQ(PendingMoves().find("WSOCK32"), std::string::npos);
}

TEST_F(WineRun, FullInfectionInNTMode) {
  Reset(false, "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL");
  Start();
  ASSERT_TRUE(TypeUntil("y", [&] { return !Has(System32(), "ZUL.EXE"); }, kPauseMs + 15000));
  usleep(1000 * 1000);  // the registration follows the deletions at once
  std::string pending = PendingMoves();
  size_t zul = pending.find("\\??\\C:\\windows\\system32\\WSOCK32.ZUL");
  size_t dll = pending.find("\\??\\C:\\windows\\system32\\WSOCK32.DLL");
  EXPECT_NE(zul, std::string::npos) << pending;
  EXPECT_NE(dll, std::string::npos) << pending;
  EXPECT_LT(zul, dll) << "existing first, then the name it takes";
  EXPECT_FALSE(Has(WindowsDir(), "WININIT.INI"));

  ASSERT_TRUE(TypeUntil("r", [&] { return test::ReadBytes(Find(System32(), "WSOCK32.DLL")) == kOriginal; }, 20000));
  EXPECT_FALSE(Has(System32(), "WSOCK32.ZUL"));
  EXPECT_TRUE(session.Alive()) << "Wine does not end a console process at a restart: the tool waits silently";
  EXPECT_EQ(Visible(Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kRestart));
  EXPECT_EQ(Err(), "");
}

TEST_F(WineRun, FullInfectionInWindows98Mode) {
  Reset(true, "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL");
  std::string oldIni = "[boot]\r\nshell=Explorer.exe\r\n";
  test::WriteBytes(WindowsDir() + "/WININIT.INI", oldIni);
  Start();
  ASSERT_TRUE(TypeUntil("y", [&] { return !Has(System32(), "ZUL.EXE"); }, kPauseMs + 15000));
  usleep(1000 * 1000);
  EXPECT_EQ(Visible(test::ReadBytes(Find(WindowsDir(), "WININIT.INI"))),
            Visible(oldIni + "[rename]\r\nC:\\windows\\system32\\WSOCK32.DLL=C:\\windows\\system32\\WSOCK32.ZUL\r\n"));
  EXPECT_EQ(PendingMoves().find("WSOCK32"), std::string::npos);

  ASSERT_TRUE(TypeUntil("r", [&] { return test::ReadBytes(Find(System32(), "WSOCK32.DLL")) == kOriginal; }, 20000));
  EXPECT_FALSE(Has(WindowsDir(), "WININIT.INI")) << "consumed by the start of Windows";
  EXPECT_EQ(Visible(Out()), Visible(kBanner + kFound + kQuestion + kRemoving + kRestart));
}

TEST_F(WineRun, NoConsoleAtAll) {
  Reset(false, "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL");
  Start(false);
  EXPECT_EQ(session.Wait(10000), 1);
  EXPECT_EQ(Visible(Out()), Visible(kBanner + kFound + kQuestion));
  EXPECT_TRUE(Has(System32(), "ZUL.EXE"));
}

}  // namespace
