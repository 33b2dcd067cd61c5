// IMediaSeeking for a source that counts its own position: media time is the
// only time format, and positions and the duration are media times (100 ns
// units). A subclass supplies three hooks: the duration when the stream is
// finite, the current position, and moving to a position; this class keeps
// the rules of the calls (null pointers, formats, positioning flags,
// negative positions) in one place.
//
// Threads: the calls come on the host's thread; the hooks run on the
// calling thread, so a position the streaming thread also moves must be
// kept where both can see it (an atomic).
#pragma once

#include <optional>

#include "media/interfaces.h"

namespace lessonry::media {

class CMediaTimeSeeking : public IMediaSeeking {
 public:
  // S_OK for media time, S_FALSE for any other format.
  HRESULT IsFormatSupported(const GUID* format) override;
  // S_OK for media time, E_INVALIDARG for any other format or none.
  HRESULT SetTimeFormat(const GUID* format) override;
  HRESULT GetTimeFormat(GUID* format) override;
  // E_NOTIMPL (and *duration untouched) for an endless stream.
  HRESULT GetDuration(REFERENCE_TIME* duration) override;
  HRESULT GetCurrentPosition(REFERENCE_TIME* position) override;
  // Moves the current position (absolute, or relative to the current one);
  // a position before the start moves to the start. The stop position is
  // not kept: a stream ends where its length says.
  HRESULT SetPositions(REFERENCE_TIME* current, DWORD currentFlags, REFERENCE_TIME* stop, DWORD stopFlags) override;

 protected:
  // Not deleted through this class: the object's reference count owns it.
  ~CMediaTimeSeeking() = default;

 private:
  // The stream's length; nothing for an endless stream.
  virtual std::optional<REFERENCE_TIME> durationIfKnown() const = 0;
  // Where the stream stands now.
  virtual REFERENCE_TIME currentPosition() const = 0;
  // Moves the stream to position (never negative).
  virtual void moveTo(REFERENCE_TIME position) = 0;
};

}  // namespace lessonry::media
