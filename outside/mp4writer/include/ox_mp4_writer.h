/* OxMp4Writer: an MP4 file of one H.264 and one AAC track.
 *
 * File mode writes a fragmented MP4 (the moov box first, then a fragment at
 * every key frame and at least every second), flushed as it goes, so a file
 * whose writer dies mid-recording still opens and plays up to its last
 * fragment. MP4EndWrite writes the last fragment and the random-access index
 * and closes the file.
 *
 * Video: Annex B access units with millisecond time stamps (the track's time
 * base is 1/1000); time stamps must not go backwards, and a repeated one is
 * moved 1 ms on. Audio: raw AAC frames of 1024 samples; the writer times them
 * itself (frame n starts at sample n * 1024), so the time stamp passed is not
 * used in file mode. Data passed in is copied before the call returns.
 *
 * Threads: the caller serialises all calls on one instance. Nothing throws. */
#ifndef OX_MP4_WRITER_H
#define OX_MP4_WRITER_H

#include "base/export.h"
#include "base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* MP4WriterHandle;

LESSONRY_EXPORT MP4WriterHandle MP4CreateInstance(void);

/* Opens target (a file path when live is 0) with a video track described by
 * videoFormat (width, |height|) and the SPS+PPS in parameterSets, and an audio
 * track described by audioFormat with the AAC decoder configuration in
 * audioConfig. A null videoFormat or audioFormat leaves that track out.
 * Returns 0 when the target is open and the tracks are set up; non-zero when
 * the file cannot be created, the formats are unusable, or the instance is
 * already writing. Live targets (live = 1) are not supported by this build
 * and return E_NOTIMPL. */
LESSONRY_EXPORT HRESULT MP4BeginWrite(MP4WriterHandle handle, const char* target, const BITMAPINFOHEADER* videoFormat,
                                      const BYTE* parameterSets, int32_t parameterSetsLength,
                                      const WAVEFORMATEX* audioFormat, const BYTE* audioConfig,
                                      int32_t audioConfigLength, int32_t live);

/* One access unit; keyFrame non-zero for an IDR picture. 0 while the target
 * accepts data. The first unit written should be a key frame. */
LESSONRY_EXPORT HRESULT MP4WriteVideo(MP4WriterHandle handle, const BYTE* data, int32_t size, int32_t keyFrame,
                                      int64_t timeStampMs);

/* One AAC frame. 0 while the target accepts data. */
LESSONRY_EXPORT HRESULT MP4WriteAudio(MP4WriterHandle handle, const BYTE* data, int32_t size, int64_t timeStampMs);

/* Finalises and closes the target. E_FAIL when nothing was open. */
LESSONRY_EXPORT HRESULT MP4EndWrite(MP4WriterHandle handle);

/* Frees the instance; a target still open is finalised first. Null is ignored. */
LESSONRY_EXPORT void MP4DeleteInstance(MP4WriterHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* OX_MP4_WRITER_H */
