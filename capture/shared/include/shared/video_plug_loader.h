// CVideoPlugLoader: finds, loads and drives the video plug-in libraries of
// the "VideoPlug" folder in the program folder, through their VPSendCmd.
//
// A scan loads every "*.so" of the folder in turn (in file-name order),
// keeps (name, path) of each that answers commands 100 and 111, and unloads
// it again, so it leaves no plug-in loaded. A library without VPSendCmd, or
// whose command 100 or 111 fails, is left out; a file that is not a
// loadable library is skipped. Loading by name takes the first entry whose
// name equals the given one exactly (case-sensitive).
//
// Ownership: the loader owns the loaded library and the plug-in handle;
// command 101 releases the handle before the library is unloaded.
//
// Not thread-safe: the owner serialises calls (the receiver filter calls it
// under its filter lock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/module.h"
#include "shared/video_plug.h"

namespace lessonry {

class CVideoPlugLoader {
 public:
  struct Entry {
    std::string name;  // as command 111 wrote it, at most 127 bytes
    std::string path;  // absolute library path
  };

  CVideoPlugLoader() = default;
  // Unloads the plug-in and empties the list.
  ~CVideoPlugLoader();
  CVideoPlugLoader(const CVideoPlugLoader&) = delete;
  CVideoPlugLoader& operator=(const CVideoPlugLoader&) = delete;

  // The plug-in folder: program folder + "VideoPlug/".
  static std::string pluginFolder();

  // Rebuilds the list from pluginFolder(); returns the number of entries.
  size_t scan();
  // Unloads, then loads the library at path, takes VPSendCmd and sends
  // command 100. False (nothing loaded) when any of that fails.
  bool loadByPath(const std::string& path);
  // Loads the first list entry named name; false when there is none or it fails.
  bool loadByName(const std::string& name);
  // Sends 101 for the handle (when there is an entry) and unloads the library.
  void unload();
  // VPSendCmd(handle, command, first, second) and its result; 1 without a plug-in.
  int32_t sendCommand(int32_t command, intptr_t first, intptr_t second);
  // The loaded plug-in's name through command 111; false without a plug-in
  // or when the command fails (out emptied).
  bool pluginName(std::string& out);

  size_t count() const { return entries_.size(); }
  // The name of the entry at index; empty when out of range.
  std::string nameAt(size_t index) const;
  // The path of the first entry named name; empty when there is none.
  std::string pathOf(const std::string& name) const;
  const std::vector<Entry>& entries() const { return entries_; }

  bool loaded() const { return entry_ != nullptr; }
  intptr_t pluginHandle() const { return handle_; }
  VPSendCmdFunction entry() const { return entry_; }

 private:
  Module library_;
  VPSendCmdFunction entry_ = nullptr;
  intptr_t handle_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace lessonry
