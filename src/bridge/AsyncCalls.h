// Calls that return a Promise: the export Async(proxy[, {signal}]), GetKestrelAsync's
// machinery, and each JavaScript environment's road back from the sender thread.
//
// A call converts its arguments on the JavaScript thread when it is made, queues its
// request text behind every call made before it (RequestQueue), and settles its
// Promise on its own JavaScript thread through the environment's thread-safe function,
// where the response is checked and converted exactly as a synchronous call's would
// be. Every failure rejects; nothing throws. A pending call keeps the event loop alive.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <napi.h>

#include "bridge/HostCall.h"

namespace Hostlink {

class AsyncEnvironment;
class AbortGroup;

// Makes env's state for asynchronous calls (freed when env is torn down); the exports
// Async and GetKestrelAsync carry it as their callback data.
AsyncEnvironment* InstallAsyncEnvironment(Napi::Env env);

// JavaScript thread of env: whether env's event loop may take the callback messages itself
// (env is the process's one environment, on a runtime whose loop can watch the pipe).
bool LoopMayReadCallbacks(napi_env env);
// JavaScript thread of env, callbacks lent to its loop: the loop watches the callback
// connection numbered `connection` (a duplicate made by `duplicate`) and takes what arrives
// (ReadCallbacksOnLoop); false when it cannot.
bool WatchCallbacks(napi_env env, uint64_t connection, const std::function<intptr_t()>& duplicate);
// The callback pipe is closed: if its messages were lent to the calling thread's loop, that
// loop lets its duplicate of the connection go at once.
void LetCallbackWatchGo();

// Async(proxy[, {signal}]) -> an object with one method per host function of proxy's
// class, each returning a Promise of the converted result. Made with the environment's
// AsyncEnvironment as data.
Napi::Value Async(const Napi::CallbackInfo& info);

// Starts one call: buildRequest makes the request text on this thread (false: failed
// with the error pending). Returns the call's Promise. info's data is the environment's
// AsyncEnvironment.
Napi::Value StartAsyncCall(const Napi::CallbackInfo& info, const HostCall& call,
                           const std::function<bool(std::string&)>& buildRequest);

}  // namespace Hostlink
