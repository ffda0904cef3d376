// The error codes a host sends with a failure response, one per kind of failure.
#pragma once

#include <cstdint>

namespace Host {

enum class ErrorCode : int64_t {
  // Not a request: not JSON, no "request" object, no name, nested too deeply.
  MalformedRequest = 1,
  // A name without an object that is none of the plug-in's own operations.
  UnknownRequest = 2,
  // "proxyId" names no registered object (never registered, or removed since).
  UnknownObject = 3,
  // The object has no function of that name.
  UnknownFunction = 4,
  // An argument is missing, of the wrong kind, or cannot be read.
  BadArgument = 5,
  // An argument refers to an object that is not, or no longer, registered.
  StaleReference = 6,
  // The function failed: it threw, or returned an error.
  CallFailed = 7,
  // The function's result cannot be sent (a number that is not finite, nesting too deep).
  BadResult = 8,
  // The host has no root object to give.
  NoRoot = 9,
};

inline int64_t ToInt(ErrorCode code) { return static_cast<int64_t>(code); }

}  // namespace Host
