// Random WININIT.INI files through the rewrite: the result must be the input, line ends in CR LF,
// with exactly one entry (and a header where there was none) where a plain model puts it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "machine.h"
#include "sysutil.h"

namespace {

const char kZul[] = "C:\\WINDOWS\\SYSTEM\\WSOCK32.ZUL";
const char kDll[] = "C:\\WINDOWS\\SYSTEM\\WSOCK32.DLL";

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c += 0x20;
  return s;
}

std::string Crlf(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// The whole file in memory, rule by rule.
std::string Model(const std::string& input) {
  const std::string entry = std::string(kDll) + "=" + kZul + "\r\n";
  size_t z = input.find('\x1A');
  std::string text = input.substr(0, z), tail = z == std::string::npos ? "" : input.substr(z);
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') decoded += text[i];
    else if (i + 1 < text.size()) decoded += text[++i];
  }
  std::string out;
  bool written = false;
  for (size_t start = 0; start < decoded.size();) {
    size_t lf = decoded.find('\n', start);
    size_t end = lf == std::string::npos ? decoded.size() : lf + 1;
    std::string line = decoded.substr(start, end - start);
    out += Crlf(line);
    if (!written && Lower(line).find("[rename]") != std::string::npos) {
      if (line.back() != '\n') out += "\r\n";
      out += entry;
      written = true;
    }
    start = end;
  }
  if (!written) {
    if (!decoded.empty() && decoded.back() != '\n') out += "\r\n";
    out += "[rename]\r\n" + entry;
  }
  return out + tail;
}

std::string Host(const std::string& windowsPath) {
  std::string host = standin::HostPath(windowsPath);
  if (host.empty()) abort();
  return host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    standin::MachineConfig config;
    std::string error;
    if (!standin::CreateMachine(ZUL_FUZZ_MACHINE, config, &error) || !standin::LoadMachine(ZUL_FUZZ_MACHINE)) abort();
    ready = true;
  }
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string ini = Host("C:\\WINDOWS\\WININIT.INI");
  FILE* f = fopen(ini.c_str(), "wb");
  if (!f || fwrite(input.data(), 1, input.size(), f) != input.size() || fclose(f) != 0) abort();

  if (!ReplaceFileOnRestart(kZul, kDll)) abort();

  f = fopen(ini.c_str(), "rb");
  if (!f) abort();
  std::string got;
  char buffer[65536];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) got.append(buffer, n);
  fclose(f);
  if (got != Model(input)) {
    fprintf(stderr, "rewrite differs from the model (input %zu bytes, output %zu bytes)\n", size, got.size());
    abort();
  }
  if (standin::OpenFileHandles() != 0) abort();
  return 0;
}
