// The platform-neutral half of the named-pipe channel: names, argument checks, compression,
// deadlines and pauses, and the log lines. The transfer itself is in the platform backend.
#include "transport/NamedPipe.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "base/Log.h"

namespace IPC {

namespace {

constexpr const char* kNameEmpty = "Open : Failed to create IPC object as input name is empty";
constexpr const char* kCreateFailed = "Open : Failed to create IPC object";
constexpr const char* kClientOpenFailed = "Open : Client IPC object open failed";
constexpr const char* kMessageEmpty = "Write : Failed to write as input message is empty";
constexpr const char* kCompressFailed = "Write : Failed to compress";
constexpr const char* kTooLong = "Write : Failed to write as input buffer is too long (Size:";
constexpr const char* kTooRepetitive =
    "Write : Failed to write as input message compresses more than 100:1, which the receiver "
    "refuses (Size:";
constexpr const char* kWriteFailed = "Write : Failed to write message";
constexpr const char* kDecompressFailed = "Read : Failed to decompress  (error:";
// A write buffer grown past this for one large text is given back afterwards.
constexpr size_t kKeptWriteBuffer = 1 << 20;

}  // namespace

NamedPipe::NamedPipe(std::string name, int32_t mode)
    : IPCInterface(std::move(name), mode),
      pipePath_(kPipePrefix + Name()),
      readBuffer_(new char[kReadBufferSize]) {}

NamedPipe::~NamedPipe() { Close(); }

bool NamedPipe::Open(uint32_t timeoutMs) {
  if (Name().empty() || pipePath_.empty()) {
    LogError(kNameEmpty, "", GetMode());
    SetChannelError(ChannelError::Other);
    return false;
  }
  SetChannelError(ChannelError::None);
  if (IsServer() && IsOpen()) {
    // The name stays ours: a server that opens again only lets its client go.
    DropClient();
    return true;
  }
  Close();
  const bool opened = IsServer() ? OpenServer() : OpenClient(timeoutMs);
  if (GetMode() == ClientCallback && opened == openFailing_) {
    openFailing_ = !opened;
    if (opened) {
      LogInfo("Open : Client IPC object open again (PluginId:" + Name() + ") (Mode:" +
              std::to_string(GetMode()) + ")");
    }
  }
  return opened;
}

bool NamedPipe::Read(std::string& message, uint32_t timeoutMs) {
  message.clear();
  SetReadSizes(0, 0);
  SetChannelError(ChannelError::None);
  size_t length = 0;
  return ReceiveMessage(timeoutMs, length) && DecodeReceived(length, message);
}

bool NamedPipe::ReadIfWaiting(std::string& message) {
  message.clear();
  SetReadSizes(0, 0);
  SetChannelError(ChannelError::None);
  size_t length = 0;
  return ReceiveWaiting(length) && DecodeReceived(length, message);
}

uint64_t NamedPipe::TakenCount() {
  std::lock_guard<std::mutex> hold(takeLock_);
  return taken_;
}

bool NamedPipe::DecodeReceived(size_t length, std::string& message) {
  int status = 0;
  if (codec_.Decompress(readBuffer_.get(), length, message, status)) {
    SetReadSizes(length, message.size());
    return true;
  }
  LogFailure(kDecompressFailed, static_cast<unsigned int>(status));
  SetChannelError(ChannelError::BadMessage);
  return false;
}

bool NamedPipe::Write(const std::string& message, uint32_t timeoutMs) {
  SetWriteSizes(0, message.size());
  if (message.empty()) {
    LogFailure(kMessageEmpty);
    SetChannelError(ChannelError::Other);
    return false;
  }
  const int status = codec_.Compress(message, writeBuffer_);
  bool sent = false;
  if (status != 0) {
    LogFailure(kCompressFailed, static_cast<unsigned int>(status));
    SetChannelError(ChannelError::Other);
  } else if (writeBuffer_.empty()) {
    LogFailure(kCompressFailed, 0);
    SetChannelError(ChannelError::Other);
  } else {
    sent = WriteCompressed(writeBuffer_, message.size(), timeoutMs);
  }
  if (writeBuffer_.capacity() > kKeptWriteBuffer) std::string().swap(writeBuffer_);
  return sent;
}

bool NamedPipe::WriteCompressed(const std::string& stream, size_t textLength,
                                uint32_t timeoutMs) {
  SetWriteSizes(stream.size(), textLength);
  // The receiver gives the decompressor room for 100 times the stream, and the text
  // travels with its NUL: a text beyond that would be refused after a wasted trip, and
  // its sender would wait for an answer that never comes.
  if (!stream.empty() && textLength + 1 > Bzip2Codec::DecompressCapacity(stream.size())) {
    const std::string text = kTooRepetitive + std::to_string(textLength) + " to " +
                             std::to_string(stream.size()) + ")";
    LogFailure(text.c_str());
    SetChannelError(ChannelError::TooRepetitive);
    return false;
  }
  return SendStream(stream, timeoutMs);
}

bool NamedPipe::WriteCompressed(const std::string& stream, uint32_t timeoutMs) {
  SetWriteSizes(stream.size(), 0);
  return SendStream(stream, timeoutMs);
}

bool NamedPipe::SendStream(const std::string& stream, uint32_t timeoutMs) {
  SetChannelError(ChannelError::None);
  if (stream.empty()) {
    LogFailure(kMessageEmpty);
    SetChannelError(ChannelError::Other);
    return false;
  }
  if (stream.size() > kMaxMessageSize) {
    const std::string text = kTooLong + std::to_string(stream.size()) + ")";
    LogFailure(text.c_str());
    SetChannelError(ChannelError::TooLarge);
    return false;
  }
  return SendMessage(stream.data(), stream.size(), timeoutMs);
}

NamedPipe::Clock::time_point NamedPipe::DeadlineAfter(uint32_t timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(std::max<uint32_t>(timeoutMs, 1));
}

void NamedPipe::PauseUntil(Clock::time_point deadline) {
  const auto pauseEnd = Clock::now() + std::chrono::milliseconds(kRetryPauseMs);
  std::this_thread::sleep_until(std::min(pauseEnd, deadline));
}

void NamedPipe::LogFailure(const char* text) const { LogError(text, Name(), GetMode()); }

void NamedPipe::LogFailure(const char* text, unsigned int errorCode) const {
  LogError(text, Name(), GetMode(), errorCode);
}

void NamedPipe::LogCreateFailed(unsigned int errorCode) const {
  LogFailure(kCreateFailed, errorCode);
}

void NamedPipe::LogClientOpenFailed(unsigned int errorCode) const {
  if (openFailing_) return;  // logged when it began to fail
  LogFailure(kClientOpenFailed, errorCode);
}

void NamedPipe::LogWriteFailed(unsigned int errorCode) const {
  LogFailure(kWriteFailed, errorCode);
}

void NamedPipe::LogOversizedMessage(unsigned int errorCode) const {
  LogFailure(kDecompressFailed, errorCode);
}

}  // namespace IPC
