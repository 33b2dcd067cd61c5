// CComposition: what the recorder's capture tick shows.
//
// The composite mode chooses the picture: the screen alone (mode 0), the
// selected source's picture scaled to the output size by the effects library
// (mode 1; any mode other than 0 and 2 behaves as 1), or the screen with the
// selected source scaled to 400 x 300 at its top left, black below it, and
// the screen (or the region) to its right (mode 2). The logo is drawn over
// every picture. SetCompositeMode sizes every header and buffer once; a tick
// allocates nothing.
//
// Ownership: the composition owns the frame buffer (one recorded picture,
// 24-bit B, G, R, rows padded to 4 bytes, top row first), the inset buffer
// and scaler, the effects library binding, the logo and the source list.
// The screen capture belongs to the recorder and outlives this object; the
// render interfaces in the source list belong to other controls.
//
// Threads and locks: every method runs under the recorder's frame lock,
// which the caller holds: SetCompositeMode, release and the source methods
// on the host's thread, composeTick on the tick's thread. Source pictures
// are read under the source render's own buffer lock, taken inside the
// frame lock (frame lock, then buffer lock).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/win_types.h"
#include "inset_scaler.h"
#include "lib_effect.h"
#include "logo.h"
#include "screen_capture.h"
#include "source_switch.h"

struct SwsContext;

namespace lessonry::capture {

class CComposition {
 public:
  static constexpr int32_t kInsetWidth = 400;
  static constexpr int32_t kInsetHeight = 300;
  static constexpr size_t kInsetBytes = 360000;  // 400 x 300 x 3, no row padding
  // Shown when a source picture is neither 24 nor 32 bits per pixel.
  static constexpr const char* kUnsupportedDepthText = "系统不支持24位和32位以外的系统颜色质量";

  struct Counters {
    uint64_t screenMisses = 0;  // ticks whose screen picture could not be taken (previous content kept)
    uint64_t sourceMisses = 0;  // ticks whose source had no readable picture (previous content kept)
  };

  explicit CComposition(CScreenCapture& screen);
  ~CComposition();
  CComposition(const CComposition&) = delete;
  CComposition& operator=(const CComposition&) = delete;

  // Prepares mode, headers, buffers, the effects binding and the logo for
  // the next recording (iwidth and iheight count in mode 1 only). Mode 2
  // with no active source prepares nothing. The caller refuses the call
  // while a recording runs.
  void SetCompositeMode(int32_t mode, int32_t iwidth, int32_t iheight);
  // StopEncode: frees the buffers, unbinds the effects library, drops the
  // placed logo and resets the region of the screen capture.
  void release();

  // One picture into frame(). False when this tick has no picture (modes 1
  // and 2 without an active source, or nothing prepared); a screen capture
  // that fails keeps the previous screen content and still gives a picture.
  bool composeTick();

  // The picture format the recording announces: the output header in mode 1,
  // the encode header otherwise; top-down (negative height). Zero size when
  // nothing is prepared.
  const BITMAPINFOHEADER& recordHeader() const { return isSourceMode() ? outputHeader_ : encodeHeader_; }
  const BITMAPINFOHEADER& outputHeader() const { return outputHeader_; }
  const BITMAPINFOHEADER& encodeHeader() const { return encodeHeader_; }
  BYTE* frame() { return frame_.data(); }
  size_t frameSize() const { return frame_.size(); }
  int32_t mode() const { return mode_; }
  // Replaces the frame with a w x h picture of the caller's making (the
  // recorder's generated-picture seam): mode 0 headers of that size, no
  // screen, no logo placement.
  bool prepareFrame(int32_t width, int32_t height);

  CSources& sources() { return sources_; }
  const CLibEffect& effects() const { return effects_; }
  const CLogo& logo() const { return logo_; }
  // Any thread.
  Counters counters() const {
    return {screenMisses_.load(std::memory_order_relaxed), sourceMisses_.load(std::memory_order_relaxed)};
  }

  // Where the message box text goes (default: a trace line).
  void setUserAlert(std::function<void(const char*)> alert) { userAlert_ = std::move(alert); }
  // The effects library's file name (tests point it at a missing one).
  void setEffectLibraryName(std::string name) { effectLibraryName_ = std::move(name); }

 private:
  struct SwsDeleter {
    void operator()(SwsContext* context) const;
  };

  bool isSourceMode() const { return mode_ != 0 && mode_ != 2; }
  void composeSource(SourceEntry& entry);
  void composeScreenAndSource(SourceEntry& entry);
  // Scales the source's latest picture into inset_; false when it has none
  // that can be read.
  bool scaleInset(IOxVideoRenderConfig& video);
  void freeBuffers();

  CScreenCapture& screen_;
  CSources sources_;
  CLibEffect effects_;
  CLogo logo_;
  std::string effectLibraryName_ = CLibEffect::kLibraryName;
  std::function<void(const char*)> userAlert_;

  int32_t mode_ = 0;
  BITMAPINFOHEADER outputHeader_{};
  BITMAPINFOHEADER encodeHeader_{};
  BITMAPINFOHEADER cameraHeader_{};
  BITMAPINFOHEADER insetHeader_{};
  CScreenCapture::Size screenPart_;  // mode 2: the screen part's size
  std::vector<BYTE> frame_;
  std::vector<BYTE> inset_;          // mode 2: kInsetBytes

  // The inset scalers, made for the source's format and size and remade
  // only when they change: ours for 24 and 32 bits, libswscale's for the
  // 15-bit reading of any other bit count.
  CInsetScaler insetScaler_;
  std::unique_ptr<SwsContext, SwsDeleter> otherDepthScaler_;
  int32_t insetSrcWidth_ = 0, insetSrcHeight_ = 0, insetSrcBits_ = 0;  // of otherDepthScaler_

  // Written by the tick, read by anyone.
  std::atomic<uint64_t> screenMisses_{0}, sourceMisses_{0};
};

}  // namespace lessonry::capture
