// codepage_gen ICONV_NAME SYMBOL OUTPUT.cpp
//
// Writes the tables of a double-byte code page (lead bytes 81-FE, trail bytes 40-FE) as a
// source of the platform, read from the C library's converter at build time: converting
// through the tables then gives what the converter gives, without loading its module in
// every process that converts text. Fails (exit 1) when the converter does not exist or
// the code page does not have that shape.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/codepage_table.h"

namespace {

// The shape the tables are read in.
constexpr int kLeadLo = kv::DoubleByteTable::kLeadLo, kLeadHi = kv::DoubleByteTable::kLeadHi;
constexpr int kTrailLo = kv::DoubleByteTable::kTrailLo, kTrailHi = kv::DoubleByteTable::kTrailHi;
constexpr char16_t kLeadMark = kv::DoubleByteTable::kLeadMark;

struct Converted {
  int consumed = 0;           // bytes taken by the first character (0: none)
  std::u32string characters;  // what they gave
  int error = 0;              // errno when the converter stopped short
};

Converted Run(iconv_t cd, const std::string& in) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  Converted c;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char32_t out[8];
  char* dst = reinterpret_cast<char*>(out);
  size_t room = sizeof out;
  if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1)) c.error = errno;
  c.consumed = static_cast<int>(in.size() - left);
  c.characters.assign(out, (sizeof out - room) / sizeof(char32_t));
  return c;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "codepage_gen: %s\n", what.c_str());
  std::exit(1);
}

template <class T>
void Emit(FILE* f, const char* type, const std::string& name, const std::vector<T>& values) {
  std::fprintf(f, "const %s %s[%zu] = {", type, name.c_str(), values.size());
  for (size_t i = 0; i < values.size(); ++i)
    std::fprintf(f, "%s0x%X,", i % 16 == 0 ? "\n" : "", static_cast<unsigned>(values[i]));
  std::fprintf(f, "\n};\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: codepage_gen ICONV_NAME SYMBOL OUTPUT.cpp\n");
    return 2;
  }
  const std::string name = argv[1], symbol = argv[2];
  const char* utf32 = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? "UTF-32LE" : "UTF-32BE";
  iconv_t decode = iconv_open(utf32, name.c_str());
  iconv_t encode = iconv_open(name.c_str(), utf32);
  if (decode == reinterpret_cast<iconv_t>(-1) || encode == reinterpret_cast<iconv_t>(-1))
    Fail("the C library has no converter for " + name);

  // Bytes 80-FF alone: a character, a lead byte (cut off), or nothing.
  std::vector<char16_t> single(128, 0);
  for (int b = 0x80; b <= 0xFF; ++b) {
    const Converted c = Run(decode, std::string(1, static_cast<char>(b)));
    const bool lead = b >= kLeadLo && b <= kLeadHi;
    if (c.consumed == 1 && c.characters.size() == 1 && c.characters[0] < 0x10000 && !lead)
      single[b - 0x80] = static_cast<char16_t>(c.characters[0]);
    else if (c.consumed == 0 && c.error == EINVAL && lead)
      single[b - 0x80] = kLeadMark;
    else if (!(c.consumed == 0 && c.error == EILSEQ && !lead))
      Fail(name + ": byte " + std::to_string(b) + " is neither a character, a lead byte nor invalid");
  }

  // Lead and trail: the character, or 0 where the pair is not one.
  std::vector<char16_t> pairs;
  for (int lead = kLeadLo; lead <= kLeadHi; ++lead) {
    for (int trail = 0; trail <= 0xFF; ++trail) {
      const Converted c = Run(decode, std::string{static_cast<char>(lead), static_cast<char>(trail)});
      const bool pair = c.consumed == 2 && c.characters.size() == 1;
      if (pair && (c.characters[0] >= 0x10000 || c.characters[0] == kLeadMark || c.characters[0] == 0))
        Fail(name + ": a pair decodes outside the basic plane");
      if (pair && (trail < kTrailLo || trail > kTrailHi)) Fail(name + ": a trail byte outside 40-FE");
      if (!pair && c.consumed != 0) Fail(name + ": a pair decoded partly");
      if (trail >= kTrailLo && trail <= kTrailHi) pairs.push_back(pair ? static_cast<char16_t>(c.characters[0]) : 0);
    }
  }

  // Characters U+0080-U+FFFF: their bytes (one byte below 100, lead and trail above), in
  // blocks of 256 by the high byte; only blocks with a character are written.
  std::vector<uint8_t> block_of(256, 0);
  std::vector<uint16_t> blocks;
  for (int high = 0; high < 256; ++high) {
    std::vector<uint16_t> block(256, 0);
    bool any = false;
    for (int low = 0; low < 256; ++low) {
      const char32_t ch = static_cast<char32_t>(high << 8 | low);
      if (ch < 0x80 || (ch >= 0xD800 && ch <= 0xDFFF)) continue;
      iconv(encode, nullptr, nullptr, nullptr, nullptr);
      char* src = reinterpret_cast<char*>(const_cast<char32_t*>(&ch));
      size_t left = sizeof ch;
      unsigned char out[8];
      char* dst = reinterpret_cast<char*>(out);
      size_t room = sizeof out;
      if (iconv(encode, &src, &left, &dst, &room) == static_cast<size_t>(-1)) continue;
      const size_t n = sizeof out - room;
      if (n == 1 && out[0] >= 0x80 && single[out[0] - 0x80] == ch) {
        block[low] = out[0];
      } else if (n == 2 && out[0] >= kLeadLo && out[0] <= kLeadHi && out[1] >= kTrailLo && out[1] <= kTrailHi) {
        block[low] = static_cast<uint16_t>(out[0] << 8 | out[1]);
      } else {
        Fail(name + ": character " + std::to_string(ch) + " encodes to bytes of another shape");
      }
      any = true;
    }
    if (!any) continue;
    if (blocks.size() / 256 >= 255) Fail(name + ": too many blocks");
    block_of[high] = static_cast<uint8_t>(blocks.size() / 256 + 1);
    blocks.insert(blocks.end(), block.begin(), block.end());
  }
  iconv_close(decode);
  iconv_close(encode);

  FILE* f = std::fopen(argv[3], "w");
  if (!f) Fail(std::string("cannot write ") + argv[3]);
  std::fprintf(f, "// Generated by codepage_gen from the C library's %s converter; do not edit.\n", name.c_str());
  std::fprintf(f, "#include \"platform/base/codepage_table.h\"\n\nnamespace {\n\n");
  Emit(f, "char16_t", "kSingle", single);
  Emit(f, "char16_t", "kPairs", pairs);
  Emit(f, "unsigned char", "kBlockOf", block_of);
  Emit(f, "unsigned short", "kBlocks", blocks);
  std::fprintf(f, "\n}  // namespace\n\n");
  std::fprintf(f, "const kv::DoubleByteTable %s = {kSingle, kPairs, kBlockOf, kBlocks};\n", symbol.c_str());
  if (std::fclose(f) != 0) Fail(std::string("cannot write ") + argv[3]);
  return 0;
}
