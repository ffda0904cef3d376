// The one check of a host object's description before a proxy object is made for it.
// Callers report each fault with their own text.
#pragma once

#include "ipc/ProxyInfo.h"

namespace Hostlink {

enum class ProxyFault {
  None,
  InvalidId,    // proxyId below 1
  EmptyName,    // no kind name, so no class to make
  NoFunctions,  // a proxy with nothing to call
};

ProxyFault ValidateProxyInfo(const IPC::ProxyInfo& info);

}  // namespace Hostlink
