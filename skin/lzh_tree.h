// The adaptive Huffman tree of the container's compression: 314 symbols (256 literal
// bytes, then matches of 3..60 bytes), kept in sibling order so that frequencies never
// decrease from node 0 to the root (node 626). Decoding walks it from the root; an encoder
// walks it from a leaf upwards. Both update it identically after every symbol.
#pragma once

#include <cstdint>

namespace lzh {

inline constexpr int N = 4096;                      // ring buffer size
inline constexpr int F = 60;                        // longest match
inline constexpr int THRESHOLD = 2;                 // matches are THRESHOLD + 1 .. F bytes long
inline constexpr int N_CHAR = 256 - THRESHOLD + F;  // 314 symbols
inline constexpr int T = 2 * N_CHAR - 1;            // 627 tree nodes
inline constexpr int R = T - 1;                     // the root
inline constexpr unsigned MAX_FREQ = 0x8000;        // root frequency that triggers a rebuild

// A match position is coded as its upper 6 bits in a variable-length prefix and its
// lower 6 bits after it. By the first 8 bits read (i): code[i] is the upper 6 bits and
// len[i] - 2 further bits complete the code.
struct PositionTables {
  uint8_t code[256];
  uint8_t len[256];
};

constexpr PositionTables MakePositionTables() {
  PositionTables t{};
  // For each code length: how many upper-bit values have it, and how many values of the
  // first 8 bits each of them takes.
  constexpr int runs[6][3] = {{3, 1, 32}, {4, 3, 16}, {5, 8, 8}, {6, 12, 4}, {7, 24, 2}, {8, 16, 1}};
  int i = 0, upper = 0;
  for (const auto& run : runs)
    for (int v = 0; v < run[1]; ++v, ++upper)
      for (int k = 0; k < run[2]; ++k, ++i) {
        t.code[i] = static_cast<uint8_t>(upper);
        t.len[i] = static_cast<uint8_t>(run[0]);
      }
  return t;
}
inline constexpr PositionTables kPosition = MakePositionTables();

struct Tree {
  uint16_t freq[T + 1];      // the extra entry is a sentinel above every real frequency
  int16_t son[T];            // value >= T: a leaf of symbol value - T
  int16_t prnt[T + N_CHAR];  // parents of nodes, then of leaves at symbol + T

  void Start();
  // Counts one more occurrence of symbol c and restores the sibling order.
  void Update(int c);

 private:
  void Rebuild();
};

}  // namespace lzh
