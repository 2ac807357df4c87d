// RestartWindows: the privilege step on NT only, the first failing call's code, flags passed on.
#include <gtest/gtest.h>

#include "support.h"
#include "sysutil.h"

namespace {

bool Called(const char* name) {
  for (const std::string& call : standin::CallLog())
    if (call.rfind(name, 0) == 0) return true;
  return false;
}

TEST(RestartWindows, On98ItAsksAtOnceWithNoTokenCall) {
  test::TestMachine m("98");
  standin::CallLog().clear();
  EXPECT_EQ(RestartWindows(EWX_REBOOT, 0), 0u);
  EXPECT_FALSE(Called("OpenProcessToken"));
  EXPECT_FALSE(Called("LookupPrivilegeValueA"));
  EXPECT_FALSE(Called("AdjustTokenPrivileges"));
  EXPECT_EQ(test::ReadBytes(m.folder + "/restarts"), "flags=0x2 reason=0x0\n");
}

TEST(RestartWindows, On98TheResultIsExitWindowsExAlone) {
  test::TestMachine m("98");
  standin::Fault fault;
  fault.call = "ExitWindowsEx";
  fault.error = ERROR_ACCESS_DENIED;
  standin::AddFault(fault);
  EXPECT_EQ(RestartWindows(EWX_REBOOT, 0), (DWORD)ERROR_ACCESS_DENIED);
}

TEST(RestartWindows, OnNTItEnablesThePrivilegeAndPassesFlagsThrough) {
  test::TestMachine m("nt");
  EXPECT_EQ(RestartWindows(EWX_SHUTDOWN | EWX_FORCE, 0x12345), 0u);
  EXPECT_TRUE(Called("OpenProcessToken 40"));  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
  EXPECT_TRUE(Called("LookupPrivilegeValueA SeShutdownPrivilege"));
  EXPECT_EQ(test::ReadBytes(m.folder + "/restarts"), "flags=0x5 reason=0x12345\n");
}

struct StepCase {
  const char* call;
  DWORD error;
  const char* notCalledAfter;  // the call that must not follow
};
void PrintTo(const StepCase& c, std::ostream* os) { *os << c.call; }

class RestartStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(RestartStepTest, StopsAtTheFirstFailureWithItsCode) {
  const StepCase& c = GetParam();
  test::TestMachine m("nt");
  standin::Fault fault;
  fault.call = c.call;
  fault.error = c.error;
  standin::AddFault(fault);
  standin::CallLog().clear();
  EXPECT_EQ(RestartWindows(EWX_REBOOT, 0), c.error) << c.call;
  if (c.notCalledAfter) EXPECT_FALSE(Called(c.notCalledAfter)) << c.call;
  EXPECT_FALSE(test::Exists(m.folder + "/restarts"));
}

const StepCase kStepCases[] = {
    {"GetVersionExA", ERROR_INVALID_PARAMETER, "OpenProcessToken"},
    {"OpenProcessToken", ERROR_ACCESS_DENIED, "LookupPrivilegeValueA"},
    {"LookupPrivilegeValueA", ERROR_NO_SUCH_PRIVILEGE, "AdjustTokenPrivileges"},
    {"AdjustTokenPrivileges", ERROR_INVALID_HANDLE, "ExitWindowsEx"},
    {"ExitWindowsEx", ERROR_NOT_ENOUGH_MEMORY, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Table, RestartStepTest, ::testing::ValuesIn(kStepCases),
                         [](const ::testing::TestParamInfo<StepCase>& i) { return std::string(i.param.call); });

TEST(RestartWindows, PrivilegeNotGrantedGivesExitWindowsExsError) {
  test::TestMachine m("nt");
  standin::SetPrivilegeNotGranted(true);
  EXPECT_EQ(RestartWindows(EWX_REBOOT, 0), (DWORD)ERROR_PRIVILEGE_NOT_HELD);
}

}  // namespace
