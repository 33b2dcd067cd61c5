// Test support: a private X server for tests that need a display.
//
// Xvfb starts a virtual X server (no real screen, no input devices) on the
// first free display number from a starting number upward, waits until it
// accepts connections and ends it when the owner goes out of scope, so tests
// never depend on, or disturb, the desktop of the person running them. Only
// tests and benchmarks link this.
//
// Threads: create, query and destroy an Xvfb on one thread (the test's),
// one that outlives the server: the server is also ended when the thread
// that started it ends, so a test process that dies leaves none behind.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace lessonry::testing {

class Xvfb {
 public:
  struct Options {
    int width = 1920;
    int height = 1080;
    int depth = 24;           // bits per pixel of the screen's default visual
    int firstDisplay = 90;    // display numbers are tried from here upward
    int displaysToTry = 50;
    int startTimeoutMs = 10000;  // per attempt: until the server reports it is ready
  };

  Xvfb();
  explicit Xvfb(const Options& options);
  // Ends the server (SIGTERM, then SIGKILL if it has not gone within a few seconds).
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // True once the server accepts connections.
  bool running() const { return pid_ > 0; }
  // The display name to connect to, such as ":90"; empty when not running.
  const std::string& display() const { return display_; }
  int width() const { return options_.width; }
  int height() const { return options_.height; }
  // Why the server could not be started (for the test's failure message).
  const std::string& error() const { return error_; }

  // Ends the server now (used by tests that check what happens when the
  // display goes away). Idempotent.
  void stop();

 private:
  bool tryStart(int number);

  Options options_;
  pid_t pid_ = -1;
  int pidFd_ = -1;
  std::string display_;
  std::string error_;
};

// Sets (or, with nullopt, unsets) one environment variable for a scope and
// puts the previous value back at its end. Not thread-safe: environment
// changes must happen while no other thread reads the environment.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace lessonry::testing
