// Pseudo-terminal sessions for running the tool as a user would.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>

#include "pty.h"

namespace test {

Session::~Session() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

bool Session::Start(const Run& run) {
  int slave = -1;
  if (run.terminal) {
    termios t{};
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | B38400;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    t.c_cc[VINTR] = 3;
    t.c_cc[VQUIT] = 034;
    t.c_cc[VERASE] = 0177;
    t.c_cc[VKILL] = 025;
    t.c_cc[VEOF] = 4;
    t.c_cc[VMIN] = 1;
    winsize ws{24, 80, 0, 0};
    if (openpty(&master_, &slave, nullptr, &t, &ws) != 0) return false;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
  }
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    setsid();
    if (slave >= 0) ioctl(slave, TIOCSCTTY, 0);
    int in = run.stdinFromTerminal && slave >= 0 ? dup(slave) : open("/dev/null", O_RDONLY);
    int out = open(run.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(run.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (slave > 2) close(slave);
    for (auto& [k, v] : run.env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : run.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (slave >= 0) close(slave);
  return true;
}

void Session::Send(const std::string& bytes) {
  if (master_ >= 0 && !bytes.empty()) {
    ssize_t n = write(master_, bytes.data(), bytes.size());
    (void)n;
  }
}

void Session::Drain(int timeoutMs) {
  if (master_ < 0) {
    if (timeoutMs > 0) usleep(timeoutMs * 1000);
    return;
  }
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) {
    char buffer[512];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0) screen_.append(buffer, (size_t)n);
  } else if (p.revents & (POLLHUP | POLLERR)) {
    usleep(timeoutMs * 1000);
  }
}

bool Session::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Drain(20);
  }
  return true;
}

bool Session::Alive() {
  if (status_ >= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

int Session::Wait(int timeoutMs) {
  WaitUntil([this] { return !Alive(); }, timeoutMs);
  return status_;
}

void Session::Kill(int sig) {
  if (Alive()) kill(pid_, sig);
}

void Session::HangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

termios Session::Settings() const {
  termios t{};
  if (master_ >= 0) tcgetattr(master_, &t);
  return t;
}

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
         memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace test
