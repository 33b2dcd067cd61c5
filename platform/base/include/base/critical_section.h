// Re-entrant lock of the Windows critical-section model, and its scoped owner.
//
// The same thread may enter a critical section it already holds (the encode
// session's audio callback re-enters the session lock from inside Stop).
#pragma once

#include <mutex>

namespace lessonry {

class CriticalSection {
 public:
  void enter() { mutex_.lock(); }
  bool tryEnter() { return mutex_.try_lock(); }
  void leave() { mutex_.unlock(); }

  // BasicLockable, so std::scoped_lock and std::unique_lock work too.
  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for its scope.
class CAutoLock {
 public:
  explicit CAutoLock(CriticalSection& section) : section_(section) { section_.enter(); }
  ~CAutoLock() { section_.leave(); }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace lessonry
