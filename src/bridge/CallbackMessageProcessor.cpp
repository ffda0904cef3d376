// Delivery of host callbacks to JavaScript through thread-safe functions.
#include "bridge/CallbackMessageProcessor.h"

#include "base/Log.h"
#include "base/PeerText.h"
#include "ipc/ResponseMessage.h"

namespace Hostlink {

CallbackMessageProcessor::~CallbackMessageProcessor() {
  std::lock_guard<std::mutex> lock(registryLock);
  registry.clear();
}

void CallbackMessageProcessor::ProcessCallbackMessage(const std::string& message) {
  IPC::ResponseMessage callback;
  if (!callback.FromJSONString(message) || !callback.result.IsString("result")) {
    IPC::LogError(
        "CallbackMessageProcessor : ProcessCallbackMessage - Failed to parse callback message "
        "from host");
    return;
  }
  const std::string callbackName = callback.result.GetString("result");
  if (callbackName.empty()) {
    IPC::LogError("CallbackMessageProcessor : ProcessCallbackMessage - callbackName is empty");
    return;
  }
  try {
    std::unique_lock<std::mutex> lock(registryLock);
    auto found = registry.find(callbackName);
    if (found == registry.end()) {
      lock.unlock();
      // The name is the host's: escaped and bounded, it can neither forge nor flood lines.
      IPC::LogError(
          "CallbackMessageProcessor : ProcessCallbackMessage - No JS callback function found "
          "for callback:" +
          IPC::PeerText(callbackName));
      return;
    }
    Napi::ThreadSafeFunction& function = found->second.function;
    const napi_status acquired = function.Acquire();
    if (acquired == napi_closing) {
      lock.unlock();
      IPC::LogError(
          "CallbackMessageProcessor : ProcessCallbackMessage - thread-safe function has been "
          "marked as closing");
      return;
    }
    // No data: the function runs on its JavaScript thread with no arguments.
    const napi_status called = function.NonBlockingCall();
    // A call refused as closing has already given up this thread's hold.
    if (acquired == napi_ok && called != napi_closing) {
      function.Release();
    }
  } catch (...) {
    IPC::LogError(
        "CallbackMessageProcessor : ProcessCallbackMessage - Exception occured while invoking JS "
        "callback function");
  }
}

void CallbackMessageProcessor::Set(const std::string& callbackName,
                                   Napi::ThreadSafeFunction function, napi_env env) {
  std::lock_guard<std::mutex> lock(registryLock);
  auto found = registry.find(callbackName);
  if (found == registry.end()) {
    registry.emplace(callbackName, Entry{function, env});
    return;
  }
  found->second.function.Release();
  found->second = Entry{function, env};
}

bool CallbackMessageProcessor::Remove(const std::string& callbackName) {
  std::lock_guard<std::mutex> lock(registryLock);
  auto found = registry.find(callbackName);
  if (found == registry.end()) {
    return false;
  }
  found->second.function.Release();
  registry.erase(found);
  return true;
}

void CallbackMessageProcessor::RemoveEnvironment(napi_env env) {
  std::lock_guard<std::mutex> lock(registryLock);
  for (auto entry = registry.begin(); entry != registry.end();) {
    if (entry->second.env == env) {
      entry->second.function.Release();
      entry = registry.erase(entry);
    } else {
      ++entry;
    }
  }
}

void CallbackMessageProcessor::RemoveAll() {
  std::lock_guard<std::mutex> lock(registryLock);
  for (auto& entry : registry) {
    entry.second.function.Release();
  }
  registry.clear();
}

std::vector<std::string> CallbackMessageProcessor::Names() {
  std::lock_guard<std::mutex> lock(registryLock);
  std::vector<std::string> names;
  names.reserve(registry.size());
  for (const auto& entry : registry) {
    names.push_back(entry.first);
  }
  return names;
}

bool CallbackMessageProcessor::Contains(const std::string& callbackName) {
  std::lock_guard<std::mutex> lock(registryLock);
  return registry.count(callbackName) != 0;
}

bool CallbackMessageProcessor::IsEmpty() {
  std::lock_guard<std::mutex> lock(registryLock);
  return registry.empty();
}

}  // namespace Hostlink
