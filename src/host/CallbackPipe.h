// The host's callback pipe: its listening end, kept for the life of the service so that no
// other process can take the name, and the sender that writes queued callback messages.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "ipc/CallbackSender.h"
#include "transport/NamedPipe.h"

namespace Host {

// Thread-safe.
class CallbackPipe {
 public:
  explicit CallbackPipe(std::string name) : name_(std::move(name)) {}
  ~CallbackPipe() { Close(); }

  // Creates the pipe and starts its sender; false (with log lines) when the name is taken.
  bool Open();
  // Ends the sender and closes the pipe; messages still queued are dropped.
  void Close();
  // Queues a message; false when the pipe is closed or the queue is full.
  bool Queue(std::string message);
  // Returns once what was queued so far is on the pipe (at most kFlushLimit), so that an
  // answer written next comes after the callbacks its request fired.
  void Flush() { sender_.Flush(kFlushLimit); }

  // Called before the plug-in's first callback registration is answered, because the
  // plug-in then opens the pipe anew: the client it had before, if any, is let go, and the
  // name is never free meanwhile for another process to take.
  void ExpectNewClient() { Renew(false); }
  // The plug-in is gone (its request connection ended, or it unloaded): its client is let
  // go and the messages queued for it are dropped, so that the pipe is free for the next
  // plug-in.
  void ClientGone() { Renew(true); }

 private:
  static constexpr std::chrono::milliseconds kFlushLimit{100};

  void Renew(bool dropQueued);

  std::string name_;
  std::mutex lock_;
  std::unique_ptr<IPC::NamedPipe> pipe_;
  IPC::CallbackSender sender_;
};

}  // namespace Host
