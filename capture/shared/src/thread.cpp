// The periodic worker of CThread: deadline waits on the stop event.
//
// No locks of its own: the worker reads only the copy of the settings it was
// started with, and the stop event's internal lock.
#include "shared/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <system_error>

#include "base/trace.h"

namespace lessonry {
namespace {

using Clock = std::chrono::steady_clock;

// Windows thread priority -> nice value of the worker.
int niceOf(int32_t priority) {
  if (priority <= kThreadPriorityIdle) return 19;
  if (priority <= kThreadPriorityLowest) return 10;
  if (priority == kThreadPriorityBelowNormal) return 5;
  if (priority == kThreadPriorityNormal) return 0;
  if (priority == kThreadPriorityAboveNormal) return -5;
  if (priority == kThreadPriorityHighest) return -10;
  return -20;
}

void applyPriority(int32_t priority, const std::string& name) {
  if (priority == kThreadPriorityNormal) return;
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), niceOf(priority)) != 0)
    trace("CThread %s: priority %d not applied (errno %d)", name.c_str(), priority, errno);
}

}  // namespace

CThread::CThread() = default;

CThread::~CThread() { Stop(); }

void CThread::setProcedure(ThreadProcedure procedure, void* context) {
  procedure_ = procedure;
  context_ = context;
  argument_ = 0;
}

void CThread::setPriority(int32_t priority) { priority_ = priority; }

void CThread::setPeriod(int32_t periodMs) { periodMs_ = periodMs; }

void CThread::setName(const char* name) {
  name_ = name ? std::string(name, strnlen(name, 63)) : std::string();
}

bool CThread::Start() {
  if (isRunning()) return true;
  stopEvent_ = std::make_unique<Event>(false, false);
  Work work{procedure_, context_, argument_, periodMs_, priority_, name_, stopEvent_.get()};
  try {
    worker_ = std::thread(&CThread::run, std::move(work));
  } catch (const std::system_error& error) {
    trace("CThread %s: cannot start the worker: %s", name_.c_str(), error.what());
    stopEvent_.reset();
    return false;
  }
  running_.store(1, std::memory_order_release);
  return true;
}

void CThread::Stop() {
  if (!isRunning()) return;
  if (worker_.get_id() == std::this_thread::get_id()) {
    trace("CThread %s: Stop called from the worker itself; refused", name_.c_str());
    return;
  }
  stopEvent_->set();
  worker_.join();
  stopEvent_.reset();
  running_.store(0, std::memory_order_release);
}

void CThread::signalStop() {
  if (isRunning()) stopEvent_->set();
}

void CThread::run(Work work) {
  try {
    if (!work.name.empty()) pthread_setname_np(pthread_self(), work.name.substr(0, 15).c_str());
    applyPriority(work.priority, work.name);
    const bool periodic = work.periodMs > 0;
    const auto period = std::chrono::milliseconds(periodic ? work.periodMs : 1);
    Clock::time_point next = Clock::now() + std::chrono::milliseconds(1);
    bool due = true;  // false once a one-shot timer has fired
    for (;;) {
      // Wait for the stop event or the next deadline.
      bool stop = false;
      for (;;) {
        if (!due) {
          stop = work.stop->wait(kInfinite);
          break;
        }
        const auto now = Clock::now();
        if (now >= next) {
          stop = work.stop->wait(0);  // stop wins over a due period
          break;
        }
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        if (work.stop->wait(static_cast<uint32_t>(remaining))) {
          stop = true;
          break;
        }
      }
      if (stop) break;

      // This period fires; every period that passed meanwhile is folded into it.
      if (periodic) {
        const auto now = Clock::now();
        next += period * (1 + (now - next) / period);
      } else {
        due = false;
      }
      if (!work.procedure) continue;
      if (work.procedure(work.context, work.argument) != 1) break;
    }
  } catch (...) {
    trace("CThread %s: the procedure threw; the worker ends", work.name.c_str());
  }
}

}  // namespace lessonry
