// The common face of the two wire messages: each writes and reads its own JSON text.
#pragma once

#include <string>

namespace IPC {

// Messages are plain values made on the stack; they are never destroyed through a
// Message, so the destructor is protected and not virtual.
class Message {
 public:
  // The message's compact JSON text; cannot fail.
  virtual std::string ToJSONString() const = 0;
  // Fills the message from a JSON text; true when the text held a message of this kind.
  // Fields whose members are absent keep their values.
  virtual bool FromJSONString(const std::string& text) = 0;

 protected:
  Message() = default;
  Message(const Message&) = default;
  Message& operator=(const Message&) = default;
  ~Message() = default;
};

}  // namespace IPC
