// The infinite pin tee: one input, as many outputs as are connected plus one
// spare. Every input sample goes, unchanged and shared (read-only), to every
// connected output on the upstream's streaming thread. Outputs offer exactly
// the input's type, so the input connects first. The outputs' downstream
// pins are told the upstream's allocator; the tee copies nothing.
//
// Threads: pins are added on the host's thread while connecting (stopped);
// the receive walks them on the streaming thread without a lock, which is
// safe because connections change only while stopped.
#pragma once

#include <memory>
#include <vector>

#include "media/base_filter.h"

namespace lessonry::media {

class CInfTee final : public CBaseFilter {
 public:
  CInfTee();
  int pinCount() override;
  CBasePin* pin(int index) override;

 private:
  class InputPin;
  class OutputPin;
  ~CInfTee() override;
  void addSpareOutput();  // under the filter lock
  HRESULT deliver(IMediaSample* sample);
  HRESULT deliverEndOfStream();

  std::unique_ptr<InputPin> input_;
  std::vector<std::unique_ptr<OutputPin>> outputs_;
  int nextOutputNumber_ = 1;
};

}  // namespace lessonry::media
