// Request identifiers: millisecond time stamps, unique within the process.
#pragma once

#include <cstdint>

namespace IPC {

// The wall clock in milliseconds, raised above the last identifier given out when two
// requests fall in one millisecond (or the clock steps back), so that no two requests of
// this process share an identifier and an answer can always be told apart. Thread-safe.
uint64_t NextRequestId();

}  // namespace IPC
