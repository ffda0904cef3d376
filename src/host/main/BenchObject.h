// Cheap functions for performance measurements: round trips, large results and arguments.
#pragma once

#include <cstdint>
#include <memory>

#include "CallbackTimer.h"
#include "Notify.h"
#include "host/HostObject.h"
#include "host/ObjectRegistry.h"

namespace ReferenceHost {

// Noop(): no result. Echo(x): x. Add(a, b): a + b.
// MakeList(n): n tables {"index", "name", "value"}. MakeTable(n): {"k0": 0, ...}.
// MakeString(n): n bytes of word-like text (which compresses about as prose does; a
// result must compress to 102400 bytes to be sent). TakeString(s): the length of s.
// FireAfter(name, ms): fires the callback name ms milliseconds later, from a thread of
// the host's own. TakeFireTimes(): the moments of those fires so far, as a list of
// microseconds of the monotonic clock, for measuring callback latency.
// NewObject(): a new transient object on each call (kind "Temp", GetSerial() its serial
// number from 1), held until the plug-in releases it. RegistrySize(): how many objects the
// host holds for the plug-in, for watching that transient objects do not pile up.
// LastObject(): the object NewObject made last while the host still holds it (a new answer
// naming it), else no result.
class BenchObject : public Host::HostObject {
 public:
  // n above this is refused, so that one call cannot exhaust the host's memory.
  static constexpr int64_t kMaxCount = 10000000;
  static constexpr int64_t kMaxDelayMs = 60000;

  BenchObject(Notify notify, const Host::ObjectRegistry& registry);

 private:
  static int64_t Count(const Host::Arguments& args);

  std::unique_ptr<CallbackTimer> timer_;
  int64_t serial_ = 0;
  std::weak_ptr<Host::HostObject> lastObject_;
};

}  // namespace ReferenceHost
