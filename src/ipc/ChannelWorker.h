// The thread a serving, sending or receiving role runs its loop on, with the stop flag
// and the wait that a stop cuts short.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace IPC {

class ChannelWorker {
 public:
  ChannelWorker() = default;
  ~ChannelWorker() { Stop(); }

  ChannelWorker(const ChannelWorker&) = delete;
  ChannelWorker& operator=(const ChannelWorker&) = delete;

  // Runs loop on a new thread; false (with a log line) when no thread can be made.
  bool Start(std::function<void()> loop);
  // Asks the loop to end, wakes its waits and joins it. Harmless when not running.
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  bool StopRequested() const { return stop_.load(std::memory_order_acquire); }

  // Sleeps until the time given, until `ready` holds (checked under Lock()) or until Stop.
  template <typename Ready>
  void WaitUntil(std::chrono::steady_clock::time_point until, Ready ready) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait_until(lock, until, [&] { return StopRequested() || ready(); });
  }
  // The lock under which whatever `ready` reads changes, before Wake.
  std::mutex& Lock() { return lock_; }
  void Wake() { changed_.notify_one(); }

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable changed_;
};

}  // namespace IPC
