// The kept blocks, handed out in the order a stream asks for them.
#include "LibraryBzip2.h"

#include <bzlib.h>

#include <vector>

#include "FuzzCheck.h"
#include "transport/Bzip2Codec.h"

namespace Fuzz {

namespace {

// A compressor asks for four blocks, a decompressor for two.
struct KeptMemory {
  std::vector<char> blocks[4];
  int next = 0;
};

void* Keep(void* opaque, int items, int size) {
  auto* kept = static_cast<KeptMemory*>(opaque);
  if (kept->next == 4) return nullptr;
  std::vector<char>& block = kept->blocks[kept->next++];
  const size_t bytes = static_cast<size_t>(items) * static_cast<size_t>(size);
  if (block.size() < bytes) block.resize(bytes);
  return block.data();
}

void ReleaseNothing(void*, void*) {}

bz_stream KeptStream() {
  static KeptMemory kept;
  kept.next = 0;
  bz_stream bz{};
  bz.bzalloc = &Keep;
  bz.bzfree = &ReleaseNothing;
  bz.opaque = &kept;
  return bz;
}

}  // namespace

int LibraryDecompress(const char* stream, size_t length, size_t room, std::string& content) {
  bz_stream bz = KeptStream();
  int status = BZ2_bzDecompressInit(&bz, 0, 0);
  if (status != BZ_OK) return status;
  content.assign(room, '\0');
  bz.next_in = const_cast<char*>(stream);
  bz.avail_in = static_cast<unsigned int>(length);
  bz.next_out = &content[0];
  bz.avail_out = static_cast<unsigned int>(room);
  status = BZ2_bzDecompress(&bz);
  content.resize(room - bz.avail_out);
  BZ2_bzDecompressEnd(&bz);
  if (status == BZ_STREAM_END) return BZ_OK;
  if (status == BZ_OK) return bz.avail_out == 0 ? BZ_OUTBUFF_FULL : BZ_UNEXPECTED_EOF;
  return status;
}

std::string LibraryCompress(const std::string& text, int blockSize) {
  bz_stream bz = KeptStream();
  FUZZ_CHECK(BZ2_bzCompressInit(&bz, blockSize, 0, 0) == BZ_OK);
  std::string stream(IPC::Bzip2Codec::CompressCapacity(text.size()), '\0');
  bz.next_in = const_cast<char*>(text.data());
  bz.avail_in = static_cast<unsigned int>(text.size());
  bz.next_out = &stream[0];
  bz.avail_out = static_cast<unsigned int>(stream.size());
  FUZZ_CHECK(BZ2_bzCompress(&bz, BZ_FINISH) == BZ_STREAM_END);
  stream.resize(stream.size() - bz.avail_out);
  BZ2_bzCompressEnd(&bz);
  return stream;
}

}  // namespace Fuzz
