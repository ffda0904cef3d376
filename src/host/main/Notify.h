// How the reference model announces a change: by firing a callback name, with arguments.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/Value.h"

namespace ReferenceHost {

// Fires the callback when the plug-in has registered it; otherwise nothing happens.
using Notify = std::function<void(const std::string& callbackName, std::vector<Host::Value> args)>;

}  // namespace ReferenceHost
