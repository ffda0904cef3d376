// The process-wide identifier counter.
#include "ipc/RequestIds.h"

#include <atomic>
#include <chrono>

namespace IPC {

uint64_t NextRequestId() {
  static std::atomic<uint64_t> last{0};
  using namespace std::chrono;
  const uint64_t now = static_cast<uint64_t>(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
  uint64_t previous = last.load(std::memory_order_relaxed);
  uint64_t next;
  do {
    next = now > previous ? now : previous + 1;
  } while (!last.compare_exchange_weak(previous, next, std::memory_order_relaxed));
  return next;
}

}  // namespace IPC
