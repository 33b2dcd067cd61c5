// lessonry-regsvr [-u] <library.so>...
//
// Loads each server library and calls its DllRegisterServer (or, with -u,
// DllUnregisterServer), which writes (or removes) its class keys in the
// registry of this environment (LESSONRY_REGISTRY or the user's). Every
// library is tried; the exit status is 0 when all succeeded, 1 when any
// failed, 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/module.h"
#include "base/registry.h"
#include "com/server.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: lessonry-regsvr [-u] <library.so>...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  std::vector<std::string> libraries;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-u") == 0)
      unregister = true;
    else if (argv[i][0] == '-')
      return usage();
    else
      libraries.emplace_back(argv[i]);
  }
  if (libraries.empty()) return usage();

  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const std::string registryPath = lessonry::Registry::defaultFilePath();
  int status = 0;
  for (const auto& name : libraries) {
    std::error_code error;
    // A path with a '/' is loaded as given, never searched for.
    const std::string path = std::filesystem::absolute(name, error).string();
    lessonry::Module library;
    if (error || !library.load(path)) {
      std::fprintf(stderr, "lessonry-regsvr: cannot load %s: %s\n", name.c_str(), library.error().c_str());
      status = 1;
      continue;
    }
    const auto entry = library.function<DllRegisterServerFunction>(entryName);
    if (!entry) {
      std::fprintf(stderr, "lessonry-regsvr: %s does not export %s\n", name.c_str(), entryName);
      status = 1;
      continue;
    }
    const HRESULT hr = entry();
    if (FAILED(hr)) {
      std::fprintf(stderr, "lessonry-regsvr: %s of %s failed (0x%08X)\n", entryName, name.c_str(),
                   static_cast<unsigned>(hr));
      status = 1;
      continue;
    }
    std::printf("lessonry-regsvr: %s %s in %s\n", unregister ? "unregistered" : "registered", path.c_str(),
                registryPath.c_str());
  }
  return status;
}
