// The abstract message channel: whole text messages with millisecond limits.
#pragma once

#include <cstdint>
#include <string>

namespace IPC {

// Which end of which pipe a channel is. Modes 1 and 2 are the host's (server)
// ends; 3 and 4 are the plug-in's (client) ends. 0 marks an unusable channel.
enum ChannelMode : int32_t {
  ServerRequest = 1,
  ServerCallback = 2,
  ClientRequest = 3,
  ClientCallback = 4,
};

class IPCInterface {
 public:
  IPCInterface(std::string name, int32_t mode) : name_(std::move(name)), mode_(mode) {}
  virtual ~IPCInterface() = default;

  IPCInterface(const IPCInterface&) = delete;
  IPCInterface& operator=(const IPCInterface&) = delete;

  // Connects (client) or creates and listens (server). Limits of 0 count as 1 ms.
  virtual bool Open(uint32_t timeoutMs) = 0;
  // Waits up to the limit for the next whole message; on failure `message` is empty.
  virtual bool Read(std::string& message, uint32_t timeoutMs) = 0;
  // Sends one whole message within the limit.
  virtual bool Write(const std::string& message, uint32_t timeoutMs) = 0;
  // Releases the connection; harmless when not open.
  virtual void Close() = 0;
  // Drops one whole message that is already waiting, without waiting for one and without
  // reconnecting; true when one was dropped. A request channel uses it to clear away
  // answers that came too late, before it writes the next request.
  virtual bool DiscardWaiting() { return false; }

  std::string GetName() const { return name_; }
  const std::string& Name() const { return name_; }
  int32_t GetMode() const { return mode_; }
  bool IsValid() const { return !name_.empty() && mode_ != 0; }
  bool IsServer() const { return mode_ == ServerRequest || mode_ == ServerCallback; }

 private:
  std::string name_;
  int32_t mode_;
};

}  // namespace IPC
