// The program folder: the folder of the running program, where its libraries,
// data/, Temp/, RecordDir/ and the settings file live. LESSONRY_PROGRAM_DIR
// overrides it (tests whose binaries live elsewhere use it).
#pragma once

#include <string>

namespace lessonry {

// The program folder with a trailing '/'.
std::string programFolder();
// The folder (trailing '/') of the loaded library or program that contains
// address; empty when unknown.
std::string moduleFolder(const void* address);

}  // namespace lessonry
