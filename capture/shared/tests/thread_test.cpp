#include "shared/thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "base/event.h"

namespace {

using lessonry::CThread;
using lessonry::Event;

// What a procedure saw, with an event for the call the test waits for.
struct Probe {
  std::atomic<int> calls{0};
  int signalAt = 1;  // set `reached` on this call
  int32_t result = 1;
  Event reached{true, false};
  std::mutex mutex;
  std::set<std::thread::id> threads;
  int nice = 0;
  CThread* owner = nullptr;
};

int32_t countCalls(void* context, intptr_t argument) {
  auto* probe = static_cast<Probe*>(context);
  EXPECT_EQ(argument, 0);
  {
    std::lock_guard lock(probe->mutex);
    probe->threads.insert(std::this_thread::get_id());
    errno = 0;
    probe->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  }
  if (++probe->calls == probe->signalAt) probe->reached.set();
  return probe->result;
}

int32_t throwOnCall(void* context, intptr_t) {
  static_cast<Probe*>(context)->reached.set();
  throw std::runtime_error("procedure failure");
}

int32_t stopFromInside(void* context, intptr_t) {
  auto* probe = static_cast<Probe*>(context);
  probe->owner->Stop();  // refused: must return, not deadlock
  probe->reached.set();
  return 0;
}

TEST(CThread, AProcedureThatReturnsZeroRunsExactlyOnce) {
  Probe probe;
  probe.result = 0;
  CThread thread;
  thread.setProcedure(countCalls, &probe);
  thread.setPeriod(1);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(probe.reached.wait());
  thread.Stop();  // the worker already ended; Stop joins it
  EXPECT_EQ(probe.calls.load(), 1);
  EXPECT_FALSE(thread.isRunning());
}

TEST(CThread, RunsEveryPeriodOnOneWorkerUntilStopAndCanStartAgain) {
  Probe probe;
  probe.signalAt = 3;
  CThread thread;
  thread.setName("COxAudioRender.m_AnalyseThread");
  thread.setProcedure(countCalls, &probe);
  thread.setPeriod(2);
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.Start());  // running: nothing happens
  ASSERT_TRUE(probe.reached.wait());
  thread.Stop();
  const int afterStop = probe.calls.load();
  EXPECT_GE(afterStop, 3);
  EXPECT_EQ(probe.threads.size(), 1u);
  EXPECT_EQ(thread.name(), "COxAudioRender.m_AnalyseThread");
  thread.Stop();  // not running: nothing happens
  EXPECT_EQ(probe.calls.load(), afterStop);  // Stop joined: no call after it

  Probe second;
  second.result = 0;
  thread.setProcedure(countCalls, &second);
  thread.setPeriod(125);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(second.reached.wait());
  thread.Stop();
  EXPECT_EQ(second.calls.load(), 1);
  EXPECT_EQ(probe.calls.load(), afterStop);
}

TEST(CThread, TheWorkerRunsAtItsPriority) {
  Probe probe;
  probe.result = 0;
  CThread thread;
  thread.setProcedure(countCalls, &probe);
  thread.setPriority(lessonry::kThreadPriorityIdle);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(probe.reached.wait());
  thread.Stop();
  EXPECT_EQ(probe.nice, 19);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), 0);  // the owner keeps its own
}

TEST(CThread, EndsOnAnEscapingExceptionOrASignalAndRefusesStopFromInside) {
  {
    Probe probe;
    CThread thread;
    thread.setProcedure(throwOnCall, &probe);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(probe.reached.wait());
    thread.Stop();
    EXPECT_FALSE(thread.isRunning());
  }
  {
    Probe probe;
    probe.signalAt = 2;
    CThread thread;
    thread.setProcedure(countCalls, &probe);
    thread.setPeriod(1);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(probe.reached.wait());
    thread.signalStop();
    EXPECT_TRUE(thread.isRunning());  // running until Stop, even after the worker ends
    thread.Stop();
  }
  {
    Probe probe;
    CThread thread;
    probe.owner = &thread;
    thread.setProcedure(stopFromInside, &probe);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(probe.reached.wait());
    thread.Stop();
    EXPECT_FALSE(thread.isRunning());
  }
}

TEST(CThread, TheDestructorStopsARunningWorker) {
  Probe probe;
  probe.signalAt = 2;
  {
    CThread thread;
    thread.setProcedure(countCalls, &probe);
    thread.setPeriod(1);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(probe.reached.wait());
  }
  const int calls = probe.calls.load();
  EXPECT_GE(calls, 2);
}

}  // namespace
