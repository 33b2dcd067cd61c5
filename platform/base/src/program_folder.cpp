#include "base/program_folder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace lessonry {
namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace

std::string programFolder() {
  if (const char* dir = std::getenv("LESSONRY_PROGRAM_DIR"); dir && *dir) {
    std::string folder(dir);
    if (folder.back() != '/') folder += '/';
    return folder;
  }
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "./";
  return folderOf(std::string(buffer, static_cast<size_t>(n)));
}

std::string moduleFolder(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) return {};
  std::string path(info.dli_fname);
  if (path.find('/') == std::string::npos) return programFolder();  // the main program
  char resolved[4096];
  if (realpath(path.c_str(), resolved)) path = resolved;
  return folderOf(path);
}

}  // namespace lessonry
