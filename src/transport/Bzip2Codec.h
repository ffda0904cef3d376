// bzip2 compression of whole channel messages: one block-size-9 stream of the text and its NUL.
// Short texts go through a compressor and a decoder specialised for them; longer ones, and
// every stream the decoder declines, through libbzip2, whose working memory (several MB per
// stream) is kept between messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/SmallBzip2Decoder.h"
#include "transport/SmallBzip2Encoder.h"

namespace IPC {

class Bzip2Codec {
 public:
  Bzip2Codec() = default;
  ~Bzip2Codec();

  Bzip2Codec(const Bzip2Codec&) = delete;
  Bzip2Codec& operator=(const Bzip2Codec&) = delete;

  // Room given to the compressor for a text of `textLength` bytes (its NUL included):
  // (textLength + 1) x 1.01 + 600, in single precision, truncated.
  static uint32_t CompressCapacity(size_t textLength);
  // Room given to the decompressor: 100 x the compressed length.
  static uint64_t DecompressCapacity(size_t streamLength);

  // Texts (NUL included) up to this size take the short-text compressor, which is about 4
  // times as fast as the library on a 100-byte text and 2 times at 2 KB; by 4 KB the two
  // are even, and beyond the library's sort wins.
  static constexpr size_t kShortTextLimit = 2048;

  // Compresses `text` with its terminating NUL into `stream`: one standard bzip2 stream of
  // block size 9 that fits in CompressCapacity bytes. Above kShortTextLimit it is byte for
  // byte what BZ2_bzBuffToBuffCompress (block size 9, verbosity 0, work factor 0) gives
  // with that destination; at or below, the short-text compressor's stream, which any
  // bzip2 decoder expands to the same bytes. Returns the library's status (BZ_OK = 0 on
  // success); on failure `stream` is empty.
  int Compress(const std::string& text, std::string& stream);

  // Decompresses one stream and puts its content less the final byte (the NUL) in `text`,
  // as BZ2_bzBuffToBuffDecompress (small 0, verbosity 0) would with a destination of
  // DecompressCapacity bytes. A stream of one short text is decoded without the library. Fails with `status` 0 on empty input or empty content, else
  // with the library's status (BZ_OUTBUFF_FULL = -8 when the content is too large).
  // On failure `text` is empty.
  bool Decompress(const char* stream, size_t length, std::string& text, int& status);

 private:
  // bzalloc/bzfree hooks: hand out the blocks kept from earlier streams.
  static void* Allocate(void* codec, int items, int size);
  static void Release(void* codec, void* memory);

  struct Block {
    void* memory = nullptr;
    size_t size = 0;
    bool inUse = false;
  };
  // A compressor holds four blocks at once and a decompressor two; a few spare slots
  // let one codec keep both sets.
  static constexpr int kBlockSlots = 8;
  Block blocks_[kBlockSlots];
  SmallBzip2Encoder shortTextEncoder_;
  SmallBzip2Decoder shortTextDecoder_;
};

}  // namespace IPC
