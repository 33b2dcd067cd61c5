// Media samples and their allocator (see allocator.h).
#include "media/allocator.h"

#include <cstdint>

namespace lessonry::media {

CMediaSample::CMediaSample(CMemAllocator* allocator, BYTE* buffer, int32_t size)
    : allocator_(allocator), buffer_(buffer), size_(size) {}

HRESULT CMediaSample::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMediaSample) return E_NOINTERFACE;
  *object = static_cast<IMediaSample*>(this);
  AddRef();
  return S_OK;
}

ULONG CMediaSample::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CMediaSample::Release() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) allocator_->ReleaseBuffer(this);
  return left;
}

void CMediaSample::resetForUse() {
  actual_ = size_;
  timeValid_ = stopValid_ = false;
  start_ = stop_ = 0;
  syncPoint_ = preroll_ = discontinuity_ = false;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = buffer_;
  return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (!start || !stop) return E_POINTER;
  if (!timeValid_) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = start_;
  *stop = stopValid_ ? stop_ : start_ + 1;
  return stopValid_ ? S_OK : VFW_S_NO_MORE_ITEMS;
}

HRESULT CMediaSample::SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) {
  timeValid_ = start != nullptr;
  stopValid_ = timeValid_ && stop != nullptr;
  start_ = start ? *start : 0;
  stop_ = stop ? *stop : 0;
  return S_OK;
}

HRESULT CMediaSample::SetSyncPoint(BOOL value) {
  syncPoint_ = value != FALSE;
  return S_OK;
}

HRESULT CMediaSample::SetPreroll(BOOL value) {
  preroll_ = value != FALSE;
  return S_OK;
}

HRESULT CMediaSample::SetDiscontinuity(BOOL value) {
  discontinuity_ = value != FALSE;
  return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(int32_t length) {
  if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
  actual_ = length;
  return S_OK;
}

CMemAllocator::CMemAllocator() = default;

CMemAllocator::~CMemAllocator() = default;  // no sample is out: each holds a reference

HRESULT CMemAllocator::SetProperties(const ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (committed_ || free_.size() != samples_.size()) return VFW_E_WRONG_STATE;
  ALLOCATOR_PROPERTIES p = *request;
  if (p.cbAlign <= 0) p.cbAlign = 1;
  if ((p.cbAlign & (p.cbAlign - 1)) != 0) return VFW_E_BADALIGN;
  if (p.cBuffers <= 0) p.cBuffers = 1;
  if (p.cbPrefix < 0) p.cbPrefix = 0;
  // A buffer larger than 256 MB, or a pool above 1 GB, is a broken request.
  if (p.cbBuffer <= 0 || p.cbBuffer > (256 << 20) || int64_t(p.cBuffers) * p.cbBuffer > (int64_t(1) << 30))
    return VFW_E_SIZENOTSET;
  properties_ = p;
  propertiesSet_ = true;
  memory_.reset();
  samples_.clear();
  free_.clear();
  *actual = properties_;
  return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  if (!properties) return E_POINTER;
  std::lock_guard lock(mutex_);
  *properties = properties_;
  return S_OK;
}

HRESULT CMemAllocator::Commit() {
  std::lock_guard lock(mutex_);
  if (!propertiesSet_) return VFW_E_SIZENOTSET;
  if (committed_) return S_OK;
  if (samples_.empty()) {
    const int64_t align = properties_.cbAlign;
    const int64_t slot = (properties_.cbPrefix + properties_.cbBuffer + align - 1) / align * align;
    memory_.reset(new (std::nothrow) BYTE[size_t(slot * properties_.cBuffers + align)]);
    if (!memory_) return E_OUTOFMEMORY;
    auto base = reinterpret_cast<uintptr_t>(memory_.get());
    base = (base + uintptr_t(align) - 1) / uintptr_t(align) * uintptr_t(align);
    for (int32_t i = 0; i < properties_.cBuffers; ++i) {
      BYTE* buffer = reinterpret_cast<BYTE*>(base + uintptr_t(slot * i + properties_.cbPrefix));
      samples_.push_back(std::make_unique<CMediaSample>(this, buffer, properties_.cbBuffer));
      free_.push_back(samples_.back().get());
    }
  }
  committed_ = true;
  return S_OK;
}

HRESULT CMemAllocator::Decommit() {
  {
    std::lock_guard lock(mutex_);
    committed_ = false;
  }
  freed_.notify_all();
  return S_OK;
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  CMediaSample* taken = nullptr;
  {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return !committed_ || !free_.empty(); });
    if (!committed_) return VFW_E_NOT_COMMITTED;
    taken = free_.back();
    free_.pop_back();
  }
  AddRef();  // released when the sample comes back
  taken->resetForUse();
  taken->AddRef();
  *sample = taken;
  return S_OK;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* sample) {
  auto* own = static_cast<CMediaSample*>(sample);
  {
    std::lock_guard lock(mutex_);
    free_.push_back(own);
  }
  freed_.notify_one();
  Release();  // may delete this allocator: nothing may follow
  return S_OK;
}

int32_t CMemAllocator::outstanding() const {
  std::lock_guard lock(mutex_);
  return int32_t(samples_.size() - free_.size());
}

}  // namespace lessonry::media
