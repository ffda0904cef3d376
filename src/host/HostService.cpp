// Serving one plug-in: the request server's processor (or its front) and the callback pipe.
#include "host/HostService.h"

#include <chrono>
#include <utility>

#include "base/Log.h"
#include "base/PeerText.h"
#include "base/Trace.h"
#include "ipc/ResponseMessage.h"
#include "ipc/TimedOutRequests.h"
#include "ipc/WireWriter.h"
#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"
#include "variant/JsonTextBuilder.h"

namespace Host {

namespace {

constexpr uint32_t kOpenTimeoutMs = 300;
// A text up to this size always compresses to what one message may carry, since the
// compressor's worst case is its capacity: (size + 1) x 1.01 + 600 bytes.
constexpr size_t kAlwaysFits = 100000;

std::string FailureText(uint64_t requestId, const std::string& text, ErrorCode code) {
  return IPC::ResponseMessage(requestId, text, ToInt(code)).ToJSONString();
}

}  // namespace

HostService::HostService(std::string pluginId)
    : pluginId_(std::move(pluginId)),
      dispatcher_(registry_),
      callbackCodec_(registry_),
      callbacks_(pluginId_ + "_callback"),
      sizer_(std::make_unique<IPC::Bzip2Codec>()) {}

HostService::~HostService() { Stop(); }

void HostService::SetTrace(bool on) { IPC::EnableTrace(on); }

bool HostService::Start() {
  if (running_) {
    return true;
  }
  requestPipe_ = std::make_unique<IPC::NamedPipe>(pluginId_, IPC::ServerRequest);
  if (!requestPipe_->Open(kOpenTimeoutMs) || !callbacks_.Open() ||
      !server_.Start(*requestPipe_, this)) {
    IPC::LogError("HostService : Failed to start serving the plug-in's pipes");
    server_.Stop();
    callbacks_.Close();
    requestPipe_.reset();
    return false;
  }
  running_ = true;
  return true;
}

void HostService::Stop() {
  if (front_ && server_.IsRunning()) {
    front_->Stopping();
  }
  // Joins the request thread, which the front's waits and a wait for a host function not
  // yet begun no longer hold, before its pipe goes.
  dispatcher_.Thread().Stop();
  server_.Stop();
  dispatcher_.Thread().Resume();
  requestPipe_.reset();
  callbacks_.Close();
  running_ = false;
}

bool HostService::FireCallback(const std::string& name, const std::vector<Value>& arguments) {
  if (!dispatcher_.IsCallbackRegistered(name)) {
    return false;
  }
  // "args" is written only when there are any, so that a callback without arguments
  // reads exactly as before.
  // A success without identifier whose result is the name, written straight into the text.
  std::string text;
  IPC::ResponseMessage::OpenText(text, 0, true);
  IPC::ResponseMessage::MemberText(text, "result");
  IPC::JsonTextBuilder sink(text);
  sink.String(name);
  if (!arguments.empty()) {
    IPC::ResponseMessage::MemberText(text, "args");
    sink.NextValue();
    IPC::WireWriter out(sink);
    ValueCodec::Failure failure;
    if (!callbackCodec_.EncodeArguments(arguments, out, failure)) {
      IPC::LogError("HostService : Failed to send callback " + IPC::PeerText(name) + ": " +
                    IPC::PeerText(failure.text));
      return false;
    }
  }
  IPC::ResponseMessage::CloseText(text);
  return callbacks_.Queue(std::move(text));
}

bool HostService::SendCallbackText(std::string text) {
  return running_ && callbacks_.Queue(std::move(text));
}

void HostService::Answer(const std::string& request, IPC::ServerAnswer& answer) {
  answeredHere_ = false;
  if (front_) {
    front_->Answer(request, answer);
  } else {
    AnswerRequest(request, answer);
  }
}

IPC::IPCInterface& HostService::RequestPipe() { return *requestPipe_; }

void HostService::AnswerRequest(const std::string& request, IPC::ServerAnswer& answer) {
  answeredHere_ = true;
  const RequestDispatcher::Outcome outcome = dispatcher_.Dispatch(request, answer.text);
  // Callbacks the function fired go out before its answer: the plug-in runs a callback that
  // arrived before an answer before it settles that call.
  callbacks_.Flush();
  if (outcome.firstCallbackRegistered) {
    // The plug-in opens the callback pipe once it has this answer.
    callbacks_.ExpectNewClient();
  }
  FitAnswer(outcome.requestId, answer);
  if (outcome.unload) {
    // The owner may stop the service as soon as it hears of the unload, so the answer
    // must be out first; the plug-in's callback client goes with its registrations.
    answer.afterWrite = [this] {
      callbacks_.ClientGone();
      if (unloadHandler_) {
        dispatcher_.Thread().Send(unloadHandler_);
      }
    };
  }
}

void HostService::ConnectionEnded() {
  dispatcher_.EndConnection();
  callbacks_.ClientGone();
}

void HostService::AnswerUnreadable(IPC::ServerAnswer& answer) {
  answer.text = FailureText(0, "Malformed request: the message cannot be decompressed",
                            ErrorCode::MalformedRequest);
}

void HostService::AnswerRefused(const IPC::ServerAnswer& refused, IPC::ServerAnswer& instead) {
  if (!answeredHere_) {
    return;  // a front's own bytes are sent as they are, or not at all
  }
  uint64_t requestId = 0;
  IPC::TimedOutRequests::ScanRequestId(refused.text, requestId);
  instead.text = FailureText(requestId,
                             "Result not sent: the pipe refused it (" +
                                 std::to_string(refused.text.size()) +
                                 " bytes, compressing more than 100:1 or too large)",
                             ErrorCode::BadResult);
}

void HostService::FitAnswer(uint64_t requestId, IPC::ServerAnswer& answer) {
  if (answer.text.size() <= kAlwaysFits) {
    return;
  }
  if (sizer_->Compress(answer.text, answer.stream) == 0 &&
      answer.stream.size() <= IPC::NamedPipe::kMaxMessageSize) {
    // Compressed once only: the channel sends this very stream.
    return;
  }
  // Left as it is, the answer would be refused by the pipe and the plug-in would wait
  // for it until its time-out, or for ever without one.
  const std::string text = "Result too large to send (" + std::to_string(answer.text.size()) +
                           " bytes, " + std::to_string(answer.stream.size()) + " compressed)";
  std::string().swap(answer.stream);
  answer.text = FailureText(requestId, text, ErrorCode::BadResult);
}

}  // namespace Host
