// CScreenCapture: the screen picture of a capture control's recorder.
//
// The recorder (CScreenRecorder) owns one of these. It holds the instance of
// the screen capture library (RUVEZA, reached through VgaFunctions so tests
// can put a fake grabber in its place), the region of the screen the host
// chose with SendVGACutRect, the libswscale context that turns the library's
// 32-bit pixels (blue, green, red, ignored byte) into the recorder's 24-bit
// pictures (blue, green, red; rows padded to 4 bytes; top row first), and the
// OpenCV images of the region cut. Every picture of modes 0 and 2 comes from
// captureScreen / captureScreenPart.
//
// Threads:
// - host thread: construction, destruction (after the recording has ended),
//   SendVGACutRect (at any time, also while recording, without the frame
//   lock), requestScreen32, prepareScreenBuffer, releaseScreenBuffer and
//   resetRegion (only while no recording runs), and the getters.
// - timer thread (the capture tick, under the recorder's frame lock):
//   captureScreen and captureScreenPart.
// The fields SendVGACutRect writes (flags, region, latest origin and size)
// are atomics, and each position or size pair is one atomic word, so a tick
// sees either the old or the new pair, never half of each; a move takes
// effect at the next tick. Everything else the tick touches (scaler, screen
// buffer, cut images, format copy) belongs to the tick while a recording
// runs. This class takes no lock of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "base/win_types.h"

struct SwsContext;

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
  // screen header, then asks the library for 32-bit pixels.
  void requestScreen32();

  // Host thread, StopEncode: region recording may be chosen again; the
  // full-screen flag, the region's size and the latest origin are kept.
  void resetRegion();

  // Host thread, SetCompositeMode / StopEncode: the screen-sized 24-bit
  // buffer the region is cut from. A capture that needs it and finds none
  // allocates it itself.
  void prepareScreenBuffer();
  void releaseScreenBuffer();

  // Timer thread, mode 0. Captures the screen into frame (frameSize bytes,
  // 24-bit rows of the encode width, top row first): the whole screen
  // converted, or the region cut out of the converted screen. False when
  // there is no new picture (the library gave none, the scaler could not be
  // made, the frame is too small for it, or the region does not fit on the
  // screen); frame then keeps its previous content.
  bool captureScreen(BYTE* frame, size_t frameSize);

  // Timer thread, mode 2: the same capture (and cut) into buffer, which
  // receives the screen part: the region, or the whole screen. part receives
  // the screen part's size. Result as captureScreen.
  bool captureScreenPart(BYTE* buffer, size_t bufferSize, Size* part);

  // The screen size: |width| x |height| of the format copy (before
  // requestScreen32, of the library's header at construction).
  Size screenSize() const;
  // The picture size of mode 0 and the screen part of mode 2: the region
  // (width a multiple of 4) when recording a region, else the screen size.
  Size encodeSize() const;
  // Bytes of one 24-bit picture of encodeSize().
  size_t encodeImageSize() const;

  bool fullScreen() const { return fullScreen_.load(std::memory_order_relaxed) != 0; }
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
  // The cut images of the last tick (timer thread, or while no recording runs).
  const cv::Mat& screenImage() const { return screenImage_; }
  const cv::Mat& cutImage() const { return cutImage_; }

 private:
  struct SwsDeleter {
    void operator()(SwsContext* context) const;
  };

  static int64_t pack(int32_t a, int32_t b);
  static void unpack(int64_t packed, int32_t* a, int32_t* b);

  Size partSize(bool wholeScreen) const;
  // Converts the captured screen into dst (screen size, 24-bit rows).
  bool convert(const BYTE* bits, BYTE* dst, size_t dstSize);
  // Cuts the region out of the screen buffer into cutImage_.
  bool cut();

  const VgaFunctions vga_;
  void* handle_ = nullptr;                        // the library's instance
  BITMAPINFOHEADER* screenHeader_ = nullptr;      // owned by the library, valid until VGADelete
  BITMAPINFOHEADER screenFormat_{};               // copy taken before the 32-bit request

  std::atomic<int32_t> fullScreen_{1};
  std::atomic<int32_t> regionSet_{0};
  std::atomic<int64_t> regionPosition_{0};        // x, y
  std::atomic<int64_t> regionSize_{0};            // width (multiple of 4 once set), height
  std::atomic<int64_t> latestOrigin_{0};          // x, y after clamping
  std::atomic<int64_t> latestSize_{pack(1920, 1080)};

  // Screen scaler: created for these sizes, recreated only when they change.
  std::unique_ptr<SwsContext, SwsDeleter> scaler_;
  int32_t scalerSrcWidth_ = 0, scalerSrcHeight_ = 0, scalerDstWidth_ = 0, scalerDstHeight_ = 0;
  int scalerSrcStride_ = 0, scalerDstStride_ = 0;

  std::vector<BYTE> screenBuffer_;  // one converted screen, the source of the cut
  cv::Mat screenImage_;             // header over screenBuffer_
  cv::Mat cutImage_;                // the region of the last tick, continuous rows
};

}  // namespace lessonry
