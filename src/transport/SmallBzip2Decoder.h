// A bzip2 decoder for the streams the channel carries most: one block holding a text of up
// to 2 KB. It takes each step libbzip2's decompressor takes, and checks what it checks,
// without setting up several MB of state per stream, which costs more than the decoding of
// a message of a hundred bytes. Whatever it does not accept whole (another shape of stream,
// a longer text, any fault) it declines, and the caller hands the stream to libbzip2, which
// decodes it or names the fault: on every stream it accepts, libbzip2 gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace IPC {

class SmallBzip2Decoder {
 public:
  // Longest content decoded: the short texts (with their NUL) the codec compresses itself.
  static constexpr size_t kMaxLength = 2048;

  // The content of stream[0, length) into `content`, when the stream is one standard
  // bzip2 stream of one block, not randomised, its CRCs right, nothing after it, and its
  // content at most min(limit, kMaxLength) bytes. False otherwise: nothing was decided, and
  // `content` is as it was.
  bool Decode(const unsigned char* stream, size_t length, size_t limit, std::string& content);

 private:
  class BitReader;

  static constexpr int kMaxTables = 6;
  static constexpr int kMaxSymbols = 258;
  // Code lengths run from 1 to 20; the tables are indexed up to length + 1.
  static constexpr int kLengthSlots = 23;
  // The block before the first run-length stage: at worst 5 bytes for every 4 of content.
  static constexpr size_t kMaxBlock = kMaxLength / 4 * 5 + 4;
  // Far more than any encoder writes for such a block (one per 50 symbols).
  static constexpr uint32_t kMaxSelectors = 1024;

  bool ReadTables(BitReader& in, int alphaSize);
  void MakeDecodeTable(int table, const uint8_t* lengths, int alphaSize, int minLength,
                       int maxLength);
  // The block's bytes (low 8 bits of block_), its length in *blockLength; false on a fault.
  bool ReadSymbols(BitReader& in, int usedBytes, size_t* blockLength);

  int tableCount_ = 0;
  uint32_t selectorCount_ = 0;
  uint8_t selector_[kMaxSelectors];
  uint8_t byteOf_[256];  // the n-th byte value the block uses
  uint32_t byteCount_[256];
  int minLength_[kMaxTables];
  int32_t limit_[kMaxTables][kLengthSlots];
  int32_t base_[kMaxTables][kLengthSlots];
  int32_t symbolOf_[kMaxTables][kMaxSymbols];
  // Each entry: a byte of the block in its low 8 bits, and once linked, the position of
  // the next byte of the content above them.
  uint32_t block_[kMaxBlock];
  unsigned char ordered_[kMaxBlock];  // the block's bytes in the content's order
  unsigned char content_[kMaxLength + 4];  // room for a run's four bytes written at once
};

}  // namespace IPC
