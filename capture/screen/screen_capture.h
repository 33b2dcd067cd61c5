// CScreenCapture: the screen picture of a capture control's recorder.
//
// The recorder (CScreenRecorder) owns one of these. It holds the instance of
// the screen capture library (RUVEZA, reached through VgaFunctions so tests
// can put a fake grabber in its place), the region of the screen the host
// chose with SendVGACutRect, the libswscale context that turns the library's
// 32-bit pixels (blue, green, red, ignored byte) into the recorder's 24-bit
// pictures (blue, green, red; rows padded to 4 bytes; top row first), and the
// OpenCV region of interest of the cut. Every picture of modes 0 and 2 comes
// from captureScreen / captureScreenPart. A region is cut out of the
// captured 32-bit screen as an image region and only that region is
// converted, straight into the caller's picture: the same pixels as
// converting the whole screen and cutting the 24-bit picture, for a
// fraction of the work, and a tick allocates no picture memory.
//
// Threads:
// - host thread: construction, destruction (after the recording has ended),
//   SendVGACutRect (at any time, also while recording, without the frame
//   lock), requestScreen32 and resetRegion (only while no recording runs),
//   and the getters.
// - timer thread (the capture tick, under the recorder's frame lock):
//   captureScreen and captureScreenPart.
// The conversion is split into slices that libswscale's own worker threads
// convert at once (memory bandwidth is what it is bound by); the tick's
// thread waits for them inside the call.
// The fields SendVGACutRect writes (flags, region, latest origin and size)
// are atomics, and each position or size pair is one atomic word, so a tick
// sees either the old or the new pair, never half of each; a move takes
// effect at the next tick. Everything else the tick touches (scaler, frame
// records, format copy) belongs to the tick while a recording runs. This class takes no lock of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/win_types.h"

struct SwsContext;
struct AVFrame;

namespace lessonry {

// The six calls of the screen capture library, as the recorder makes them.
struct VgaFunctions {
  void* (*create)();
  int32_t (*startUp)(void* handle, int32_t reserved);
  BITMAPINFOHEADER* (*getBitmapInfo)(void* handle);
  BYTE* (*captureScreen)(void* handle, int32_t reserved);
  void (*shutDown)(void* handle);
  void (*destroy)(void* handle);  // VGADelete

  // The RUVEZA library (libRUVEZA.so, linked).
  static const VgaFunctions& ruveza();
};

class CScreenCapture {
 public:
  struct Size {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const Size&) const = default;
  };
  struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point&) const = default;
  };
  struct Rect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const Rect&) const = default;
  };

  // Host thread. Creates and starts the library's instance and reads its
  // screen header (VGACreate, VGAStartUp, VGAGetBitmapInfo); the results are
  // taken as they come. The functions must stay valid for the object's life.
  explicit CScreenCapture(const VgaFunctions& vga = VgaFunctions::ruveza());
  // Host thread, after the recording has ended: VGAShutDown, VGADelete.
  ~CScreenCapture();
  CScreenCapture(const CScreenCapture&) = delete;
  CScreenCapture& operator=(const CScreenCapture&) = delete;

  // Host thread, also during a recording. Chooses what is recorded: the
  // position is clamped so that (px + pw, py + ph) stays inside the screen;
  // the first call with bAll false fixes region recording and the region's
  // size (width rounded up to a multiple of 4) until resetRegion; later calls
  // only move the region (latest origin).
  void SendVGACutRect(long px, long py, long pw, long ph, BOOL bAll);

  // Host thread, SetCompositeMode, no recording running: keeps a copy of the
  // screen header, then asks the library for 32-bit pixels. It also fixes
  // the kind of picture (whole screen or region) until resetRegion, so that
  // a region asked for during a whole-screen recording cannot change the
  // picture size the recording was prepared for; it applies from the next
  // SetCompositeMode on.
  void requestScreen32();

  // Host thread, StopEncode: region recording may be chosen again; the
  // full-screen flag, the region's size and the latest origin are kept. The
  // kind fixed by requestScreen32 follows the full-screen flag again.
  void resetRegion();

  // Timer thread, mode 0. Captures the screen into frame (frameSize bytes,
  // 24-bit rows of the encode width, top row first): the whole screen
  // converted, or the region cut out of the converted screen. False when
  // there is no new picture (the library gave none, the scaler could not be
  // made, the frame is too small for it, or the region does not fit on the
  // screen); frame then keeps its previous content.
  bool captureScreen(BYTE* frame, size_t frameSize);

  // Timer thread, mode 2: the same capture (and cut) written as the screen
  // part (the region, or the whole screen) with rows of dstStride bytes at
  // dst, so that it can land inside a wider picture. dstSize counts the
  // bytes from dst to the end of that picture. part receives the screen
  // part's size. Result as captureScreen.
  bool captureScreenPart(BYTE* dst, int32_t dstStride, size_t dstSize, Size* part);

  // The screen size: |width| x |height| of the format copy (before
  // requestScreen32, of the library's header at construction).
  Size screenSize() const;
  // The picture size of mode 0 and the screen part of mode 2: the region
  // (width a multiple of 4) when recording a region, else the screen size.
  Size encodeSize() const;
  // Bytes of one 24-bit picture of encodeSize().
  size_t encodeImageSize() const;

  bool fullScreen() const { return fullScreen_.load(std::memory_order_relaxed) != 0; }
  // Whether captures take the whole screen: the kind fixed by
  // requestScreen32, or the full-screen flag before it.
  bool capturesWholeScreen() const;
  bool regionSet() const { return regionSet_.load(std::memory_order_relaxed) != 0; }
  Rect region() const;
  Point latestOrigin() const;
  // Its width is the logo's reference width.
  Size latestSize() const;
  // Where the next region cut is taken (latest origin, negatives made 0,
  // moved left/up so that the region's whole size lies on the screen).
  Point cutPosition() const;

  void* handle() const { return handle_; }
  const BITMAPINFOHEADER* screenHeader() const { return screenHeader_; }
  const BITMAPINFOHEADER& screenFormat() const { return screenFormat_; }

 private:
  struct SwsDeleter {
    void operator()(SwsContext* context) const;
  };
  struct FrameDeleter {
    void operator()(AVFrame* frame) const;
  };

  static int64_t pack(int32_t a, int32_t b);
  static void unpack(int64_t packed, int32_t* a, int32_t* b);

  Size partSize(bool wholeScreen) const;
  // Converts width x height 32-bit pixels (rows of srcStride bytes) into
  // dst (24-bit rows of dstStride bytes).
  bool convert(const BYTE* src, int32_t srcStride, int32_t width, int32_t height, BYTE* dst, int32_t dstStride);
  // Converts the region (size) of the captured screen into dst.
  bool cut(const BYTE* bits, Size size, BYTE* dst, int32_t dstStride);

  const VgaFunctions vga_;
  void* handle_ = nullptr;                        // the library's instance
  BITMAPINFOHEADER* screenHeader_ = nullptr;      // owned by the library, valid until VGADelete
  BITMAPINFOHEADER screenFormat_{};               // copy taken before the 32-bit request

  std::atomic<int32_t> fullScreen_{1};
  std::atomic<int32_t> regionSet_{0};
  std::atomic<int32_t> fixedKind_{-1};            // -1 not fixed, 0 region, 1 whole screen
  std::atomic<int64_t> regionPosition_{0};        // x, y
  std::atomic<int64_t> regionSize_{0};            // width (multiple of 4 once set), height
  std::atomic<int64_t> latestOrigin_{0};          // x, y after clamping
  std::atomic<int64_t> latestSize_{pack(1920, 1080)};

  // Screen scaler: created for these sizes, recreated only when they change.
  std::unique_ptr<SwsContext, SwsDeleter> scaler_;
  // Descriptions of the two pictures handed to the scaler (no pixels of
  // their own): kept so that a conversion allocates no frame records.
  std::unique_ptr<AVFrame, FrameDeleter> srcFrame_, dstFrame_;
  int32_t scalerWidth_ = 0, scalerHeight_ = 0;  // same size on both sides: it only converts

};

}  // namespace lessonry
