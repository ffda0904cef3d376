#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/AdaptiveSpin.h"

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace {

// A spin that times out backs off only on a busy machine: if the busy check never saw the
// threads that want a CPU, spins would go on taking CPUs from them.
TEST(AdaptiveSpinTest, MachineBusySeesMoreRunnableThreadsThanCpus) {
#ifndef __linux__
  GTEST_SKIP() << "the runnable count is read on Linux only";
#else
  const unsigned cpus = std::thread::hardware_concurrency();
  ASSERT_GT(cpus, 0u);
  std::atomic<bool> stop{false};
  std::vector<std::thread> loops;
  for (unsigned i = 0; i <= cpus; ++i) {
    loops.emplace_back([&stop] {
      while (!stop.load(std::memory_order_relaxed)) {
      }
    });
  }
  // The count is read at one moment; the loops may not all have started yet.
  bool busy = false;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!busy && std::chrono::steady_clock::now() < giveUp) {
    busy = IPC::AdaptiveSpin::MachineBusy();
  }
  stop = true;
  for (auto& loop : loops) loop.join();
  EXPECT_TRUE(busy);

#endif
}

#ifdef __linux__
// Keeps the calling thread on the given CPU.
bool PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

// While it lives, the calling thread shares the first CPU the process may use with a
// CPU-bound thread, so that work on it is preempted.
class BesideHog {
 public:
  BesideHog() {
    pthread_getaffinity_np(pthread_self(), sizeof before_, &before_);
    int cpu = 0;
    while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &before_)) ++cpu;
    PinTo(cpu);
    hog_ = std::thread([this, cpu] {
      PinTo(cpu);
      pinned_ = true;
      while (!stop_.load(std::memory_order_relaxed)) {
      }
    });
    while (!pinned_) std::this_thread::yield();
  }
  ~BesideHog() {
    stop_ = true;
    hog_.join();
    pthread_setaffinity_np(pthread_self(), sizeof before_, &before_);
  }

 private:
  cpu_set_t before_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> pinned_{false};
  std::thread hog_;
};

// Runs on the CPU for `length`, as the work after a caught message would.
void Work(std::chrono::milliseconds length) {
  const auto end = std::chrono::steady_clock::now() + length;
  while (std::chrono::steady_clock::now() < end) {
  }
}
#endif

// A spin that caught its message while a CPU-bound thread wanted the same CPU only took
// the CPU from others: if the preemption count were not read, or read after the catch had
// already reset the back-off, spins would go on competing with the CPU-bound thread, and a
// busy machine's back-off would never grow past its first step.
TEST(AdaptiveSpinTest, ACatchWhileTheThreadWasPreemptedBacksOffFurtherEachTime) {
#ifndef __linux__
  GTEST_SKIP() << "preemptions are counted on Linux only";
#else
  using std::chrono::milliseconds;
  const auto zero = IPC::AdaptiveSpin::Clock::duration::zero();
  const auto longest = std::chrono::microseconds(100);
  BesideHog hog;
  IPC::AdaptiveSpin spin(longest);
  ASSERT_EQ(spin.NextWatched(), longest);
  Work(milliseconds(100));  // preempted many times
  spin.Caught();
  // Settled as missed once: the next wait blocks at once, the one after spins again.
  EXPECT_EQ(spin.NextWatched(), zero);
  ASSERT_EQ(spin.NextWatched(), longest);
  Work(milliseconds(100));
  spin.Caught();
  // Missed twice running: three waits block at once.
  EXPECT_EQ(spin.NextWatched(), zero);
  EXPECT_EQ(spin.NextWatched(), zero);
  EXPECT_EQ(spin.NextWatched(), zero);
  EXPECT_EQ(spin.NextWatched(), longest);
#endif
}

// A pipe is read by whichever thread's call holds the turn: a synchronous call's, then the
// sending thread of Promise calls, or a worker's. Each thread has a count of its own, so a
// catch on one thread, settled against another thread's count, would look preempted and
// turn spinning off for calls that it serves well.
TEST(AdaptiveSpinTest, ACatchOnAnotherThreadIsNotJudgedByThisThreadsCount) {
#ifndef __linux__
  GTEST_SKIP() << "preemptions are counted on Linux only";
#else
  const auto longest = std::chrono::microseconds(100);
  IPC::AdaptiveSpin spin(longest);
  std::thread([&spin, longest] {
    ASSERT_EQ(spin.NextWatched(), longest);
    spin.Caught();
  }).join();
  {
    BesideHog hog;
    Work(std::chrono::milliseconds(100));  // this thread's count, not the catching one's, grows
  }
  EXPECT_EQ(spin.NextWatched(), longest);
#endif
}

// A read that is told ahead its wait will not spin sleeps from its first look and never
// asks for a spin: were the forecast wrong, a read would sleep where it should spin, or
// (counting down no back-off) never spin again after a busy phase.
TEST(AdaptiveSpinTest, BlocksNextForetellsEveryWaitOfABackOff) {
  IPC::AdaptiveSpin spin(std::chrono::microseconds(100));
  for (int round = 0; round < 3; ++round) {
    spin.Missed();
    int blocked = 0;
    for (;;) {
      const bool foretold = spin.BlocksNext();
      const bool spins = spin.NextWatched() != IPC::AdaptiveSpin::Clock::duration::zero();
      ASSERT_NE(foretold, spins) << "wait " << blocked << " of round " << round;
      if (spins) break;
      ++blocked;
    }
    EXPECT_EQ(blocked, (2 << round) - 1) << "the back-off of miss " << round + 1;
  }
  spin.Allow(false);
  EXPECT_TRUE(spin.BlocksNext());
}

}  // namespace
