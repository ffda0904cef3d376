// The request identifier: the clock, stepped past the identifiers of timed-out requests.
#include "ipc/RequestIds.h"

#include <chrono>

#include "ipc/TimedOutRequests.h"

namespace IPC {

uint64_t NextRequestId() {
  using namespace std::chrono;
  const uint64_t now = static_cast<uint64_t>(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
  return TimedOutRequests::FirstIdNotTimedOut(now);
}

}  // namespace IPC
