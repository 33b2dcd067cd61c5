// The null renderer: a sink that accepts any media type and drops every
// sample. Graphs use it to pull a stream they do not show (a file's pictures
// decoded and discarded). Its stream's end counts towards EC_COMPLETE.
#pragma once

#include <atomic>
#include <memory>

#include "media/base_filter.h"

namespace lessonry::media {

class CNullRenderer final : public CBaseFilter {
 public:
  CNullRenderer();
  int pinCount() override { return 1; }
  CBasePin* pin(int index) override;
  // Samples received since creation (tests). Any thread.
  int64_t received() const { return received_.load(std::memory_order_relaxed); }

 private:
  class InputPin;
  ~CNullRenderer() override;
  std::unique_ptr<InputPin> input_;
  std::atomic<int64_t> received_{0};
};

}  // namespace lessonry::media
