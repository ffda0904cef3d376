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
#include "bridge/AsyncCalls.h"
#include "bridge/CallbackMessageProcessor.h"
#include "bridge/CallbackRegistry.h"
#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/HostCall.h"
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

CallbackRegistry& Registry() { return CallbackRegistry::Instance(); }

// Under the slot lock: with no callback left, the handler goes (joining the worker and
// closing the callback pipe).
void DeleteHandlerIfUnused() {
  if (callbackHandler != nullptr && Registry().IsEmpty()) {
    delete callbackHandler;
    callbackHandler = nullptr;
    LetCallbackWatchGo();
  }
}

// At exit without environment teardown (process.exit on the main thread) the worker
// is stopped so that it never runs on while the process takes itself apart.
void StopWorkerAtExit() {
  std::unique_lock<std::mutex> lock(SlotLock(), std::try_to_lock);
  if (lock.owns_lock() && callbackHandler != nullptr) {
    callbackHandler->Stop();
  }
}

// Registers the function and, for the first callback, opens the callback pipe and starts
// its worker. The entry goes into the registry before the worker can read, so a callback
// fired as soon as the host accepted the name is delivered. False when no handler can run
// (the entry is taken out again), or when the function cannot be registered (its error
// pending).
bool SetRegistryEntry(Napi::Env env, const std::string& callbackName, Napi::Function function) {
  std::lock_guard<std::mutex> lock(SlotLock());
  if (!Registry().Set(env, callbackName, function)) {
    return false;
  }
  if (callbackHandler != nullptr) {
    return true;
  }
  auto handler = std::make_unique<IPC::IPCHandler>(std::make_unique<CallbackMessageProcessor>());
  auto channel = std::make_unique<IPC::NamedPipe>(
      PluginManager::GetInstance().GetPluginId() + "_callback", IPC::ClientCallback);
  // The process's one environment takes the messages from its own event loop, with no
  // thread woken on the way; the callback thread stands by.
  const bool lend = LoopMayReadCallbacks(env);
  if (!handler->Start(std::move(channel), lend)) {
    Registry().Remove(callbackName, env);
    return false;
  }
  IPC::IPCInterface* opened = handler->GetChannel();
  if (lend && !WatchCallbacks(env, opened->Connection(),
                              [opened] { return opened->DuplicateConnection(); })) {
    handler->TakeBackCallbacks();
  }
  static std::once_flag atExitOnce;
  std::call_once(atExitOnce, [] { std::atexit(StopWorkerAtExit); });
  callbackHandler = handler.release();
  return true;
}

// Takes the entry out; the last one takes the handler with it. True when it was there.
bool RemoveRegistryEntry(const std::string& callbackName, napi_env env) {
  std::lock_guard<std::mutex> lock(SlotLock());
  const bool removed = Registry().Remove(callbackName, env);
  DeleteHandlerIfUnused();
  return removed;
}

// A registration or deregistration of name, asked by the plug-in itself (not for a
// JavaScript caller), in the caller's turn: true when the host accepted it. A host that
// cannot be reached sets reachable to false (the channel has logged why); a refusal is
// logged as refusedText followed by the name.
bool TellHost(const char* operation, const std::string& name, const char* refusedText,
              bool& reachable) {
  IPC::KvVariantMap args;
  args.Set("0", name);
  std::string responseText;
  reachable = PluginManager::GetInstance().Exchange(
                  IPC::RequestMessage(operation, args, -1).ToJSONString(), responseText) ==
              ExchangeOutcome::Answered;
  if (!reachable) {
    return false;
  }
  IPC::ResponseMessage response;
  if (!response.FromJSONString(responseText) || !response.status ||
      !response.result.IsBool("result") || !response.result.GetBool("result")) {
    IPC::LogError(refusedText + IPC::PeerText(name));
    return false;
  }
  return true;
}

constexpr const char* kCleanUpRefused =
    "Callbacks : CleanUp - Failed to deregister callback with host:";

// Deregisters names with the host until one cannot be reached; the caller holds the turn.
// The names the host accepted.
std::vector<std::string> DeregisterWithHost(const std::vector<std::string>& names,
                                            const char* refusedText) {
  std::vector<std::string> accepted;
  for (const std::string& name : names) {
    bool reachable = true;
    if (TellHost("DeregisterCallback", name, refusedText, reachable)) {
      accepted.push_back(name);
    }
    if (!reachable) {
      break;
    }
  }
  return accepted;
}

// An environment is torn down (a worker ends): its names go, and those that no other
// environment registered since are deregistered with the host, which would otherwise keep
// firing them. In a turn of the request queue, as registrations are, so that a
// registration of the same name elsewhere comes wholly before or after. A turn cancelled
// by CleanUp leaves the orphans to it.
void DropEnvironment(void* arg) {
  const napi_env env = static_cast<napi_env>(arg);
  if (!Registry().HasWorkAtTeardown(env)) {
    return;
  }
  RequestQueue::Turn turn;
  {
    std::lock_guard<std::mutex> lock(SlotLock());
    Registry().RemoveEnvironment(env);
    DeleteHandlerIfUnused();
  }
  if (!turn.Granted()) {
    return;
  }
  const std::vector<std::string> orphans = Registry().TakeOrphans();
  if (PluginManager::GetInstance().IsInitialized()) {
    DeregisterWithHost(orphans,
                       "Callbacks : Environment teardown - Failed to deregister callback with "
                       "host:");
  }
}

// A registration or deregistration asked by JavaScript, in the caller's turn; true when
// the host accepted it, else false with the operation's error thrown.
bool AskHost(Napi::Env env, const char* operation, const std::string& callbackName,
             const char* refusedText) {
  IPC::KvVariantMap args;
  args.Set("0", callbackName);
  HostCall call{operation, operation, ResultUse::Accepted};
  call.refusedText = refusedText;
  std::string response;
  const ExchangeOutcome outcome = PluginManager::GetInstance().Exchange(
      IPC::RequestMessage(operation, args, -1).ToJSONString(), response);
  return !SettleHostCall(env, call, outcome, response).IsEmpty();
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
    // The host's answer and the registry's change happen in one turn: a CleanUp waiting for
    // the pipe finds both done or neither begun, never a name the host accepted that it
    // could not deregister.
    RequestQueue::Turn turn;
    if (!turn.Granted()) {
      return ThrowJsError(env, "RegisterCallback", kNotInitializedText);
    }
    const bool askHost = !Registry().Contains(callbackName);
    if (askHost &&
        !AskHost(env, "RegisterCallback", callbackName, "Failed to register callback with host")) {
      return Napi::Value();
    }
    const bool set = SetRegistryEntry(env, callbackName, info[1].As<Napi::Function>());
    if (!set && env.IsExceptionPending()) {
      return Napi::Value();
    }
    if (!set && askHost &&
        !AskHost(env, "DeregisterCallback", callbackName, "Failed to deregister callback with host")) {
      // The callback pipe could not be opened, so the host must not keep the name either;
      // a host that cannot be told has been logged, and the answer stays false.
      env.GetAndClearPendingException();
    }
    return Napi::Boolean::New(env, set);
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
    RequestQueue::Turn turn;
    if (!turn.Granted()) {
      return ThrowJsError(env, "DeregisterCallback", kNotInitializedText);
    }
    if (!Registry().Contains(callbackName)) {
      return Napi::Boolean::New(env, false);
    }
    if (!AskHost(env, "DeregisterCallback", callbackName,
                 "Failed to deregister callback with host")) {
      return Napi::Value();
    }
    return Napi::Boolean::New(env, RemoveRegistryEntry(callbackName, env));
  });
}

std::vector<std::string> DeregisterCallbacksWithHost() {
  std::vector<std::string> names = Registry().Names();
  std::vector<std::string> accepted = DeregisterWithHost(names, kCleanUpRefused);
  // The names of environments gone are told too; they need no registering again.
  DeregisterWithHost(Registry().TakeOrphans(), kCleanUpRefused);
  return accepted;
}

void RegisterCallbacksAgainWithHost(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    bool reachable = true;
    TellHost("RegisterCallback", name,
             "Callbacks : CleanUp - Failed to register callback with host again:", reachable);
    if (!reachable) {
      return;
    }
  }
}

void EndCallbacks() {
  std::lock_guard<std::mutex> lock(SlotLock());
  Registry().RemoveAll();
  // Joins the worker and closes the callback pipe; nothing of the old host is kept, so a
  // later Initialize with another identifier registers with that host and its pipe.
  DeleteHandlerIfUnused();
}

void TakeInArrivedCallbacks() {
  // The slot lock keeps the handler from going meanwhile; its worker never takes it.
  std::lock_guard<std::mutex> lock(SlotLock());
  if (callbackHandler != nullptr) {
    callbackHandler->CatchUpCallbacks();
  }
}

bool CallbacksWaiting() { return Registry().HasQueued(); }

bool ReadCallbacksOnLoop(napi_env env, std::vector<CallbackRegistry::Call>& held) {
  std::lock_guard<std::mutex> lock(SlotLock());
  if (callbackHandler == nullptr) {
    return false;
  }
  Registry().HoldFor(env, &held);
  const bool read = callbackHandler->ReadWaitingCallbacks();
  Registry().StopHolding();
  return read;
}

void TakeBackCallbacks() {
  std::lock_guard<std::mutex> lock(SlotLock());
  if (callbackHandler != nullptr) {
    callbackHandler->TakeBackCallbacks();
  }
}

void WatchCallbackEnvironment(Napi::Env env) {
  napi_status status = napi_add_env_cleanup_hook(env, DropEnvironment, env);
  NAPI_THROW_IF_FAILED_VOID(env, status);
}

}  // namespace Hostlink
