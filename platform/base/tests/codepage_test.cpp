#include "platform/base/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "platform/base/ansi_char.h"
#include "platform/base/error.h"

namespace {

const std::string kFapiaoGbk = "\xB7\xA2\xC6\xB1";
const std::u16string kFapiaoWide = u"\u53D1\u7968";
const std::string kFapiaoUtf8 = "\xE5\x8F\x91\xE7\xA5\xA8";

// Switches the ANSI code page for one test through KORVANE_CODEPAGE.
class CodePageScope {
 public:
  explicit CodePageScope(const char* value) {
    if (const char* old = std::getenv("KORVANE_CODEPAGE")) saved_ = old, had_ = true;
    if (value)
      setenv("KORVANE_CODEPAGE", value, 1);
    else
      unsetenv("KORVANE_CODEPAGE");
    KvCodePageReset();
  }
  ~CodePageScope() {
    if (had_)
      setenv("KORVANE_CODEPAGE", saved_.c_str(), 1);
    else
      unsetenv("KORVANE_CODEPAGE");
    KvCodePageReset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST(BaseCodePage, GbkRoundTripsThroughWideAndUtf8) {
  CodePageScope scope(nullptr);
  ASSERT_EQ(GetACP(), 936u);
  EXPECT_EQ(kv::AnsiToWide(kFapiaoGbk), kFapiaoWide);
  EXPECT_EQ(kv::WideToAnsi(kFapiaoWide), kFapiaoGbk);
  EXPECT_EQ(kv::AnsiToUtf8(kFapiaoGbk), kFapiaoUtf8);
  EXPECT_EQ(kv::Utf8ToAnsi(kFapiaoUtf8), kFapiaoGbk);
  EXPECT_EQ(kv::Utf8ToWide(kFapiaoUtf8), kFapiaoWide);
  EXPECT_EQ(kv::WideToUtf8(kFapiaoWide), kFapiaoUtf8);
  EXPECT_EQ(kv::MultiByteToWide(936, kFapiaoGbk), kFapiaoWide);
}

// A thread's objects are destroyed in reverse order of construction: an object made before
// the thread's first conversion is destroyed after the thread's converters, and may still
// convert text (as a module's static destructor does at process exit).
TEST(BaseCodePage, ConvertsAfterTheThreadsConvertersAreGone) {
  CodePageScope scope(nullptr);
  static std::u16string converted_late;
  struct LateConverter {
    ~LateConverter() { converted_late = kv::AnsiToWide(kFapiaoGbk) + kv::AnsiToWide(kv::WideToAnsi(kFapiaoWide)); }
  };
  std::thread([] {
    thread_local LateConverter late;
    (void)late;
    EXPECT_EQ(kv::AnsiToWide(kFapiaoGbk), kFapiaoWide);
  }).join();
  EXPECT_EQ(converted_late, kFapiaoWide + kFapiaoWide);
}

TEST(BaseCodePage, InvalidBytesBecomeReplacementCharacters) {
  struct Case {
    UINT cp;
    std::string in;
    std::u16string out;
  } cases[] = {
      {936,
       "a\xFF"
       "b",
       u"a\uFFFD"
       "b"},
      {936, "a\xB7", u"a\uFFFD"},  // lead byte cut off at the end
      {936, "\xB7\xA2\x81", u"\u53D1\uFFFD"},
      {CP_UTF8, "\xC3\x28", u"\uFFFD("},                 // bad continuation
      {CP_UTF8, "\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
      {CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {CP_UTF8, "\xE5\x8F", u"\uFFFD"},                  // truncated sequence
      {CP_UTF8, "\xF0\x9F\x98\x80", u"\U0001F600"},      // a pair, not a replacement
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kv::MultiByteToWide(c.cp, c.in), c.out) << c.cp << " " << c.in;
    SetLastError(0);
    EXPECT_EQ(
        MultiByteToWideChar(c.cp, MB_ERR_INVALID_CHARS, c.in.data(), static_cast<int>(c.in.size()), nullptr, 0) == 0,
        c.out.find(u'\uFFFD') != std::u16string::npos);
    if (c.out.find(u'\uFFFD') != std::u16string::npos) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

// ASCII runs are converted without iconv: the bytes below 0x80 that belong to a
// multi-byte character (trail bytes, GB18030 digits) and the combining code pages must come
// out as iconv reads the whole text, both ways.
TEST(BaseCodePage, AsciiRunsBesideMultiByteCharacters) {
  struct Case {
    UINT cp;
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {936, "x\x81\x40y\x81\x7E@", u"x\u4E02y\u4E8A@"},  // trail bytes '@' and '~'
      {936, "No.\xB7\xA2\xC6\xB1 1,2", u"No.\u53D1\u7968 1,2"},
      {54936,
       "a\x81\x30\x81\x30"
       "b\x81\x40",
       u"a\u0080b\u4E02"},  // four bytes with digits
      {932, "\x81\x5C\\\x83\x41", u"\u2015\\\u30A2"},
      {950,
       "\xA4\x40"
       "A",
       u"\u4E00A"},
      {1258, "A\xF2", u"\u1EA0"},  // a letter and its mark
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kv::MultiByteToWide(c.cp, c.bytes), c.wide) << c.cp << " " << c.bytes;
    EXPECT_EQ(kv::WideToMultiByte(c.cp, c.wide), c.bytes) << c.cp << " " << c.bytes;
  }
  // Runs of other characters far longer than the converter's chunks, a character outside
  // the BMP (a surrogate pair) at every position of one.
  for (size_t at = 250; at < 262; ++at) {
    std::u16string wide(600, u'\u53D1');
    wide.replace(at, 1, u"\U00020000");
    std::string gb18030;
    for (size_t i = 0; i < wide.size(); ++i) gb18030 += i == at ? "\x95\x32\x82\x36" : i == at + 1 ? "" : "\xB7\xA2";
    EXPECT_EQ(kv::WideToMultiByte(54936, wide), gb18030) << at;
    EXPECT_EQ(kv::MultiByteToWide(54936, gb18030), wide) << at;
    std::string gbk;  // GBK lacks it: one default character
    for (size_t i = 0; i < wide.size(); ++i) gbk += i == at ? "?" : i == at + 1 ? "" : "\xB7\xA2";
    EXPECT_EQ(kv::WideToMultiByte(936, wide), gbk) << at;
  }
  // A GB18030 lead and digit cut by an ASCII letter: the lead alone is replaced.
  EXPECT_EQ(kv::MultiByteToWide(54936, "\x81\x30zz"), u"\uFFFD0zz");
  EXPECT_EQ(kv::MultiByteToWide(936, "ab\x81"), u"ab\uFFFD");
}

// What the C library's CP936 converter makes of a whole text: a byte it cannot read is one
// U+FFFD and reading goes on at the next byte; a cut-off character at the end is one U+FFFD.
std::u16string ConverterDecode(const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-16LE", "CP936");
  std::u16string out;
  size_t at = 0;
  while (at < bytes.size()) {
    char* in = const_cast<char*>(bytes.data()) + at;
    size_t left = bytes.size() - at;
    char16_t buf[4096];
    char* o = reinterpret_cast<char*>(buf);
    size_t room = sizeof buf;
    const size_t r = iconv(cd, &in, &left, &o, &room);
    const int e = errno;
    out.append(buf, (sizeof buf - room) / sizeof(char16_t));
    at = bytes.size() - left;
    if (r != static_cast<size_t>(-1)) break;
    if (e == E2BIG) continue;
    out += u'\uFFFD';
    if (e == EINVAL) break;
    ++at;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

// Code page 936 is converted by tables made at build time: they must read and write every
// byte, pair and character as the C library's converter does.
TEST(BaseCodePage, Cp936AgreesWithTheConverter) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(kv::MultiByteToWide(936, one), ConverterDecode(one)) << b;
    EXPECT_EQ(kv::MultiByteToWide(936, one + "a"), ConverterDecode(one + "a")) << b;
    for (int t = 0; t <= 0xFF; ++t) {
      const std::string two{static_cast<char>(b), static_cast<char>(t)};
      ASSERT_EQ(kv::MultiByteToWide(936, two), ConverterDecode(two)) << b << " " << t;
    }
  }
  // Random bytes, mostly high ones: leads before bad trails, lone trails, cut-off ends.
  std::mt19937 random(936);
  for (int round = 0; round < 200; ++round) {
    std::string text(1 + random() % 64, ' ');
    for (char& c : text) c = static_cast<char>(random() % 4 == 0 ? 0x20 + random() % 0x60 : 0x80 + random() % 0x80);
    ASSERT_EQ(kv::MultiByteToWide(936, text), ConverterDecode(text)) << round;
  }
  iconv_t cd = iconv_open("CP936", "UTF-16LE");
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    char16_t unit = static_cast<char16_t>(c);
    char* in = reinterpret_cast<char*>(&unit);
    size_t left = sizeof unit;
    char bytes[8];
    char* o = bytes;
    size_t room = sizeof bytes;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const bool ok = iconv(cd, &in, &left, &o, &room) != static_cast<size_t>(-1);
    const std::string expected = ok ? std::string(bytes, sizeof bytes - room) : "?";
    ASSERT_EQ(kv::WideToMultiByte(936, std::u16string(1, unit)), expected) << static_cast<unsigned>(c);
  }
  iconv_close(cd);
  // Unpaired surrogates are U+FFFD, which the code page lacks.
  const char16_t lone[] = {u'a', 0xDC00, 0xD800};
  EXPECT_EQ(kv::WideToMultiByte(936, std::u16string(lone, 3)), "a??");
}

TEST(BaseCodePage, LengthTerminatorAndBufferRules) {
  CodePageScope scope(nullptr);
  WCHAR buf[8];
  // -1: the terminator is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kFapiaoGbk.c_str(), -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kFapiaoGbk.c_str(), -1, buf, 8), 3);
  EXPECT_EQ(buf[2], 0);
  // An explicit length converts only what it names.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kFapiaoGbk.c_str(), 4, nullptr, 0), 2);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kFapiaoGbk.c_str(), -1, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char out[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, kFapiaoWide.c_str(), -1, nullptr, 0, nullptr, nullptr), 5);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, kFapiaoWide.c_str(), -1, out, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  for (int len : {0, -2}) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "x", len, buf, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "x", 1, buf, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 1, buf, 8), 0);
}

TEST(BaseCodePage, UnmappableCharactersBecomeDefault) {
  const std::u16string thai = u"a\u0E01b";
  char out[16];
  BOOL used = FALSE;
  int n = WideCharToMultiByte(936, 0, thai.data(), 3, out, sizeof out, nullptr, &used);
  EXPECT_EQ(std::string(out, n), "a?b");
  EXPECT_TRUE(used);
  n = WideCharToMultiByte(936, 0, thai.data(), 3, out, sizeof out, "#", &used);
  EXPECT_EQ(std::string(out, n), "a#b");
  used = TRUE;
  WideCharToMultiByte(936, 0, kFapiaoWide.data(), 2, out, sizeof out, nullptr, &used);
  EXPECT_FALSE(used);

  // UTF-8: no default character; an unpaired surrogate becomes U+FFFD or fails.
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, thai.data(), 3, out, sizeof out, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  const char16_t lone[] = {u'x', 0xD800, u'y'};
  n = WideCharToMultiByte(CP_UTF8, 0, lone, 3, out, sizeof out, nullptr, nullptr);
  EXPECT_EQ(std::string(out, n), "x\xEF\xBF\xBDy");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, out, sizeof out, nullptr, nullptr), 0);
}

TEST(BaseCodePage, EnvironmentSelectsTheAnsiCodePage) {
  struct Case {
    const char* value;
    UINT acp;
  } cases[] = {{"65001", 65001}, {"1252", 1252}, {"936", 936}, {"bogus", 936}, {"42", 936}, {"", 936}};
  for (const auto& c : cases) {
    CodePageScope scope(c.value);
    EXPECT_EQ(GetACP(), c.acp) << c.value;
  }
  CodePageScope scope("65001");
  EXPECT_EQ(kv::AnsiToWide(kFapiaoUtf8), kFapiaoWide);
  EXPECT_EQ(kv::WideToAnsi(kFapiaoWide), kFapiaoUtf8);
  EXPECT_FALSE(IsDBCSLeadByte(0xB7));
}

TEST(BaseCodePage, DoubleByteStepping) {
  CodePageScope scope(nullptr);
  EXPECT_TRUE(IsDBCSLeadByte(0xB7));
  EXPECT_FALSE(IsDBCSLeadByte('a'));
  EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0xB7));
  EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x81));
  EXPECT_FALSE(IsDBCSLeadByteEx(932, 0xA1));

  const std::string s = "a" + kFapiaoGbk;  // a, 发, 票
  const char* p = s.c_str();
  EXPECT_EQ(CharNextA(p), p + 1);
  EXPECT_EQ(CharNextA(p + 1), p + 3);
  EXPECT_EQ(CharNextA(p + 5), p + 5);  // at the terminator
  EXPECT_EQ(CharPrevA(p, p + 5), p + 3);
  EXPECT_EQ(CharPrevA(p, p + 3), p + 1);
  EXPECT_EQ(CharPrevA(p, p), p);
  const char cut[] = "\xB7";  // a lead byte before the terminator stays one step
  EXPECT_EQ(CharNextA(cut), cut + 1);
}

TEST(BaseCodePage, CharacterLengthsOfEachKindOfCodePage) {
  struct Case {
    const char* code_page;  // nullptr: the default, 936
    std::string bytes;
    size_t length;
  } cases[] = {
      {nullptr, "a\xB7", 1},
      {nullptr, "\xB7\xA2`", 2},
      {nullptr, "\xB7`", 2},  // a trail byte in the ASCII range stays with its lead
      {nullptr, "\xB7", 1},   // cut by the end
      {nullptr, "\xB7,", 1},  // a byte that is never a trail byte stays apart
      {nullptr, "", 0},
      {"54936", "\x81\x30\x81\x30`", 4},
      {"54936", "\x81\x60`", 2},
      {"54936", "\x81\x30z", 1},  // a four-byte start cut by a letter
      {"54936", "\x81", 1},
      {"65001", kFapiaoUtf8, 3},
      {"65001", "\xE5\x8F", 2},  // a sequence cut by the end
      {"65001", "\xE5`", 1},
      {"1252", "\xE9`", 1},
  };
  for (const auto& c : cases) {
    CodePageScope scope(c.code_page);
    EXPECT_EQ(kv::AnsiCharLength(c.bytes), c.length) << (c.code_page ? c.code_page : "936") << " " << c.bytes;
  }
  CodePageScope scope("54936");
  const char gb[] = "\x81\x30\x81\x30" "a";  // CharNextA steps the same way
  EXPECT_EQ(CharNextA(gb), gb + 4);
}

}  // namespace
