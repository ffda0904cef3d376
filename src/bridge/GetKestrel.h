// The exported function GetKestrel: the root object of the host's scripting model.
#pragma once

#include <napi.h>

namespace Hostlink {

// GetKestrel() -> a new proxy object for the host's root object.
Napi::Value GetKestrel(const Napi::CallbackInfo& info);

}  // namespace Hostlink
