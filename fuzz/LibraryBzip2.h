// libbzip2 as the harnesses' oracle: compression and buffer-to-buffer decompression, with
// the library's working memory (several MB per stream) kept from one input to the next, as
// the codec keeps it (a fresh allocation per stream would cost more than the rest of a run).
#pragma once

#include <cstddef>
#include <string>

namespace Fuzz {

// BZ2_bzBuffToBuffDecompress's status and content with `room` bytes of destination.
int LibraryDecompress(const char* stream, size_t length, size_t room, std::string& content);

// The library's stream of text at blockSize (1 to 9), work factor 0.
std::string LibraryCompress(const std::string& text, int blockSize);

}  // namespace Fuzz
