// dlopen-backed library loading: the asking library's folder first.
#include "base/module.h"

#include <dlfcn.h>

#include <vector>

#include "base/program_folder.h"

namespace lessonry {

Module::~Module() { unload(); }

Module::Module(Module&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), error_(std::move(other.error_)) {
  other.handle_ = nullptr;
}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    unload();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
    other.handle_ = nullptr;
  }
  return *this;
}

bool Module::load(const std::string& name, const void* anchor) {
  unload();
  error_.clear();
  std::vector<std::string> candidates;
  if (name.find('/') != std::string::npos) {
    candidates.push_back(name);
  } else {
    if (anchor) {
      const std::string own = moduleFolder(anchor);
      if (!own.empty()) candidates.push_back(own + name);
    }
    candidates.push_back(programFolder() + name);
    candidates.push_back(name);  // the system's search path
  }
  for (const auto& candidate : candidates) {
    dlerror();
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      handle_ = handle;
      path_ = candidate;
      return true;
    }
    if (const char* message = dlerror()) error_ = message;
  }
  if (error_.empty()) error_ = "cannot load " + name;
  return false;
}

void Module::unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  path_.clear();
}

void* Module::symbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return dlsym(handle_, name);
}

}  // namespace lessonry
