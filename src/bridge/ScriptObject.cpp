// Proxy objects: their native class, the per-kind JavaScript classes and the method
// call that crosses to the host.
#include "bridge/ScriptObject.h"

#include <utility>

#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/HostCall.h"
#include "bridge/PluginManager.h"
#include "bridge/ProxyClassCache.h"
#include "bridge/ReleaseBatcher.h"

namespace Hostlink {
namespace {

// Marks objects built by a proxy class of this module. Only an object carrying it
// is ever unwrapped as a ScriptObject.
constexpr napi_type_tag kProxyTypeTag = {0x6b9d1c0e4f2a4e57ULL, 0xa3c85d7b21e94f60ULL};

// The raw callback of every proxy method; the function name is its callback data.
napi_value ExecuteMethod(napi_env env, napi_callback_info callbackInfo) {
  return Napi::details::WrapCallback(env, [env, callbackInfo]() -> napi_value {
    Napi::CallbackInfo info(env, callbackInfo);
    return ScriptObject::Execute(info);
  });
}

}  // namespace

ScriptObject::ScriptObject(const Napi::CallbackInfo& info)
    : Napi::ObjectWrap<ScriptObject>(info) {
  Napi::Object self = info.This().As<Napi::Object>();
  // Deno's Node-API runs the constructor of a class called without `new`, with the global
  // object as its receiver; tagged, globalThis would pass for a proxy. The throw undoes
  // the wrap.
  if (self.StrictEquals(info.Env().Global())) {
    throw Napi::TypeError::New(info.Env(), "Class constructors cannot be invoked without 'new'");
  }
  if (info.Length() >= 1 && info[0].IsString()) {
    name = info[0].As<Napi::String>().Utf8Value();
  }
  if (info.Length() >= 2 && info[1].IsNumber()) {
    proxyId = info[1].As<Napi::Number>().Int64Value();
  }
  if (info.Length() >= 3 && info[2].IsString()) {
    uniqueId = info[2].As<Napi::String>().Utf8Value();
    if (!uniqueId.empty()) {
      self.DefineProperty(Napi::PropertyDescriptor::Value(
          "uniqueId", Napi::String::New(info.Env(), uniqueId), napi_default));
    }
  }
  // Last, so that an object whose construction failed is never taken for a proxy.
  self.TypeTag(&kProxyTypeTag);
}

Napi::Function ScriptObject::DefineProxyClass(Napi::Env env, const std::string& name,
                                              const std::vector<std::string>& functions) {
  std::vector<Napi::ClassPropertyDescriptor<ScriptObject>> methods;
  methods.reserve(functions.size());
  for (const std::string& function : functions) {
    napi_property_descriptor method = {};
    method.utf8name = function.c_str();
    method.method = ExecuteMethod;
    method.attributes = napi_default;
    method.data = const_cast<char*>(function.c_str());
    methods.emplace_back(method);
  }
  return DefineClass(env, name.c_str(), methods);
}

ScriptObject* ScriptObject::FromValue(Napi::Value value) {
  if (value.IsEmpty() || !value.IsObject()) {
    return nullptr;
  }
  Napi::Object object = value.As<Napi::Object>();
  if (!object.CheckTypeTag(&kProxyTypeTag)) {
    return nullptr;
  }
  return Unwrap(object);
}

Napi::Value ScriptObject::Execute(const Napi::CallbackInfo& info) {
  return RunExported(info, "Execute", [&info](Napi::Env env) -> Napi::Value {
    if (!PluginManager::GetInstance().IsInitialized()) {
      return ThrowJsError(env, "Execute", kNotInitializedText);
    }
    const char* data = static_cast<const char*>(info.Data());
    if (data == nullptr) {
      return ThrowJsError(env, "Execute", "Failed to get function name");
    }
    std::string functionName(data);
    if (functionName.empty()) {
      return ThrowJsError(env, "Execute", "Function name is empty");
    }
    ScriptObject* self = FromValue(info.This());
    if (self == nullptr) {
      return ThrowJsError(env, "Execute", "Receiver is not a proxy object");
    }
    std::string requestText;
    if (!BuildMethodRequest(info, functionName, self->proxyId, requestText)) {
      return Napi::Value();
    }
    return CallHost(env, HostCall{functionName, "Execute", ResultUse::Value}, requestText);
  });
}

Napi::Value CreateProxyObject(Napi::Env env, const std::string& name, int64_t proxyId,
                              const std::string& uniqueId,
                              const std::vector<std::string>& functions,
                              const std::string& operation) {
  ProxyClassCache* cache = ProxyClassCache::Of(env);
  if (cache == nullptr) {
    NAPI_THROW(Napi::Error::New(env, "proxy class cache missing"), Napi::Value());
  }
  std::string refusal;
  Napi::Function proxyClass = cache->GetClass(env, name, functions, refusal);
  if (proxyClass.IsEmpty()) {
    return ThrowJsError(env, operation, refusal);
  }
  Napi::Object proxy = proxyClass.New({Napi::String::New(env, name),
                                       Napi::Number::New(env, static_cast<double>(proxyId)),
                                       Napi::String::New(env, uniqueId)});
  // Made from a host's description: the host learns when the last proxy of it is gone.
  ReleaseBatcher::Instance().Track(env, proxy, proxyId);
  return proxy;
}

}  // namespace Hostlink
