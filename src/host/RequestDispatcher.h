// Answers request texts: the plug-in's own operations, and function calls on the
// registered host objects. Every request gets a response text; none can make it fail
// harder than a failure response.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/ObjectRegistry.h"
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
  };

  explicit RequestDispatcher(ObjectRegistry& registry);

  // The object "GetKestrel" answers with; registered when set.
  void SetRoot(ObjectPtr root);
  ObjectPtr GetRoot() const;

  // Writes the response text for one request text into response (replacing it).
  Outcome Dispatch(const std::string& requestText, std::string& response);

  // What the plug-in has told the host so far.
  bool IsCallbackRegistered(const std::string& name) const;
  std::vector<std::string> GetRegisteredCallbacks() const;
  uint32_t GetApiTimeout() const;

 private:
  void Call(const IPC::RequestMessage& request, std::string& response);
  void Answer(const IPC::RequestMessage& request, std::string& response, Outcome& outcome);
  void SucceedWith(uint64_t requestId, const Value& value, std::string& response);

  ObjectRegistry& registry_;
  ValueCodec codec_;
  mutable std::mutex lock_;
  ObjectPtr root_;
  std::set<std::string> callbacks_;
  uint32_t apiTimeout_ = 0;
};

}  // namespace Host
