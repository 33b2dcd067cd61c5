/* OxAACEncoder: AAC-LC frames from 16-bit PCM.
 *
 * Input: interleaved signed 16-bit PCM (WAVE_FORMAT_PCM, 1 or 2 channels, a
 * sampling rate AAC defines, 8000 to 96000 Hz) in blocks of any size. Output:
 * raw AAC frames (no ADTS header) of 1024 samples each, handed to the data
 * callback on the thread that calls AACEncodeData (or AACEncoderStop, which
 * flushes what is still buffered). Each frame carries the time stamp, in the
 * milliseconds of the input's scale, of its first sample: the time stamp of
 * the block that sample came from plus its offset within the block. The data
 * passed to the callback is valid only during the call.
 *
 * Threads: one thread at a time per instance. Bad input (null handle or
 * pointers, unsupported formats, negative sizes) gives E_FAIL; nothing throws. */
#ifndef OX_AAC_ENCODER_H
#define OX_AAC_ENCODER_H

#include "base/export.h"
#include "base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* AACEncoderHandle;

/* One encoded frame: data, its size in bytes, a value the receiver ignores
 * (always 0), the context given to AACSetDataCallFunc, the time stamp (ms). */
typedef void (*AACDataCallback)(const BYTE* data, int32_t size, int32_t reserved, void* context, int64_t timeStampMs);

LESSONRY_EXPORT AACEncoderHandle AACEncoderCreate(void);

/* The AAC decoder configuration (AudioSpecificConfig, the bytes an MP4 track
 * or a live stream carries as the AAC setup) for format, written to buffer
 * (the caller provides at least 64 bytes); *length receives its size. Works
 * before AACEncoderStart. */
LESSONRY_EXPORT HRESULT AACGetExtraData(AACEncoderHandle handle, const WAVEFORMATEX* format, BYTE* buffer,
                                        int32_t* length);

/* Every frame encoded from now on goes to callback with context. */
LESSONRY_EXPORT HRESULT AACSetDataCallFunc(AACEncoderHandle handle, AACDataCallback callback, void* context);

/* Opens the encoder for format. Restarting a started instance restarts it. */
LESSONRY_EXPORT HRESULT AACEncoderStart(AACEncoderHandle handle, const WAVEFORMATEX* format);

/* Takes size bytes of PCM (whole sample frames; a trailing partial frame is
 * kept for the next call) starting at timeStampMs. state is the caller's
 * state word; it is not read. Complete frames go to the callback before this
 * returns. */
LESSONRY_EXPORT HRESULT AACEncodeData(AACEncoderHandle handle, const BYTE* pcm, int32_t size, int64_t timeStampMs,
                                      int32_t* state);

/* Encodes what is still buffered (the last frame may be short), hands it to
 * the callback and closes the encoder. Harmless when not started. */
LESSONRY_EXPORT HRESULT AACEncoderStop(AACEncoderHandle handle);

/* Frees the instance (stopping it first, without calling back). Null is ignored. */
LESSONRY_EXPORT void AACEncoderDelete(AACEncoderHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* OX_AAC_ENCODER_H */
