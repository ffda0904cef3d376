// What every channel shares: words for its failure reasons, for the log and the trace, and
// what a channel that carries texts only does to send an already compressed text or to
// read a message only if one waits.
#include "transport/IPCInterface.h"

#include "transport/Bzip2Codec.h"

namespace IPC {

bool IPCInterface::WriteCompressed(const std::string& stream, size_t textLength,
                                   uint32_t timeoutMs) {
  if (textLength + 1 > Bzip2Codec::DecompressCapacity(stream.size())) {
    SetChannelError(ChannelError::TooRepetitive);  // as a named pipe would refuse it
    return false;
  }
  Bzip2Codec codec;
  std::string text;
  int status = 0;
  if (!codec.Decompress(stream.data(), stream.size(), text, status) || text.size() != textLength) {
    SetChannelError(ChannelError::BadMessage);
    return false;
  }
  return Write(text, timeoutMs);
}

bool IPCInterface::ReadIfWaiting(std::string& message) {
  bool waiting = false;
  TakenMessages(waiting);
  if (waiting) return Read(message, 0);
  message.clear();
  SetChannelError(ChannelError::Timeout);
  return false;
}

const char* ChannelErrorName(ChannelError error) {
  switch (error) {
    case ChannelError::None: return "none";
    case ChannelError::Timeout: return "timed out";
    case ChannelError::Closed: return "closed by peer";
    case ChannelError::TooLarge: return "too large";
    case ChannelError::TooRepetitive: return "too repetitive";
    case ChannelError::Busy: return "busy";
    case ChannelError::Access: return "access denied";
    case ChannelError::BadMessage: return "bad message";
    case ChannelError::Other: break;
  }
  return "other";
}

}  // namespace IPC
