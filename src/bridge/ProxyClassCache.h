// The proxy classes of one JavaScript environment, one per proxy name, defined on
// first use and kept until the environment ends. Held as the environment's instance
// data, so a second environment (a worker thread) never sees another's handles.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <napi.h>

namespace Hostlink {

class ProxyClassCache {
 public:
  // Makes the cache of env, unless it has one already (the module loaded again into the
  // same environment); true when it made one.
  static bool InstallFor(Napi::Env env);
  // The cache of env; null only if InstallFor was never called for it.
  static ProxyClassCache* Of(Napi::Env env);

  // The constructor of the class for name. The first call for a name defines the
  // class with these functions; later calls ignore the functions they pass.
  Napi::Function GetClass(Napi::Env env, const std::string& name,
                          const std::vector<std::string>& functions);

 private:
  // Persistent references (count 1) to each class's constructor.
  std::map<std::string, Napi::FunctionReference> proxyClasses;
  // The function names each class was defined with. Each method's callback data
  // points into these strings, so an entry is never changed once made.
  std::map<std::string, std::vector<std::string>> proxyFunctions;
};

}  // namespace Hostlink
