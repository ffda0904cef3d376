// The one road of every call to the host, for every export and every proxy method:
// the request text is made on the JavaScript thread, sent in its turn of the request
// queue (on the caller's thread, or the sender thread for an asynchronous call), and
// the response is checked and converted on the JavaScript thread.
#pragma once

#include <cstdint>
#include <string>

#include <napi.h>

#include "bridge/RequestQueue.h"

namespace Hostlink {

// What a successful response's "result" becomes.
enum class ResultUse {
  Value,     // converted to JavaScript; no result is undefined
  Proxy,     // must describe a host object; a new proxy object
  Accepted,  // must be true; the call returns true
};

struct HostCall {
  // The prefix of the call's errors: the export's name, or the host function's.
  std::string operation;
  // The export's own name, which prefixes the not-initialized error ("Execute" for
  // proxy methods).
  const char* entry;
  ResultUse use;
  const char* sendFailureText = "Failed to communicate with host";
  // With Accepted: the text when the host answered anything but true.
  const char* refusedText = nullptr;
};

// The text of a request for host function functionName of the object proxyId, with
// the call's arguments converted now. False, with the conversion's error pending and
// nothing to send, when any argument failed.
bool BuildMethodRequest(const Napi::CallbackInfo& info, const std::string& functionName,
                        int64_t proxyId, std::string& requestText);

// Sends requestText in its turn on the calling thread.
ExchangeOutcome ExchangeInTurn(const std::string& requestText, std::string& response);

// The call's JavaScript value from how its exchange ended; empty with the call's
// error pending on failure. Runs on the JavaScript thread.
Napi::Value SettleHostCall(Napi::Env env, const HostCall& call, ExchangeOutcome outcome,
                           const std::string& response);

// A synchronous call: ExchangeInTurn, then SettleHostCall.
Napi::Value CallHost(Napi::Env env, const HostCall& call, const std::string& requestText);

}  // namespace Hostlink
