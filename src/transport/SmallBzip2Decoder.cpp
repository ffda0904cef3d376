// The stream, in reading order: "BZh" and the block size; the block (its magic, the CRC of
// its content, the randomised bit, the row of the original among the sorted rotations, the
// map of byte values used, the number of coding tables, the selectors, the tables' code
// lengths, then the coded symbols up to end-of-block); the end-of-stream magic and the
// combined CRC. The content is the block after undoing the Burrows-Wheeler transform and
// the first run-length stage.
#include "transport/SmallBzip2Decoder.h"

#include <algorithm>
#include <cstring>

#include "transport/Bzip2Crc.h"

namespace IPC {

namespace {

constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kEndMagic = 0x177245385090;
constexpr int kMinTables = 2;
constexpr int kGroupSize = 50;  // symbols coded with one selector's table
constexpr int kMaxCodeLength = 20;
constexpr int kRunB = 1;  // RUNA is 0

}  // namespace

// Bits most significant first, held at the top of a 64-bit word refilled a byte at a time.
// Past the end it gives zeros and counts them, so each loop that reads ends on its own
// bound and the stream is declined after it.
class SmallBzip2Decoder::BitReader {
 public:
  BitReader(const unsigned char* data, size_t length) : next_(data), end_(data + length) {}

  // The next `count` bits, 1 to 32.
  uint32_t Get(int count) {
    if (held_ < count) Refill();
    const uint32_t value = static_cast<uint32_t>(bits_ >> (64 - count));
    bits_ <<= count;
    held_ -= count;
    return value;
  }
  uint64_t Get48() {
    const uint64_t high = Get(24);
    return (high << 24) | Get(24);
  }
  // Whether more was read than there was.
  bool RanOut() const { return held_ < padding_; }
  // Bits of the stream not read yet.
  size_t BitsLeft() const {
    return static_cast<size_t>(end_ - next_) * 8 + static_cast<size_t>(held_ - padding_);
  }

 private:
  void Refill() {
    while (held_ <= 56) {
      uint64_t byte = 0;
      if (next_ != end_) {
        byte = *next_++;
      } else {
        padding_ += 8;
      }
      bits_ |= byte << (56 - held_);
      held_ += 8;
    }
  }

  const unsigned char* next_;
  const unsigned char* end_;
  uint64_t bits_ = 0;
  int held_ = 0;
  int padding_ = 0;  // zero bits appended past the end, at the bottom of bits_
};

bool SmallBzip2Decoder::Decode(const unsigned char* stream, size_t length, size_t limit,
                               std::string& content) {
  limit = std::min(limit, kMaxLength);
  if (length < 4 || stream[0] != 'B' || stream[1] != 'Z' || stream[2] != 'h' ||
      stream[3] < '1' || stream[3] > '9') {
    return false;
  }
  BitReader in(stream + 4, length - 4);
  // A stream without a block has no content: the library says what that is.
  if (in.Get48() != kBlockMagic) return false;
  const uint32_t storedCrc = in.Get(32);
  if (in.Get(1) != 0) return false;  // randomised: only encoders of long ago wrote it
  const uint32_t origin = in.Get(24);
  // The origin lies inside the block, so a longer block is declined before any decoding:
  // a JSON text starts with '{', which sorts its own rotation near the block's end.
  if (origin >= kMaxBlock) return false;

  const uint32_t usedRanges = in.Get(16);
  int usedBytes = 0;
  for (int range = 0; range < 16; ++range) {
    if ((usedRanges & (0x8000u >> range)) == 0) continue;
    const uint32_t used = in.Get(16);
    for (int i = 0; i < 16; ++i) {
      if (used & (0x8000u >> i)) byteOf_[usedBytes++] = static_cast<uint8_t>(range * 16 + i);
    }
  }
  if (usedBytes == 0 || !ReadTables(in, usedBytes + 2)) return false;

  size_t blockLength = 0;
  if (!ReadSymbols(in, usedBytes, &blockLength) || origin >= blockLength) return false;

  // Undo the sort: link each byte to the next one of the content, by the position of the
  // byte's rotation in the sorted order.
  uint32_t next[256];
  uint32_t sum = 0;
  for (int value = 0; value < 256; ++value) {
    next[value] = sum;
    sum += byteCount_[value];
  }
  for (uint32_t i = 0; i < blockLength; ++i) {
    const uint8_t value = static_cast<uint8_t>(block_[i]);
    block_[next[value]++] |= i << 8;
  }
  uint32_t position = block_[origin] >> 8;
  for (size_t i = 0; i < blockLength; ++i) {
    const uint32_t entry = block_[position];
    ordered_[i] = static_cast<unsigned char>(entry);
    position = entry >> 8;
  }

  // Undo the first run-length stage: four equal bytes are followed by a count of more.
  size_t produced = 0;
  for (size_t i = 0; i < blockLength;) {
    const unsigned char value = ordered_[i++];
    size_t run = 1;
    while (run < 4 && i < blockLength && ordered_[i] == value) {
      ++run;
      ++i;
    }
    if (run == 4) {
      if (i == blockLength) return false;  // the count is missing: the library refuses it
      run += ordered_[i++];
    }
    if (run > limit - produced) return false;
    if (run <= 4) {
      // Four bytes at once: content_ has room past its limit for them.
      const uint32_t four = value * 0x01010101u;
      std::memcpy(content_ + produced, &four, sizeof four);
    } else {
      std::memset(content_ + produced, value, run);
    }
    produced += run;
  }
  const uint32_t crc = Bzip2Crc(content_, produced);
  if (crc != storedCrc) return false;

  // One block only: its CRC is the combined one.
  if (in.Get48() != kEndMagic || in.Get(32) != crc || in.RanOut() || in.BitsLeft() >= 8) {
    return false;
  }
  content.assign(reinterpret_cast<const char*>(content_), produced);
  return true;
}

bool SmallBzip2Decoder::ReadTables(BitReader& in, int alphaSize) {
  tableCount_ = static_cast<int>(in.Get(3));
  if (tableCount_ < kMinTables || tableCount_ > kMaxTables) return false;
  selectorCount_ = in.Get(15);
  if (selectorCount_ < 1 || selectorCount_ > kMaxSelectors) return false;
  // Each selector is the move-to-front position of its table, in unary.
  uint8_t order[kMaxTables];
  for (int t = 0; t < kMaxTables; ++t) order[t] = static_cast<uint8_t>(t);
  for (uint32_t i = 0; i < selectorCount_; ++i) {
    int position = 0;
    while (in.Get(1) != 0) {
      if (++position >= tableCount_) return false;
    }
    const uint8_t table = order[position];
    std::memmove(order + 1, order, static_cast<size_t>(position));
    order[0] = table;
    selector_[i] = table;
  }
  // Each table's code lengths: the first in 5 bits, each next as steps of +1 or -1 from
  // the one before.
  uint8_t lengths[kMaxSymbols];
  for (int t = 0; t < tableCount_; ++t) {
    int current = static_cast<int>(in.Get(5));
    int minLength = kMaxCodeLength;
    int maxLength = 0;
    for (int symbol = 0; symbol < alphaSize; ++symbol) {
      for (;;) {
        if (current < 1 || current > kMaxCodeLength) return false;
        if (in.Get(1) == 0) break;
        current += in.Get(1) == 0 ? 1 : -1;
      }
      lengths[symbol] = static_cast<uint8_t>(current);
      minLength = std::min(minLength, current);
      maxLength = std::max(maxLength, current);
    }
    MakeDecodeTable(t, lengths, alphaSize, minLength, maxLength);
  }
  return !in.RanOut();
}

// The canonical code as libbzip2 builds it, so that every code decodes as it does there,
// even in a table whose lengths do not make a complete code: symbols in order of length,
// and per length the largest code (limit) and the offset from a code to its symbol's place.
void SmallBzip2Decoder::MakeDecodeTable(int table, const uint8_t* lengths, int alphaSize,
                                        int minLength, int maxLength) {
  int32_t* symbolOf = symbolOf_[table];
  int32_t* limit = limit_[table];
  int32_t* base = base_[table];
  std::fill(base, base + kLengthSlots, 0);
  for (int symbol = 0; symbol < alphaSize; ++symbol) ++base[lengths[symbol] + 1];
  for (int i = 1; i < kLengthSlots; ++i) base[i] += base[i - 1];
  // Symbols by length, and by value within a length: base[length] is where those of that
  // length start.
  int32_t place[kLengthSlots];
  std::copy(base, base + kLengthSlots, place);
  for (int symbol = 0; symbol < alphaSize; ++symbol) symbolOf[place[lengths[symbol]]++] = symbol;
  std::fill(limit, limit + kLengthSlots, 0);
  int32_t code = 0;
  for (int length = minLength; length <= maxLength; ++length) {
    code += base[length + 1] - base[length];
    limit[length] = code - 1;
    code <<= 1;
  }
  for (int length = minLength + 1; length <= maxLength; ++length) {
    base[length] = ((limit[length - 1] + 1) << 1) - base[length];
  }
  minLength_[table] = minLength;
}

bool SmallBzip2Decoder::ReadSymbols(BitReader& in, int usedBytes, size_t* blockLength) {
  const int alphaSize = usedBytes + 2;
  const int endOfBlock = usedBytes + 1;
  uint32_t group = 0;
  int leftInGroup = 0;
  int table = 0;
  // The next symbol, or false on a fault.
  auto nextSymbol = [&](int& symbol) {
    if (leftInGroup == 0) {
      if (group >= selectorCount_) return false;
      table = selector_[group++];
      leftInGroup = kGroupSize;
    }
    --leftInGroup;
    int length = minLength_[table];
    int32_t code = static_cast<int32_t>(in.Get(length));
    for (;;) {
      if (length > kMaxCodeLength) return false;
      if (code <= limit_[table][length]) break;
      ++length;
      code = (code << 1) | static_cast<int32_t>(in.Get(1));
    }
    // Past the table's symbols libbzip2 would read what an earlier stream left there.
    const int32_t place = code - base_[table][length];
    if (place < 0 || place >= alphaSize) return false;
    symbol = symbolOf_[table][place];
    return true;
  };

  uint8_t front[256];  // move-to-front list of indexes into byteOf_
  for (int i = 0; i < 256; ++i) front[i] = static_cast<uint8_t>(i);
  std::fill(byteCount_, byteCount_ + 256, 0u);
  size_t filled = 0;
  int symbol = 0;
  if (!nextSymbol(symbol)) return false;
  while (symbol != endOfBlock) {
    if (symbol <= kRunB) {
      // A run of the front byte, its length in bijective base 2: RUNA adds 1 x the place
      // value, RUNB 2 x.
      size_t run = 0;
      for (size_t place = 1; symbol <= kRunB; place <<= 1) {
        run += (static_cast<size_t>(symbol) + 1) * place;
        if (run > kMaxBlock - filled) return false;
        if (!nextSymbol(symbol)) return false;
      }
      const uint8_t value = byteOf_[front[0]];
      byteCount_[value] += static_cast<uint32_t>(run);
      std::fill(block_ + filled, block_ + filled + run, value);
      filled += run;
      continue;
    }
    if (filled == kMaxBlock) return false;
    const int position = symbol - 1;
    const uint8_t index = front[position];
    std::memmove(front + 1, front, static_cast<size_t>(position));
    front[0] = index;
    const uint8_t value = byteOf_[index];
    ++byteCount_[value];
    block_[filled++] = value;
    if (!nextSymbol(symbol)) return false;
  }
  *blockLength = filled;
  return !in.RanOut();
}

}  // namespace IPC
