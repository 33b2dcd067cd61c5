// Debug traces: the stand-in of the debugger output.
//
// Lines go to stderr when the environment has LESSONRY_TRACE=1, and to every
// live TraceCapture (tests read what a component traced). Thread-safe.
#pragma once

#include <string>
#include <vector>

namespace lessonry {

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void traceLine(const std::string& line);

// Collects trace lines of this process while alive.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::string> lines() const;
  bool contains(const std::string& fragment) const;
};

}  // namespace lessonry
