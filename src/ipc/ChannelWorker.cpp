// Starting and joining a role's thread.
#include "ipc/ChannelWorker.h"

#include <system_error>
#include <utility>

#include "base/Log.h"

namespace IPC {

bool ChannelWorker::Start(std::function<void()> loop) {
  Stop();
  stop_.store(false, std::memory_order_release);
  try {
    thread_ = std::thread(std::move(loop));
  } catch (const std::system_error&) {
    LogError("IPCHandler : Failed to create worker thread");
    return false;
  }
  return true;
}

void ChannelWorker::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  {
    // Set under the lock so that a waiting loop cannot miss the wake-up.
    std::lock_guard<std::mutex> lock(lock_);
    stop_.store(true, std::memory_order_release);
  }
  changed_.notify_all();
  thread_.join();
  thread_ = std::thread();
}

}  // namespace IPC
