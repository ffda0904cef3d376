// The proxy classes of one JavaScript environment (and its JSON.parse, for results), one per proxy name, defined on
// first use and kept until the environment ends. Held as the environment's instance
// data, so a second environment (a worker thread) never sees another's handles.
// A class is never freed while its environment lives, so the host's kind names must not
// be able to grow the cache without end: both the classes and their functions are bounded.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <napi.h>

namespace Hostlink {

class ProxyClassCache {
 public:
  // Far more than an object model has, and few enough that a host sending new kind names
  // without end costs the plug-in a bounded amount of memory: a class takes about 20 KB,
  // each of its methods about 1 KB, so the worst case is some 80 MB per environment.
  static constexpr size_t kMaxClasses = 1000;
  static constexpr size_t kMaxFunctionsPerClass = 1000;
  static constexpr size_t kMaxFunctions = 50000;  // all classes of the environment together
  // The kind name and its function names together.
  static constexpr size_t kMaxNameBytesPerClass = 64 * 1024;

  // Makes the cache of env, unless it has one already (the module loaded again into the
  // same environment); true when it made one.
  static bool InstallFor(Napi::Env env);
  // The cache of env; null only if InstallFor was never called for it.
  static ProxyClassCache* Of(Napi::Env env);

  // The constructor of the class for name. The first call for a name defines the
  // class with these functions; later calls ignore the functions they pass. Empty, with
  // refusal saying why, when a new class would pass one of the bounds.
  Napi::Function GetClass(Napi::Env env, const std::string& name,
                          const std::vector<std::string>& functions, std::string& refusal);
  // The environment's JSON.parse as it was when the module loaded, so that a plug-in
  // that replaces the global one never changes how results are built. Empty if the
  // environment had none, or had already replaced the engine's own (results then take
  // the value-by-value road).
  Napi::Function JsonParse() const { return jsonParse.IsEmpty() ? Napi::Function() : jsonParse.Value(); }
  // The buffer a result's plain text is written into, kept between the environment's
  // calls (each environment runs on one thread).
  std::string& PlainTextBuffer() { return plainText; }

  // The same, for callers that only look a class up (empty when refused).
  Napi::Function GetClass(Napi::Env env, const std::string& name,
                          const std::vector<std::string>& functions);

 private:
  // Persistent references (count 1) to each class's constructor.
  std::map<std::string, Napi::FunctionReference> proxyClasses;
  // The function names each class was defined with. Each method's callback data
  // points into these strings, so an entry is never changed once made.
  std::map<std::string, std::vector<std::string>> proxyFunctions;
  // The methods of every class defined so far.
  size_t functionCount = 0;
  Napi::FunctionReference jsonParse;
  std::string plainText;
};

}  // namespace Hostlink
