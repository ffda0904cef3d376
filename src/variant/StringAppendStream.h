// A RapidJSON output stream that appends to a std::string, so JSON text is written
// straight into the caller's string without an intermediate buffer and copy.
#pragma once

#include <cstddef>
#include <string>

namespace IPC {

class StringAppendStream {
 public:
  typedef char Ch;

  explicit StringAppendStream(std::string& out) : out(out) {}

  void Put(char c) { out.push_back(c); }
  void Flush() {}
  // Called by the writers before a run of Put (found through argument-dependent lookup).
  void Reserve(std::size_t count) {
    if (out.capacity() - out.size() < count) out.reserve(out.size() + count);
  }

 private:
  std::string& out;
};

inline void PutReserve(StringAppendStream& stream, std::size_t count) { stream.Reserve(count); }
inline void PutUnsafe(StringAppendStream& stream, char c) { stream.Put(c); }

}  // namespace IPC
