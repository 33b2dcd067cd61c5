// File-backed registry: parsing, the tree operations and the atomic update.
//
// Lock order: writeMutex (this copy of the library), then the flock on
// "<file>.lock" (all processes and copies).
#include "base/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "base/trace.h"

namespace lessonry {
namespace {

std::mutex writeMutex;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string_view trimSlashes(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view valueName(std::string_view name) { return name == "@" ? std::string_view{} : name; }

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Closes the descriptor on scope exit.
struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
};

bool readWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

}  // namespace

// ---- RegistryTree ----

RegistryTree::Key* RegistryTree::find(std::string_view path) {
  path = trimSlashes(path);
  for (auto& key : keys_)
    if (equalsNoCase(key.path, path)) return &key;
  return nullptr;
}

const RegistryTree::Key* RegistryTree::find(std::string_view path) const {
  return const_cast<RegistryTree*>(this)->find(path);
}

void RegistryTree::createKey(std::string_view path) {
  path = trimSlashes(path);
  if (path.empty() || hasLineBreak(path) || find(path)) return;
  keys_.push_back(Key{std::string(path), {}});
}

bool RegistryTree::keyExists(std::string_view path) const { return find(path) != nullptr; }

bool RegistryTree::setString(std::string_view path, std::string_view name, std::string_view data) {
  name = valueName(name);
  path = trimSlashes(path);
  if (path.empty() || hasLineBreak(path) || hasLineBreak(name) || hasLineBreak(data) ||
      name.find('=') != std::string_view::npos || trimBlanks(name) != name)
    return false;
  createKey(path);
  Key* key = find(path);
  for (auto& value : key->values) {
    if (equalsNoCase(value.name, name)) {
      value.data = std::string(data);
      return true;
    }
  }
  key->values.push_back(Value{std::string(name), std::string(data)});
  return true;
}

std::optional<std::string> RegistryTree::getString(std::string_view path, std::string_view name) const {
  name = valueName(name);
  const Key* key = find(path);
  if (!key) return std::nullopt;
  for (const auto& value : key->values)
    if (equalsNoCase(value.name, name)) return value.data;
  return std::nullopt;
}

bool RegistryTree::deleteValue(std::string_view path, std::string_view name) {
  name = valueName(name);
  Key* key = find(path);
  if (!key) return false;
  for (auto it = key->values.begin(); it != key->values.end(); ++it) {
    if (equalsNoCase(it->name, name)) {
      key->values.erase(it);
      return true;
    }
  }
  return false;
}

bool RegistryTree::deleteTree(std::string_view path) {
  path = trimSlashes(path);
  if (path.empty()) return false;
  const auto below = [&](const Key& key) {
    if (equalsNoCase(key.path, path)) return true;
    return key.path.size() > path.size() && key.path[path.size()] == '\\' &&
           equalsNoCase(std::string_view(key.path).substr(0, path.size()), path);
  };
  const size_t before = keys_.size();
  std::erase_if(keys_, below);
  return keys_.size() != before;
}

std::vector<std::string> RegistryTree::subKeys(std::string_view path) const {
  path = trimSlashes(path);
  std::vector<std::string> names;
  for (const auto& key : keys_) {
    std::string_view child(key.path);
    if (!path.empty()) {
      if (child.size() <= path.size() + 1 || child[path.size()] != '\\' ||
          !equalsNoCase(child.substr(0, path.size()), path))
        continue;
      child.remove_prefix(path.size() + 1);
    }
    child = child.substr(0, child.find('\\'));
    bool seen = false;
    for (const auto& name : names) seen = seen || equalsNoCase(name, child);
    if (!seen) names.emplace_back(child);
  }
  return names;
}

std::string RegistryTree::serialize() const {
  std::string text;
  for (const auto& key : keys_) {
    if (!text.empty()) text += '\n';
    text += '[' + key.path + "]\n";
    for (const auto& value : key.values)
      text += (value.name.empty() ? std::string("@") : value.name) + '=' + value.data + '\n';
  }
  return text;
}

RegistryTree RegistryTree::parse(std::string_view text) {
  RegistryTree tree;
  Key* current = nullptr;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = trimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']' && trimmed.size() >= 2) {
      const std::string_view path = trimSlashes(trimmed.substr(1, trimmed.size() - 2));
      current = nullptr;
      if (path.empty()) continue;
      tree.createKey(path);
      current = tree.find(path);
      continue;
    }
    const size_t equals = line.find('=');
    if (!current || equals == std::string_view::npos) continue;  // stray line: ignored
    const std::string_view name = valueName(trimBlanks(line.substr(0, equals)));
    const std::string_view data = line.substr(equals + 1);
    bool replaced = false;
    for (auto& value : current->values) {
      if (equalsNoCase(value.name, name)) {
        value.data = std::string(data);
        replaced = true;
      }
    }
    if (!replaced) current->values.push_back(Value{std::string(name), std::string(data)});
  }
  return tree;
}

// ---- Registry ----

Registry::Registry() : path_(defaultFilePath()) {}

Registry::Registry(std::string filePath) : path_(std::move(filePath)) {}

std::string Registry::defaultFilePath() {
  if (const char* own = std::getenv("LESSONRY_REGISTRY"); own && *own) return own;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::string(config) + "/lessonry/registry.ini";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/lessonry/registry.ini";
}

RegistryTree Registry::snapshot() const {
  // The file is only ever replaced by rename, so a plain read sees one whole version.
  std::string text;
  if (!readWholeFile(path_, text)) return {};
  return RegistryTree::parse(text);
}

bool Registry::update(const std::function<bool(RegistryTree&)>& change) {
  std::lock_guard guard(writeMutex);
  std::error_code error;
  const std::filesystem::path file(path_);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);

  FileDescriptor lockFile;
  lockFile.fd = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFile.fd < 0) {
    trace("registry: cannot open the lock file of %s (errno %d)", path_.c_str(), errno);
    return false;
  }
  while (flock(lockFile.fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      trace("registry: cannot lock %s (errno %d)", path_.c_str(), errno);
      return false;
    }
  }

  RegistryTree tree = snapshot();
  if (!change(tree)) return false;

  const std::string temp = path_ + ".tmp." + std::to_string(getpid());
  {
    FileDescriptor out;
    out.fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out.fd < 0) {
      trace("registry: cannot write %s (errno %d)", temp.c_str(), errno);
      return false;
    }
    const std::string text = tree.serialize();
    size_t written = 0;
    while (written < text.size()) {
      const ssize_t n = write(out.fd, text.data() + written, text.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        trace("registry: write to %s failed (errno %d)", temp.c_str(), errno);
        unlink(temp.c_str());
        return false;
      }
      written += static_cast<size_t>(n);
    }
    if (fsync(out.fd) != 0) trace("registry: fsync of %s failed (errno %d)", temp.c_str(), errno);
  }
  if (std::rename(temp.c_str(), path_.c_str()) != 0) {
    trace("registry: cannot replace %s (errno %d)", path_.c_str(), errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

std::optional<std::string> Registry::getString(std::string_view key, std::string_view name) const {
  return snapshot().getString(key, name);
}

bool Registry::setString(std::string_view key, std::string_view name, std::string_view data) {
  return update([&](RegistryTree& tree) { return tree.setString(key, name, data); });
}

std::optional<uint32_t> Registry::getDword(std::string_view key, std::string_view name) const {
  const auto text = getString(key, name);
  if (!text || text->size() != 14 || text->compare(0, 6, "dword:") != 0) return std::nullopt;
  uint32_t value = 0;
  for (size_t i = 6; i < 14; ++i) {
    const char c = lower((*text)[i]);
    const int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

bool Registry::setDword(std::string_view key, std::string_view name, uint32_t data) {
  char text[16];
  std::snprintf(text, sizeof text, "dword:%08x", data);
  return setString(key, name, text);
}

bool Registry::keyExists(std::string_view key) const { return snapshot().keyExists(key); }

bool Registry::deleteValue(std::string_view key, std::string_view name) {
  return update([&](RegistryTree& tree) { return tree.deleteValue(key, name); });
}

bool Registry::deleteTree(std::string_view key) {
  return update([&](RegistryTree& tree) { return tree.deleteTree(key); });
}

}  // namespace lessonry
