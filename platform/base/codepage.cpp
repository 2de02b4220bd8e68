// Code pages: the process's ANSI code page and conversions. UTF-8 is converted here, and
// code page 936 by tables made at build time from the C library's converter (so that the
// ANSI code page's conversions need no converter module); every other code page goes
// through iconv, by way of UTF-32 code points a chunk at a time.
#include "platform/base/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/ansi_char.h"
#include "platform/base/codepage_table.h"
#include "platform/base/error.h"

namespace {

struct CodePageInfo {
  UINT number;
  const char* iconv_name;
  // Lead-byte ranges of a double-byte code page (0, 0 when none).
  BYTE lead1_lo, lead1_hi, lead2_lo, lead2_hi;
  // Its tables, when it is converted by them rather than by iconv.
  const kv::DoubleByteTable* table = nullptr;
};

// Code pages whose converter combines a character with the marks that follow it: there
// an ASCII letter is not a character on its own until the next byte is seen.
bool Combines(const CodePageInfo* cp) { return cp->number == 1255 || cp->number == 1258; }

constexpr CodePageInfo kCodePages[] = {
    {437, "CP437", 0, 0, 0, 0},
    {850, "CP850", 0, 0, 0, 0},
    {852, "CP852", 0, 0, 0, 0},
    {866, "CP866", 0, 0, 0, 0},
    {874, "CP874", 0, 0, 0, 0},
    {932, "CP932", 0x81, 0x9F, 0xE0, 0xFC},
    {936, "CP936", 0x81, 0xFE, 0, 0, &kv::kCp936Table},
    {949, "CP949", 0x81, 0xFE, 0, 0},
    {950, "CP950", 0x81, 0xFE, 0, 0},
    {1250, "CP1250", 0, 0, 0, 0},
    {1251, "CP1251", 0, 0, 0, 0},
    {1252, "CP1252", 0, 0, 0, 0},
    {1253, "CP1253", 0, 0, 0, 0},
    {1254, "CP1254", 0, 0, 0, 0},
    {1255, "CP1255", 0, 0, 0, 0},
    {1256, "CP1256", 0, 0, 0, 0},
    {1257, "CP1257", 0, 0, 0, 0},
    {1258, "CP1258", 0, 0, 0, 0},
    {20127, "ANSI_X3.4-1968", 0, 0, 0, 0},
    {20936, "GB2312", 0xA1, 0xFE, 0, 0},
    {28591, "ISO-8859-1", 0, 0, 0, 0},
    {54936, "GB18030", 0, 0, 0, 0},
    {CP_UTF8, nullptr, 0, 0, 0, 0},
};

constexpr UINT kDefaultAnsiCodePage = 936;

const CodePageInfo* FindCodePage(UINT number) {
  for (const auto& cp : kCodePages) {
    if (cp.number == number) return &cp;
  }
  return nullptr;
}

std::atomic<UINT> g_acp{0};

UINT ReadAnsiCodePage() {
  UINT acp = g_acp.load(std::memory_order_acquire);
  if (acp != 0) return acp;
  acp = kDefaultAnsiCodePage;
  if (const char* v = std::getenv("KORVANE_CODEPAGE")) {
    char* end = nullptr;
    unsigned long n = std::strtoul(v, &end, 10);
    if (end != v && *end == '\0' && n <= 0xFFFFFFFFul && FindCodePage(static_cast<UINT>(n))) acp = static_cast<UINT>(n);
  }
  UINT expected = 0;
  g_acp.compare_exchange_strong(expected, acp, std::memory_order_acq_rel);
  return g_acp.load(std::memory_order_acquire);
}

UINT OemFor(UINT acp) {
  switch (acp) {
    case 1252: return 437;
    case 1250: return 852;
    case 1251: return 866;
    default: return acp;
  }
}

// Resolves CP_ACP and friends; nullptr for a code page we do not know.
const CodePageInfo* Resolve(UINT code_page) {
  switch (code_page) {
    case CP_ACP:
    case CP_THREAD_ACP: return FindCodePage(ReadAnsiCodePage());
    case CP_OEMCP: return FindCodePage(OemFor(ReadAnsiCodePage()));
    default: return FindCodePage(code_page);
  }
}

const char* Utf32Name() {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return "UTF-32LE";
#else
  return "UTF-32BE";
#endif
}

iconv_t OpenConverter(const CodePageInfo* cp, bool decode) {
  return decode ? iconv_open(Utf32Name(), cp->iconv_name) : iconv_open(cp->iconv_name, Utf32Name());
}

// Set when this thread's cache has been destroyed. A module's static destructor can still
// convert text at process exit, after the main thread's objects are gone; being trivially
// destructible, the flag outlives the cache.
thread_local bool t_converters_gone = false;

// iconv descriptors are not thread-safe, so every thread keeps its own.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& e : entries_) iconv_close(e.cd);
    t_converters_gone = true;
  }
  iconv_t Get(const CodePageInfo* cp, bool decode) {
    for (auto& e : entries_) {
      if (e.cp == cp->number && e.decode == decode) {
        iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
        return e.cd;
      }
    }
    iconv_t cd = OpenConverter(cp, decode);
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    entries_.push_back({cp->number, decode, cd});
    return cd;
  }

 private:
  struct Entry {
    UINT cp;
    bool decode;
    iconv_t cd;
  };
  std::vector<Entry> entries_;
};

thread_local ConverterCache t_converters;

// The converter for one conversion: the thread's cached one, or, once the cache is gone,
// one of its own that is closed when the conversion ends.
class Converter {
 public:
  Converter(const CodePageInfo* cp, bool decode)
      : owned_(t_converters_gone), cd_(owned_ ? OpenConverter(cp, decode) : t_converters.Get(cp, decode)) {}
  ~Converter() {
    if (owned_ && cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  iconv_t get() const { return cd_; }

 private:
  bool owned_;
  iconv_t cd_;
};

// Where a conversion's output goes: only counted (a size query: no buffer), or written into
// the caller's buffer while it has room. `n` counts all of it either way, so nothing is
// ever held beside the caller's buffer.
template <class Ch>
struct Output {
  Ch* dst = nullptr;
  size_t cap = 0;
  size_t n = 0;
  void Put(Ch c) {
    if (n < cap) dst[n] = c;
    ++n;
  }
  void Append(const Ch* p, size_t k) {
    if (n < cap) std::memcpy(dst + n, p, std::min(k, cap - n) * sizeof(Ch));
    n += k;
  }
};

void AppendUtf16(char32_t c, Output<char16_t>& out) {
  if (c < 0x10000) {
    out.Put(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.Put(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.Put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// UTF-8 to UTF-16; an ill-formed sequence (maximal subpart) becomes one U+FFFD.
bool DecodeUtf8(const unsigned char* s, size_t n, bool strict, Output<char16_t>& out) {
  size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.Put(b);
      ++i;
      continue;
    }
    int need = 0;
    char32_t c = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      if (strict) return false;
      out.Put(0xFFFD);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      if (j >= n || s[j] < lo || s[j] > hi) {
        ok = false;
        break;
      }
      c = (c << 6) | (s[j] & 0x3F);
      lo = 0x80;
      hi = 0xBF;
    }
    if (!ok) {
      if (strict) return false;
      out.Put(0xFFFD);
      i = j;
      continue;
    }
    AppendUtf16(c, out);
    i = j;
  }
  return true;
}

constexpr char32_t kBadUnit = 0xFFFFFFFF;

// The code point starting at s[*i], *i moved past it; an unpaired surrogate is U+FFFD, or
// kBadUnit when strict.
char32_t NextCodePoint(const char16_t* s, size_t n, size_t* i, bool strict) {
  char16_t u = s[(*i)++];
  if (u >= 0xD800 && u <= 0xDBFF && *i < n && s[*i] >= 0xDC00 && s[*i] <= 0xDFFF)
    return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[(*i)++] - 0xDC00);
  if (u >= 0xD800 && u <= 0xDFFF) return strict ? kBadUnit : 0xFFFD;
  return u;
}

// UTF-16 to UTF-8; false for an unpaired surrogate when strict.
bool EncodeUtf8(const char16_t* s, size_t n, bool strict, Output<char>& out) {
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      out.Put(static_cast<char>(s[i++]));
      continue;
    }
    char32_t c = NextCodePoint(s, n, &i, strict);
    if (c == kBadUnit) return false;
    if (c < 0x800) {
      out.Put(static_cast<char>(0xC0 | (c >> 6)));
      out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.Put(static_cast<char>(0xE0 | (c >> 12)));
      out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.Put(static_cast<char>(0xF0 | (c >> 18)));
      out.Put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

// A double-byte code page to UTF-16 by its tables, as its converter reads it: a byte that
// is no character, and a lead byte whose trail makes no character, are each one U+FFFD
// (the trail is then read on its own); a lead byte cut off at the end ends the text.
bool DecodeTable(const kv::DoubleByteTable& t, const unsigned char* s, size_t n, bool strict, Output<char16_t>& out) {
  for (size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.Put(b);
      ++i;
      continue;
    }
    const char16_t single = t.single[b - 0x80];
    char16_t c = single;
    size_t length = 1;
    if (single == kv::DoubleByteTable::kLeadMark) {
      if (i + 1 == n) {
        if (strict) return false;
        out.Put(0xFFFD);
        break;
      }
      c = t.Pair(b, s[i + 1]);
      length = 2;
    }
    if (c == 0) {
      if (strict) return false;
      out.Put(0xFFFD);
      ++i;
      continue;
    }
    out.Put(c);
    i += length;
  }
  return true;
}

// UTF-16 to a double-byte code page by its tables; characters it lacks become `def`.
void EncodeTable(const kv::DoubleByteTable& t, const char16_t* s, size_t n, const std::string& def, Output<char>& out,
                 bool* used_default) {
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      out.Put(static_cast<char>(s[i++]));
      continue;
    }
    const unsigned short bytes = t.Bytes(NextCodePoint(s, n, &i, false));
    if (bytes == 0) {
      out.Append(def.data(), def.size());
      *used_default = true;
    } else if (bytes < 0x100) {
      out.Put(static_cast<char>(bytes));
    } else {
      out.Put(static_cast<char>(bytes >> 8));
      out.Put(static_cast<char>(bytes & 0xFF));
    }
  }
}

// Multi-byte (iconv) to UTF-16. Returns false for a strict failure or iconv trouble
// (*error set).
bool DecodeIconv(const CodePageInfo* cp, const char* s, size_t n, bool strict, Output<char16_t>& out, DWORD* error) {
  Converter converter(cp, true);
  iconv_t cd = converter.get();
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  const char* end = s + n;
  const bool ascii = !Combines(cp);
  char* in = const_cast<char*>(s);
  // ASCII bytes are themselves in every code page here; only the runs around other bytes
  // go through iconv. A run ends at two ASCII bytes in a row: a byte after a non-ASCII
  // one may be its trail byte (or a GB18030 digit), but the one after that starts afresh.
  char* stop = in;
  char32_t chunk[256];
  while (in < end) {
    if (ascii && in == stop) {
      while (in < end && static_cast<unsigned char>(*in) < 0x80) out.Put(static_cast<unsigned char>(*in++));
      if (in == end) break;
      stop = in;
      while (stop < end && (static_cast<unsigned char>(*stop) >= 0x80 || static_cast<unsigned char>(stop[-1]) >= 0x80))
        ++stop;
    }
    if (!ascii) stop = const_cast<char*>(end);
    size_t in_left = static_cast<size_t>(stop - in);
    char* o = reinterpret_cast<char*>(chunk);
    size_t o_left = sizeof chunk;
    size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    int e = errno;
    size_t produced = (sizeof chunk - o_left) / sizeof(char32_t);
    for (size_t k = 0; k < produced; ++k) AppendUtf16(chunk[k], out);
    if (r != static_cast<size_t>(-1)) continue;
    if (e == E2BIG) continue;
    if (e == EINVAL && stop < end) {
      // A sequence cut by the run's end: the whole rest decides what it is.
      stop = const_cast<char*>(end);
      continue;
    }
    if (e == EILSEQ || e == EINVAL) {
      if (strict) {
        *error = ERROR_NO_UNICODE_TRANSLATION;
        return false;
      }
      out.Put(0xFFFD);
      if (e == EINVAL) break;  // incomplete sequence at the end
      ++in;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  return true;
}

// UTF-16 to a multi-byte code page (iconv, fed code points a chunk at a time; unpaired
// surrogates are U+FFFD); characters it lacks become `def`.
bool EncodeIconv(const CodePageInfo* cp, const char16_t* s, size_t n, const std::string& def, Output<char>& out,
                 bool* used_default, DWORD* error) {
  Converter converter(cp, false);
  iconv_t cd = converter.get();
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  const bool ascii = !Combines(cp);
  char32_t cps[256];
  char chunk[512];
  size_t i = 0;
  while (i < n) {
    // ASCII characters are their own bytes; the runs of others go through iconv.
    if (ascii) {
      while (i < n && s[i] < 0x80) out.Put(static_cast<char>(s[i++]));
      if (i == n) break;
    }
    size_t count = 0;
    while (i < n && count < std::size(cps) && !(ascii && s[i] < 0x80)) cps[count++] = NextCodePoint(s, n, &i, false);
    char* in = reinterpret_cast<char*>(cps);
    size_t in_left = count * sizeof(char32_t);
    while (in_left > 0) {
      char* o = chunk;
      size_t o_left = sizeof chunk;
      size_t r = iconv(cd, &in, &in_left, &o, &o_left);
      int e = errno;
      out.Append(chunk, sizeof chunk - o_left);
      if (r != static_cast<size_t>(-1)) break;
      if (e == E2BIG) continue;
      if (e == EILSEQ || e == EINVAL) {
        out.Append(def.data(), def.size());
        *used_default = true;
        size_t skip = in_left < sizeof(char32_t) ? in_left : sizeof(char32_t);
        in += skip;
        in_left -= skip;
        continue;
      }
      *error = ERROR_INVALID_PARAMETER;
      return false;
    }
  }
  // Flush any shift state.
  char* o = chunk;
  size_t o_left = sizeof chunk;
  iconv(cd, nullptr, nullptr, &o, &o_left);
  out.Append(chunk, sizeof chunk - o_left);
  return true;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

extern "C" {

UINT GetACP(void) { return ReadAnsiCodePage(); }
UINT GetOEMCP(void) { return OemFor(ReadAnsiCodePage()); }
BOOL IsValidCodePage(UINT code_page) { return FindCodePage(code_page) != nullptr; }
void KvCodePageReset(void) { g_acp.store(0, std::memory_order_release); }

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR src, int src_len, LPWSTR dst, int dst_len) {
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst))
    return Fail(ERROR_INVALID_PARAMETER);
  const CodePageInfo* cp = Resolve(code_page);
  if (!cp) return Fail(ERROR_INVALID_PARAMETER);
  size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<size_t>(src_len);
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  Output<char16_t> out{dst_len > 0 ? reinterpret_cast<char16_t*>(dst) : nullptr, static_cast<size_t>(dst_len)};
  if (cp->number == CP_UTF8) {
    if (!DecodeUtf8(reinterpret_cast<const unsigned char*>(src), n, strict, out))
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
  } else if (cp->table) {
    if (!DecodeTable(*cp->table, reinterpret_cast<const unsigned char*>(src), n, strict, out))
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
  } else {
    DWORD error = 0;
    if (!DecodeIconv(cp, src, n, strict, out, &error)) return Fail(error);
  }
  if (out.n > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
  int needed = static_cast<int>(out.n);
  if (dst_len == 0) return needed;
  if (dst_len < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return needed;
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR src, int src_len, LPSTR dst, int dst_len,
                        LPCSTR default_char, BOOL* used_default) {
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst))
    return Fail(ERROR_INVALID_PARAMETER);
  const CodePageInfo* cp = Resolve(code_page);
  if (!cp) return Fail(ERROR_INVALID_PARAMETER);
  size_t n = 0;
  if (src_len == -1) {
    while (src[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(src_len);
  }
  Output<char> out{dst_len > 0 ? dst : nullptr, static_cast<size_t>(dst_len)};
  if (cp->number == CP_UTF8) {
    if (default_char || used_default) return Fail(ERROR_INVALID_PARAMETER);
    if (!EncodeUtf8(src, n, (flags & WC_ERR_INVALID_CHARS) != 0, out)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  } else {
    std::string def = default_char && *default_char ? std::string(1, *default_char) : "?";
    bool used = false;
    DWORD error = 0;
    if (cp->table)
      EncodeTable(*cp->table, src, n, def, out, &used);
    else if (!EncodeIconv(cp, src, n, def, out, &used, &error))
      return Fail(error);
    if (used_default) *used_default = used ? TRUE : FALSE;
  }
  if (out.n > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
  int needed = static_cast<int>(out.n);
  if (dst_len == 0) return needed;
  if (dst_len < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return needed;
}

BOOL IsDBCSLeadByteEx(UINT code_page, BYTE c) {
  const CodePageInfo* cp = Resolve(code_page);
  if (!cp) return Fail(ERROR_INVALID_PARAMETER);
  if (cp->lead1_lo && c >= cp->lead1_lo && c <= cp->lead1_hi) return TRUE;
  if (cp->lead2_lo && c >= cp->lead2_lo && c <= cp->lead2_hi) return TRUE;
  return FALSE;
}

BOOL IsDBCSLeadByte(BYTE c) { return IsDBCSLeadByteEx(CP_ACP, c); }

LPSTR CharNextA(LPCSTR current) {
  if (!current) return nullptr;
  if (*current == 0) return const_cast<LPSTR>(current);
  return const_cast<LPSTR>(current + kv::AnsiCharLength(std::string_view(current, strnlen(current, 4))));
}

LPSTR CharPrevA(LPCSTR start, LPCSTR current) {
  if (!start || !current || current <= start) return const_cast<LPSTR>(start);
  LPCSTR p = start;
  for (;;) {
    LPCSTR next = CharNextA(p);
    if (next >= current || next == p) return const_cast<LPSTR>(p);
    p = next;
  }
}

}  // extern "C"

size_t kv::AnsiCharLength(std::string_view rest) {
  if (rest.empty()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(rest.data());
  if (p[0] < 0x80) return 1;
  const size_t n = rest.size();
  const UINT acp = GetACP();
  if (acp == CP_UTF8) {
    const size_t len = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC0 ? 2 : 1;
    size_t k = 1;
    while (k < len && k < n && (p[k] & 0xC0) == 0x80) ++k;
    return k;
  }
  if (acp == 54936) {
    // GB18030 has no lead bytes of its own kind: a byte 81-FE opens a two-byte character,
    // or a four-byte one when a digit follows.
    auto digit = [](unsigned char c) { return c >= 0x30 && c <= 0x39; };
    auto lead = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };
    if (!lead(p[0]) || n < 2) return 1;
    if (digit(p[1])) return n >= 4 && lead(p[2]) && digit(p[3]) ? 4 : 1;
    return p[1] >= 0x40 && p[1] != 0x7F && p[1] != 0xFF ? 2 : 1;
  }
  // Trail bytes of every double-byte code page here are 40 or above; a lead before a
  // lower byte (a digit, ",", "$") is a character of its own, as the conversion reads it.
  return IsDBCSLeadByte(p[0]) && n >= 2 && p[1] >= 0x40 ? 2 : 1;
}
