// Media samples and the memory allocator that pools them.
//
// CMemAllocator owns a fixed set of samples with buffers of one size. A
// sample handed out by GetBuffer holds a reference on its allocator; its last
// Release puts it back on the free list (ReleaseBuffer) and wakes a waiting
// GetBuffer. Decommit makes every waiting and later GetBuffer fail with
// VFW_E_NOT_COMMITTED: this is how a stop reaches a streaming thread that
// waits for a buffer. Thread-safe; the allocator lock is a leaf.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "media/interfaces.h"

namespace lessonry::media {

class CMemAllocator;

class CMediaSample final : public IMediaSample {
 public:
  CMediaSample(CMemAllocator* allocator, BYTE* buffer, int32_t size);

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetPointer(BYTE** buffer) override;
  int32_t GetSize() override { return size_; }
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) override;
  HRESULT IsSyncPoint() override { return syncPoint_ ? S_OK : S_FALSE; }
  HRESULT SetSyncPoint(BOOL value) override;
  HRESULT IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
  HRESULT SetPreroll(BOOL value) override;
  HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
  HRESULT SetDiscontinuity(BOOL value) override;
  int32_t GetActualDataLength() override { return actual_; }
  HRESULT SetActualDataLength(int32_t length) override;

 private:
  friend class CMemAllocator;
  void resetForUse();

  CMemAllocator* const allocator_;  // owns this sample
  BYTE* const buffer_;
  const int32_t size_;
  std::atomic<ULONG> refs_{0};
  // Written by the one thread that holds the sample at a time.
  int32_t actual_ = 0;
  bool timeValid_ = false;
  bool stopValid_ = false;
  REFERENCE_TIME start_ = 0;
  REFERENCE_TIME stop_ = 0;
  bool syncPoint_ = false;
  bool preroll_ = false;
  bool discontinuity_ = false;
};

class CMemAllocator final : public com::ComObject<IMemAllocator> {
 public:
  CMemAllocator();

  HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Commit() override;
  HRESULT Decommit() override;
  HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
  HRESULT ReleaseBuffer(IMediaSample* sample) override;

  // Samples out at the moment (tests).
  int32_t outstanding() const;

 private:
  ~CMemAllocator() override;

  mutable std::mutex mutex_;
  std::condition_variable freed_;
  ALLOCATOR_PROPERTIES properties_{};
  bool propertiesSet_ = false;
  bool committed_ = false;
  std::unique_ptr<BYTE[]> memory_;
  std::vector<std::unique_ptr<CMediaSample>> samples_;
  std::vector<CMediaSample*> free_;
};

}  // namespace lessonry::media
