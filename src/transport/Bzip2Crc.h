// bzip2's CRC: polynomial 0x04C11DB7, most significant bit first, of a block's bytes before
// any of its stages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace IPC {

inline const std::array<uint32_t, 256>& Bzip2CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i << 24;
      for (int bit = 0; bit < 8; ++bit) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
      t[i] = c;
    }
    return t;
  }();
  return table;
}

inline uint32_t Bzip2Crc(const unsigned char* data, size_t length) {
  const std::array<uint32_t, 256>& table = Bzip2CrcTable();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = (crc << 8) ^ table[(crc >> 24) ^ data[i]];
  return ~crc;
}

}  // namespace IPC
