// Test helpers: scratch folders, whole-file reads and writes, simulated machines.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "machine.h"

namespace test {

// A fresh, empty folder under the build tree, named after the running test.
std::string FreshDir(const std::string& tag = "");
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// A machine folder, created and loaded in this process.
struct TestMachine {
  std::string folder;
  standin::MachineConfig config;
  explicit TestMachine(const std::string& family = "98", const std::string& tag = "");
  std::string Host(const std::string& windowsPath) const;  // on the machine's drive_c
  std::string System(const std::string& name) const { return config.systemDir + "\\" + name; }
  std::string Windows(const std::string& name) const { return config.windowsDir + "\\" + name; }
  void Put(const std::string& windowsPath, const std::string& bytes) const;
  std::string Get(const std::string& windowsPath) const;
  bool Has(const std::string& windowsPath) const;
  DWORD Attributes(const std::string& windowsPath) const;
};

// Printable form of bytes for failure messages: \r \n \0 and others escaped.
std::string Visible(const std::string& bytes);

// A test name from a case's label: "a line over 498 characters" -> "a_line_over_498_characters".
std::string Identifier(const std::string& label);
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return Identifier(info.param.label);
}

}  // namespace test
