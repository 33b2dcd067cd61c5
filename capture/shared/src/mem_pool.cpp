// Ring buffer storage and wrap-around copies of CMemPool.
//
// Lock order: lock_ only.
#include "shared/mem_pool.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lessonry {

CMemPool::CMemPool(uint32_t capacity) : buffer_(new uint8_t[capacity]()), capacity_(capacity) {}

CMemPool::~CMemPool() = default;

uint32_t CMemPool::copyOut(void* destination, uint32_t n) const {
  const uint32_t count = std::min(n, used_);
  if (destination && count > 0) {
    const uint32_t first = std::min(count, capacity_ - readOffset_);
    std::memcpy(destination, buffer_.get() + readOffset_, first);
    std::memcpy(static_cast<uint8_t*>(destination) + first, buffer_.get(), count - first);
  }
  return count;
}

uint32_t CMemPool::Read(void* destination, uint32_t n) {
  CAutoLock guard(lock_);
  const uint32_t count = copyOut(destination, n);
  if (count > 0) readOffset_ = static_cast<uint32_t>((uint64_t{readOffset_} + count) % capacity_);
  used_ -= count;
  return count;
}

uint32_t CMemPool::Write(const void* source, uint32_t n) {
  CAutoLock guard(lock_);
  if (n > capacity_ - used_ || n == 0) return 0;
  if (source) {
    const uint32_t first = std::min(n, capacity_ - writeOffset_);
    std::memcpy(buffer_.get() + writeOffset_, source, first);
    std::memcpy(buffer_.get(), static_cast<const uint8_t*>(source) + first, n - first);
  }
  writeOffset_ = static_cast<uint32_t>((uint64_t{writeOffset_} + n) % capacity_);
  used_ += n;
  return n;
}

uint32_t CMemPool::Peek(void* destination, uint32_t n) {
  CAutoLock guard(lock_);
  return copyOut(destination, n);
}

uint32_t CMemPool::Reset() {
  CAutoLock guard(lock_);
  const uint32_t before = used_;
  if (capacity_ > 0) std::memset(buffer_.get(), 0, capacity_);
  used_ = readOffset_ = writeOffset_ = 0;
  return before;
}

uint32_t CMemPool::Grow(uint32_t extra) {
  const uint64_t rounded = (uint64_t{extra} + kGrowStep - 1) / kGrowStep * kGrowStep;
  CAutoLock guard(lock_);
  const uint64_t newCapacity = uint64_t{capacity_} + rounded;
  if (rounded > UINT32_MAX || newCapacity > UINT32_MAX) return 0;
  std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[newCapacity]());
  if (!grown) return static_cast<uint32_t>(rounded);
  const uint32_t keep = used_;
  copyOut(grown.get(), keep);
  buffer_ = std::move(grown);
  capacity_ = static_cast<uint32_t>(newCapacity);
  readOffset_ = 0;
  writeOffset_ = capacity_ > 0 ? keep % capacity_ : 0;
  used_ = keep;
  return static_cast<uint32_t>(rounded);
}

uint32_t CMemPool::freeSpace() const {
  CAutoLock guard(lock_);
  return capacity_ - used_;
}

uint32_t CMemPool::capacity() const {
  CAutoLock guard(lock_);
  return capacity_;
}

uint32_t CMemPool::used() const {
  CAutoLock guard(lock_);
  return used_;
}

}  // namespace lessonry
