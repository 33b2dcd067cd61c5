/* RUVEZA: the desktop picture of the X11 screen.
 *
 * A handle connects to the X server named by the DISPLAY environment
 * variable and captures its root window (the whole screen of the default
 * screen number) as 32-bit pixels: bytes blue, green, red and a fourth byte
 * that carries nothing (its value is unspecified), rows of 4 x width bytes,
 * the top row first. The mouse
 * pointer is drawn into every picture (alpha blended) where the server
 * reports a pointer image. Shared memory (MIT-SHM) is used where the server
 * offers it; otherwise, or with LESSONRY_RUVEZA_NO_SHM=1 in the environment
 * when the handle is created, pictures are read over the connection
 * (slower, same picture).
 *
 * The picture size is the screen size when the handle is created and stays
 * so for the handle's life: if the screen grows later, the top left part of
 * that size is captured; if it shrinks, what lies beyond it is black.
 *
 * Without a display (DISPLAY unset, or no server there) VGACreate still
 * returns a handle whose header describes 1920 x 1080 pixels of 32 bits;
 * VGACaptureScreen then returns null. If the server goes away while a
 * handle is in use, later captures return null; the process is not ended.
 *
 * Threads: one thread at a time per handle. The host creates the handle,
 * starts it and reads the header on its thread; afterwards the captures
 * come from one other thread (the capture tick); the host shuts the handle
 * down and deletes it once the captures have ended. Handles are independent
 * of each other. Every function takes a null handle and then does nothing
 * (returning null or E_FAIL). Nothing throws. */
#ifndef RUVEZA_H
#define RUVEZA_H

#include "base/export.h"
#include "base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new handle, already connected when a display is there; null only when
 * memory runs out. Release it with VGADelete. */
LESSONRY_EXPORT void* VGACreate(void);

/* Prepares the capture (shared memory segment, pointer image access).
 * reserved is ignored (callers pass 0). Returns 0 when the handle can
 * capture, E_FAIL without a display. Calling it again is harmless; after
 * VGAShutDown it connects again. Captures before it start the handle
 * themselves. */
LESSONRY_EXPORT int32_t VGAStartUp(void* handle, int32_t reserved);

/* The picture format: biWidth x |biHeight| pixels, biHeight NEGATIVE (the
 * picture is top-down; use its absolute value as the height), biBitCount 32,
 * biCompression BI_RGB, biSizeImage 4 x width x height. The header belongs
 * to the library and stays valid (at the same address) until VGADelete. The
 * caller may write biBitCount: 32 is what the library delivers anyway, so a
 * request of 32 is honoured; any other value written there is ignored and
 * pictures stay 32-bit. Call it from the host thread before captures start;
 * the captures do not write the header. */
LESSONRY_EXPORT BITMAPINFOHEADER* VGAGetBitmapInfo(void* handle);

/* Captures the screen now and returns the picture in the header's format,
 * or null when there is none (no display, the server has gone, the handle
 * was shut down, or the capture failed this time). reserved is ignored.
 * The picture belongs to the library and stays valid until the next
 * VGACaptureScreen, VGAShutDown or VGADelete on this handle. */
LESSONRY_EXPORT BYTE* VGACaptureScreen(void* handle, int32_t reserved);

/* Releases the capture's resources and the connection. The header stays
 * valid; later captures return null until VGAStartUp is called again. */
LESSONRY_EXPORT void VGAShutDown(void* handle);

/* Shuts down if needed and frees the handle; the header and the last
 * picture go with it. Null is ignored. */
LESSONRY_EXPORT void VGADelete(void* handle);

#ifdef __cplusplus
}
#endif

#endif /* RUVEZA_H */
