// The frame around every exported function and proxy method: a handle scope for the
// values it makes, and a catch-all that turns any exception into the operation's error.
#pragma once

#include <exception>

#include <napi.h>

#include "bridge/Errors.h"

namespace Hostlink {

// Runs body(env) and returns its value past the closed scope. An exception leaving
// body (a failed Node-API call, an allocation failure) becomes
// operation + ": Exception occured while performing operation".
template <typename Body>
Napi::Value RunExported(const Napi::CallbackInfo& info, const char* operation, Body&& body) {
  Napi::Env env = info.Env();
  Napi::EscapableHandleScope scope(env);
  Napi::Value result;
  try {
    result = body(env);
  } catch (...) {
    // A Napi::Error caught here has already taken any pending exception with it.
    return ThrowJsError(env, operation, kExceptionText);
  }
  if (result.IsEmpty()) {
    return result;
  }
  return scope.Escape(result);
}

}  // namespace Hostlink
