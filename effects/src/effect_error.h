// Failures inside the effects library and the per-thread last-error text.
//
// Drawing code throws EffectError with the system's error text; the exported
// functions catch everything at the library's edge, trace the text and keep
// it for OxEffectGetLastError. The text lives in a fixed per-thread buffer
// (no destructor to run at thread exit, so unloading the library while other
// threads live is safe).
#pragma once

#include <stdexcept>
#include <string>

namespace lessonry::effect {

class EffectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The calling thread's last failure text ("" after a successful call).
const char* lastError();
void clearLastError();
// Keeps text (truncated to the buffer) and writes "<where>: <text>" as a trace line.
void reportError(const char* where, const char* text);

}  // namespace lessonry::effect
