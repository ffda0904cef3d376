// The plug-in's end of a request pipe: one request/response exchange at a time, on the
// calling thread, passing over answers that come too late for their request.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "ipc/TimedOutRequests.h"
#include "transport/IPCInterface.h"

namespace IPC {

// Why the last exchange failed.
enum class ExchangeFailure {
  None,
  // There was no usable channel.
  NoChannel,
  // The request could not be written; nothing was sent.
  WriteFailed,
  // The request compresses so well that the host would refuse it; nothing was sent.
  TooRepetitive,
  // No answer came within the API time-out.
  TimedOut,
  // The host dropped the connection after the request was written.
  ConnectionLost,
};

class RequestClient {
 public:
  // One exchange on channel (open, and used by this thread only): writes the request
  // within 300 ms, then takes the next message as the response, waiting up to the API
  // time-out. Messages already waiting before the write, and answers to earlier requests
  // that timed out, are late answers: each is dropped with a log line.
  bool SendRequest(IPCInterface& channel, const std::string& request, std::string& response);
  ExchangeFailure LastFailure() const { return lastFailure_; }

  // The exchange in two halves, for a caller that writes on one thread and leaves the
  // answer to another (the pipe held for it in between): writes the request only if that
  // needs no waiting, no connecting and nothing logged (false: nothing sent, SendRequest
  // does it all), then ReadResponse takes its answer as SendRequest would.
  bool WriteRequestNow(IPCInterface& channel, const std::string& request);
  // The API time-out counts from `written`, when the request went (default: now).
  bool ReadResponse(IPCInterface& channel, const std::string& request, std::string& response,
                    std::chrono::steady_clock::time_point written = {});

  // The API time-out in milliseconds; 0 waits for a response without limit.
  void SetTimeout(uint32_t timeoutMs) { apiTimeout_.store(timeoutMs, std::memory_order_relaxed); }
  uint32_t GetTimeout() const { return apiTimeout_.load(std::memory_order_relaxed); }

  void SetLastFailure(ExchangeFailure failure) { lastFailure_ = failure; }

 private:
  static constexpr uint32_t kWriteTimeoutMs = 300;
  // Bounds the clearing before a request, so a peer that never stops writing cannot
  // hold the caller in it.
  static constexpr int kMaxDiscardedBeforeRequest = 256;

  void DiscardWaitingMessages(IPCInterface& channel);
  void TraceWritten(IPCInterface& channel, const std::string& request);

  std::atomic<uint32_t> apiTimeout_{0};
  ExchangeFailure lastFailure_ = ExchangeFailure::None;
  TimedOutRequests timedOut_;
};

}  // namespace IPC
