#include "shell/sb64.h"

#include <array>
#include <cstdint>

namespace {

// Alphabet index of every byte, -1 for bytes outside it.
constexpr std::array<int8_t, 256> MakeIndex() {
  std::array<int8_t, 256> index{};
  for (auto& i : index) i = -1;
  for (int i = 0; i < 64; ++i) index[static_cast<unsigned char>(TSB64::kAlphabet[i])] = static_cast<int8_t>(i);
  return index;
}
constexpr std::array<int8_t, 256> kIndex = MakeIndex();

}  // namespace

AnsiString TSB64::Encode(const AnsiString& Data) const {
  AnsiString out;
  out.reserve(Data.size() / 3 * 4 + 4);
  uint32_t bits = 0;
  int count = 0;
  for (unsigned char c : Data) {
    bits = (bits << 8) | c;
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += kAlphabet[(bits >> count) & 0x3F];
    }
    bits &= (1u << count) - 1;  // only the waiting bits are kept
  }
  if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3F];
  switch (out.size() % 3) {
    case 1:
      out += kPad;
      out += kPad;
      break;
    case 2: out += kPad; break;
    default: break;
  }
  return out;
}

bool TSB64::Decode(const AnsiString& Text, AnsiString& Dest) const {
  AnsiString out;
  out.reserve(Text.size() / 4 * 3 + 3);
  uint32_t bits = 0;
  int count = 0;
  for (unsigned char c : Text) {
    if (c == static_cast<unsigned char>(kPad)) continue;
    const int index = kIndex[c];
    if (index < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(index);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
    bits &= (1u << count) - 1;
  }
  Dest = std::move(out);
  return true;
}
