// The timer thread behind Bench.FireAfter.
#include "CallbackTimer.h"

#include <utility>

namespace ReferenceHost {

namespace {

// Far more than any measurement needs; a runaway caller cannot grow the record for ever.
constexpr size_t kMaxKeptTimes = 1000000;

}  // namespace

CallbackTimer::~CallbackTimer() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void CallbackTimer::FireAfter(const std::string& name, uint32_t delayMs) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    due_.push_back(Due{Clock::now() + std::chrono::milliseconds(delayMs), name});
    if (!thread_.joinable()) {
      thread_ = std::thread([this] { Run(); });
    }
  }
  changed_.notify_all();
}

std::vector<int64_t> CallbackTimer::TakeFireTimes() {
  std::lock_guard<std::mutex> lock(lock_);
  return std::exchange(fireTimes_, {});
}

void CallbackTimer::Run() {
  std::unique_lock<std::mutex> lock(lock_);
  while (!stopping_) {
    if (due_.empty()) {
      changed_.wait(lock);
      continue;
    }
    if (changed_.wait_until(lock, due_.front().at) == std::cv_status::no_timeout) {
      continue;  // woken early: look again
    }
    Due next = std::move(due_.front());
    due_.pop_front();
    const auto now = Clock::now().time_since_epoch();
    if (fireTimes_.size() < kMaxKeptTimes) {
      fireTimes_.push_back(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    }
    // Fired outside the lock: the notify queues a message and may take locks of its own.
    lock.unlock();
    notify_(next.name, {});
    lock.lock();
  }
}

}  // namespace ReferenceHost
