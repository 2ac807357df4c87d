// A start of the simulated Windows: what Windows carries out for the last session's requests.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "machine.h"

namespace standin {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool Exists(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0;
}

// existing takes the name newName ("" or NUL: existing is deleted).
void Replace(const std::string& existing, const std::string& newName, std::string* report) {
  std::string from, to;
  DWORD error;
  if (!ResolvePath(existing, &from, &error) || !Exists(from)) {
    *report += "skipped " + existing + " (missing)\n";
    return;
  }
  if (newName.empty() || strcasecmp(newName.c_str(), "NUL") == 0) {
    unlink(from.c_str());
    *report += "deleted " + existing + "\n";
    return;
  }
  if (!ResolvePath(newName, &to, &error)) {
    *report += "skipped " + newName + " (no such folder)\n";
    return;
  }
  unlink(to.c_str());
  rename(from.c_str(), to.c_str());
  *report += "moved " + existing + " -> " + newName + "\n";
}

// The [rename] section as a start of Windows 95/98 reads it: up to a Ctrl-Z, section by
// section, entries "name=existing" in order.
void CarryOutWininit(std::string* report) {
  std::string ini, bak;
  DWORD error;
  if (!ResolvePath(Machine().windowsDir + "\\WININIT.INI", &ini, &error) || !Exists(ini)) return;
  ResolvePath(Machine().windowsDir + "\\WININIT.BAK", &bak, &error);
  std::ifstream in(ini, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  text = text.substr(0, text.find('\x1A'));
  std::stringstream lines(text);
  std::string line;
  bool inRename = false;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (!line.empty() && line[0] == '[') {
      inRename = strcasecmp(line.c_str(), "[rename]") == 0;
      continue;
    }
    size_t eq = line.find('=');
    if (!inRename || eq == std::string::npos || line[0] == ';') continue;
    Replace(Trim(line.substr(eq + 1)), Trim(line.substr(0, eq)), report);
  }
  unlink(bak.c_str());
  rename(ini.c_str(), bak.c_str());
  *report += "WININIT.INI -> WININIT.BAK\n";
}

void CarryOutPendingMoves(const std::string& folder, std::string* report) {
  std::ifstream in(folder + "/pending-moves");
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    Replace(line.substr(0, tab), line.substr(tab + 1), report);
  }
  in.close();
  unlink((folder + "/pending-moves").c_str());
}

}  // namespace

bool BootMachine(const std::string& folder, std::string* report) {
  if (!LoadMachine(folder)) return false;
  report->clear();
  if (Machine().family == "nt")
    CarryOutPendingMoves(folder, report);
  else
    CarryOutWininit(report);
  return true;
}

}  // namespace standin
