// Peak level of each channel of a block of PCM, for the audio render's level
// reports. Owned and used by the level thread only (not thread-safe).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/win_types.h"

namespace lessonry::filters {

class CAudioAnalyzer {
 public:
  // Copies the format and sizes the per-channel sample arrays (one entry per
  // sample per second; the second array only for two channels).
  void setFormat(const WAVEFORMATEX& format);
  const WAVEFORMATEX& format() const { return format_; }

  struct Levels {
    int32_t channel0 = 0;
    int32_t channel1 = 0;  // 0 for mono
  };
  // Largest positive sample of each channel over the whole frames of data:
  // 16-bit samples are divided by 256 (toward zero), giving 0..127; 8-bit
  // samples are byte - 127, giving 0..128. Formats other than 8 or 16 bits
  // with 1 or 2 channels measure nothing. At most samples-per-second frames
  // are measured at once.
  Levels measure(const uint8_t* data, size_t bytes);

 private:
  WAVEFORMATEX format_{};
  std::vector<int32_t> channel0_;
  std::vector<int32_t> channel1_;
};

}  // namespace lessonry::filters
