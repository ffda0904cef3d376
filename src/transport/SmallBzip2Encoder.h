// A bzip2 compressor for short texts: one block-size-9 stream of one block, built with a
// direct sort of the rotations and a single Huffman table fitted to the block. It skips the
// set-up and the table refinement that dominate the general compressor's time on a message
// of a few hundred bytes; its streams are standard and decompress with any bzip2 decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace IPC {

class SmallBzip2Encoder {
 public:
  // Longest input taken: what the codec sends it (Bzip2Codec::kShortTextLimit, a text and
  // its NUL), far below the 900k block, so one block always holds it.
  static constexpr size_t kMaxLength = 2048;
  // The longest Huffman code written, as bzip2's own encoder does (decoders take up to 20).
  static constexpr int kMaxCodeLength = 17;
  // 258 symbols need codes of 9 bits at the least.
  static constexpr int kMinCodeLengthLimit = 9;

  // codeLengthLimit (clamped to [kMinCodeLengthLimit, kMaxCodeLength]) bounds the codes
  // written. Below 2 KB of input no code comes near 17 bits; a lower limit makes the
  // limiter work on short inputs too, which is how the tests drive it.
  explicit SmallBzip2Encoder(int codeLengthLimit = kMaxCodeLength);

  // Writes the stream of data[0, length) into out[0, capacity) and returns its length, or
  // 0 when the input is longer than kMaxLength or the stream does not fit in `capacity`.
  size_t Encode(const unsigned char* data, size_t length, unsigned char* out, size_t capacity);

  // Huffman code lengths for frequency[0, alphaSize) (2 to 258 symbols; a zero counts as
  // one), none longer
  // than limit (kMinCodeLengthLimit or more): while the tree is too deep, every frequency
  // is halved, rounding up, and the tree built again. Returns how many times it was.
  static int CodeLengths(const uint32_t* frequency, int alphaSize, int limit, uint8_t* length);
  // How many times the last block's frequencies were halved to fit the limit.
  int LastLimiterRounds() const { return limiterRounds_; }

 private:
  void RunLengthEncode(const unsigned char* data, size_t length);
  // Sorts the rotations of block_ into order_; returns the row of the unrotated block.
  uint32_t SortRotations();
  // Move-to-front of the last column with zero runs as RUNA/RUNB, ending in end-of-block.
  void MoveToFront(const uint16_t inUse[16]);

  std::vector<unsigned char> block_;  // the input after the first run-length stage
  std::vector<uint32_t> order_;       // rotation starts in sorted order
  std::vector<uint32_t> rank_;        // sort rank of each rotation start
  std::vector<uint64_t> keys_;        // (rank of the next span << 32) | start, per pass
  std::vector<uint32_t> ties_;        // [start, end) ranges of order_ still tied
  std::vector<uint32_t> pass_;        // the ties the current pass orders
  std::vector<uint16_t> symbols_;     // the coded symbols
  uint32_t frequency_[258];
  uint8_t length_[258];
  uint32_t code_[258];
  int codeLengthLimit_;
  int limiterRounds_ = 0;
};

}  // namespace IPC
