// Base classes of source filters: a filter whose output pins each run a
// streaming thread of their own.
//
// CSourceStream's thread starts when the filter leaves the stopped state and
// loops: take a sample from the allocator, FillBuffer it, Deliver it. It ends
// when FillBuffer says the stream is over (S_FALSE: end of stream is passed
// downstream), on a failure (EC_ERRORABORT is raised), when downstream
// refuses a sample, or when the filter stops: Stop sets the stop event,
// decommits the allocator (which wakes a thread waiting for a buffer) and
// joins the thread. The thread takes no lock of its own filter.
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "base/event.h"
#include "media/base_filter.h"

namespace lessonry::media {

class CSourceStream;

class CSource : public CBaseFilter {
 public:
  CSource(const char* name, const CLSID& clsid);
  ~CSource() override;

  int pinCount() override { return static_cast<int>(streams_.size()); }
  CBasePin* pin(int index) override;

 protected:
  // Takes ownership; call from the subclass's constructor.
  void addStream(std::unique_ptr<CSourceStream> stream);
  // Ends every streaming thread. A subclass whose streams use its members
  // calls this from its destructor, before those members go.
  void stopStreams();

 private:
  std::vector<std::unique_ptr<CSourceStream>> streams_;
};

class CSourceStream : public CBaseOutputPin {
 public:
  CSourceStream(CSource* filter, const char* name);
  ~CSourceStream() override;

  HRESULT Active() override;
  HRESULT Inactive() override;

 protected:
  // Streaming thread. S_OK: deliver the sample; S_FALSE: the stream ended;
  // a failure ends the stream with EC_ERRORABORT.
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  // Streaming thread, once before the first sample of a run.
  virtual void OnThreadStartPlay() {}
  // Waits until the stream is told to stop or timeoutMs pass; true when it
  // is stopping. For pacing inside FillBuffer.
  bool waitForStop(uint32_t timeoutMs) { return stopEvent_.wait(timeoutMs); }
  bool stopping() const { return stopping_.load(std::memory_order_acquire); }

 private:
  void threadMain();
  void processLoop();

  std::thread thread_;
  std::atomic<bool> stopping_{false};
  Event stopEvent_{true, false};  // manual reset: every wait after the stop sees it
};

}  // namespace lessonry::media
