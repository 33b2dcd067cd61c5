// The registry stand-in: a tree of keys with named string values, kept in one
// INI-style file.
//
// The file is $LESSONRY_REGISTRY when that is set and not empty, else
// $XDG_CONFIG_HOME/lessonry/registry.ini, else ~/.config/lessonry/registry.ini.
// Each key is a section named by its full path with '\' between the parts
// ("[CLSID\{...}\InprocServer32]"); each value a line name=value, the key's
// default value under the name "@". Key paths and value names compare without
// regard to ASCII case and keep the case they were first written with. Values
// are single-line texts; DWORD values are stored as "dword:xxxxxxxx".
//
// Every operation reads the file afresh, so several processes and several
// copies of this library in one process (each server library links its own)
// see one registry. A change is a read-modify-write under an exclusive flock
// on "<file>.lock" and lands by writing "<file>.tmp.<pid>" and renaming it
// over the file, so a reader never sees half a file and concurrent writers do
// not lose each other's changes. Thread-safe.
//
// Lock order: the process-wide mutex of this copy, then the lock file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lessonry {

// The in-memory content of the registry: keys in file order, values in
// insertion order. Used inside Registry::update and for snapshots.
class RegistryTree {
 public:
  struct Value {
    std::string name;  // "" is the key's default value
    std::string data;
  };
  struct Key {
    std::string path;
    std::vector<Value> values;
  };

  // Creates the key (and, implicitly, its parents' paths need not exist).
  void createKey(std::string_view path);
  bool keyExists(std::string_view path) const;
  // False when data or name holds a line break or name holds '='.
  bool setString(std::string_view path, std::string_view name, std::string_view data);
  std::optional<std::string> getString(std::string_view path, std::string_view name) const;
  bool deleteValue(std::string_view path, std::string_view name);
  // Removes the key and every key below it; false when none existed.
  bool deleteTree(std::string_view path);
  // Names of the keys directly below path (one path part each), in file order.
  std::vector<std::string> subKeys(std::string_view path) const;
  const std::vector<Key>& keys() const { return keys_; }

  std::string serialize() const;
  static RegistryTree parse(std::string_view text);

 private:
  Key* find(std::string_view path);
  const Key* find(std::string_view path) const;
  std::vector<Key> keys_;
};

class Registry {
 public:
  // The registry of this process's environment (see above), resolved now.
  Registry();
  // A registry in the given file (tests, tools).
  explicit Registry(std::string filePath);

  static std::string defaultFilePath();
  const std::string& filePath() const { return path_; }

  // A consistent copy of the whole registry; empty when the file is missing.
  RegistryTree snapshot() const;
  // Applies change to the current content and writes the result atomically.
  // change returns false to abandon the edit (nothing is written). False when
  // the file cannot be written or change declined; any thread.
  bool update(const std::function<bool(RegistryTree&)>& change);

  // Convenience wrappers, each one read or one update. Any thread.
  std::optional<std::string> getString(std::string_view key, std::string_view name) const;
  bool setString(std::string_view key, std::string_view name, std::string_view data);
  std::optional<uint32_t> getDword(std::string_view key, std::string_view name) const;
  bool setDword(std::string_view key, std::string_view name, uint32_t data);
  bool keyExists(std::string_view key) const;
  bool deleteValue(std::string_view key, std::string_view name);
  bool deleteTree(std::string_view key);

 private:
  std::string path_;
};

}  // namespace lessonry
