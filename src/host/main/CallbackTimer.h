// Fires callbacks at a set time from a thread of its own, and keeps the moment each one
// went out, so that a measurement can tell how long the plug-in took to run it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Notify.h"

namespace ReferenceHost {

class CallbackTimer {
 public:
  explicit CallbackTimer(Notify notify) : notify_(std::move(notify)) {}
  // Drops what is still due and joins the thread.
  ~CallbackTimer();

  CallbackTimer(const CallbackTimer&) = delete;
  CallbackTimer& operator=(const CallbackTimer&) = delete;

  // Fires name once, delayMs from now; the thread starts with the first call.
  void FireAfter(const std::string& name, uint32_t delayMs);
  // The moments of the fires since the last take, in microseconds of the monotonic
  // clock (the clock Node's process.hrtime reads), oldest first.
  std::vector<int64_t> TakeFireTimes();

 private:
  using Clock = std::chrono::steady_clock;
  struct Due {
    Clock::time_point at;
    std::string name;
  };

  void Run();

  Notify notify_;
  std::mutex lock_;
  std::condition_variable changed_;
  // In the order asked for; a later call with a shorter delay waits for the earlier ones.
  std::deque<Due> due_;
  std::vector<int64_t> fireTimes_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace ReferenceHost
