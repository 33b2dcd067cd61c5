// Per-thread last-error text of the effects library.
#include "effect_error.h"

#include <cstdio>

#include "base/trace.h"

namespace lessonry::effect {
namespace {

thread_local char tLastError[256];

}  // namespace

const char* lastError() { return tLastError; }

void clearLastError() { tLastError[0] = '\0'; }

void reportError(const char* where, const char* text) {
  std::snprintf(tLastError, sizeof tLastError, "%s", text);
  trace("%s: %s", where, text);
}

}  // namespace lessonry::effect
