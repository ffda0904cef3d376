// The request server's loop.
#include "ipc/RequestServer.h"

#include <chrono>
#include <utility>

#include "base/Log.h"
#include "base/Trace.h"
#include "ipc/ResponseMessage.h"

namespace IPC {

namespace {

// What a serving end answers when it has no processor; the same text every time.
const std::string& PlainSuccessText() {
  static const std::string text = ResponseMessage::Success().ToJSONString();
  return text;
}

}  // namespace

bool RequestServer::Start(IPCInterface& channel, RequestProcessor* processor) {
  return worker_.Start([this, &channel, processor] { Serve(channel, processor); });
}

void RequestServer::Serve(IPCInterface& channel, RequestProcessor* processor) {
  std::string request;
  ServerAnswer answer;
  uint64_t clientsLetGo = channel.ClientsLetGo();
  while (!worker_.StopRequested()) {
    answer.Clear();
    const bool read = channel.Read(request, kReadTimeoutMs);
    if (channel.ClientsLetGo() != clientsLetGo) {
      // Whatever the last client left behind goes before a new one is answered.
      clientsLetGo = channel.ClientsLetGo();
      if (processor != nullptr) {
        processor->ConnectionEnded();
      }
    }
    const auto began = TraceOn() ? std::chrono::steady_clock::now()
                                 : std::chrono::steady_clock::time_point();
    if (!read) {
      if (channel.LastError() != ChannelError::BadMessage || processor == nullptr) {
        continue;
      }
      // The client waits for an answer to what it sent: tell it now that it was unreadable.
      processor->AnswerUnreadable(answer);
    } else {
      if (TraceOn()) {
        TraceMessage(TraceDirection::Request, channel.Name(), channel.LastReadSizes().compressed,
                     request, std::chrono::steady_clock::duration::zero());
      }
      if (worker_.StopRequested()) {
        return;
      }
      if (processor != nullptr) {
        processor->Answer(request, answer);
      } else {
        LogError("IPCHandler : Failed to process request, no processor available", channel.Name(),
                 channel.GetMode());
        answer.text = PlainSuccessText();
      }
    }
    if (worker_.StopRequested()) {
      return;
    }
    if (!Send(channel, answer, began, read) && processor != nullptr &&
        (channel.LastError() == ChannelError::TooRepetitive ||
         channel.LastError() == ChannelError::TooLarge)) {
      // Left unsent, the client would wait for its time-out, or for ever without one.
      ServerAnswer instead;
      processor->AnswerRefused(answer, instead);
      Send(channel, instead, began);
    }
  }
}

bool RequestServer::Send(IPCInterface& channel, ServerAnswer& answer,
                         std::chrono::steady_clock::time_point began, bool emptyToo) {
  // A failed write has been logged by the channel; the answer is lost.
  bool sent = false;
  if (!answer.stream.empty()) {
    sent = channel.WriteCompressed(answer.stream, answer.text.size(), kWriteTimeoutMs);
  } else if (!answer.text.empty() || emptyToo) {
    // An empty answer is the channel's to refuse, with its line.
    sent = channel.Write(answer.text, kWriteTimeoutMs);
  }
  if (sent && TraceOn()) {
    TraceMessage(TraceDirection::Response, channel.Name(), channel.LastWriteSizes().compressed,
                 answer.text, std::chrono::steady_clock::now() - began);
  }
  if (answer.afterWrite) {
    std::function<void()> action = std::move(answer.afterWrite);
    answer.afterWrite = nullptr;
    action();
  }
  return sent;
}

}  // namespace IPC
