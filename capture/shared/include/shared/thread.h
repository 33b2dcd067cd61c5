// CThread: a worker thread that runs a procedure once per period.
//
// The worker waits for either its stop event or the next period, without
// time-out and without polling: periods are absolute deadlines on the
// monotonic clock (the first 1 ms after Start, then every period ms). A
// procedure that overruns is called again at once, but periods that passed
// meanwhile are not made up (as a periodic timer that stays signalled once).
// The worker ends when the stop event is set, when the procedure returns
// anything but 1, or when an exception escapes it. When stop and the timer
// are due together, stop wins.
//
// Threads: Start, Stop, signalStop and the setters are called from the
// owner's thread; the procedure runs on the worker only. The setters change
// what the next Start uses (a running worker keeps what it started with).
// Stop must not be called from the procedure (it is refused there).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "base/event.h"

namespace lessonry {

// The work of one period; returning 1 asks for another period.
using ThreadProcedure = int32_t (*)(void* context, intptr_t argument);

// Thread priorities of the Windows model, for setPriority.
constexpr int32_t kThreadPriorityIdle = -15;
constexpr int32_t kThreadPriorityLowest = -2;
constexpr int32_t kThreadPriorityBelowNormal = -1;
constexpr int32_t kThreadPriorityNormal = 0;
constexpr int32_t kThreadPriorityAboveNormal = 1;
constexpr int32_t kThreadPriorityHighest = 2;
constexpr int32_t kThreadPriorityTimeCritical = 15;

class CThread {
 public:
  CThread();
  // Stops a running worker.
  ~CThread();
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // The procedure and its context; the argument becomes 0.
  void setProcedure(ThreadProcedure procedure, void* context);
  // A Windows thread priority (kThreadPriority...), applied to the worker as
  // its nice value; raising it above normal needs the privilege and is
  // skipped without it.
  void setPriority(int32_t priority);
  // Milliseconds; 0 or less makes the procedure run once, 1 ms after Start.
  void setPeriod(int32_t periodMs);
  // A label for diagnostics, at most 63 bytes kept (the worker's system
  // thread name takes the first 15).
  void setName(const char* name);

  // Starts the worker; does nothing while running. False when no thread
  // could be started (then not running).
  bool Start();
  // Signals the stop event and waits until the worker has ended. Does
  // nothing unless running.
  void Stop();
  // Signals the stop event without waiting for the worker.
  void signalStop();

  bool isRunning() const { return running_.load(std::memory_order_acquire) != 0; }
  const std::string& name() const { return name_; }
  int32_t period() const { return periodMs_; }

 private:
  struct Work {
    ThreadProcedure procedure;
    void* context;
    intptr_t argument;
    int32_t periodMs;
    int32_t priority;
    std::string name;
    Event* stop;
  };
  static void run(Work work);

  std::string name_;
  std::atomic<int32_t> running_{0};
  int32_t priority_ = kThreadPriorityNormal;
  ThreadProcedure procedure_ = nullptr;
  int32_t periodMs_ = 33;
  void* context_ = nullptr;
  intptr_t argument_ = 0;
  std::unique_ptr<Event> stopEvent_;  // auto-reset; made afresh by every Start
  std::thread worker_;
};

}  // namespace lessonry
