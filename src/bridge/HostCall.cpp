// Request texts, exchanges in turn and the verdict on a host's response.
#include "bridge/HostCall.h"

#include "bridge/Errors.h"
#include "bridge/PluginManager.h"
#include "bridge/ReleaseBatcher.h"
#include "bridge/ScriptObject.h"
#include "bridge/ValueConversion.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"

namespace Hostlink {
namespace {

const char* const kTooRepetitiveText =
    "Request not sent: it compresses more than 100:1, which the host refuses";

// GetKestrel's result: a proxy object for the host object the response describes.
Napi::Value SettleProxy(Napi::Env env, const HostCall& call, const IPC::ResponseMessage& response,
                        const std::string& responseText) {
  const IPC::KvVariantMap result = response.result.GetMap("result");
  IPC::ProxyInfo proxy;
  if (IPC::GetObjectType(result) != IPC::ObjectType::Proxy || !proxy.FromVariantMap(result)) {
    return ThrowJsError(env, call.operation, "Failed to parse response: " + responseText);
  }
  if (IPC::ValidateProxyInfo(proxy) != IPC::ProxyFault::None) {
    return ThrowJsError(env, call.operation,
                        "Invalid proxy info received in response: " + responseText);
  }
  ReleaseBatcher::Instance().NoteRootFeatures(proxy.features);
  return CreateProxyObject(env, proxy.name, proxy.proxyId, proxy.uniqueId, proxy.functions,
                           call.operation);
}

}  // namespace

bool BuildMethodRequest(const Napi::CallbackInfo& info, const std::string& functionName,
                        int64_t proxyId, std::string& requestText) {
  IPC::WireMembers args;
  // A failed argument leaves its error pending: the host must not run the function.
  if (!GetArguments(info, functionName, args)) {
    return false;
  }
  requestText = IPC::RequestMessage(functionName, args, proxyId).ToJSONString();
  return true;
}

ExchangeOutcome ExchangeInTurn(const std::string& requestText, std::string& response) {
  RequestQueue::Turn turn;
  if (!turn.Granted()) {
    return ExchangeOutcome::NotInitialized;
  }
  return PluginManager::GetInstance().Exchange(requestText, response);
}

Napi::Value SettleHostCall(Napi::Env env, const HostCall& call, ExchangeOutcome outcome,
                           const std::string& responseText) {
  switch (outcome) {
    case ExchangeOutcome::NotInitialized:
      return ThrowJsError(env, call.entry, kNotInitializedText);
    case ExchangeOutcome::SendFailed:
      return ThrowJsError(env, call.operation, call.sendFailureText);
    case ExchangeOutcome::TooRepetitive:
      return ThrowJsError(env, call.operation, kTooRepetitiveText);
    case ExchangeOutcome::Answered:
      break;
  }
  if (call.use == ResultUse::Value) {
    // A result of plain values, read in one pass: most of a large answer, and for a small
    // one no parsed message to build.
    Napi::Value plain = ParsePlainResult(env, responseText);
    if (!plain.IsEmpty()) return plain;
  }
  IPC::ResponseMessage response;
  std::string errorText;
  if (!CheckResponse(call.operation, responseText, response, errorText,
                     call.use != ResultUse::Value)) {
    return ThrowJsMessage(env, errorText);
  }
  switch (call.use) {
    case ResultUse::Value:
      return ParseResult(env, response, call.operation);
    case ResultUse::Proxy:
      return SettleProxy(env, call, response, responseText);
    case ResultUse::Accepted:
      if (!response.result.IsBool("result") || !response.result.GetBool("result")) {
        return ThrowJsError(env, call.operation, call.refusedText);
      }
      return Napi::Boolean::New(env, true);
  }
  return Napi::Value();
}

Napi::Value CallHost(Napi::Env env, const HostCall& call, const std::string& requestText) {
  std::string response;
  const ExchangeOutcome outcome = ExchangeInTurn(requestText, response);
  return SettleHostCall(env, call, outcome, response);
}

}  // namespace Hostlink
