// The abstract message channel: whole text messages with millisecond limits.
#pragma once

#include <cstddef>
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

// Why the last Open, Read or Write of a channel failed; None after a success.
enum class ChannelError {
  None,
  // The limit passed with nothing read, or with no room or no peer to write to.
  Timeout,
  // The peer closed the connection; the next Open or Write connects anew.
  Closed,
  // The compressed message is longer than the channel carries.
  TooLarge,
  // The text compresses so well that the receiver would refuse to decompress it.
  TooRepetitive,
  // The server is serving another client.
  Busy,
  // The peer is another user's process, or the system refused access to the pipe.
  Access,
  // A message arrived that is not a valid compressed text.
  BadMessage,
  Other,
};

// A short lower-case word for a log or trace line, e.g. "too repetitive".
const char* ChannelErrorName(ChannelError error);

// The two sizes of one message: as it travelled and as text (without its NUL).
struct MessageSizes {
  size_t compressed = 0;
  size_t text = 0;
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
  // Takes the next whole message only if one waits now, without waiting or reconnecting:
  // false with LastError() Timeout when none waits, with another error when the read failed.
  virtual bool ReadIfWaiting(std::string& message);
  // Sends one whole message within the limit.
  virtual bool Write(const std::string& message, uint32_t timeoutMs) = 0;
  // Sends one whole message only if that needs no waiting, no connecting and nothing
  // logged; false leaves it unsent, for a Write. A channel that cannot tell never does.
  virtual bool WriteNow(const std::string& /*message*/) { return false; }
  // Releases the connection; harmless when not open.
  virtual void Close() = 0;
  // Drops one whole message that is already waiting, without waiting for one and without
  // reconnecting; true when one was dropped. A request channel uses it to clear away
  // answers that came too late, before it writes the next request.
  virtual bool DiscardWaiting() { return false; }
  // A server: how many clients it has let go so far, whether they left or were dropped.
  // Its owner compares two readings to learn that a client's connection has ended. A
  // channel that cannot tell stays at 0.
  virtual uint64_t ClientsLetGo() const { return 0; }
  // How many messages this end has taken off the pipe so far, and whether another waits
  // there now, read together (any thread, while the channel is open): a message is either
  // counted as taken or seen waiting. A channel that cannot tell reports none of either.
  virtual uint64_t TakenMessages(bool& waiting) {
    waiting = false;
    return 0;
  }
  // The count alone, without looking at the pipe.
  virtual uint64_t TakenCount() {
    bool waiting = false;
    return TakenMessages(waiting);
  }
  // A client: a duplicate of its connection's handle, for an event loop to watch for the
  // next message (closed with NamedPipe::CloseDuplicate), or -1 where the channel offers
  // none. Closing the channel ends the connection for the duplicate as well.
  virtual std::intptr_t DuplicateConnection() { return -1; }
  // The number of this end's current connection, unique in the process (0: none known).
  virtual uint64_t Connection() const { return 0; }
  // Whether the peer of the current connection may run on a CPU other than this process's
  // (so that spinning for its next message can pay), as found at connection.
  virtual bool PeerMayRunElsewhere() const { return false; }
  // Sends a text its caller compressed already (to learn its size), as the channel would
  // have compressed it. A channel that carries texts only, as this default assumes, sends
  // the stream's text.
  virtual bool WriteCompressed(const std::string& stream, size_t textLength,
                               uint32_t timeoutMs);

  // Why the last Open, Read or Write failed (None after a success).
  virtual ChannelError LastError() const { return lastError_; }
  // The sizes of the last message read and of the last message written (or refused).
  virtual MessageSizes LastReadSizes() const { return lastRead_; }
  virtual MessageSizes LastWriteSizes() const { return lastWrite_; }

  std::string GetName() const { return name_; }
  const std::string& Name() const { return name_; }
  int32_t GetMode() const { return mode_; }
  bool IsValid() const { return !name_.empty() && mode_ != 0; }
  bool IsServer() const { return mode_ == ServerRequest || mode_ == ServerCallback; }

 protected:
  void SetChannelError(ChannelError error) { lastError_ = error; }
  void SetReadSizes(size_t compressed, size_t text) { lastRead_ = {compressed, text}; }
  void SetWriteSizes(size_t compressed, size_t text) { lastWrite_ = {compressed, text}; }

 private:
  std::string name_;
  int32_t mode_;
  ChannelError lastError_ = ChannelError::None;
  MessageSizes lastRead_;
  MessageSizes lastWrite_;
};

}  // namespace IPC
