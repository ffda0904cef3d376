// Words for the channel's failure reasons, for the log and the trace.
#include "transport/IPCInterface.h"

namespace IPC {

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
