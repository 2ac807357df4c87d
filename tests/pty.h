// Runs a program as a user at a terminal would: a pseudo-terminal as its controlling
// terminal, standard input from /dev/null, standard output and error to files.
#pragma once
#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace test {

struct Run {
  std::vector<std::string> argv;
  std::map<std::string, std::string> env;  // added to the environment
  std::string stdoutPath, stderrPath;
  bool terminal = true;  // false: no controlling terminal at all
  bool stdinFromTerminal = false;  // Wine feeds its console from the Unix terminal on fd 0
};

class Session {
 public:
  ~Session();
  bool Start(const Run& run);
  void Send(const std::string& bytes);
  // Drains the terminal's output while waiting; false on timeout.
  bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
  // The exit status (128 + signal for a signal), or -1 if still running after timeoutMs.
  int Wait(int timeoutMs);
  bool Alive();
  void Kill(int sig);
  void HangUp();  // closes our end of the terminal
  termios Settings() const;  // the terminal's settings as the program left them
  pid_t pid() const { return pid_; }
  const std::string& screen() const { return screen_; }

 private:
  void Drain(int timeoutMs);
  pid_t pid_ = -1;
  int master_ = -1;
  int status_ = -1;
  std::string screen_;
};

bool SameSettings(const termios& a, const termios& b);

}  // namespace test
