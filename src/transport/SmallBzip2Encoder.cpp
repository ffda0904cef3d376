// The stream, in writing order: "BZh9"; one block (its magic, the CRC of its bytes, the
// row of the original in the sorted rotations, the map of byte values used, the coding
// tables, the selectors and the coded symbols); the end-of-stream magic and the combined
// CRC; zero bits up to a byte.
#include "transport/SmallBzip2Encoder.h"

#include "transport/Bzip2Codec.h"
#include "transport/Bzip2Crc.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace IPC {

namespace {

constexpr int kRunA = 0;
constexpr int kRunB = 1;
constexpr int kGroupSize = 50;  // symbols per selector
constexpr int kTableCount = 2;  // the fewest tables a decoder accepts; both are the same
constexpr int kMaxRun = 255;  // longest run the first run-length stage codes at once

// Rotation starts and ranks are 16-bit in the sort keys: the block (at worst 5 bytes for
// every 4 of input) must stay below 64 KB.
static_assert(SmallBzip2Encoder::kMaxLength / 4 * 5 + 4 < 65536, "block too long for the sort");
static_assert(Bzip2Codec::kShortTextLimit <= SmallBzip2Encoder::kMaxLength,
              "the codec sends texts the encoder refuses");

class BitWriter {
 public:
  BitWriter(unsigned char* out, size_t capacity) : out_(out), capacity_(capacity) {}

  // Writes the low `count` (at most 32) bits of `value`, most significant first.
  void Put(int count, uint32_t value) {
    buffer_ = (buffer_ << count) | (value & ((uint64_t{1} << count) - 1));
    pending_ += count;
    while (pending_ >= 8) {
      pending_ -= 8;
      PutByte(static_cast<unsigned char>(buffer_ >> pending_));
    }
  }
  void Flush() {
    if (pending_ > 0) Put(8 - pending_, 0);
  }
  bool Overflowed() const { return overflowed_; }
  size_t Size() const { return size_; }

 private:
  void PutByte(unsigned char byte) {
    if (size_ < capacity_) {
      out_[size_++] = byte;
    } else {
      overflowed_ = true;
    }
  }

  unsigned char* out_;
  size_t capacity_;
  size_t size_ = 0;
  uint64_t buffer_ = 0;
  int pending_ = 0;
  bool overflowed_ = false;
};

}  // namespace

void SmallBzip2Encoder::RunLengthEncode(const unsigned char* data, size_t length) {
  // At worst four bytes become five.
  block_.resize(length + length / 4 + 1);
  unsigned char* out = block_.data();
  size_t i = 0;
  while (i < length) {
    const unsigned char byte = data[i];
    size_t run = 1;
    while (i + run < length && run < kMaxRun && data[i + run] == byte) ++run;
    if (run < 4) {
      for (size_t k = 0; k < run; ++k) *out++ = byte;
    } else {
      for (int k = 0; k < 4; ++k) *out++ = byte;
      *out++ = static_cast<unsigned char>(run - 4);
    }
    i += run;
  }
  block_.resize(static_cast<size_t>(out - block_.data()));
}

// Prefix tripling: rotations are first ordered by their first six bytes; each pass then
// orders the rotations still tied by the ranks of the two spans that follow, tripling the
// length known, until no ties are left or the tied rotations are equal in full. A sort key
// is the order to sort by, then the rotation's start in its low 16 bits.
uint32_t SmallBzip2Encoder::SortRotations() {
  const uint32_t n = static_cast<uint32_t>(block_.size());
  const unsigned char* b = block_.data();
  keys_.resize(n);
  order_.resize(n);
  rank_.resize(n);
  // The six bytes from each start, rolled along the block.
  uint64_t head = 0;
  for (uint32_t k = 0; k < 5; ++k) head = (head << 8) | b[k % n];
  for (uint32_t i = 0, next = 5 % n; i < n; ++i, next = next + 1 == n ? 0 : next + 1) {
    head = ((head << 8) | b[next]) & 0xFFFFFFFFFFFFu;
    keys_[i] = (head << 16) | i;
  }
  std::sort(keys_.begin(), keys_.end());

  // Ties are kept as [start, end) ranges of order_; a rotation's rank is the start of its tie.
  std::vector<uint32_t>& ties = ties_;
  ties.clear();
  auto rankRange = [&](uint32_t start, uint32_t end) {
    uint32_t tieStart = start;
    for (uint32_t j = start; j < end; ++j) {
      if (j > start && (keys_[j] >> 16) != (keys_[j - 1] >> 16)) {
        if (j - tieStart > 1) ties.insert(ties.end(), {tieStart, j});
        tieStart = j;
      }
      order_[j] = static_cast<uint32_t>(keys_[j] & 0xFFFF);
      rank_[order_[j]] = tieStart;
    }
    if (end - tieStart > 1) ties.insert(ties.end(), {tieStart, end});
  };
  rankRange(0, n);

  std::vector<uint32_t>& pass = pass_;
  for (uint32_t known = 6; !ties.empty() && known < n; known *= 3) {
    pass.swap(ties);
    ties.clear();
    // All keys of the pass are read before any rank changes.
    for (size_t t = 0; t < pass.size(); t += 2) {
      for (uint32_t j = pass[t]; j < pass[t + 1]; ++j) {
        const uint32_t start = order_[j];
        uint32_t second = start + known;  // below 2n, as known < n
        if (second >= n) second -= n;
        uint32_t third = second + known;
        if (third >= n) third -= n;
        keys_[j] = (uint64_t{rank_[second]} << 32) | (uint64_t{rank_[third]} << 16) | start;
      }
    }
    for (size_t t = 0; t < pass.size(); t += 2) {
      std::sort(keys_.begin() + pass[t], keys_.begin() + pass[t + 1]);
      rankRange(pass[t], pass[t + 1]);
    }
  }
  // Rotations still tied are equal, so the row of any of them decodes to the same text.
  return rank_[0];
}

void SmallBzip2Encoder::MoveToFront(const uint16_t inUse[16]) {
  unsigned char seqOf[256];
  unsigned char front[256];
  int inUseCount = 0;
  for (int range = 0; range < 16; ++range) {
    for (int v = 0; inUse[range] != 0 && v < 16; ++v) {
      if (inUse[range] & (0x8000u >> v)) {
        seqOf[range * 16 + v] = static_cast<unsigned char>(inUseCount);
        front[inUseCount] = static_cast<unsigned char>(inUseCount);
        ++inUseCount;
      }
    }
  }
  const uint32_t n = static_cast<uint32_t>(block_.size());
  symbols_.clear();
  uint32_t zeros = 0;
  auto flushZeros = [&] {
    if (zeros == 0) return;
    // Bijective base 2, least significant digit first: RUNA is 1, RUNB is 2.
    --zeros;
    for (;;) {
      symbols_.push_back((zeros & 1) ? kRunB : kRunA);
      if (zeros < 2) break;
      zeros = (zeros - 2) / 2;
    }
    zeros = 0;
  };
  for (uint32_t j = 0; j < n; ++j) {
    const uint32_t start = order_[j];
    const unsigned char seq = seqOf[block_[start == 0 ? n - 1 : start - 1]];
    if (front[0] == seq) {
      ++zeros;
      continue;
    }
    flushZeros();
    // Found and moved to the front in one pass: positions are mostly a few places, where
    // this beats two library calls.
    int position = 0;
    unsigned char carried = front[0];
    while (carried != seq) {
      std::swap(carried, front[++position]);
    }
    front[0] = seq;
    symbols_.push_back(static_cast<uint16_t>(position + 1));
  }
  flushZeros();
  symbols_.push_back(static_cast<uint16_t>(inUseCount + 1));  // end of block
}

// Huffman code lengths from the symbol counts (an unused symbol counts as 1, as each needs a
// code); while the longest code is over the limit, the counts are halved and it is redone.
SmallBzip2Encoder::SmallBzip2Encoder(int codeLengthLimit)
    : codeLengthLimit_(std::clamp(codeLengthLimit, kMinCodeLengthLimit, kMaxCodeLength)) {}

int SmallBzip2Encoder::CodeLengths(const uint32_t* frequency, int alphaSize, int limit,
                                   uint8_t* length) {
  limit = std::max(limit, kMinCodeLengthLimit);  // below it the halving could never end
  uint32_t weight[258];
  for (int s = 0; s < alphaSize; ++s) weight[s] = frequency[s] == 0 ? 1 : frequency[s];
  int rounds = 0;
  uint64_t leaves[258];
  uint64_t nodeWeight[2 * 258];
  uint16_t parent[2 * 258];
  uint8_t depth[2 * 258];
  for (;;) {
    for (int s = 0; s < alphaSize; ++s) leaves[s] = (uint64_t{weight[s]} << 16) | s;
    std::sort(leaves, leaves + alphaSize);
    for (int k = 0; k < alphaSize; ++k) nodeWeight[k] = leaves[k] >> 16;
    // Two queues: the sorted leaves, and the joined nodes, which come out in rising weight.
    int leaf = 0;
    int joined = alphaSize;
    int next = alphaSize;
    auto takeLightest = [&]() {
      if (leaf < alphaSize && (joined == next || nodeWeight[leaf] <= nodeWeight[joined])) {
        return leaf++;
      }
      return joined++;
    };
    while (next < 2 * alphaSize - 1) {
      const int a = takeLightest();
      const int b = takeLightest();
      nodeWeight[next] = nodeWeight[a] + nodeWeight[b];
      parent[a] = parent[b] = static_cast<uint16_t>(next);
      ++next;
    }
    const int root = 2 * alphaSize - 2;
    depth[root] = 0;
    int longest = 0;
    for (int k = root - 1; k >= 0; --k) {
      depth[k] = static_cast<uint8_t>(depth[parent[k]] + 1);
      if (k < alphaSize) longest = std::max<int>(longest, depth[k]);
    }
    if (longest <= limit) {
      for (int k = 0; k < alphaSize; ++k) length[leaves[k] & 0xFFFF] = depth[k];
      return rounds;
    }
    for (int s = 0; s < alphaSize; ++s) weight[s] = 1 + weight[s] / 2;
    ++rounds;
  }
}

size_t SmallBzip2Encoder::Encode(const unsigned char* data, size_t length, unsigned char* out,
                                 size_t capacity) {
  limiterRounds_ = 0;
  if (length > kMaxLength) return 0;
  BitWriter writer(out, capacity);
  for (const char c : {'B', 'Z', 'h', '9'}) writer.Put(8, static_cast<unsigned char>(c));
  uint32_t combinedCrc = 0;

  if (length > 0) {
    const uint32_t blockCrc = Bzip2Crc(data, length);
    combinedCrc = blockCrc;
    RunLengthEncode(data, length);
    const uint32_t originRow = SortRotations();

    // Bit (0x8000 >> low nibble) of inUse[high nibble] marks a byte value in the block.
    uint16_t inUse[16] = {};
    for (const unsigned char byte : block_) inUse[byte >> 4] |= 0x8000u >> (byte & 15);
    int inUseCount = 0;
    for (const uint16_t used : inUse) inUseCount += __builtin_popcount(used);
    MoveToFront(inUse);
    const int alphaSize = inUseCount + 2;
    std::fill(frequency_, frequency_ + alphaSize, 0u);
    for (const uint16_t symbol : symbols_) ++frequency_[symbol];
    limiterRounds_ = CodeLengths(frequency_, alphaSize, codeLengthLimit_, length_);
    // Canonical codes: by length, then by symbol, as the decoder rebuilds them.
    uint32_t nextCode[kMaxCodeLength + 2] = {};
    for (int s = 0; s < alphaSize; ++s) ++nextCode[length_[s] + 1];
    for (int bits = 1; bits <= kMaxCodeLength; ++bits) {
      nextCode[bits + 1] = (nextCode[bits] + nextCode[bits + 1]) << 1;
    }
    for (int s = 0; s < alphaSize; ++s) code_[s] = nextCode[length_[s]]++;

    writer.Put(24, 0x314159);
    writer.Put(24, 0x265359);
    writer.Put(32, blockCrc);
    writer.Put(1, 0);  // not randomised
    writer.Put(24, originRow);
    uint32_t rangesUsed = 0;
    for (int range = 0; range < 16; ++range) {
      if (inUse[range] != 0) rangesUsed |= 0x8000u >> range;
    }
    writer.Put(16, rangesUsed);
    for (const uint16_t used : inUse) {
      if (used != 0) writer.Put(16, used);
    }
    const uint32_t selectorCount =
        static_cast<uint32_t>((symbols_.size() + kGroupSize - 1) / kGroupSize);
    writer.Put(3, kTableCount);
    writer.Put(15, selectorCount);
    // Every selector picks table 0: its move-to-front index 0 is a single 0 bit.
    for (uint32_t left = selectorCount; left > 0;) {
      const uint32_t chunk = std::min<uint32_t>(left, 32);
      writer.Put(static_cast<int>(chunk), 0);
      left -= chunk;
    }
    for (int table = 0; table < kTableCount; ++table) {
      int current = length_[0];
      writer.Put(5, static_cast<uint32_t>(current));
      for (int s = 0; s < alphaSize; ++s) {
        for (; current < length_[s]; ++current) writer.Put(2, 2);
        for (; current > length_[s]; --current) writer.Put(2, 3);
        writer.Put(1, 0);
      }
    }
    for (const uint16_t symbol : symbols_) writer.Put(length_[symbol], code_[symbol]);
  }

  writer.Put(24, 0x177245);
  writer.Put(24, 0x385090);
  writer.Put(32, combinedCrc);
  writer.Flush();
  return writer.Overflowed() ? 0 : writer.Size();
}

}  // namespace IPC
