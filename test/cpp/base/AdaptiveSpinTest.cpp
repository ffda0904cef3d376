#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/AdaptiveSpin.h"

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

}  // namespace
