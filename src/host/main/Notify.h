// How the reference model announces a change: by firing a callback name.
#pragma once

#include <functional>
#include <string>

namespace ReferenceHost {

// Fires the callback when the plug-in has registered it; otherwise nothing happens.
using Notify = std::function<void(const std::string& callbackName)>;

}  // namespace ReferenceHost
