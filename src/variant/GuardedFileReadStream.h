// A RapidJSON input stream over a FILE that passes each block through JsonGuard
// before the parser may read it.
#pragma once

#include <cstddef>
#include <cstdio>

#include "variant/JsonGuard.h"

namespace IPC {

// Reads the file a block at a time into the caller's buffer, as RapidJSON's
// FileReadStream does. A refused block is never handed to the parser: the stream ends
// before it, and Refused() tells the caller to discard whatever the parser built.
// Checking each block as it is read (rather than in a first pass) means the text that
// is checked is exactly the text that is parsed, even if the file changes meanwhile.
class GuardedFileReadStream {
 public:
  typedef char Ch;

  // bufferSize must be at least 1.
  GuardedFileReadStream(std::FILE* file, char* buffer, std::size_t bufferSize);

  Ch Peek() const { return *current; }
  Ch Take() {
    const Ch c = *current;
    Advance();
    return c;
  }
  std::size_t Tell() const { return consumed + static_cast<std::size_t>(current - buffer); }

  bool Refused() const { return guard.Refused(); }

  // Output is not supported; the parser never calls these with the default flags.
  void Put(Ch) {}
  void Flush() {}
  Ch* PutBegin() { return nullptr; }
  std::size_t PutEnd(Ch*) { return 0; }
  const Ch* Peek4() const { return nullptr; }

 private:
  void Advance() {
    if (current < last) {
      ++current;
    } else {
      ReadBlock();
    }
  }
  void ReadBlock();

  std::FILE* file;
  char* buffer;
  std::size_t bufferSize;
  char* last;     // the last readable byte of the block (the end marker at the end)
  char* current;  // the byte Peek returns
  std::size_t blockSize = 0;
  std::size_t consumed = 0;  // bytes in the blocks before this one
  bool ended = false;
  JsonGuard guard;
};

}  // namespace IPC
