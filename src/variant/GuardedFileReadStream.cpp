// Block reading for GuardedFileReadStream.
#include "variant/GuardedFileReadStream.h"

namespace IPC {

GuardedFileReadStream::GuardedFileReadStream(std::FILE* file, char* buffer, std::size_t bufferSize)
    : file(file), buffer(buffer), bufferSize(bufferSize), last(buffer), current(buffer) {
  ReadBlock();
}

void GuardedFileReadStream::ReadBlock() {
  if (ended) return;  // stay on the end marker
  consumed += blockSize;
  blockSize = std::fread(buffer, 1, bufferSize, file);
  if (!guard.Feed(buffer, blockSize)) blockSize = 0;
  current = buffer;
  // A short block leaves room for the end marker; after a full one the next read
  // (returning nothing) places it at the start.
  if (blockSize < bufferSize) {
    buffer[blockSize] = '\0';
    last = buffer + blockSize;
    ended = true;
  } else {
    last = buffer + blockSize - 1;
  }
}

}  // namespace IPC
