// Request identifiers are the clock's reading, stepped only past the identifiers of
// requests that timed out and whose answers may still come.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "ipc/RequestIds.h"
#include "ipc/TimedOutRequests.h"

namespace {

uint64_t ClockMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

std::string Request(uint64_t id) {
  return "{\"request\":{\"requestId\":" + std::to_string(id) + ",\"name\":\"f\"}}";
}

TEST(RequestIds, AnIdStillRememberedAsTimedOutIsNeverGivenAgain) {
  const uint64_t start = ClockMs();
  constexpr uint64_t kSpan = 200;  // longer than the test takes
  auto timedOut = std::make_unique<IPC::TimedOutRequests>();
  for (uint64_t id = start; id <= start + kSpan; ++id) timedOut->Add(Request(id));
  const uint64_t raised = IPC::NextRequestId();
  EXPECT_EQ(raised, start + kSpan + 1);
  // Answered (or forgotten), an identifier is the clock's reading again.
  timedOut->TakeAnswered("{\"response\":{\"requestId\":" + std::to_string(start + kSpan) + "}}");
  EXPECT_EQ(IPC::NextRequestId(), start + kSpan);
  timedOut.reset();
  const uint64_t before = ClockMs();
  const uint64_t id = IPC::NextRequestId();
  EXPECT_GE(id, before);
  EXPECT_LE(id, ClockMs());
}

TEST(RequestIds, ABurstOfRequestsStaysOnTheClock) {
  // 20,000 identifiers in far less than 20 s: raised one above the other, the last would
  // run seconds ahead of the clock.
  for (int i = 0; i < 20000; ++i) {
    const uint64_t before = ClockMs();
    const uint64_t id = IPC::NextRequestId();
    const uint64_t after = ClockMs();
    ASSERT_GE(id, before) << "request " << i;
    ASSERT_LE(id, after) << "request " << i;
  }
}

}  // namespace
