// The named-pipe channel: whole bzip2-compressed messages over a local message pipe, with
// time limits and reconnection. The platform backend lives in NamedPipe<Platform>.cpp.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/AdaptiveSpin.h"
#include "transport/Bzip2Codec.h"
#include "transport/IPCInterface.h"

namespace IPC {

class NamedPipe : public IPCInterface {
 public:
  // A file descriptor or a system handle; both fit and both use -1 as "none".
  using NativeHandle = std::intptr_t;
  static constexpr NativeHandle kInvalidHandle = -1;

  // Two backslashes, a full stop, a backslash, "pipe" and a backslash.
  static constexpr const char* kPipePrefix = "\\\\.\\pipe\\";
  // Bytes the pipe buffers in each direction.
  static constexpr uint32_t kPipeBufferSize = 102400;
  // Largest message a read takes.
  static constexpr uint32_t kReadBufferSize = 102400;
  // Largest compressed message a write sends.
  static constexpr uint32_t kMaxMessageSize = 102400;
  // Pause between attempts that cannot wait on the pipe itself.
  static constexpr uint32_t kRetryPauseMs = 5;
  // Limit of the reopen that follows a broken connection (counts as 1 ms).
  static constexpr uint32_t kReopenTimeoutMs = 0;

  NamedPipe(std::string name, int32_t mode);
  ~NamedPipe() override;

  bool Open(uint32_t timeoutMs) override;
  bool Read(std::string& message, uint32_t timeoutMs) override;
  bool ReadIfWaiting(std::string& message) override;
  bool Write(const std::string& message, uint32_t timeoutMs) override;
  // Linux: on a connection already made, with room for the message at once.
  bool WriteNow(const std::string& message) override;
  void Close() override;
  bool DiscardWaiting() override;
  uint64_t TakenMessages(bool& waiting) override;
  uint64_t TakenCount() override;
  // A server lets its current client go and goes on listening under the same name, which
  // it never gives up while open. Nothing for a client.
  void DropClient();
  uint64_t ClientsLetGo() const override { return clientsLetGo_; }
  // Linux client: a duplicate of the connected socket; -1 elsewhere. Whoever watches it
  // may make the shared socket non-blocking; the channel's next read makes it blocking again.
  NativeHandle DuplicateConnection() override;
  uint64_t Connection() const override { return connection_; }
  bool PeerMayRunElsewhere() const override { return peerElsewhere_; }
  static void CloseDuplicate(NativeHandle duplicate);
  // Whether the peer of `connection` (a connection or its duplicate) may run on another CPU
  // than the calling thread, now: their affinities may have changed since the connection
  // was made. True where unknown, and on Windows.
  static bool SpinCanPayOn(NativeHandle connection);

  // Sends a message that is already compressed (a bzip2 stream of the text and its NUL,
  // as Write would make it), so that a caller who had to compress it anyway, to learn its
  // size, does not pay for the compression twice. Refuses, with Write's lines, streams
  // longer than kMaxMessageSize and streams of a `textLength`-byte text that the receiver
  // would refuse to decompress.
  bool WriteCompressed(const std::string& stream, size_t textLength, uint32_t timeoutMs) override;
  // The same without the decompression check, for a stream whose text is unknown (a test
  // of how a peer treats a stream it must refuse).
  bool WriteCompressed(const std::string& stream, uint32_t timeoutMs);

  bool IsOpen() const { return handle_ != kInvalidHandle; }
  const std::string& GetPipePath() const { return pipePath_; }

 private:
  // Deadlines come from the monotonic clock, so a change of the wall clock cannot stretch
  // or cut a wait.
  using Clock = std::chrono::steady_clock;
  // A limit of 0 counts as 1 ms.
  static Clock::time_point DeadlineAfter(uint32_t timeoutMs);
  // Sleeps one retry pause, or less when the deadline comes first.
  static void PauseUntil(Clock::time_point deadline);

  // The channel's log lines, with its name and mode.
  void LogFailure(const char* text) const;
  void LogFailure(const char* text, unsigned int errorCode) const;
  void LogCreateFailed(unsigned int errorCode) const;
  void LogClientOpenFailed(unsigned int errorCode) const;
  void LogWriteFailed(unsigned int errorCode) const;
  // A message longer than any valid one arrived; it is reported as one that cannot be
  // decompressed, which it is.
  void LogOversizedMessage(unsigned int errorCode) const;
  // Sends one stream that passed every check.
  bool SendStream(const std::string& stream, uint32_t timeoutMs);

  // Platform backend. The open steps log their own failures.
  bool OpenServer();
  bool OpenClient(uint32_t timeoutMs);
  // Sends one whole message within the limit, reconnecting when the peer went away.
  bool SendMessage(const char* data, size_t length, uint32_t timeoutMs);
  // Waits up to the limit for one whole message into readBuffer_; a time-out logs nothing.
  bool ReceiveMessage(uint32_t timeoutMs, size_t& length);
  // Linux: one receive of what waits into readBuffer_, counted when a message was taken:
  // a whole message (its length), one too large (logged, TooLarge), or none (why, in
  // `error`: EAGAIN when nothing waits, ECONNRESET when the peer closed).
  enum class Taken { Message, TooLarge, Nothing };
  // With `block`, the receive sleeps until a message comes or the socket's receive limit
  // passes (EAGAIN), and holds no lock meanwhile.
  Taken TakeWaiting(int fd, size_t& length, int& error, bool block = false);
  // Linux: gives the connection's receives a limit that ends shortly before `deadline`;
  // false when too little is left for one (poll waits that out) or it cannot be set.
  bool LimitReceive(int fd, Clock::time_point deadline);
  // One whole message into readBuffer_ only if one waits now; false with Timeout when none
  // does.
  bool ReceiveWaiting(size_t& length);
  // Decompresses the message of `length` in readBuffer_ into message.
  bool DecodeReceived(size_t length, std::string& message);
  // The endpoint messages travel on; a server accepts a waiting client first. When there
  // is none, `error` says why (EAGAIN: no client yet).
  NativeHandle Connection(int& error);
  // After the peer went away: a server drops its client, a client closes and reopens.
  bool Reconnect();
  // Linux server, on accepting a client: takes the one place in its queue (queueHolder_).
  void HoldQueue();
  // Windows server: whether a client is connected and runs as this user, which is asked
  // once per client; a client of another user is let go. When not, `error` says why.
  bool ClientAdmitted(unsigned long& error);

  std::string pipePath_;
  // What Open made: a server's listening endpoint, or a client's connection.
  NativeHandle handle_ = kInvalidHandle;
  // A server's current client, where the platform keeps it apart from handle_.
  NativeHandle client_ = kInvalidHandle;
  // Where a server's queue of waiting clients would let a second client in while one is
  // served (Linux), a connection of the server's own that keeps the one place of that
  // queue taken, so that other clients are refused at once as busy.
  NativeHandle queueHolder_ = kInvalidHandle;
  // Windows server: whether the current client's user has been checked.
  bool clientChecked_ = false;
  // Servers: clients let go so far (read by ClientsLetGo).
  uint64_t clientsLetGo_ = 0;
  // Clients: the number of the current connection, unique in the process; whether it has
  // been duplicated (its close then shuts it down, so that no duplicate keeps it open for
  // the peer).
  uint64_t connection_ = 0;
  // Whether the peer may run on another CPU than this end and the CPU quota leaves room
  // for a spin: found at connection, then again at most once every kPlacementCheckEvery,
  // at the start of a request connection's read (an affinity or a quota may be set or
  // lifted at any time). Read by any thread (PeerMayRunElsewhere).
  std::atomic<bool> peerElsewhere_{false};
  std::chrono::steady_clock::time_point placementCheckedAt_{};
  bool duplicated_ = false;

  // Held while a message is taken off the pipe and counted, and while the connection
  // changes, so that TakenMessages reads a count and the pipe that agree.
  std::mutex takeLock_;
  uint64_t taken_ = 0;
  // Kept between messages so that the hot path neither allocates nor clears buffers.
  Bzip2Codec codec_;
  std::unique_ptr<char[]> readBuffer_;
  std::string writeBuffer_;
  // Both ends of a request pipe ask again for a short while before they sleep on the next
  // message, while that has lately paid and the peer can run on another CPU (found at
  // connection). Longer than an idle CPU's wake-up: with a spin shorter than it, each end
  // could run out just before the other, itself still waking, sent, and both then slept.
  bool spinForMessages_ = false;
  // Linux, request connections: the connection is blocking, and its reads sleep in the
  // receive with the limit last given (receiveLimitMs_, 0 when none) rather than in poll.
  bool blockInReceive_ = false;
  int64_t receiveLimitMs_ = 0;
  AdaptiveSpin spin_{std::chrono::microseconds(100)};
  static constexpr auto kPlacementCheckEvery = std::chrono::seconds(1);
  // Linux: finds whether spins can pay on connection `fd` (see peerElsewhere_); the spin
  // starts afresh on a new connection and when the answer changed.
  void CheckPlacement(int fd, bool newConnection);
  // A callback client whose last open failed: its worker reopens ten times a second while
  // the host is away, so only the first failure and the recovery are logged.
  bool openFailing_ = false;
};

}  // namespace IPC
