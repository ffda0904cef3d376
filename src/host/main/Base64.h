// Base64 decoding, for reply texts that control commands carry as arbitrary bytes.
#pragma once

#include <string>

namespace ReferenceHost {

class Base64 {
 public:
  // Standard alphabet with optional padding; false on any other character.
  static bool Decode(const std::string& text, std::string& bytes);
};

}  // namespace ReferenceHost
