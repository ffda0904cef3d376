// The client exchange and its late-answer rules.
#include "ipc/RequestClient.h"

#include <chrono>

#include "base/Log.h"
#include "base/Trace.h"

namespace IPC {

bool RequestClient::SendRequest(IPCInterface& channel, const std::string& request,
                                std::string& response) {
  DiscardWaitingMessages(channel);
  if (!channel.Write(request, kWriteTimeoutMs)) {
    response.clear();
    lastFailure_ = channel.LastError() == ChannelError::TooRepetitive
                       ? ExchangeFailure::TooRepetitive
                       : ExchangeFailure::WriteFailed;
    if (TraceOn()) {
      TraceEvent("write-failed", channel.Name(), ChannelErrorName(channel.LastError()));
    }
    return false;
  }
  TraceWritten(channel, request);
  return ReadResponse(channel, request, response);
}

bool RequestClient::WriteRequestNow(IPCInterface& channel, const std::string& request) {
  DiscardWaitingMessages(channel);
  if (!channel.WriteNow(request)) {
    return false;
  }
  TraceWritten(channel, request);
  return true;
}

void RequestClient::TraceWritten(IPCInterface& channel, const std::string& request) {
  if (TraceOn()) {
    if (lastFailure_ == ExchangeFailure::ConnectionLost) {
      // The write connected anew after the host had dropped the connection.
      TraceEvent("reconnect", channel.Name(), "connected again after the connection was lost");
    }
    TraceMessage(TraceDirection::Request, channel.Name(), channel.LastWriteSizes().compressed,
                 request, std::chrono::steady_clock::duration::zero());
  }
  lastFailure_ = ExchangeFailure::None;
}

void RequestClient::DiscardWaitingMessages(IPCInterface& channel) {
  // Nothing is ever sent unasked on a request channel: whatever waits before a request
  // is written answers an earlier one.
  for (int i = 0; i < kMaxDiscardedBeforeRequest && channel.DiscardWaiting(); ++i) {
    LogError("IPCHandler : Discarded a message that arrived before the request");
    if (TraceOn()) {
      TraceEvent("late-answer", channel.Name(), "discarded a message waiting before the request");
    }
  }
}

bool RequestClient::ReadResponse(IPCInterface& channel, const std::string& request,
                                 std::string& response, std::chrono::steady_clock::time_point written) {
  using Clock = std::chrono::steady_clock;
  const uint32_t apiTimeoutMs = GetTimeout();
  const Clock::time_point began = written == Clock::time_point{} ? Clock::now() : written;
  const Clock::time_point deadline = began + std::chrono::milliseconds(apiTimeoutMs);
  uint32_t readTimeoutMs = apiTimeoutMs == 0 ? 0xFFFFFFFFu : apiTimeoutMs;
  if (apiTimeoutMs != 0 && written != Clock::time_point{}) {
    // What is left of the limit (a read of 0 still takes what waits).
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    readTimeoutMs = left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
  }
  // Should an earlier request that timed out have had the same identifier, its answer
  // can no longer be told from this one's.
  timedOut_.Forget(request);
  for (;;) {
    if (!channel.Read(response, readTimeoutMs)) {
      LogError("IPCHandler : Failed to read response after sending request");
      if (channel.LastError() == ChannelError::Closed) {
        // The host dropped the connection: this answer can never come.
        lastFailure_ = ExchangeFailure::ConnectionLost;
        if (TraceOn()) TraceEvent("connection-lost", channel.Name(), "after the request was written");
      } else {
        lastFailure_ = ExchangeFailure::TimedOut;
        timedOut_.Add(request);
        if (TraceOn()) {
          if (channel.LastError() == ChannelError::BadMessage) {
            TraceEvent("bad-answer", channel.Name(), "an answer came that could not be decoded");
          } else {
            TraceEvent("timeout", channel.Name(),
                       "no answer within " + std::to_string(apiTimeoutMs) + " ms");
          }
        }
      }
      return false;
    }
    if (!timedOut_.TakeAnswered(response)) {
      if (TraceOn()) {
        TraceMessage(TraceDirection::Response, channel.Name(), channel.LastReadSizes().compressed,
                     response, Clock::now() - began);
      }
      return true;
    }
    LogError("IPCHandler : Discarded a late response to a timed-out request");
    if (TraceOn()) {
      TraceEvent("late-answer", channel.Name(), response);
    }
    if (apiTimeoutMs != 0) {
      // The wait goes on within what is left of the same limit (0 still reads once).
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      readTimeoutMs = left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
    }
  }
}

}  // namespace IPC
