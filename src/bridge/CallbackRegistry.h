// The process's registered callbacks: which JavaScript function, in which environment,
// each callback name runs, and each environment's one ordered road from the callback
// worker to its JavaScript thread. One road per environment rather than one per name,
// so that callbacks run in the order the host fired them, whatever their names.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <napi.h>

#include "ipc/CallbackSender.h"
#include "ipc/WireValue.h"

namespace Hostlink {

class CallbackRegistry {
 public:
  // How Queue went. Dropped: the queue was full (the run of drops is logged once).
  enum class Queued { Yes, NotRegistered, Closing, Dropped };

  // Bounds of the calls queued for the JavaScript threads, the host's own for what waits
  // for the plug-in (CallbackSender): a host flooding callbacks while JavaScript is busy
  // must not make the plug-in grow without end. Bytes are those of the messages' texts.
  static constexpr size_t kMaxQueuedCalls = IPC::CallbackSender::kMaxQueuedMessages;
  static constexpr size_t kMaxQueuedBytes = IPC::CallbackSender::kMaxQueuedBytes;

  // The one registry of the process; never destroyed, so that roads finalized late (at
  // an environment's teardown) still find it.
  static CallbackRegistry& Instance();

  // JavaScript thread of env: function runs for name from now on (replacing whatever
  // ran for it, in any environment). False, with an error pending, when env's road
  // cannot be made.
  bool Set(Napi::Env env, const std::string& name, Napi::Function function);
  // Any JavaScript thread (caller: its environment). False when name was not registered.
  bool Remove(const std::string& name, napi_env caller);
  // Every name of env; used when env is torn down. The names no other environment holds
  // are kept as orphans, for the host to be told.
  void RemoveEnvironment(napi_env env);
  // Every name; used when the plug-in cleans up (orphans included).
  void RemoveAll();
  // The names whose environment went while the host still has them, and no environment
  // has registered again since; taken, so each is told to the host once.
  std::vector<std::string> TakeOrphans();
  // Whether env holds any name, or any orphan waits.
  bool HasWorkAtTeardown(napi_env env);
  bool Contains(const std::string& name);
  bool IsEmpty();
  // The registered names, in byte order.
  std::vector<std::string> Names();

  // Callback worker: queues a call of name's function with args (in position order) for
  // its JavaScript thread; bytes is the size of the message that brought it. Never blocks
  // and never calls JavaScript.
  Queued Queue(const std::string& name, std::vector<IPC::WireValue> args, size_t bytes);
  // Whether any queued call has not left its queue yet.
  bool HasQueued() {
    std::lock_guard<std::mutex> guard(lock);
    return queuedCalls > 0;
  }

  struct Call {
    std::string name;
    std::vector<IPC::WireValue> args;
    size_t bytes = 0;
  };
  // The JavaScript thread of env, while it reads callback messages from its own loop:
  // until StopHolding, a call Queue is given for env while none waits on the queues goes
  // into `held` instead, for RunHeld to run once the read is over (no JavaScript runs
  // while the pipe is read). No thread is woken for it, and it runs before anything
  // queued after it.
  void HoldFor(napi_env env, std::vector<Call>* held);
  void StopHolding();
  // The same thread, after StopHolding: runs one held call, unless its name went meanwhile.
  void RunHeld(napi_env env, const Call& call);

 private:
  // One environment's road: a thread-safe function that carries the calls to its
  // JavaScript thread in order, and the functions they run.
  struct Road;

  CallbackRegistry() = default;

  // Under lock: one name fewer on road; the last one lets the road go.
  void DropName(Road* road);
  // A queued call has left the queue, run or not.
  void Dequeued(const Call& call);
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
  std::set<std::string> orphans;
  // What the roads' queues hold, and whether a run of drops is on.
  size_t queuedCalls = 0;
  size_t queuedBytes = 0;
  bool dropping = false;
};

}  // namespace Hostlink
