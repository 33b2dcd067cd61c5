/* OxLib264Encoder: H.264 elementary streams from uncompressed pictures, over x264.
 *
 * One instance encodes one stream at a time; Start may be called again after
 * Stop to encode a new stream. Pictures are described by a BITMAPINFOHEADER;
 * only biWidth, biHeight and biBitCount are read:
 *
 *   biBitCount 12  planar I420 (Y, then U, then V), rows aligned-width bytes
 *                  apart (width rounded up to a multiple of 4), chroma rows
 *                  aligned-width / 2 apart; never flipped.
 *   biBitCount 24  packed BGR, DIB rows padded to 4 bytes.
 *   biBitCount 32  packed BGRA, DIB rows padded to 4 bytes.
 *
 * For 24 and 32 bits a positive biHeight is a bottom-up picture (it is flipped
 * to upright), a negative one a top-down picture. Widths and heights must be
 * positive and even (4:2:0 chroma).
 *
 * Configuration is fixed: preset superfast, baseline profile, level 3.2
 * signalled, average bit rate in kbit/s, variable frame rate with a 1/1000
 * time base (time stamps are milliseconds), no periodic IDR of x264's own; a
 * key frame is forced on the first picture of the first stream and whenever
 * more than 4000 ms of wall-clock time passed since the last one.
 *
 * Threads: an instance is used by one thread at a time; instances are
 * independent. H264GetSPSInfo touches no instance and may run at any time.
 * Nothing here throws or aborts on bad input: null handles and pointers,
 * non-positive sizes and unknown bit counts give E_FAIL (or no output). */
#ifndef OX_LIB264_ENCODER_H
#define OX_LIB264_ENCODER_H

#include "base/export.h"
#include "base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* H264EncoderHandle;

/* A new instance, or null when it cannot be allocated. */
LESSONRY_EXPORT H264EncoderHandle H264EncoderCreate(void);

/* Writes the SPS followed by the PPS, each behind an Annex B start code, that a
 * stream started with the same format and bit rate carries; *length receives
 * their total size. The caller provides room for both (128 bytes is plenty).
 * The handle is not used. E_FAIL for null buffer or length (nothing written),
 * or when no encoder can be opened for the format. */
LESSONRY_EXPORT HRESULT H264GetSPSInfo(H264EncoderHandle handle, const BITMAPINFOHEADER* format,
                                       int32_t bitRateKbps, BYTE* buffer, int32_t* length);

/* Opens a stream for pictures of format at bitRateKbps. E_FAIL when x264
 * refuses (the instance then has no encoder) or for bad arguments. */
LESSONRY_EXPORT HRESULT H264EncoderStart(H264EncoderHandle handle, const BITMAPINFOHEADER* format,
                                         int32_t bitRateKbps);

/* Encodes one picture with time stamp pts (milliseconds). Always returns 0.
 * *outSize is 0 when no access unit is ready (x264 holds early pictures back)
 * or on any failure; otherwise *outData points at one whole access unit
 * (every NAL unit of one picture, Annex B, contiguous), *outPts is the time
 * stamp of the picture it belongs to and *outKeyFrame is non-zero for an IDR
 * picture. The output belongs to the instance and stays valid until the next
 * H264EncodeData, H264EncoderStop or H264EncoderDelete on it. With a null
 * outData the picture is encoded but nothing is reported. pictureLength is
 * not used: the picture must hold one whole picture of the started format. */
LESSONRY_EXPORT HRESULT H264EncodeData(H264EncoderHandle handle, const BYTE* picture, int32_t pictureLength,
                                       int64_t pts, BYTE** outData, int32_t* outSize, int64_t* outPts,
                                       int32_t* outKeyFrame);

/* The next picture becomes a key frame. Does not restart the 4-second timer. */
LESSONRY_EXPORT HRESULT H264ForceKeyFrame(H264EncoderHandle handle);

/* Drains the pictures x264 still holds (their output is discarded) and closes
 * the stream. Harmless on an instance that is not started. */
LESSONRY_EXPORT HRESULT H264EncoderStop(H264EncoderHandle handle);

/* Frees the instance, its conversion buffer and scaler. Callers stop first; a
 * stream still open is closed here without draining (its held-back pictures
 * are dropped). A null handle is ignored. */
LESSONRY_EXPORT void H264EncoderDelete(H264EncoderHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* OX_LIB264_ENCODER_H */
