// The simulated machine: its folder, its paths, its file attributes, its faults.
#include "machine.h"

#include "handles.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {

namespace {

struct State {
  bool loaded = false;
  bool triedEnvironment = false;
  std::string folder;
  MachineConfig config;
  std::vector<Fault> faults;
  bool privilegeNotGranted = false;
  int faultHits = 0;
  std::vector<std::string> calls;
};

State& S() {
  static State state;
  if (!state.triedEnvironment) {
    state.triedEnvironment = true;
    const char* named = getenv("ZUL_MACHINE");
    if (named && *named) LoadMachine(named);
  }
  return state;
}

const char kDosAttrib[] = "user.DOSATTRIB";

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (suffix.size() > text.size()) return false;
  return strcasecmp(text.c_str() + text.size() - suffix.size(), suffix.c_str()) == 0;
}

void DefaultDirectories(MachineConfig& c) {
  bool nt = c.family == "nt";
  if (c.windowsDir.empty()) c.windowsDir = nt ? "C:\\WINNT" : "C:\\WINDOWS";
  if (c.systemDir.empty()) c.systemDir = c.windowsDir + (nt ? "\\system32" : "\\SYSTEM");
}

// Folders named by a Windows path, created under drive_c.
bool MakeWindowsFolders(const std::string& folder, const std::string& windowsPath) {
  if (windowsPath.size() < 3 || strncasecmp(windowsPath.c_str(), "C:\\", 3) != 0) return false;
  std::string host = folder + "/drive_c";
  std::stringstream parts(windowsPath.substr(3));
  std::string part;
  while (std::getline(parts, part, '\\')) {
    if (part.empty()) continue;
    host += "/" + part;
    if (mkdir(host.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool CreateMachine(const std::string& folder, const MachineConfig& config, std::string* error) {
  MachineConfig c = config;
  DefaultDirectories(c);
  if (c.family != "98" && c.family != "nt") {
    if (error) *error = "family must be 98 or nt";
    return false;
  }
  mkdir(folder.c_str(), 0755);
  if (mkdir((folder + "/drive_c").c_str(), 0755) != 0 && errno != EEXIST) {
    if (error) *error = "cannot create " + folder + "/drive_c";
    return false;
  }
  // A directory too long for Windows' buffers is announced all the same, to see the tool cope.
  bool made = MakeWindowsFolders(folder, c.windowsDir) && MakeWindowsFolders(folder, c.systemDir);
  if (!made && c.windowsDir.size() < MAX_PATH && c.systemDir.size() < MAX_PATH) {
    if (error) *error = "cannot create the machine's directories";
    return false;
  }
  std::ofstream ini(folder + "/machine.ini", std::ios::binary);
  ini << "family=" << c.family << "\nwindows=" << c.windowsDir << "\nsystem=" << c.systemDir
      << "\nclock=" << c.clockDivisor << "\n";
  if (!ini) {
    if (error) *error = "cannot write machine.ini";
    return false;
  }
  return true;
}

bool LoadMachine(const std::string& folder) {
  State& s = S();
  s.loaded = false;
  s.folder.clear();
  s.config = MachineConfig();
  s.faults.clear();
  s.privilegeNotGranted = false;
  s.faultHits = 0;
  ResetTokenState();
  if (folder.empty()) return true;
  std::ifstream ini(folder + "/machine.ini");
  if (!ini) return false;
  std::string line;
  while (std::getline(ini, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (key == "family") s.config.family = value;
    if (key == "windows") s.config.windowsDir = value;
    if (key == "system") s.config.systemDir = value;
    if (key == "clock") s.config.clockDivisor = std::max(1, atoi(value.c_str()));
  }
  DefaultDirectories(s.config);
  s.folder = folder;
  s.loaded = true;
  std::ifstream faults(folder + "/faults");
  while (std::getline(faults, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line == "privilege-not-granted") {
      s.privilegeNotGranted = true;
      continue;
    }
    Fault f;
    if (ParseFault(line, &f)) s.faults.push_back(f);
  }
  return true;
}

bool MachineLoaded() { return S().loaded; }
const std::string& MachineFolder() { return S().folder; }
const MachineConfig& Machine() { return S().config; }

bool ResolvePath(const std::string& windowsPath, std::string* hostPath, DWORD* error) {
  State& s = S();
  *error = ERROR_PATH_NOT_FOUND;
  if (!s.loaded) return false;
  if (windowsPath.size() < 3 || (windowsPath[0] != 'C' && windowsPath[0] != 'c') || windowsPath[1] != ':' ||
      (windowsPath[2] != '\\' && windowsPath[2] != '/'))
    return false;
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 3; i <= windowsPath.size(); ++i) {
    char c = i < windowsPath.size() ? windowsPath[i] : '\\';
    if (c == '\\' || c == '/') {
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part += c;
    }
  }
  std::string host = s.folder + "/drive_c";
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string found;
    struct stat st;
    if (lstat((host + "/" + parts[i]).c_str(), &st) == 0) {
      found = parts[i];
    } else if (DIR* dir = opendir(host.c_str())) {
      while (dirent* e = readdir(dir))
        if (strcasecmp(e->d_name, parts[i].c_str()) == 0) {
          found = e->d_name;
          break;
        }
      closedir(dir);
    }
    bool last = i + 1 == parts.size();
    if (found.empty()) {
      if (!last) return false;
      found = parts[i];  // a name yet to be created
    } else if (!last) {
      struct stat dirStat;
      if (stat((host + "/" + found).c_str(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode)) return false;
    }
    host += "/" + found;
  }
  *hostPath = host;
  *error = 0;
  return true;
}

std::string HostPath(const std::string& windowsPath) {
  std::string host;
  DWORD error;
  return ResolvePath(windowsPath, &host, &error) ? host : std::string();
}

DWORD HostAttributes(const std::string& hostPath) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  DWORD attributes = 0;
  bool directory = S_ISDIR(st.st_mode);
  if (directory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attributes |= FILE_ATTRIBUTE_READONLY;
  char value[64] = {0};
  ssize_t n = getxattr(hostPath.c_str(), kDosAttrib, value, sizeof value - 1);
  if (n > 0) {
    value[n] = 0;
    unsigned long bits = strtoul(value, nullptr, 16);
    attributes |= bits & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  } else if (!directory) {
    attributes |= FILE_ATTRIBUTE_ARCHIVE;
  }
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool SetHostAttributes(const std::string& hostPath, DWORD attributes) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  else if (!(mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
    mode |= S_IWUSR;
  if (chmod(hostPath.c_str(), mode) != 0) return false;
  char value[16];
  snprintf(value, sizeof value, "0x%x",
           (unsigned)(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE)));
  return setxattr(hostPath.c_str(), kDosAttrib, value, strlen(value), 0) == 0;
}

bool ParseFault(const std::string& line, Fault* fault) {
  std::stringstream in(line);
  std::string word;
  if (!(in >> fault->call >> fault->path)) return false;
  while (in >> word) {
    size_t eq = word.find('=');
    if (eq == std::string::npos) return false;
    std::string key = word.substr(0, eq);
    long long value = strtoll(word.c_str() + eq + 1, nullptr, 0);
    if (key == "nth") fault->nth = (int)value;
    else if (key == "from") fault->from = (int)value;
    else if (key == "after") fault->after = value;
    else if (key == "error") fault->error = (DWORD)value;
    else return false;
  }
  return true;
}

void AddFault(const Fault& fault) { S().faults.push_back(fault); }
void SetPrivilegeNotGranted(bool notGranted) { S().privilegeNotGranted = notGranted; }
bool PrivilegeNotGranted() { return S().privilegeNotGranted; }

void ClearFaults() {
  S().faults.clear();
  S().privilegeNotGranted = false;
  S().faultHits = 0;
}

int FaultHits() { return S().faultHits; }

DWORD FaultFor(const char* call, const std::string& windowsPath, long long bytesSoFar, long long* limit) {
  State& s = S();
  for (Fault& f : s.faults) {
    if (f.call != "*" && strcasecmp(f.call.c_str(), call) != 0) continue;
    if (f.path != "*" && !EndsWithNoCase(windowsPath, f.path)) continue;
    ++f.seen;
    if (f.nth && f.seen != f.nth) continue;
    if (f.from && f.seen < f.from) continue;
    if (f.after >= 0 && bytesSoFar >= 0) {
      if (bytesSoFar < f.after) {
        if (limit) *limit = f.after - bytesSoFar;  // this transfer goes through, cut short
        continue;
      }
    }
    ++s.faultHits;
    return f.error;
  }
  return 0;
}

std::vector<std::string>& CallLog() { return S().calls; }

void LogCall(const char* call, const std::string& detail) {
  std::vector<std::string>& calls = S().calls;
  if (calls.size() < 100000) calls.push_back(detail.empty() ? std::string(call) : std::string(call) + " " + detail);
}

}  // namespace standin
