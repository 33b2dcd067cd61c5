// Live objects and server locks of the library this code is linked into.
#include <atomic>

#include "com/com_object.h"

namespace lessonry::com {
namespace {

std::atomic<long> objects{0};
std::atomic<long> locks{0};

}  // namespace

void moduleObjectAdded() { objects.fetch_add(1, std::memory_order_relaxed); }
void moduleObjectRemoved() { objects.fetch_sub(1, std::memory_order_acq_rel); }
void moduleLock() { locks.fetch_add(1, std::memory_order_relaxed); }
void moduleUnlock() {
  // An unmatched unlock must not leave the count negative (that would unload the
  // library under a later lock).
  long current = locks.load(std::memory_order_relaxed);
  while (current > 0 && !locks.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel)) {
  }
}
long moduleObjectCount() { return objects.load(std::memory_order_acquire); }
long moduleLockCount() { return locks.load(std::memory_order_acquire); }
bool moduleCanUnload() { return moduleObjectCount() == 0 && moduleLockCount() == 0; }

}  // namespace lessonry::com
