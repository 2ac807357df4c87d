// Test helpers.
#include "support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace test {

std::string FreshDir(const std::string& tag) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "outside";
  for (char& c : name)
    if (c == '/') c = '_';
  std::string dir = std::string(ZUL_TEST_WORK_DIR) + "/" + name + (tag.empty() ? "" : "." + tag);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

TestMachine::TestMachine(const std::string& family, const std::string& tag) {
  folder = FreshDir(tag.empty() ? family : tag);
  config.family = family;
  std::string error;
  EXPECT_TRUE(standin::CreateMachine(folder, config, &error)) << error;
  EXPECT_TRUE(standin::LoadMachine(folder));
  config = standin::Machine();
}

std::string TestMachine::Host(const std::string& windowsPath) const {
  std::string host = standin::HostPath(windowsPath);
  EXPECT_FALSE(host.empty()) << windowsPath;
  return host;
}

void TestMachine::Put(const std::string& windowsPath, const std::string& bytes) const {
  WriteBytes(Host(windowsPath), bytes);
}
std::string TestMachine::Get(const std::string& windowsPath) const { return ReadBytes(Host(windowsPath)); }
bool TestMachine::Has(const std::string& windowsPath) const { return Exists(Host(windowsPath)); }
DWORD TestMachine::Attributes(const std::string& windowsPath) const { return standin::HostAttributes(Host(windowsPath)); }

std::string Identifier(const std::string& label) {
  std::string name;
  for (char c : label) {
    if (isalnum((unsigned char)c)) name += c;
    else if (!name.empty() && name.back() != '_') name += '_';
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

std::string Visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n\n";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else out += char(c);
  }
  return out;
}

}  // namespace test
