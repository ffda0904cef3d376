// bzip2 through the stream interface, with the library's allocations served from blocks
// that outlive each stream; the bytes produced are those of the buffer-to-buffer calls,
// but for short texts, which the short-text compressor writes and decoder reads.
#include "transport/Bzip2Codec.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace IPC {

namespace {

constexpr int kBlockSize100k = 9;
constexpr int kVerbosity = 0;
constexpr int kWorkFactor = 0;
constexpr int kSmallMemory = 0;
constexpr uint64_t kDecompressRatio = 100;
// First guess of the content size; the output then doubles up to the capacity.
constexpr size_t kFirstGuessRatio = 4;
constexpr size_t kFirstGuessExtra = 256;

bz_stream StreamWith(void* codec, void* (*allocate)(void*, int, int),
                     void (*release)(void*, void*)) {
  bz_stream stream{};
  stream.bzalloc = allocate;
  stream.bzfree = release;
  stream.opaque = codec;
  return stream;
}

}  // namespace

Bzip2Codec::~Bzip2Codec() {
  for (Block& block : blocks_) std::free(block.memory);
}

uint32_t Bzip2Codec::CompressCapacity(size_t textLength) {
  return static_cast<uint32_t>(static_cast<float>(textLength + 1) * 1.01f + 600.0f);
}

uint64_t Bzip2Codec::DecompressCapacity(size_t streamLength) {
  return std::min<uint64_t>(kDecompressRatio * streamLength, std::numeric_limits<uint32_t>::max());
}

int Bzip2Codec::Compress(const std::string& text, std::string& stream) {
  stream.clear();
  // The capacity must stay a 32-bit count, as the library's lengths are.
  if (static_cast<float>(text.size() + 1) * 1.01f + 600.0f >=
      static_cast<float>(std::numeric_limits<uint32_t>::max())) {
    return BZ_PARAM_ERROR;
  }
  const uint32_t capacity = CompressCapacity(text.size());
  stream.resize(capacity);

  // c_str() ends in the NUL that travels with the text.
  if (text.size() + 1 <= kShortTextLimit) {
    const size_t produced = shortTextEncoder_.Encode(
        reinterpret_cast<const unsigned char*>(text.c_str()), text.size() + 1,
        reinterpret_cast<unsigned char*>(&stream[0]), capacity);
    if (produced > 0) {
      stream.resize(produced);
      return BZ_OK;
    }
    // Not in the room given: the library says so in its own terms.
  }

  bz_stream bz = StreamWith(this, &Allocate, &Release);
  int status = BZ2_bzCompressInit(&bz, kBlockSize100k, kVerbosity, kWorkFactor);
  if (status != BZ_OK) {
    stream.clear();
    return status;
  }
  bz.next_in = const_cast<char*>(text.c_str());
  bz.avail_in = static_cast<unsigned int>(text.size() + 1);
  bz.next_out = &stream[0];
  bz.avail_out = capacity;
  status = BZ2_bzCompress(&bz, BZ_FINISH);
  const uint32_t produced = capacity - bz.avail_out;
  BZ2_bzCompressEnd(&bz);

  if (status == BZ_STREAM_END) {
    stream.resize(produced);
    return BZ_OK;
  }
  stream.clear();
  return status == BZ_FINISH_OK ? BZ_OUTBUFF_FULL : status;
}

bool Bzip2Codec::Decompress(const char* data, size_t length, std::string& text, int& status) {
  text.clear();
  status = 0;
  if (length == 0) return false;
  if (length > std::numeric_limits<unsigned int>::max()) {
    status = BZ_PARAM_ERROR;
    return false;
  }
  const uint64_t capacity = DecompressCapacity(length);
  if (shortTextDecoder_.Decode(reinterpret_cast<const unsigned char*>(data), length,
                               static_cast<size_t>(capacity), text)) {
    if (text.empty()) return false;  // not reached: a block holds a byte at the least
    text.pop_back();
    status = BZ_OK;
    return true;
  }

  bz_stream bz = StreamWith(this, &Allocate, &Release);
  status = BZ2_bzDecompressInit(&bz, kVerbosity, kSmallMemory);
  if (status != BZ_OK) return false;
  bz.next_in = const_cast<char*>(data);
  bz.avail_in = static_cast<unsigned int>(length);

  // The output grows as content arrives, so a bomb costs at most the capacity and an
  // ordinary message no more than its own size.
  size_t size = static_cast<size_t>(std::min<uint64_t>(
      capacity, std::max(text.capacity(), kFirstGuessRatio * length + kFirstGuessExtra)));
  size_t produced = 0;
  for (;;) {
    text.resize(size);
    bz.next_out = &text[produced];
    bz.avail_out = static_cast<unsigned int>(size - produced);
    const int ret = BZ2_bzDecompress(&bz);
    produced = size - bz.avail_out;
    if (ret == BZ_STREAM_END) {
      status = BZ_OK;
      break;
    }
    if (ret != BZ_OK) {
      status = ret;
      break;
    }
    // BZ_OK: either the input ran out before the end of the stream, or the output is full.
    if (bz.avail_out > 0) {
      status = BZ_UNEXPECTED_EOF;
      break;
    }
    if (size == capacity) {
      status = BZ_OUTBUFF_FULL;
      break;
    }
    size = static_cast<size_t>(std::min<uint64_t>(capacity, uint64_t{size} * 2));
  }
  BZ2_bzDecompressEnd(&bz);

  if (status != BZ_OK || produced == 0) {
    text.clear();
    return false;
  }
  text.resize(produced - 1);
  return true;
}

void* Bzip2Codec::Allocate(void* opaque, int items, int size) {
  auto* codec = static_cast<Bzip2Codec*>(opaque);
  const size_t bytes = static_cast<size_t>(items) * static_cast<size_t>(size);
  Block* fit = nullptr;    // the smallest free block that is large enough
  Block* spare = nullptr;  // an empty slot, or else a free block too small to keep
  for (Block& block : codec->blocks_) {
    if (block.inUse) continue;
    if (block.memory != nullptr && block.size >= bytes) {
      if (fit == nullptr || block.size < fit->size) fit = &block;
    } else if (spare == nullptr || (spare->memory != nullptr && block.memory == nullptr)) {
      spare = &block;
    }
  }
  if (fit != nullptr) {
    fit->inUse = true;
    return fit->memory;
  }
  void* memory = std::malloc(bytes);
  if (memory != nullptr && spare != nullptr) {
    std::free(spare->memory);
    *spare = Block{memory, bytes, true};
  }
  return memory;
}

void Bzip2Codec::Release(void* opaque, void* memory) {
  auto* codec = static_cast<Bzip2Codec*>(opaque);
  for (Block& block : codec->blocks_) {
    if (block.memory == memory) {
      block.inUse = false;
      return;
    }
  }
  std::free(memory);  // handed out when every slot was taken
}

}  // namespace IPC
