// A library in the plug-in folder that does not export VPSendCmd (loader tests only).
#include "base/export.h"

extern "C" LESSONRY_EXPORT int VPSendCommand(int) { return 0; }  // a near miss, not the entry point
