// A Node module for the result-conversion micro benchmark (bench/conversion.js): the
// add-on's own conversion of a response text to JavaScript values, with nothing else of
// a call around it, beside which the script times V8's JSON.parse of the same text.
//
//   makeListText(n)  the exact response text the reference host answers MakeList(n) with
//   convert(text)    the add-on's path from that text to the result's JavaScript value
//   convertParsed(text)  the same through the parsed message, the road other results take
#include <napi.h>

#include <memory>
#include <string>

#include "bridge/ProxyClassCache.h"
#include "bridge/ValueConversion.h"
#include "host/ObjectRegistry.h"
#include "host/Value.h"
#include "host/ValueCodec.h"
#include "ipc/ResponseMessage.h"

namespace {

// As the reference host's Bench.MakeList builds it.
Host::Value MakeList(int64_t n) {
  Host::ValueList list;
  list.reserve(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    list.push_back(Host::Value::Map(
        {{"index", i}, {"name", "item-" + std::to_string(i)}, {"value", i * 0.5}}));
  }
  return Host::Value(std::move(list));
}

Napi::Value MakeListText(const Napi::CallbackInfo& info) {
  Host::ObjectRegistry registry;
  Host::ValueCodec codec(registry);
  IPC::ResponseMessage response(1, IPC::KvVariantMap());
  response.result = IPC::KvVariantMap();
  Host::ValueCodec::Failure failure;
  codec.Encode(MakeList(info[0].As<Napi::Number>().Int64Value()), response.result, "result",
               failure);
  return Napi::String::New(info.Env(), response.ToJSONString());
}

Napi::Value Convert(const Napi::CallbackInfo& info) {
  const std::string text = info[0].As<Napi::String>().Utf8Value();
  Napi::Value plain = Hostlink::ParsePlainResult(info.Env(), text);
  if (!plain.IsEmpty()) {
    return plain;
  }
  IPC::ResponseMessage response;
  if (!response.FromJSONString(text)) {
    return info.Env().Undefined();
  }
  return Hostlink::ParseResult(info.Env(), response, "MakeList");
}

Napi::Value ConvertParsed(const Napi::CallbackInfo& info) {
  const std::string text = info[0].As<Napi::String>().Utf8Value();
  IPC::ResponseMessage response;
  if (!response.FromJSONString(text)) {
    return info.Env().Undefined();
  }
  return Hostlink::ParseResult(info.Env(), response, "MakeList");
}

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  Hostlink::ProxyClassCache::InstallFor(env);
  exports.Set("makeListText", Napi::Function::New(env, MakeListText));
  exports.Set("convert", Napi::Function::New(env, Convert));
  exports.Set("convertParsed", Napi::Function::New(env, ConvertParsed));
  return exports;
}

}  // namespace

NODE_API_MODULE(hostlink_conversion_bench, Init)
