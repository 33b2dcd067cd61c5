// CMemPool: a fixed-size byte ring buffer between one writer and one reader.
//
// The live queue of a recording session and the audio render's level pool
// put blocks in on one thread and take them out on another. Every operation
// takes the pool's re-entrant lock, so that pairing is safe; a caller that
// needs several operations as one unit (peek a header, then read the block)
// holds lock()/unlock() around them.
//
// A block is written whole or not at all; reads and peeks give at most what
// is there. Storage is allocated at construction and in Grow only.
//
// Lock order: the pool's lock is a leaf; nothing else is taken under it.
#pragma once

#include <cstdint>
#include <memory>

#include "base/critical_section.h"

namespace lessonry {

class CMemPool {
 public:
  // Allocates capacity zero-filled bytes. Any thread (before sharing).
  explicit CMemPool(uint32_t capacity);
  CMemPool(const CMemPool&) = delete;
  CMemPool& operator=(const CMemPool&) = delete;

  // The virtual slots keep this order: destructor, Read, Write, Peek, Reset, Grow.
  virtual ~CMemPool();
  // Takes min(n, used) bytes into destination (nothing copied when it is
  // null, the bytes are still taken); returns the count. Any thread.
  virtual uint32_t Read(void* destination, uint32_t n);
  // Appends n bytes from source when they fit (nothing copied when source is
  // null, the space is still taken); returns n, or 0 and changes nothing when
  // n exceeds the free space. Any thread.
  virtual uint32_t Write(const void* source, uint32_t n);
  // As Read, without taking the bytes. Any thread.
  virtual uint32_t Peek(void* destination, uint32_t n);
  // Empties and zero-fills the buffer; returns the used count before. Any thread.
  virtual uint32_t Reset();
  // Enlarges the buffer by extra rounded up to a multiple of kGrowStep,
  // keeping the unread bytes in order at the start; returns the rounded
  // amount. When the memory cannot be had nothing changes (the rounded
  // amount is returned all the same); when the new capacity would not fit in
  // 32 bits nothing changes and 0 is returned. Any thread.
  virtual uint32_t Grow(uint32_t extra);

  uint32_t freeSpace() const;
  uint32_t capacity() const;
  uint32_t used() const;

  // The pool's lock, re-entrant, to make several operations one unit.
  void lock() { lock_.enter(); }
  void unlock() { lock_.leave(); }

  static constexpr uint32_t kGrowStep = 262144;  // 256 KB

 private:
  uint32_t copyOut(void* destination, uint32_t n) const;  // under lock_

  mutable CriticalSection lock_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t capacity_;
  uint32_t used_ = 0;
  uint32_t readOffset_ = 0;   // the oldest unread byte
  uint32_t writeOffset_ = 0;  // where the next byte goes
};

}  // namespace lessonry
