// Host callbacks: registration with the host, the registry entry of each JavaScript
// function, and the handler (worker thread and callback pipe) while any is registered.
#include "bridge/Callbacks.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Log.h"
#include "base/PeerText.h"
#include "bridge/CallbackMessageProcessor.h"
#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/PluginManager.h"
#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace Hostlink {
namespace {

// The callback handler's slot. Taken by the JavaScript thread of each environment
// and at process exit; the worker never takes it, so joining the worker under it is safe.
std::mutex& SlotLock() {
  static std::mutex* lock = new std::mutex();  // never destroyed: used during exit
  return *lock;
}
IPC::IPCHandler* callbackHandler = nullptr;

CallbackMessageProcessor* RegistryOf(IPC::IPCHandler* handler) {
  return handler == nullptr ? nullptr
                            : dynamic_cast<CallbackMessageProcessor*>(handler->GetProcessor());
}

bool IsRegistered(const std::string& callbackName) {
  std::lock_guard<std::mutex> lock(SlotLock());
  CallbackMessageProcessor* registry = RegistryOf(callbackHandler);
  return registry != nullptr && registry->Contains(callbackName);
}

// At exit without environment teardown (process.exit on the main thread) the worker
// is stopped so that it never runs on while the process takes itself apart.
void StopWorkerAtExit() {
  std::unique_lock<std::mutex> lock(SlotLock(), std::try_to_lock);
  if (lock.owns_lock() && callbackHandler != nullptr) {
    callbackHandler->Stop();
  }
}

// Opens the callback pipe and starts its worker. The entry goes into the registry
// before the worker can read, so a callback fired as soon as the host accepted the
// name is delivered. False, with the function released, when no handler can run.
bool SetRegistryEntry(Napi::Env env, const std::string& callbackName,
                      Napi::ThreadSafeFunction function) {
  std::lock_guard<std::mutex> lock(SlotLock());
  if (callbackHandler == nullptr) {
    auto processor = std::make_unique<CallbackMessageProcessor>();
    CallbackMessageProcessor* registry = processor.get();
    registry->Set(callbackName, function, env);
    auto handler = std::make_unique<IPC::IPCHandler>(std::move(processor));
    auto channel = std::make_unique<IPC::NamedPipe>(
        PluginManager::GetInstance().GetPluginId() + "_callback", IPC::ClientCallback);
    if (!handler->Start(std::move(channel))) {
      registry->Remove(callbackName);
      return false;
    }
    static std::once_flag atExitOnce;
    std::call_once(atExitOnce, [] { std::atexit(StopWorkerAtExit); });
    callbackHandler = handler.release();
    return true;
  }
  CallbackMessageProcessor* registry = RegistryOf(callbackHandler);
  if (registry == nullptr) {
    function.Release();
    return false;
  }
  registry->Set(callbackName, function, env);
  return true;
}

// Takes the entry out; the last one takes the handler with it (joining the worker and
// closing the callback pipe). True when the handler and its registry existed.
bool RemoveRegistryEntry(const std::string& callbackName) {
  std::lock_guard<std::mutex> lock(SlotLock());
  CallbackMessageProcessor* registry = RegistryOf(callbackHandler);
  if (registry == nullptr) {
    return false;
  }
  registry->Remove(callbackName);
  if (registry->IsEmpty()) {
    delete callbackHandler;
    callbackHandler = nullptr;
  }
  return true;
}

void DropEnvironment(void* arg) {
  std::lock_guard<std::mutex> lock(SlotLock());
  CallbackMessageProcessor* registry = RegistryOf(callbackHandler);
  if (registry == nullptr) {
    return;
  }
  registry->RemoveEnvironment(static_cast<napi_env>(arg));
  if (registry->IsEmpty()) {
    delete callbackHandler;
    callbackHandler = nullptr;
  }
}

// Runs a registered function on its JavaScript thread with no receiver and no
// arguments. Nothing here throws: while the environment is torn down the call just
// fails. An exception the function throws becomes the process's uncaught exception,
// as one thrown by any other event handler would; left pending, Node would drop it.
void CallRegisteredFunction(napi_env env, napi_value function, void* /*context*/,
                            void* /*data*/) {
  if (env == nullptr || function == nullptr) {
    return;
  }
  napi_value undefined = nullptr;
  if (napi_get_undefined(env, &undefined) != napi_ok) {
    return;
  }
  if (napi_call_function(env, undefined, function, 0, nullptr, nullptr) == napi_ok) {
    return;
  }
  bool pending = false;
  napi_value exception = nullptr;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending &&
      napi_get_and_clear_last_exception(env, &exception) == napi_ok) {
    napi_fatal_exception(env, exception);
  }
}

// The thread-safe function of one registration: unlimited queue, one thread (the
// registry's hold), no async resource object, no context, named after the callback.
Napi::ThreadSafeFunction MakeThreadSafeFunction(Napi::Env env, Napi::Function function,
                                                const std::string& callbackName) {
  napi_value resourceName = Napi::String::New(env, callbackName);
  napi_threadsafe_function made = nullptr;
  napi_status status = napi_create_threadsafe_function(env, function, nullptr, resourceName, 0, 1,
                                                       nullptr, nullptr, nullptr,
                                                       CallRegisteredFunction, &made);
  NAPI_THROW_IF_FAILED(env, status, Napi::ThreadSafeFunction());
  return Napi::ThreadSafeFunction(made);
}

// Sends a registration or deregistration of callbackName; true when the host accepted
// it with a true "result", else false with the operation's error thrown.
bool AskHost(Napi::Env env, const char* operation, const std::string& callbackName,
             const char* refusedText) {
  IPC::KvVariantMap args;
  args.Set("0", callbackName);
  IPC::RequestMessage request(operation, args, -1);
  std::string responseText;
  if (!PluginManager::GetInstance().SendRequest(request, responseText)) {
    ThrowJsError(env, operation, "Failed to communicate with host");
    return false;
  }
  IPC::ResponseMessage response;
  std::string errorText;
  if (!CheckResponse(operation, responseText, response, errorText, true)) {
    ThrowJsMessage(env, errorText);
    return false;
  }
  if (!response.result.IsBool("result") || !response.result.GetBool("result")) {
    ThrowJsError(env, operation, refusedText);
    return false;
  }
  return true;
}

// Tells the host, while it is still reachable, that the plug-in no longer takes these
// callbacks; the caller holds the request pipe. A host that cannot be reached is asked
// nothing more (the channel has logged why); a refusal is logged and the rest are asked.
void DeregisterAllWithHost(const std::vector<std::string>& names) {
  PluginManager& manager = PluginManager::GetInstance();
  for (const std::string& name : names) {
    IPC::KvVariantMap args;
    args.Set("0", name);
    IPC::RequestMessage request("DeregisterCallback", args, -1);
    std::string responseText;
    if (manager.Exchange(request.ToJSONString(), responseText) != ExchangeOutcome::Answered) {
      return;
    }
    IPC::ResponseMessage response;
    if (!response.FromJSONString(responseText) || !response.status ||
        !response.result.IsBool("result") || !response.result.GetBool("result")) {
      IPC::LogError("Callbacks : CleanUp - Failed to deregister callback with host:" +
                    IPC::PeerText(name));
    }
  }
}

}  // namespace

Napi::Value RegisterCallback(const Napi::CallbackInfo& info) {
  return RunExported(info, "RegisterCallback", [&info](Napi::Env env) -> Napi::Value {
    if (!PluginManager::GetInstance().IsInitialized()) {
      return ThrowJsError(env, "RegisterCallback", kNotInitializedText);
    }
    if (info.Length() < 2) {
      return ThrowJsError(env, "RegisterCallback", "Missing required arguments");
    }
    if (!info[0].IsString()) {
      return ThrowJsError(env, "RegisterCallback", "Missing '<callbackName>' string argument");
    }
    const std::string callbackName = info[0].As<Napi::String>().Utf8Value();
    if (!info[1].IsFunction()) {
      return ThrowJsError(env, "RegisterCallback",
                          "Missing '<callbackFunction>' function argument");
    }
    if (!IsRegistered(callbackName) &&
        !AskHost(env, "RegisterCallback", callbackName, "Failed to register callback with host")) {
      return Napi::Value();
    }
    Napi::ThreadSafeFunction function =
        MakeThreadSafeFunction(env, info[1].As<Napi::Function>(), callbackName);
    return Napi::Boolean::New(env, SetRegistryEntry(env, callbackName, function));
  });
}

Napi::Value DeregisterCallback(const Napi::CallbackInfo& info) {
  return RunExported(info, "DeregisterCallback", [&info](Napi::Env env) -> Napi::Value {
    if (!PluginManager::GetInstance().IsInitialized()) {
      return ThrowJsError(env, "DeregisterCallback", kNotInitializedText);
    }
    if (info.Length() < 1 || !info[0].IsString()) {
      return ThrowJsError(env, "DeregisterCallback", "Missing '<callbackName>' argument");
    }
    const std::string callbackName = info[0].As<Napi::String>().Utf8Value();
    if (!IsRegistered(callbackName)) {
      return Napi::Boolean::New(env, false);
    }
    if (!AskHost(env, "DeregisterCallback", callbackName,
                 "Failed to deregister callback with host")) {
      return Napi::Value();
    }
    return Napi::Boolean::New(env, RemoveRegistryEntry(callbackName));
  });
}

void EndCallbacks() {
  std::vector<std::string> names;
  {
    std::lock_guard<std::mutex> lock(SlotLock());
    CallbackMessageProcessor* registry = RegistryOf(callbackHandler);
    if (registry == nullptr) {
      return;
    }
    names = registry->Names();
  }
  // No lock is held across the exchanges: they may take the API time-out each.
  DeregisterAllWithHost(names);
  std::lock_guard<std::mutex> lock(SlotLock());
  CallbackMessageProcessor* registry = RegistryOf(callbackHandler);
  if (registry != nullptr) {
    registry->RemoveAll();
  }
  // Joins the worker and closes the callback pipe; nothing of the old host is kept, so a
  // later Initialize with another identifier registers with that host and its pipe.
  delete callbackHandler;
  callbackHandler = nullptr;
}

void WatchCallbackEnvironment(Napi::Env env) {
  napi_status status = napi_add_env_cleanup_hook(env, DropEnvironment, env);
  NAPI_THROW_IF_FAILED_VOID(env, status);
}

}  // namespace Hostlink
