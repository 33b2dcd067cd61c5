/* OxEffect: scales and composes the recorder's output picture.
 *
 * A caller creates one effect instance with OxGetEffect, gives it the output
 * size once with OxSetComposeVideoSize, and calls OxComposeVideo (one picture
 * scaled to the output, or two pictures as picture-in-picture or a
 * transition) or OxComposeVideoEx (any number of pictures, each scaled into
 * its own rectangle on black) for every output frame, passing its own output
 * buffer each time. The library is loaded at run time by file name
 * ("libOxEffect.so"); every function below is exported under exactly this
 * name.
 *
 * Pictures. Every picture is a BITMAPINFOHEADER (only biWidth, biHeight and
 * biBitCount are read) and a pointer to its pixels. Bit counts 24 (B, G, R)
 * and 32 (B, G, R, A; the fourth byte is ignored) are accepted as inputs; the
 * output is always 24-bit BGR. The sign of biHeight is ignored: row 0 is the
 * first row in memory, for inputs and output alike. Rows of 24-bit pictures,
 * the output included, are padded to 4 bytes (DIB stride); rows of 32-bit
 * pictures are width x 4 bytes.
 *
 * Output buffer. Every compose call writes into the buffer it is given, which
 * must hold abs(height) x ((width x 24 + 31) / 32 x 4) bytes for the size last
 * given to OxSetComposeVideoSize. The library never reads or writes it, nor
 * any input pixels or headers, after the call that received them returns;
 * the caller may free or reuse them at once.
 *
 * Failures. No function returns a result code and nothing is thrown across
 * this interface. A compose call that fails (an input whose bit count is
 * neither 24 nor 32, an unusable argument) stops where it is, leaves what it
 * already drew in the output, writes a trace line and records a text that
 * OxEffectGetLastError returns. Pictures with no pixels (a width or height of
 * 0, a negative width, a null pixel pointer) draw nothing.
 *
 * Threads. The library has no threads and no locks. One effect instance is
 * used by one thread at a time; separate instances are independent and may
 * be used on different threads at once. The last-error text is kept per
 * thread.
 */
#ifndef LESSONRY_OX_EFFECT_H
#define LESSONRY_OX_EFFECT_H

#include <stdint.h>

#include "base/export.h"
#include "base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One input of OxComposeVideo. The capture control passes its source picture
 * descriptor (format, buffer, buffer lock) as this record; the third pointer
 * is not read. */
typedef struct ComposeItem {
  const BITMAPINFOHEADER* format;
  const BYTE* bits;
  const void* reserved;
} ComposeItem;

/* One input of OxComposeVideoEx: a picture and the output rectangle it is
 * scaled into, in output pixels, right and bottom exclusive. A null format
 * makes the item show nothing. */
typedef struct ComposeRectItem {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  const BITMAPINFOHEADER* format;
  const BYTE* bits;
  const void* reserved;
} ComposeRectItem;

/* An effect instance; opaque. */
typedef struct OxEffectInstance* OxEffectHandle;

/* Composition types of OxComposeVideo. */
#define OX_COMPOSE_NONE 0   /* draws nothing */
#define OX_COMPOSE_SINGLE 1 /* items[0] scaled onto the whole output */
#define OX_COMPOSE_PAIR 2   /* items[0] and items[1] by the effect code */

/* Effect code flags and codes of the two-picture composition. */
#define OX_EFFECT_FLAG_MASK 0x200   /* blend through the alpha mask */
#define OX_EFFECT_FLAG_LAYOUT 0x800 /* one of the layouts below */
#define OX_EFFECT_FADE 528          /* 0x210: cross-fade by percent */
#define OX_EFFECT_CORNER_BOTTOM_LEFT 2049
#define OX_EFFECT_BAND 2051
#define OX_EFFECT_BOX 2069
#define OX_EFFECT_SECOND_ONLY 2070
#define OX_EFFECT_CORNER_BOTTOM_RIGHT 2083
#define OX_EFFECT_CORNER_TOP_LEFT 2084
#define OX_EFFECT_CORNER_TOP_RIGHT 2085

/* Creates an effect instance with no pictures and no output size. The caller
 * owns the handle and releases it with OxFreeEffect. Null only when memory
 * runs out. */
LESSONRY_EXPORT OxEffectHandle OxGetEffect(void);

/* Frees the instance and every picture, mask and table it holds; never the
 * caller's pixels. Null is ignored. The handle is invalid afterwards. */
LESSONRY_EXPORT void OxFreeEffect(OxEffectHandle effect);

/* Sets the output size for later compose calls (the height's sign is
 * ignored). Nothing is copied or kept but the two numbers. Until this is
 * called, compose calls leave the output untouched. */
LESSONRY_EXPORT void OxSetComposeVideoSize(int32_t width, int32_t height, OxEffectHandle effect);

/* Composes into output (see "Output buffer" above).
 *   reserved  not read (the capture control passes 0)
 *   items     type 1: one item; type 2: two items. Read during the call only.
 *   type      0 nothing, 1 items[0] onto the whole output (a plain copy when
 *             it has the output's size, bilinear scaling otherwise; percent
 *             and effectCode are not read), 2 two pictures by effectCode;
 *             other values draw nothing.
 *   percent   type 2: progress 0..100 (clamped); 100 shows items[1] only.
 *   effectCode type 2: OX_EFFECT_FADE or one of the 0x800 layouts; any
 *             other code leaves items[0] drawn full size.
 * The call allocates nothing unless the output size or an input's bit count
 * changed since the previous call on this instance. */
LESSONRY_EXPORT void OxComposeVideo(intptr_t reserved, const ComposeItem* items, int32_t type, int32_t percent,
                                    int32_t effectCode, BYTE* output, OxEffectHandle effect);

/* Fills the output with black and scales each of the count items into its
 * rectangle, framed by a 2-pixel light grey border (byte 200), later items
 * over earlier ones. A rectangle with a negative left or top, a left beyond
 * the output's width or a bottom below its height draws no picture (its frame
 * is still drawn, clipped); a right edge beyond the output is clipped. The
 * items are read during the call only. Count 0 leaves the output untouched. */
LESSONRY_EXPORT void OxComposeVideoEx(intptr_t reserved, const ComposeRectItem* items, int32_t count, BYTE* output,
                                      OxEffectHandle effect);

/* The failure text of the last compose call on the calling thread, or "" when
 * that call succeeded (every compose call clears it on entry). Example:
 * "Can not support this PixelFormat: 16". The text belongs to the library and
 * stays valid until the next call into the library on the same thread. */
LESSONRY_EXPORT const char* OxEffectGetLastError(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LESSONRY_OX_EFFECT_H */
