// The tables of a double-byte code page with lead bytes 81-FE and trail bytes 40-FE,
// written at build time by codepage_gen from the C library's converter.
#pragma once

namespace kv {

struct DoubleByteTable {
  static constexpr unsigned char kLeadLo = 0x81, kLeadHi = 0xFE, kTrailLo = 0x40, kTrailHi = 0xFE;
  static constexpr char16_t kLeadMark = 0xFFFF;
  // Bytes 80-FF alone: the character, kLeadMark for a lead byte, 0 for none.
  const char16_t* single;
  // Lead and trail, row by row: the character, 0 for none.
  const char16_t* pairs;
  // The high byte of a character: 1 + its block in `blocks`, 0 for none.
  const unsigned char* block_of;
  // Blocks of 256 characters by their low byte: one byte (below 100) or lead and trail
  // (lead * 100 + trail), 0 for none.
  const unsigned short* blocks;

  // The character of a lead and trail byte, 0 for none.
  char16_t Pair(unsigned char lead, unsigned char trail) const {
    if (trail < kTrailLo || trail > kTrailHi) return 0;
    return pairs[(lead - kLeadLo) * (kTrailHi - kTrailLo + 1) + (trail - kTrailLo)];
  }
  // The bytes of a character of U+0080 and above, 0 for none.
  unsigned short Bytes(char32_t c) const {
    if (c > 0xFFFF) return 0;
    const unsigned block = block_of[c >> 8];
    return block == 0 ? 0 : blocks[(block - 1) * 256 + (c & 0xFF)];
  }
};

// Code page 936 (GBK).
extern const DoubleByteTable kCp936Table;

}  // namespace kv
