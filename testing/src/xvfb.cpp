// Starting and ending a private Xvfb for tests.
//
// Readiness: Xvfb is started with -displayfd; it writes its display number
// and a newline to that descriptor once it listens, so a read on the pipe's
// other end (bounded by poll) is the wait. A display number that is taken
// makes Xvfb exit at once, which shows as end of file; then the next number
// is tried. Lock files in /tmp are checked first only to skip numbers that
// are clearly taken; the server's own lock is what decides.
#include "testing/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lessonry::testing {

namespace {

// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool pathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// Waits up to timeoutMs for the child to end; true when it has been reaped.
bool reapWithin(pid_t pid, int pidFd, int timeoutMs) {
  if (pidFd >= 0) {
    pollfd p{pidFd, POLLIN, 0};
    int r;
    do {
      r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
  }
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &status, pidFd >= 0 ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  return r == pid;
}

}  // namespace

Xvfb::Xvfb() : Xvfb(Options{}) {}

Xvfb::Xvfb(const Options& options) : options_(options) {
  for (int n = options_.firstDisplay; n < options_.firstDisplay + options_.displaysToTry; ++n) {
    if (pathExists("/tmp/.X" + std::to_string(n) + "-lock") ||
        pathExists("/tmp/.X11-unix/X" + std::to_string(n)))
      continue;
    if (tryStart(n)) return;
  }
  if (error_.empty()) error_ = "no free display number";
}

Xvfb::~Xvfb() { stop(); }

bool Xvfb::tryStart(int number) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  Fd readEnd(fds[0]);
  Fd writeEnd(fds[1]);

  // The child gets the pipe as descriptor 3 (dup2 clears close-on-exec) and
  // /dev/null for its output: Xvfb's warnings are noise in test logs. A
  // server that cannot be started exits (127), which shows as end of file.
  constexpr int kChildFd = 3;
  const std::string name = ":" + std::to_string(number);
  const std::string screen =
      std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x" + std::to_string(options_.depth);
  std::vector<std::string> args = {"Xvfb", name, "-screen", "0", screen, "-nolisten", "tcp",
                                   "-displayfd", std::to_string(kChildFd), "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // fork rather than posix_spawn: the child asks to be ended when its
  // parent thread goes, so a test process that dies leaves no server behind.
  // Between fork and exec only async-signal-safe calls.
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    if (writeEnd.get() == kChildFd)
      ::fcntl(kChildFd, F_SETFD, 0);  // dup2 onto itself would keep close-on-exec
    else
      ::dup2(writeEnd.get(), kChildFd);
    ::execvp("Xvfb", argv.data());
    ::_exit(127);
  }
  writeEnd.reset();  // end of file on readEnd now means the child has gone
  int pidFd = openPidFd(pid);

  std::string reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.startTimeoutMs);
  bool ready = false;
  while (!ready) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{readEnd.get(), POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    char buffer[32];
    ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the server exited: the number was taken or it failed
    reply.append(buffer, static_cast<size_t>(got));
    ready = reply.find('\n') != std::string::npos;
  }
  if (!ready) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (pidFd >= 0) ::close(pidFd);
    error_ = "Xvfb " + name + " did not become ready";
    return false;
  }
  pid_ = pid;
  pidFd_ = pidFd;
  display_ = ":" + reply.substr(0, reply.find('\n'));
  error_.clear();
  return true;
}

void Xvfb::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (!reapWithin(pid_, pidFd_, 5000)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (pidFd_ >= 0) ::close(pidFd_);
  pid_ = -1;
  pidFd_ = -1;
  display_.clear();
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) previous_ = old;
  if (value)
    ::setenv(name, value->c_str(), 1);
  else
    ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (previous_)
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

}  // namespace lessonry::testing
