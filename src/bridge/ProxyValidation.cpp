// The proxy description check shared by GetKestrel and result conversion.
#include "bridge/ProxyValidation.h"

namespace Hostlink {

ProxyFault ValidateProxyInfo(const IPC::ProxyInfo& info) {
  if (info.proxyId < 1) {
    return ProxyFault::InvalidId;
  }
  if (info.name.empty()) {
    return ProxyFault::EmptyName;
  }
  if (info.functions.empty()) {
    return ProxyFault::NoFunctions;
  }
  return ProxyFault::None;
}

}  // namespace Hostlink
