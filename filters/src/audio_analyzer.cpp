// Peak measurement of the audio render (see audio_analyzer.h).
#include "audio_analyzer.h"

#include <algorithm>
#include <cstring>

namespace lessonry::filters {

void CAudioAnalyzer::setFormat(const WAVEFORMATEX& format) {
  format_ = format;
  channel0_.assign(format.nSamplesPerSec, 0);
  channel1_.assign(format.nChannels == 2 ? format.nSamplesPerSec : 0, 0);
}

CAudioAnalyzer::Levels CAudioAnalyzer::measure(const uint8_t* data, size_t bytes) {
  Levels levels;
  if (!data) return levels;
  const int channels = format_.nChannels;
  const int bits = format_.wBitsPerSample;
  // Only the four real layouts are read; a sum such as 10 from 1 channel of
  // 9 bits, or a block align smaller than a frame, would read past the data.
  const bool known = (channels == 1 || channels == 2) && (bits == 8 || bits == 16) &&
                     format_.nBlockAlign == channels * bits / 8;
  if (!known) return levels;
  // The arrays hold one second; a longer block is measured over its first
  // second only rather than written past them.
  const size_t frames = std::min<size_t>(bytes / format_.nBlockAlign, channel0_.size());
  size_t stored = 0;
  switch (channels + bits) {
    case 9:  // 8-bit mono
      for (size_t i = 0; i < frames; ++i) channel0_[i] = int32_t(data[i]) - 127;
      stored = frames;
      break;
    case 10:  // 8-bit stereo
      for (size_t i = 0; i < frames; ++i) {
        channel0_[i] = int32_t(data[2 * i]) - 127;
        channel1_[i] = int32_t(data[2 * i + 1]) - 127;
      }
      stored = frames;
      break;
    case 17:  // 16-bit mono
      for (size_t i = 0; i < frames; ++i) {
        int16_t s;
        std::memcpy(&s, data + 2 * i, 2);
        channel0_[i] = s / 256;  // C++ division truncates toward zero
      }
      stored = frames;
      break;
    case 18:  // 16-bit stereo
      for (size_t i = 0; i < frames; ++i) {
        int16_t s[2];
        std::memcpy(s, data + 4 * i, 4);
        channel0_[i] = s[0] / 256;
        channel1_[i] = s[1] / 256;
      }
      stored = frames;
      break;
    default:
      break;
  }
  if (stored == 0) return levels;
  for (size_t i = 0; i < stored; ++i) levels.channel0 = std::max(levels.channel0, channel0_[i]);
  if (channels == 2)
    for (size_t i = 0; i < stored; ++i) levels.channel1 = std::max(levels.channel1, channel1_[i]);
  return levels;
}

}  // namespace lessonry::filters
