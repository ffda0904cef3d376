// The process's registered callbacks: which JavaScript function, in which environment,
// each callback name runs, and each environment's one ordered road from the callback
// worker to its JavaScript thread. One road per environment rather than one per name,
// so that callbacks run in the order the host fired them, whatever their names.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <napi.h>

#include "ipc/WireValue.h"

namespace Hostlink {

class CallbackRegistry {
 public:
  // How Queue went.
  enum class Queued { Yes, NotRegistered, Closing };

  // The one registry of the process; never destroyed, so that roads finalized late (at
  // an environment's teardown) still find it.
  static CallbackRegistry& Instance();

  // JavaScript thread of env: function runs for name from now on (replacing whatever
  // ran for it, in any environment). False, with an error pending, when env's road
  // cannot be made.
  bool Set(Napi::Env env, const std::string& name, Napi::Function function);
  // Any JavaScript thread (caller: its environment). False when name was not registered.
  bool Remove(const std::string& name, napi_env caller);
  // Every name of env; used when env is torn down.
  void RemoveEnvironment(napi_env env);
  // Every name; used when the plug-in cleans up.
  void RemoveAll();
  bool Contains(const std::string& name);
  bool IsEmpty();
  // The registered names, in byte order.
  std::vector<std::string> Names();

  // Callback worker: queues a call of name's function with args (in position order) for
  // its JavaScript thread. Never blocks and never calls JavaScript.
  Queued Queue(const std::string& name, std::vector<IPC::WireValue> args);

 private:
  // One environment's road: a thread-safe function that carries the calls to its
  // JavaScript thread in order, and the functions they run.
  struct Road;
  struct Call {
    std::string name;
    std::vector<IPC::WireValue> args;
  };

  CallbackRegistry() = default;

  // Under lock: one name fewer on road; the last one lets the road go.
  void DropName(Road* road);
  void Deliver(Road* road, const Call& call);
  void Run(Napi::Env env, Road* road, const Call& call);
  static void Wake(napi_env env, napi_value, void* context, void* data);
  static void Finalize(napi_env env, void* data, void*);

  // Held only briefly and never across a call into JavaScript; the worker holds it while
  // it queues (which never blocks).
  std::mutex lock;
  std::map<std::string, Road*> entries;
  // Each environment's road, while it has names.
  std::map<napi_env, Road*> roads;
};

}  // namespace Hostlink
