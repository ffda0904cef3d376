// The platform-neutral half of the named-pipe channel: names, argument checks, compression
// and the log lines. The transfer itself is in the platform backend.
#include "transport/NamedPipe.h"

#include <utility>

#include "base/Log.h"

namespace IPC {

namespace {

constexpr const char* kNameEmpty = "Open : Failed to create IPC object as input name is empty";
constexpr const char* kMessageEmpty = "Write : Failed to write as input message is empty";
constexpr const char* kCompressFailed = "Write : Failed to compress";
constexpr const char* kTooLong = "Write : Failed to write as input buffer is too long (Size:";
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
    return false;
  }
  Close();
  return IsServer() ? OpenServer() : OpenClient(timeoutMs);
}

bool NamedPipe::Read(std::string& message, uint32_t timeoutMs) {
  message.clear();
  size_t length = 0;
  if (!ReceiveMessage(timeoutMs, length)) return false;
  int status = 0;
  if (codec_.Decompress(readBuffer_.get(), length, message, status)) return true;
  LogDecompressFailure(static_cast<unsigned int>(status));
  return false;
}

bool NamedPipe::Write(const std::string& message, uint32_t timeoutMs) {
  if (message.empty()) {
    LogFailure(kMessageEmpty);
    return false;
  }
  const int status = codec_.Compress(message, writeBuffer_);
  bool sent = false;
  if (status != 0) {
    LogFailure(kCompressFailed, static_cast<unsigned int>(status));
  } else if (writeBuffer_.empty()) {
    LogFailure(kCompressFailed, 0);
  } else {
    sent = WriteCompressed(writeBuffer_, timeoutMs);
  }
  if (writeBuffer_.capacity() > kKeptWriteBuffer) std::string().swap(writeBuffer_);
  return sent;
}

bool NamedPipe::WriteCompressed(const std::string& stream, uint32_t timeoutMs) {
  if (stream.empty()) {
    LogFailure(kMessageEmpty);
    return false;
  }
  if (stream.size() > kMaxMessageSize) {
    const std::string text = kTooLong + std::to_string(stream.size()) + ")";
    LogFailure(text.c_str());
    return false;
  }
  return SendMessage(stream.data(), stream.size(), timeoutMs);
}

void NamedPipe::LogFailure(const char* text) const { LogError(text, Name().c_str(), GetMode()); }

void NamedPipe::LogFailure(const char* text, unsigned int errorCode) const {
  LogError(text, Name().c_str(), GetMode(), errorCode);
}

void NamedPipe::LogDecompressFailure(unsigned int errorCode) const {
  LogFailure(kDecompressFailed, errorCode);
}

}  // namespace IPC
