// Turns callback messages from the host into calls of registered JavaScript functions,
// and keeps the registry of those functions by callback name.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <napi.h>

#include "ipc/BaseMessageProcessor.h"

namespace Hostlink {

class CallbackMessageProcessor : public IPC::BaseMessageProcessor {
 public:
  CallbackMessageProcessor() = default;
  // Empties the registry without releasing: the owner releases every function it
  // removes (Remove, RemoveEnvironment) before the processor goes.
  ~CallbackMessageProcessor() override;

  // Runs on the callback worker: queues a call of the function registered under the
  // message's callback name. Never blocks and never calls JavaScript itself.
  void ProcessCallbackMessage(const std::string& message) override;

  // Registry operations, each under the registry lock. The registry owns one
  // reference to each function: Set releases a function it replaces, Remove and
  // RemoveEnvironment release what they take out.
  void Set(const std::string& callbackName, Napi::ThreadSafeFunction function, napi_env env);
  bool Remove(const std::string& callbackName);
  // Takes out every function made in env; used when env is torn down.
  void RemoveEnvironment(napi_env env);
  // Takes out every function; used when the plug-in cleans up.
  void RemoveAll();
  // The registered names, in registry order.
  std::vector<std::string> Names();
  bool Contains(const std::string& callbackName);
  bool IsEmpty();

 private:
  struct Entry {
    Napi::ThreadSafeFunction function;
    napi_env env;
  };

  // Held while the worker acquires, calls and releases a function (all non-blocking),
  // so a function taken out of the registry is never in use by the worker afterwards.
  std::mutex registryLock;
  std::map<std::string, Entry> registry;
};

}  // namespace Hostlink
