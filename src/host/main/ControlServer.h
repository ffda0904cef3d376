// The control mode: a test scripts the host's answers through files in a directory,
// and reads back every request the host received.
//
// Files in the control directory:
//   commands  the test appends one JSON command per line: {"seq":N,"op":...,...}.
//   ack       the host replaces it (atomically) after each command, in order:
//             {"seq":N,"ok":true,"result":...} or {"seq":N,"ok":false,"error":"..."}.
//   requests  the host appends each request as received, before answering it:
//             the decimal byte length, a line feed, the exact bytes, a line feed.
//
// Commands ("delay" is optional, in milliseconds, before the action):
//   reply {"data": base64 bytes, "delay"}   answer the next request with these bytes
//   answer {"delay"}                         answer the next request normally
//   noReply {"count"}                        leave the next count requests unanswered
//   drop {"delay"}                           close the connection at the next request
//   clear                                    forget the scripted actions not yet used
//   fire {"name"}                            fire a callback; result: whether registered
//   callbackText {"data": base64 bytes}      send any bytes on the callback pipe
//   listen                                   listen again after a drop; result: whether
//                                            a drop was pending (every command does it)
//   status                                   result: {"callbacks":[..],"apiTimeout":n,
//                                            "pending":n,"requests":n}
//   stop                                     acknowledge, then stop the host
// Scripted actions apply to the following requests in the order they were given;
// requests with no action left are answered by the model. A command takes effect
// before its acknowledgement, so a test that waits for the acknowledgement knows the
// next request will see it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "host/HostService.h"
#include "host/RequestFront.h"
#include "transport/Bzip2Codec.h"

namespace IPC {
class KvVariantMap;
}

namespace ReferenceHost {

// What the control server does with one incoming request.
struct RequestAction {
  enum class Kind {
    // Let the service answer (the normal course).
    Answer,
    // Send `text` as the answer instead, whatever it holds.
    Reply,
    // Send nothing: the plug-in waits until its time-out.
    NoReply,
    // Close the plug-in's connection instead of answering, and listen again when told.
    Drop,
  };

  Kind kind = Kind::Answer;
  std::string text;
  // Waited before the action; a stopping service cuts the wait short and sends nothing.
  uint32_t delayMs = 0;
};

// Stands before the service's answers (its RequestFront) and takes commands from files.
class ControlServer : public Host::RequestFront {
 public:
  ControlServer(std::string directory, Host::HostService& service);
  ~ControlServer() override;

  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Creates the three files afresh and starts reading commands; false (with a line on
  // stderr) when the directory cannot be used. onStop runs on the command thread.
  bool Start(std::function<void()> onStop);
  void Stop();

  // On the request thread: records the request, then takes the next action.
  void Answer(const std::string& request, IPC::ServerAnswer& answer) override;
  void Stopping() override;

  // After a request was answered with a drop the pipe stays closed, so that the
  // plug-in's pending call fails for certain; this makes the host listen again and
  // returns once it does (true), or false when no drop is pending.
  bool ResumeListening();

 private:
  static constexpr int kPollMs = 1;

  RequestAction NextAction(const std::string& request);
  void DropConnection();
  // Sleeps, or less when the service stops; false when it stops.
  bool WaitUnlessStopping(uint32_t ms);
  void ReadCommands();
  void Execute(const std::string& line);
  void Acknowledge(uint64_t seq, bool ok, const std::string& error, const IPC::KvVariantMap* result,
                   const bool* flag);

  std::string directory_;
  Host::HostService& service_;
  std::function<void()> onStop_;

  std::mutex lock_;
  std::deque<RequestAction> actions_;
  std::FILE* requests_ = nullptr;
  // Compresses scripted replies (request thread only).
  IPC::Bzip2Codec replyCodec_;
  uint64_t requestCount_ = 0;

  // Guards the stop and drop states the request thread waits on.
  std::mutex stateLock_;
  std::condition_variable stateChanged_;
  bool stopping_ = false;
  bool dropped_ = false;
  bool resumeWanted_ = false;

  std::thread reader_;
  std::atomic<bool> stop_{false};
};

}  // namespace ReferenceHost
