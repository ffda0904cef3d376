// Answers request texts: the plug-in's own operations, and function calls on the
// registered host objects. Every request gets a response text; none can make it fail
// harder than a failure response.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/ObjectRegistry.h"
#include "host/ThreadDispatcher.h"
#include "host/ValueCodec.h"

namespace IPC {
class RequestMessage;
}

namespace Host {

class RequestDispatcher {
 public:
  struct Outcome {
    // The request's identifier, 0 when it had none or could not be read.
    uint64_t requestId = 0;
    // The plug-in announced that it unloads; the answer is in the response as usual.
    bool unload = false;
    // The request registered the first callback: the plug-in opens the callback pipe next.
    bool firstCallbackRegistered = false;
  };

  // Bounds of what a plug-in may register, so that it cannot make every later request
  // (or every callback) slow, nor the host large.
  static constexpr size_t kMaxCallbackNameBytes = 1024;
  static constexpr size_t kMaxCallbacks = 1024;

  explicit RequestDispatcher(ObjectRegistry& registry);

  // The object "GetKestrel" answers with; registered when set.
  void SetRoot(ObjectPtr root);
  ObjectPtr GetRoot() const;

  // Writes the response text for one request text into response (replacing it).
  Outcome Dispatch(const std::string& requestText, std::string& response);

  // Where host functions run: set its dispatcher before serving starts. The whole call
  // (arguments decoded, the function, its result encoded) runs there.
  ThreadDispatcher& Thread() { return thread_; }

  // The plug-in's connection ended, or it unloaded: what it registered, and the time-out
  // it set, go with it.
  void EndConnection();

  // What the plug-in has told the host so far.
  bool IsCallbackRegistered(const std::string& name) const;
  bool AnyCallbackRegistered() const { return callbackCount_.load(std::memory_order_relaxed) > 0; }
  std::vector<std::string> GetRegisteredCallbacks() const;
  uint32_t GetApiTimeout() const;

 private:
  using Handler = void (RequestDispatcher::*)(const IPC::RequestMessage&, std::string&);
  // Runs handler through the dispatcher, and answers for it when it did not run.
  void OnApplicationThread(const IPC::RequestMessage& request, std::string& response,
                           Handler handler);
  void Call(const IPC::RequestMessage& request, std::string& response);
  // On the thread the dispatcher chose.
  void CallHere(const IPC::RequestMessage& request, std::string& response);
  void Answer(const IPC::RequestMessage& request, std::string& response, Outcome& outcome);
  // "ReleaseObjects": the plug-in let go of the objects it names.
  void Release(const IPC::RequestMessage& request, std::string& response);
  // isRoot: value is the root object, whose description announces the host's features.
  void SucceedWith(uint64_t requestId, const Value& value, std::string& response,
                   bool isRoot = false);

  ObjectRegistry& registry_;
  // Used by one thread at a time: the request thread, or the thread it waits for.
  ValueCodec codec_;
  ThreadDispatcher thread_;
  mutable std::mutex lock_;
  ObjectPtr root_;
  std::set<std::string> callbacks_;
  // callbacks_.size(), readable without the lock.
  std::atomic<size_t> callbackCount_{0};
  uint32_t apiTimeout_ = 0;
};

}  // namespace Host
