// The exported functions RegisterCallback and DeregisterCallback, and the one callback
// handler per process that receives the host's callback messages.
#pragma once

#include <string>
#include <vector>

#include <napi.h>

#include "bridge/CallbackRegistry.h"

namespace Hostlink {

// RegisterCallback(callbackName, callbackFunction) -> boolean
Napi::Value RegisterCallback(const Napi::CallbackInfo& info);
// DeregisterCallback(callbackName) -> boolean
Napi::Value DeregisterCallback(const Napi::CallbackInfo& info);

// CleanUp's three steps, on any JavaScript thread while it holds the request pipe. First,
// before the unload (a host may end once it has answered that): deregisters every callback
// with the host while it is reachable (failures are logged, not thrown), and returns the
// names it accepted. Changes nothing in the plug-in.
std::vector<std::string> DeregisterCallbacksWithHost();
// After a failed unload, which must change nothing: registers those names again.
void RegisterCallbacksAgainWithHost(const std::vector<std::string>& names);
// After a successful unload: joins the callback worker, closes the callback pipe and
// releases every function, so that nothing keeps the process alive.
void EndCallbacks();

// Any thread (the one that read a Promise call's answer): returns once every
// callback message that had reached the callback pipe has been handed to its JavaScript
// thread, so that a callback the host sent before an answer runs before that answer
// settles its Promise. Returns at once with no callback registered.
void TakeInArrivedCallbacks();
// Whether calls of callbacks wait for a JavaScript thread.
bool CallbacksWaiting();
// The JavaScript thread of env, whose loop the callback messages are lent to, the loop
// finding them waiting: hands them on, those for env with nothing queued before them into
// `held`, for the caller to run (CallbackRegistry::RunHeld); false when they are not lent
// (any more) or the pipe failed.
bool ReadCallbacksOnLoop(napi_env env, std::vector<CallbackRegistry::Call>& held);
// Any thread: the callback thread reads the callback messages itself from now on.
void TakeBackCallbacks();

// Arranges for env's callbacks to be dropped when env is torn down, their names
// deregistered with the host unless another environment registered them, and the callback
// worker stopped when no other environment has any.
void WatchCallbackEnvironment(Napi::Env env);

}  // namespace Hostlink
