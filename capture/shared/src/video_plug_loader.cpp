// Plug-in folder scan and the plug-in's life: load, command 100, commands, 101, unload.
#include "shared/video_plug_loader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "base/program_folder.h"
#include "base/trace.h"

namespace lessonry {

CVideoPlugLoader::~CVideoPlugLoader() {
  unload();
  entries_.clear();
}

std::string CVideoPlugLoader::pluginFolder() { return programFolder() + "VideoPlug/"; }

size_t CVideoPlugLoader::scan() {
  entries_.clear();
  unload();
  // The process's current directory is left alone: it is process-wide state
  // that other threads rely on, and dlopen does not search it.
  std::vector<std::string> candidates;
  std::error_code error;
  for (std::filesystem::directory_iterator it(pluginFolder(), error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) continue;
    const std::string path = it->path().string();
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".so") == 0) candidates.push_back(path);
  }
  std::sort(candidates.begin(), candidates.end());
  for (const auto& path : candidates) {
    if (!loadByPath(path)) continue;
    std::string name;
    if (pluginName(name)) entries_.push_back(Entry{name, path});
    unload();
  }
  return entries_.size();
}

bool CVideoPlugLoader::loadByPath(const std::string& path) {
  unload();
  if (path.empty()) return false;
  // A path with a '/' is loaded as given; make a bare name one too, never searched for.
  const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  if (!library_.load(target)) {
    trace("VideoPlug: cannot load %s: %s", path.c_str(), library_.error().c_str());
    return false;
  }
  const auto entry = library_.function<VPSendCmdFunction>(VP_SEND_CMD_NAME);
  if (!entry) {
    trace("VideoPlug: %s has no %s", path.c_str(), VP_SEND_CMD_NAME);
    library_.unload();
    return false;
  }
  intptr_t handle = 0;
  if (entry(0, VP_CMD_CREATE, reinterpret_cast<intptr_t>(&handle), 0) != 0) {
    // No handle was made, so there is nothing to release with 101.
    trace("VideoPlug: command %d of %s failed", VP_CMD_CREATE, path.c_str());
    library_.unload();
    return false;
  }
  entry_ = entry;
  handle_ = handle;
  return true;
}

bool CVideoPlugLoader::loadByName(const std::string& name) {
  for (const auto& entry : entries_)
    if (entry.name == name) return loadByPath(entry.path);
  return false;
}

void CVideoPlugLoader::unload() {
  if (entry_) entry_(handle_, VP_CMD_RELEASE, 0, 0);
  entry_ = nullptr;
  handle_ = 0;
  library_.unload();
}

int32_t CVideoPlugLoader::sendCommand(int32_t command, intptr_t first, intptr_t second) {
  if (!entry_) return 1;
  return entry_(handle_, command, first, second);
}

bool CVideoPlugLoader::pluginName(std::string& out) {
  out.clear();
  char name[VP_NAME_SIZE] = {};
  if (sendCommand(VP_CMD_GET_NAME, reinterpret_cast<intptr_t>(name), 0) != 0) return false;
  name[VP_NAME_SIZE - 1] = '\0';  // a plug-in that filled all 128 bytes still gives a terminated name
  out = name;
  return true;
}

std::string CVideoPlugLoader::nameAt(size_t index) const {
  return index < entries_.size() ? entries_[index].name : std::string();
}

std::string CVideoPlugLoader::pathOf(const std::string& name) const {
  for (const auto& entry : entries_)
    if (entry.name == name) return entry.path;
  return {};
}

}  // namespace lessonry
