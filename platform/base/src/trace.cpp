// Trace lines: stderr under LESSONRY_TRACE=1, and every live TraceCapture.
#include "base/trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace lessonry {
namespace {

std::mutex gTraceMutex;
// One buffer per capture, keyed by the capture object.
std::vector<std::pair<const TraceCapture*, std::vector<std::string>>> gCaptureLines;

bool traceToStderr() {
  static const bool on = [] {
    const char* v = std::getenv("LESSONRY_TRACE");
    return v && std::strcmp(v, "1") == 0;
  }();
  return on;
}

}  // namespace

void traceLine(const std::string& line) {
  if (traceToStderr()) std::fprintf(stderr, "%s\n", line.c_str());
  std::lock_guard lock(gTraceMutex);
  for (auto& [owner, lines] : gCaptureLines) lines.push_back(line);
}

void trace(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  traceLine(buffer);
}

TraceCapture::TraceCapture() {
  std::lock_guard lock(gTraceMutex);
  gCaptureLines.emplace_back(this, std::vector<std::string>{});
}

TraceCapture::~TraceCapture() {
  std::lock_guard lock(gTraceMutex);
  std::erase_if(gCaptureLines, [this](const auto& entry) { return entry.first == this; });
}

std::vector<std::string> TraceCapture::lines() const {
  std::lock_guard lock(gTraceMutex);
  for (const auto& [owner, lines] : gCaptureLines)
    if (owner == this) return lines;
  return {};
}

bool TraceCapture::contains(const std::string& fragment) const {
  const auto all = lines();
  return std::any_of(all.begin(), all.end(),
                     [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
}

}  // namespace lessonry
