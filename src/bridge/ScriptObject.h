// The native side of every proxy object: which host object it stands for, and the
// one routine behind all proxy methods, which has the host run the named function.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <napi.h>

namespace Hostlink {

class ScriptObject : public Napi::ObjectWrap<ScriptObject> {
 public:
  // Reached only through `new` on a proxy class: (name, proxyId, uniqueId), each
  // taken only when of the right type. Tags the object as this module's proxy.
  explicit ScriptObject(const Napi::CallbackInfo& info);

  // Defines the class of one proxy kind: named `name`, with one non-enumerable,
  // read-only method per function, each running Execute with its function name as
  // callback data. The strings must outlive the class.
  static Napi::Function DefineProxyClass(Napi::Env env, const std::string& name,
                                         const std::vector<std::string>& functions);

  // The proxy that value is, or null when value is not an object made by a proxy
  // class of this module (another add-on's wrapped object included).
  static ScriptObject* FromValue(Napi::Value value);

  // The native callback of every proxy method.
  static Napi::Value Execute(const Napi::CallbackInfo& info);

  int64_t GetProxyId() const { return proxyId; }
  // The host object's kind, which names its class.
  const std::string& GetName() const { return name; }

 private:
  std::string name;
  int64_t proxyId = -1;
  std::string uniqueId;
};

// A new proxy object of the class for name (defined on first use with functions;
// later calls keep the first list). Empty, with operation's error pending, when the
// environment refuses a new class (too many kinds, functions or name bytes).
Napi::Value CreateProxyObject(Napi::Env env, const std::string& name, int64_t proxyId,
                              const std::string& uniqueId,
                              const std::vector<std::string>& functions,
                              const std::string& operation = "Execute");

}  // namespace Hostlink
