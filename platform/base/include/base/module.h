// Loading libraries by name (LoadLibrary / GetProcAddress over dlopen).
//
// A bare file name is looked up in the folder of the library that asks first,
// then in the program folder, then on the system's search path. An absolute or
// relative path with a '/' is loaded as given.
#pragma once

#include <string>

namespace lessonry {

class Module {
 public:
  Module() = default;
  ~Module();
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads name, looking beside the library that contains anchor first (pass
  // the address of any function or object of the caller's library; null for
  // the program). False with error() set when nothing loads.
  bool load(const std::string& name, const void* anchor = nullptr);
  void unload();
  bool loaded() const { return handle_ != nullptr; }
  // The address of an exported symbol, or null.
  void* symbol(const char* name) const;
  template <typename Fn>
  Fn function(const char* name) const {
    return reinterpret_cast<Fn>(symbol(name));
  }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
};

}  // namespace lessonry
