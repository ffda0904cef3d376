// Request dispatch: the plug-in's own operations and calls of host functions.
#include "host/RequestDispatcher.h"

#include <exception>
#include <limits>
#include <utility>

#include "host/CallError.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "ipc/WireWriter.h"
#include "variant/JsonTextBuilder.h"

namespace Host {

namespace {

// A failure without a text would reach the plug-in without its code: never send one.
void Fail(uint64_t requestId, const std::string& text, int64_t code, std::string& response) {
  response = IPC::ResponseMessage(requestId, text.empty() ? "Failed" : text, code).ToJSONString();
}

void Fail(uint64_t requestId, const std::string& text, ErrorCode code, std::string& response) {
  Fail(requestId, text, ToInt(code), response);
}

// The callback name of "RegisterCallback" and "DeregisterCallback": argument "0".
bool CallbackName(const IPC::RequestMessage& request, std::string& name) {
  if (!request.args.Has("0") || !request.args.IsString("0")) {
    return false;
  }
  name = request.args.GetString("0");
  return !name.empty();
}

}  // namespace

RequestDispatcher::RequestDispatcher(ObjectRegistry& registry)
    : registry_(registry), codec_(registry) {}

void RequestDispatcher::SetRoot(ObjectPtr root) {
  if (root) {
    registry_.Register(root);
  }
  std::lock_guard<std::mutex> lock(lock_);
  root_ = std::move(root);
}

ObjectPtr RequestDispatcher::GetRoot() const {
  std::lock_guard<std::mutex> lock(lock_);
  return root_;
}

bool RequestDispatcher::IsCallbackRegistered(const std::string& name) const {
  std::lock_guard<std::mutex> lock(lock_);
  return callbacks_.count(name) != 0;
}

std::vector<std::string> RequestDispatcher::GetRegisteredCallbacks() const {
  std::lock_guard<std::mutex> lock(lock_);
  return std::vector<std::string>(callbacks_.begin(), callbacks_.end());
}

uint32_t RequestDispatcher::GetApiTimeout() const {
  std::lock_guard<std::mutex> lock(lock_);
  return apiTimeout_;
}

void RequestDispatcher::EndConnection() {
  std::lock_guard<std::mutex> lock(lock_);
  callbacks_.clear();
  callbackCount_.store(0, std::memory_order_relaxed);
  apiTimeout_ = 0;
  registry_.ForgetHandouts();
}

RequestDispatcher::Outcome RequestDispatcher::Dispatch(const std::string& requestText,
                                                       std::string& response) {
  Outcome outcome;
  try {
    // The variant map refuses text nested too deeply for its parser before parsing it.
    IPC::RequestMessage request;
    if (!request.FromJSONString(requestText)) {
      Fail(0, "Malformed request: not a request object", ErrorCode::MalformedRequest, response);
      return outcome;
    }
    outcome.requestId = request.requestId;
    if (request.name.empty()) {
      Fail(request.requestId, "Malformed request: no name", ErrorCode::MalformedRequest, response);
      return outcome;
    }
    if (request.proxyId >= 0) {
      Call(request, response);
    } else {
      Answer(request, response, outcome);
    }
  } catch (const std::exception& error) {
    // Allocation failures and the like: the host stays up and says what happened.
    Fail(0, std::string("Host failure: ") + error.what(), ErrorCode::CallFailed, response);
  } catch (...) {
    Fail(0, "Host failure", ErrorCode::CallFailed, response);
  }
  return outcome;
}

void RequestDispatcher::Answer(const IPC::RequestMessage& request, std::string& response,
                               Outcome& outcome) {
  const std::string& name = request.name;
  const uint64_t id = request.requestId;
  if (name == "GetKestrel") {
    ObjectPtr root = GetRoot();
    if (!root) {
      Fail(id, "The host has no root object", ErrorCode::NoRoot, response);
      return;
    }
    SucceedWith(id, Value(std::move(root)), response, true);
  } else if (name == "ReleaseObjects") {
    // Where host functions run, since a released object's destructor may run here.
    OnApplicationThread(request, response, &RequestDispatcher::Release);
  } else if (name == "SetAPITimeout") {
    if (!request.args.Has("timeout") || !request.args.IsUInt64("timeout")) {
      Fail(id, "SetAPITimeout needs an unsigned 'timeout'", ErrorCode::BadArgument, response);
      return;
    }
    const uint64_t timeout = request.args.GetUInt64("timeout");
    {
      std::lock_guard<std::mutex> lock(lock_);
      apiTimeout_ = timeout > std::numeric_limits<uint32_t>::max()
                        ? std::numeric_limits<uint32_t>::max()
                        : static_cast<uint32_t>(timeout);
    }
    SucceedWith(id, true, response);
  } else if (name == "RegisterCallback" || name == "DeregisterCallback") {
    std::string callback;
    if (!CallbackName(request, callback)) {
      Fail(id, name + " needs a callback name as argument 0", ErrorCode::BadArgument, response);
      return;
    }
    if (callback.size() > kMaxCallbackNameBytes) {
      Fail(id, name + ": callback name longer than " + std::to_string(kMaxCallbackNameBytes) +
                   " bytes",
           ErrorCode::BadArgument, response);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (name == "RegisterCallback") {
        if (callbacks_.size() >= kMaxCallbacks && callbacks_.count(callback) == 0) {
          Fail(id, name + ": more than " + std::to_string(kMaxCallbacks) + " callbacks",
               ErrorCode::BadArgument, response);
          return;
        }
        outcome.firstCallbackRegistered = callbacks_.empty();
        callbacks_.insert(callback);
      } else {
        callbacks_.erase(callback);
      }
      callbackCount_.store(callbacks_.size(), std::memory_order_relaxed);
    }
    SucceedWith(id, true, response);
  } else if (name == "UnloadPlugin") {
    outcome.unload = true;
    EndConnection();
    SucceedWith(id, true, response);
  } else {
    Fail(id, "Unknown request: " + name, ErrorCode::UnknownRequest, response);
  }
}

void RequestDispatcher::Call(const IPC::RequestMessage& request, std::string& response) {
  OnApplicationThread(request, response, &RequestDispatcher::CallHere);
}

void RequestDispatcher::OnApplicationThread(const IPC::RequestMessage& request,
                                            std::string& response, Handler handler) {
  switch (thread_.Run([&] { (this->*handler)(request, response); })) {
    case ThreadDispatcher::Outcome::Ran:
      return;
    case ThreadDispatcher::Outcome::Dropped:
      Fail(request.requestId, "Host failure: the application dropped the call unrun",
           ErrorCode::CallFailed, response);
      return;
    case ThreadDispatcher::Outcome::Stopped:
      // Sent only if the request thread gets that far before it stops.
      Fail(request.requestId, "Host failure: the host stopped before the call ran",
           ErrorCode::CallFailed, response);
      return;
  }
}

void RequestDispatcher::CallHere(const IPC::RequestMessage& request, std::string& response) {
  const uint64_t id = request.requestId;
  ObjectPtr object = registry_.Find(request.proxyId);
  if (!object) {
    Fail(id, "Unknown object: " + std::to_string(request.proxyId), ErrorCode::UnknownObject,
         response);
    return;
  }
  const HostObject::Function* function = object->FindFunction(request.name);
  if (!function || !*function) {
    Fail(id, "Unknown function: " + object->GetKind() + "." + request.name,
         ErrorCode::UnknownFunction, response);
    return;
  }
  ValueMap members;
  ValueCodec::Failure failure;
  if (!codec_.DecodeArguments(request.args, members, failure)) {
    Fail(id, failure.text, failure.code, response);
    return;
  }
  const Arguments arguments(std::move(members));
  Result result;
  try {
    result = (*function)(arguments);
  } catch (const CallError& error) {
    Fail(id, error.what(), error.GetCode(), response);
    return;
  } catch (const std::exception& error) {
    Fail(id, std::string("Exception: ") + error.what(), ErrorCode::CallFailed, response);
    return;
  } catch (...) {
    Fail(id, "Unknown exception", ErrorCode::CallFailed, response);
    return;
  }
  if (result.IsError()) {
    Fail(id, result.GetErrorText(), result.GetErrorCode(), response);
    return;
  }
  SucceedWith(id, result.GetValue(), response);
}

void RequestDispatcher::Release(const IPC::RequestMessage& request, std::string& response) {
  // {"0":{"type":"table","value":{"<proxyId>":<count>,...}}}
  ValueMap members;
  ValueCodec::Failure failure;
  const Value* table = nullptr;
  if (codec_.DecodeArguments(request.args, members, failure) && !members.empty() &&
      members.front().first == "0" && members.front().second.IsMap()) {
    table = &members.front().second;
  }
  if (table == nullptr) {
    Fail(request.requestId, "ReleaseObjects needs a table of proxy ids and counts as argument 0",
         ErrorCode::BadArgument, response);
    return;
  }
  for (const auto& member : table->AsMap()) {
    const std::string& key = member.first;
    const bool idIsNumber = !key.empty() && key.size() <= 10 && key.front() != '0' &&
                            key.find_first_not_of("0123456789") == std::string::npos;
    const int64_t count = member.second.AsInt();
    // Ids that are no proxy id, and counts below one, name nothing handed out: ignored,
    // as unknown ids are.
    if (idIsNumber && member.second.IsInt() && count > 0) {
      registry_.Release(std::stoll(key), static_cast<uint64_t>(count));
    }
  }
  SucceedWith(request.requestId, true, response);
}

void RequestDispatcher::SucceedWith(uint64_t requestId, const Value& value, std::string& response,
                                    bool isRoot) {
  // The features the root's description announces: the plug-in may release objects.
  static const std::vector<std::string> kRootFeatures{"release"};
  // The result is written straight into the text, without a document in between.
  response.clear();
  IPC::ResponseMessage::OpenText(response, requestId, true);
  if (!value.IsNone()) {
    IPC::ResponseMessage::MemberText(response, "result");
    IPC::JsonTextBuilder sink(response);
    IPC::WireWriter out(sink);
    ValueCodec::Failure failure;
    if (isRoot ? !codec_.EncodeRoot(value.AsObject(), kRootFeatures, out, failure)
               : !codec_.Encode(value, out, failure)) {
      Fail(requestId, failure.text, failure.code, response);
      return;
    }
  }
  IPC::ResponseMessage::CloseText(response);
}

}  // namespace Host
