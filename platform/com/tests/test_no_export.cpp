// A library that exports something, but not the server entry points (tests only).
#include "base/export.h"

extern "C" LESSONRY_EXPORT int notAServer() { return 42; }
