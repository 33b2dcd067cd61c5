// Media-time seeking on a source's own position (see media_time_seeking.h).
#include "media/media_time_seeking.h"

#include <algorithm>

namespace lessonry::media {

HRESULT CMediaTimeSeeking::IsFormatSupported(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CMediaTimeSeeking::SetTimeFormat(const GUID* format) {
  // A missing format is refused like any other that is not media time.
  return format && *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CMediaTimeSeeking::GetTimeFormat(GUID* format) {
  if (!format) return E_POINTER;
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

HRESULT CMediaTimeSeeking::GetDuration(REFERENCE_TIME* duration) {
  if (!duration) return E_POINTER;
  const std::optional<REFERENCE_TIME> known = durationIfKnown();
  if (!known) return E_NOTIMPL;
  *duration = *known;
  return S_OK;
}

HRESULT CMediaTimeSeeking::GetCurrentPosition(REFERENCE_TIME* position) {
  if (!position) return E_POINTER;
  *position = currentPosition();
  return S_OK;
}

HRESULT CMediaTimeSeeking::SetPositions(REFERENCE_TIME* current, DWORD currentFlags, REFERENCE_TIME*, DWORD) {
  const DWORD positioning = currentFlags & AM_SEEKING_PositioningBitsMask;
  if (!current) return positioning != AM_SEEKING_NoPositioning ? E_POINTER : S_OK;
  REFERENCE_TIME wanted = 0;
  switch (positioning) {
    case AM_SEEKING_AbsolutePositioning: wanted = *current; break;
    case AM_SEEKING_RelativePositioning:
    case AM_SEEKING_IncrementalPositioning: wanted = currentPosition() + *current; break;
    default: return S_OK;  // no positioning: the position stays
  }
  moveTo(std::max<REFERENCE_TIME>(wanted, 0));
  return S_OK;
}

}  // namespace lessonry::media
