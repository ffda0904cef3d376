// The per-environment cache of proxy classes.
#include "bridge/ProxyClassCache.h"

#include <algorithm>

#include "bridge/ScriptObject.h"

namespace Hostlink {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// True when parse is the engine's own JSON.parse: a native function named parse, written
// by Function.prototype.toString as "function parse() { [native code] }" (the blanks differ
// between engines). One replaced before the module loaded (a reviver for dates, say) is
// JavaScript, and its results would differ from the value-by-value road's.
bool IsEnginesJsonParse(Napi::Env env, Napi::Function parse) {
  try {
    const Napi::Value function = env.Global().Get("Function");
    if (!function.IsFunction()) return false;
    const Napi::Value prototype = function.As<Napi::Object>().Get("prototype");
    if (!prototype.IsObject()) return false;
    const Napi::Value toString = prototype.As<Napi::Object>().Get("toString");
    if (!toString.IsFunction()) return false;
    const Napi::Value text = toString.As<Napi::Function>().Call(parse, {});
    if (!text.IsString()) return false;
    const std::string source = text.As<Napi::String>().Utf8Value();
    // Blanks are dropped, then the text must read exactly so.
    std::string squeezed;
    for (const char c : source) {
      if (!IsBlank(c)) squeezed.push_back(c);
    }
    return squeezed == "functionparse(){[nativecode]}";
  } catch (const Napi::Error&) {
    return false;
  }
}

}  // namespace

bool ProxyClassCache::InstallFor(Napi::Env env) {
  if (Of(env) != nullptr) {
    return false;
  }
  auto* cache = new ProxyClassCache();
  const Napi::Value json = env.Global().Get("JSON");
  if (json.IsObject()) {
    const Napi::Value parse = json.As<Napi::Object>().Get("parse");
    if (parse.IsFunction() && IsEnginesJsonParse(env, parse.As<Napi::Function>())) {
      cache->jsonParse = Napi::Persistent(parse.As<Napi::Function>());
    }
  }
  env.SetInstanceData<ProxyClassCache>(cache);
  return true;
}

ProxyClassCache* ProxyClassCache::Of(Napi::Env env) {
  return env.GetInstanceData<ProxyClassCache>();
}

Napi::Function ProxyClassCache::GetClass(Napi::Env env, const std::string& name,
                                         const std::vector<std::string>& functions,
                                         std::string& refusal) {
  auto found = proxyClasses.find(name);
  if (found != proxyClasses.end()) {
    return found->second.Value();
  }
  if (proxyClasses.size() >= kMaxClasses) {
    refusal = "Proxy class refused: this environment holds " + std::to_string(kMaxClasses) +
              " proxy classes, the most it keeps";
    return Napi::Function();
  }
  // Checked before the list is looked through, which takes time in its square.
  if (functions.size() > kMaxFunctionsPerClass) {
    refusal = "Proxy class refused: " + std::to_string(functions.size()) +
              " functions, more than the " + std::to_string(kMaxFunctionsPerClass) +
              " a proxy class may have";
    return Napi::Function();
  }
  if (functions.size() > kMaxFunctions - functionCount) {
    refusal = "Proxy class refused: this environment's proxy classes have " +
              std::to_string(functionCount) + " functions, and " +
              std::to_string(functions.size()) + " more would pass the " +
              std::to_string(kMaxFunctions) + " it keeps";
    return Napi::Function();
  }
  size_t nameBytes = name.size();
  for (const std::string& function : functions) {
    nameBytes += function.size();
  }
  if (nameBytes > kMaxNameBytesPerClass) {
    refusal = "Proxy class refused: its names take " + std::to_string(nameBytes) +
              " bytes, more than the " + std::to_string(kMaxNameBytesPerClass) +
              " a proxy class may have";
    return Napi::Function();
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
  functionCount += stored->second.size();
  return constructor;
}

Napi::Function ProxyClassCache::GetClass(Napi::Env env, const std::string& name,
                                         const std::vector<std::string>& functions) {
  std::string refusal;
  return GetClass(env, name, functions, refusal);
}

}  // namespace Hostlink
