// The exported functions GetKestrel and GetKestrelAsync: the root object of the host's
// scripting model, as a proxy.
#pragma once

#include <napi.h>

namespace Hostlink {

// GetKestrel() -> a new proxy object for the host's root object.
Napi::Value GetKestrel(const Napi::CallbackInfo& info);
// GetKestrelAsync() -> a Promise of the same; never throws.
Napi::Value GetKestrelAsync(const Napi::CallbackInfo& info);

}  // namespace Hostlink
