// zulmachine: sets up, starts again and shows a simulated Windows machine for the stand-in.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "machine.h"

using namespace standin;

namespace {

const char kUsage[] =
    "usage:\n"
    "  zulmachine create DIR [--family 98|nt] [--windows C:\\DIR] [--system C:\\DIR]\n"
    "                        [--files NAME,...|none] [--attr NAME=RHSA]... [--clock N]\n"
    "                        [--wininit FILE]\n"
    "      A machine as the worm leaves it: by default ZUL.EXE, ZUL.DLL, WSOCK32.ZUL and\n"
    "      WSOCK32.DLL in the system directory. --attr gives a file Read-only, Hidden,\n"
    "      System or Archive; --clock N makes the tool's pauses N times shorter;\n"
    "      --wininit copies FILE to WININIT.INI in the Windows directory.\n"
    "  zulmachine boot DIR    start the machine again: carry out WININIT.INI or the pending moves\n"
    "  zulmachine show DIR    the system directory, WININIT.INI, pending moves and restarts\n"
    "Then run the tool with ZUL_MACHINE=DIR.\n";

// What each file holds, so that a replacement can be seen.
const char* ContentOf(const std::string& name) {
  if (strcasecmp(name.c_str(), "WSOCK32.ZUL") == 0) return "Windows Sockets library, the original one\r\n";
  if (strcasecmp(name.c_str(), "WSOCK32.DLL") == 0) return "Windows Sockets library, wrapped by the worm\r\n";
  if (strcasecmp(name.c_str(), "ZUL.EXE") == 0) return "Quillox/ZUL worm, program\r\n";
  if (strcasecmp(name.c_str(), "ZUL.DLL") == 0) return "Quillox/ZUL worm, library\r\n";
  return "";
}

DWORD ParseAttributes(const std::string& letters) {
  DWORD a = 0;
  for (char c : letters) switch (c | 0x20) {
      case 'r': a |= FILE_ATTRIBUTE_READONLY; break;
      case 'h': a |= FILE_ATTRIBUTE_HIDDEN; break;
      case 's': a |= FILE_ATTRIBUTE_SYSTEM; break;
      case 'a': a |= FILE_ATTRIBUTE_ARCHIVE; break;
      default: return INVALID_FILE_ATTRIBUTES;
    }
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

std::string AttributeLetters(DWORD a) {
  std::string s;
  s += a & FILE_ATTRIBUTE_READONLY ? 'R' : '-';
  s += a & FILE_ATTRIBUTE_HIDDEN ? 'H' : '-';
  s += a & FILE_ATTRIBUTE_SYSTEM ? 'S' : '-';
  s += a & FILE_ATTRIBUTE_ARCHIVE ? 'A' : '-';
  s += a & FILE_ATTRIBUTE_DIRECTORY ? 'D' : '-';
  return s;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return bool(out);
}

int Create(const std::string& dir, std::vector<std::string> args) {
  MachineConfig config;
  std::string files = "ZUL.EXE,ZUL.DLL,WSOCK32.ZUL,WSOCK32.DLL", wininit;
  std::vector<std::pair<std::string, DWORD>> attributes;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) {
      std::cerr << "zulmachine: " << a << " needs a value\n" << kUsage;
      return 2;
    }
    const std::string& v = args[++i];
    if (a == "--family") config.family = strcasecmp(v.c_str(), "nt") == 0 ? "nt" : v;
    else if (a == "--windows") config.windowsDir = v;
    else if (a == "--system") config.systemDir = v;
    else if (a == "--files") files = v == "none" ? "" : v;
    else if (a == "--clock") config.clockDivisor = atoi(v.c_str());
    else if (a == "--wininit") wininit = v;
    else if (a == "--attr") {
      size_t eq = v.find('=');
      DWORD attr = eq == std::string::npos ? INVALID_FILE_ATTRIBUTES : ParseAttributes(v.substr(eq + 1));
      if (attr == INVALID_FILE_ATTRIBUTES) {
        std::cerr << "zulmachine: --attr wants NAME=RHSA, not " << v << "\n";
        return 2;
      }
      attributes.push_back({v.substr(0, eq), attr});
    } else {
      std::cerr << "zulmachine: unknown option " << a << "\n" << kUsage;
      return 2;
    }
  }
  if (config.clockDivisor < 1) config.clockDivisor = 1;
  std::string error;
  if (!CreateMachine(dir, config, &error) || !LoadMachine(dir)) {
    std::cerr << "zulmachine: " << (error.empty() ? "cannot create " + dir : error) << "\n";
    return 1;
  }
  std::stringstream list(files);
  std::string name;
  while (std::getline(list, name, ',')) {
    if (name.empty()) continue;
    std::string host = HostPath(Machine().systemDir + "\\" + name);
    if (host.empty() || !WriteAll(host, ContentOf(name))) {
      std::cerr << "zulmachine: cannot create " << name << "\n";
      return 1;
    }
  }
  if (!wininit.empty() && !WriteAll(HostPath(Machine().windowsDir + "\\WININIT.INI"), ReadAll(wininit))) {
    std::cerr << "zulmachine: cannot copy " << wininit << "\n";
    return 1;
  }
  for (auto& [file, attr] : attributes) {
    std::string host = HostPath(Machine().systemDir + "\\" + file);
    if (host.empty() || !SetHostAttributes(host, attr)) {
      std::cerr << "zulmachine: cannot set attributes of " << file << "\n";
      return 1;
    }
  }
  return 0;
}

void ShowFile(const std::string& title, const std::string& path) {
  std::string text = ReadAll(path);
  if (text.empty()) return;
  std::cout << title << ":\n";
  for (char c : text)
    if (c != '\r') std::cout << c;
  if (text.back() != '\n') std::cout << '\n';
}

int Show(const std::string& dir) {
  if (!LoadMachine(dir)) {
    std::cerr << "zulmachine: no machine in " << dir << "\n";
    return 1;
  }
  const MachineConfig& m = Machine();
  std::cout << "Windows " << (m.family == "nt" ? "NT" : "95/98") << ", Windows directory " << m.windowsDir
            << ", system directory " << m.systemDir << "\n";
  std::string system = HostPath(m.systemDir);
  if (DIR* d = opendir(system.c_str())) {
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
      std::string text = ReadAll(system + "/" + n);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      std::cout << "  " << AttributeLetters(HostAttributes(system + "/" + n)) << "  " << n << "  \"" << text
                << "\"\n";
    }
  }
  ShowFile("WININIT.INI", HostPath(m.windowsDir + "\\WININIT.INI"));
  ShowFile("Pending moves (existing, new)", dir + "/pending-moves");
  ShowFile("Restart requests", dir + "/restarts");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << kUsage;
    return 2;
  }
  std::string command = argv[1], dir = argv[2];
  std::vector<std::string> rest(argv + 3, argv + argc);
  if (command == "create") return Create(dir, rest);
  if (command == "show") return Show(dir);
  if (command == "boot") {
    std::string report;
    if (!BootMachine(dir, &report)) {
      std::cerr << "zulmachine: no machine in " << dir << "\n";
      return 1;
    }
    std::cout << report;
    return 0;
  }
  std::cerr << kUsage;
  return 2;
}
