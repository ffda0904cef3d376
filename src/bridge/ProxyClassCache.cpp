// The per-environment cache of proxy classes.
#include "bridge/ProxyClassCache.h"

#include <algorithm>

#include "bridge/ScriptObject.h"

namespace Hostlink {

bool ProxyClassCache::InstallFor(Napi::Env env) {
  if (Of(env) != nullptr) {
    return false;
  }
  env.SetInstanceData<ProxyClassCache>(new ProxyClassCache());
  return true;
}

ProxyClassCache* ProxyClassCache::Of(Napi::Env env) {
  return env.GetInstanceData<ProxyClassCache>();
}

Napi::Function ProxyClassCache::GetClass(Napi::Env env, const std::string& name,
                                         const std::vector<std::string>& functions) {
  auto found = proxyClasses.find(name);
  if (found != proxyClasses.end()) {
    return found->second.Value();
  }
  // A name listed twice would define one method twice; the first one stays.
  std::vector<std::string> unique;
  unique.reserve(functions.size());
  for (const std::string& function : functions) {
    if (std::find(unique.begin(), unique.end(), function) == unique.end()) {
      unique.push_back(function);
    }
  }
  auto stored = proxyFunctions.emplace(name, std::move(unique)).first;
  Napi::Function constructor;
  try {
    constructor = ScriptObject::DefineProxyClass(env, name, stored->second);
  } catch (...) {
    proxyFunctions.erase(stored);
    throw;
  }
  proxyClasses.emplace(name, Napi::Persistent(constructor));
  return constructor;
}

}  // namespace Hostlink
