// Request identifiers: millisecond time stamps.
#pragma once

#include <cstdint>

namespace IPC {

// The wall clock in milliseconds since 1970, as the host may log or age requests by it:
// two requests built within one millisecond share it. The one exception keeps a late
// answer from being taken for another request's: a reading that equals the identifier of
// a request still remembered as timed out (TimedOutRequests) is raised to the next one
// that is not, so an identifier is never more than a few milliseconds ahead of the clock.
// Thread-safe.
uint64_t NextRequestId();

}  // namespace IPC
