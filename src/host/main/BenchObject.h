// Cheap functions for performance measurements: round trips, large results and arguments.
#pragma once

#include <cstdint>

#include "host/HostObject.h"

namespace ReferenceHost {

// Noop(): no result. Echo(x): x. Add(a, b): a + b.
// MakeList(n): n tables {"index", "name", "value"}. MakeTable(n): {"k0": 0, ...}.
// MakeString(n): n bytes of word-like text (which compresses about as prose does; a
// result must compress to 102400 bytes to be sent). TakeString(s): the length of s.
class BenchObject : public Host::HostObject {
 public:
  // n above this is refused, so that one call cannot exhaust the host's memory.
  static constexpr int64_t kMaxCount = 10000000;

  BenchObject();

 private:
  static int64_t Count(const Host::Arguments& args);
};

}  // namespace ReferenceHost
