// String, integer, file-name, file and error utilities of the framework.
#include "framework/core/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fpu_control.h>
#include <locale.h>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/path.h"

// ---------------------------------------------------------------------------------------
// Locale settings.

char DecimalSeparator = '.';
char ThousandSeparator = ',';
char DateSeparator = '-';
char TimeSeparator = ':';
AnsiString ShortDateFormat = "yyyy-mm-dd";
AnsiString LongDateFormat = "yyyy-mm-dd";
AnsiString ShortTimeFormat = "hh:nn";
AnsiString LongTimeFormat = "hh:nn:ss";
AnsiString TimeAMString = "AM";
AnsiString TimePMString = "PM";
AnsiString CurrencyString = "$";
int CurrencyDecimals = 2;
AnsiString ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
AnsiString LongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
AnsiString ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
AnsiString LongDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// ---------------------------------------------------------------------------------------
// Integers.

namespace {

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The framework's integer reading: leading blanks, sign, decimal or prefixed hexadecimal,
// nothing after. `bits` is 32 or 64; hexadecimal takes the full unsigned width.
bool ValInteger(const AnsiString& s, int bits, int64_t& out) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  bool hex = false;
  if (i < n && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  const uint64_t umax = bits == 32 ? 0xFFFFFFFFull : ~0ull;
  uint64_t v = 0;
  if (hex) {
    for (; i < n; ++i) {
      int d = HexDigit(static_cast<unsigned char>(s[i]));
      if (d < 0 || v > (umax >> 4)) return false;
      v = (v << 4) | static_cast<unsigned>(d);
    }
    if (bits == 32) {
      uint32_t u = static_cast<uint32_t>(v);
      if (negative) u = 0u - u;
      out = static_cast<int32_t>(u);
    } else {
      if (negative) v = 0ull - v;
      out = static_cast<int64_t>(v);
    }
    return true;
  }
  // Decimal: the magnitude may reach 2^(bits-1) only for a negative number.
  const uint64_t limit = (bits == 32 ? 0x80000000ull : 0x8000000000000000ull) - (negative ? 0 : 1);
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < '0' || c > '9') return false;
    unsigned d = c - '0';
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  out = negative ? static_cast<int64_t>(0ull - v) : static_cast<int64_t>(v);
  return true;
}

[[noreturn]] void ConvertError(const char* what, const AnsiString& s) {
  throw EConvertError("'" + s + "' is not a valid " + what);
}

}  // namespace

bool TryStrToInt(const AnsiString& s, int& value) {
  int64_t v;
  if (!ValInteger(s, 32, v)) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(const AnsiString& s) {
  int v;
  if (!TryStrToInt(s, v)) ConvertError("integer value", s);
  return v;
}

int StrToIntDef(const AnsiString& s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

bool TryStrToInt64(const AnsiString& s, int64_t& value) { return ValInteger(s, 64, value); }

int64_t StrToInt64(const AnsiString& s) {
  int64_t v;
  if (!ValInteger(s, 64, v)) ConvertError("integer value", s);
  return v;
}

int64_t StrToInt64Def(const AnsiString& s, int64_t def) {
  int64_t v;
  return ValInteger(s, 64, v) ? v : def;
}

AnsiString IntToStr(int value) { return std::to_string(value); }
AnsiString IntToStr(int64_t value) { return std::to_string(value); }

namespace {
AnsiString HexText(uint64_t v, int digits) {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
  AnsiString out(buf, static_cast<size_t>(n));
  if (static_cast<int>(out.size()) < digits) out.insert(0, static_cast<size_t>(digits) - out.size(), '0');
  return out;
}
}  // namespace

AnsiString IntToHex(int value, int digits) { return HexText(static_cast<uint32_t>(value), digits); }
AnsiString IntToHex(int64_t value, int digits) { return HexText(static_cast<uint64_t>(value), digits); }

// ---------------------------------------------------------------------------------------
// Reals.

bool TryStrToFloat(const AnsiString& s, double& value) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  size_t end = n;
  while (end > i && s[end - 1] == ' ') --end;
  // Rebuild the number in the C library's plain form: [-]digits[.digits][e[-]digits].
  std::string plain;
  if (i < end && (s[i] == '+' || s[i] == '-')) plain += s[i++];
  size_t mantissa_digits = 0;
  while (i < end && s[i] >= '0' && s[i] <= '9') plain += s[i++], ++mantissa_digits;
  if (i < end && s[i] == DecimalSeparator) {
    plain += '.';
    ++i;
    while (i < end && s[i] >= '0' && s[i] <= '9') plain += s[i++], ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  if (i < end && (s[i] == 'e' || s[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < end && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    size_t exp_digits = 0;
    while (i < end && s[i] >= '0' && s[i] <= '9') plain += s[i++], ++exp_digits;
    if (exp_digits == 0) return false;
  }
  if (i != end) return false;
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  errno = 0;
  double v = strtod_l(plain.c_str(), nullptr, c_locale);
  // Overflow fails; underflow reads as zero or a denormal, as a wider real would round.
  if (errno == ERANGE && (v > 1 || v < -1)) return false;
  value = v;
  return true;
}

double StrToFloat(const AnsiString& s) {
  double v;
  if (!TryStrToFloat(s, v)) ConvertError("floating point value", s);
  return v;
}

double StrToFloatDef(const AnsiString& s, double def) {
  double v;
  return TryStrToFloat(s, v) ? v : def;
}

AnsiString BoolToStr(bool b, bool use_bool_strs) {
  if (use_bool_strs) return b ? "True" : "False";
  return b ? "-1" : "0";
}

bool TryStrToBool(const AnsiString& s, bool& value) {
  if (SameText(s, "True")) return value = true, true;
  if (SameText(s, "False")) return value = false, true;
  double d;
  if (TryStrToFloat(s, d)) return value = d != 0, true;
  return false;
}

bool StrToBool(const AnsiString& s) {
  bool b;
  if (!TryStrToBool(s, b)) ConvertError("boolean value", s);
  return b;
}

// ---------------------------------------------------------------------------------------
// Double-byte characters.

bool IsLeadByte(unsigned char c) { return c >= 0x80 && IsDBCSLeadByte(c); }

TMbcsByteType ByteType(const AnsiString& s, int index) {
  if (index < 1 || index > static_cast<int>(s.size())) return mbSingleByte;
  size_t i = 0, target = static_cast<size_t>(index - 1);
  while (i < target) {
    if (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
      if (i + 1 == target) return mbTrailByte;
      i += 2;
    } else {
      ++i;
    }
  }
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? mbLeadByte : mbSingleByte;
}

// ---------------------------------------------------------------------------------------
// Case.

AnsiString UpperCase(const AnsiString& s) {
  AnsiString r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

AnsiString LowerCase(const AnsiString& s) {
  AnsiString r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

namespace {

// Case mapping of UTF-16 text through the C library's Unicode tables (surrogate pairs
// are left alone: no case pairs among them that the programs meet).
WideString MapWide(const WideString& s, bool upper) {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  }();
  WideString r = s;
  for (char16_t& c : r) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    wint_t m = upper ? towupper_l(static_cast<wint_t>(c), loc) : towlower_l(static_cast<wint_t>(c), loc);
    if (m <= 0xFFFF && !(m >= 0xD800 && m <= 0xDFFF)) c = static_cast<char16_t>(m);
  }
  return r;
}

// ASCII case mapping that leaves both bytes of a double-byte character alone.
AnsiString MapAnsiBytes(const AnsiString& s, bool upper) {
  AnsiString r = s;
  for (size_t i = 0; i < r.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(r[i]);
    if (IsLeadByte(c)) {
      ++i;
      continue;
    }
    if (upper && c >= 'a' && c <= 'z') r[i] = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') r[i] = static_cast<char>(c + 32);
  }
  return r;
}

bool IsAscii(const AnsiString& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

AnsiString MapAnsi(const AnsiString& s, bool upper) {
  if (IsAscii(s)) return upper ? UpperCase(s) : LowerCase(s);
  // Through UTF-16 when the text converts both ways unchanged; otherwise bytewise.
  WideString w = kv::AnsiToWide(s);
  if (kv::WideToAnsi(w) != s) return MapAnsiBytes(s, upper);
  AnsiString mapped = kv::WideToAnsi(MapWide(w, upper));
  // A mapped character the code page lacks would turn into '?': keep such text as it was.
  if (kv::AnsiToWide(mapped) != MapWide(w, upper)) return MapAnsiBytes(s, upper);
  return mapped;
}

}  // namespace

AnsiString AnsiUpperCase(const AnsiString& s) { return MapAnsi(s, true); }
AnsiString AnsiLowerCase(const AnsiString& s) { return MapAnsi(s, false); }
WideString WideUpperCase(const WideString& s) { return MapWide(s, true); }
WideString WideLowerCase(const WideString& s) { return MapWide(s, false); }

// ---------------------------------------------------------------------------------------
// Trimming, searching, slicing.

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

AnsiString Trim(const AnsiString& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

AnsiString TrimLeft(const AnsiString& s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return s.substr(b);
}

AnsiString TrimRight(const AnsiString& s) {
  size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

int Pos(const AnsiString& sub, const AnsiString& s) { return PosEx(sub, s, 1); }

int PosEx(const AnsiString& sub, const AnsiString& s, int offset) {
  if (sub.empty() || offset < 1 || static_cast<size_t>(offset) > s.size()) return 0;
  size_t p = s.find(sub, static_cast<size_t>(offset - 1));
  return p == AnsiString::npos ? 0 : static_cast<int>(p + 1);
}

int AnsiPos(const AnsiString& sub, const AnsiString& s) {
  if (sub.empty()) return 0;
  size_t i = 0;
  while (i + sub.size() <= s.size()) {
    if (s.compare(i, sub.size(), sub) == 0) return static_cast<int>(i + 1);
    i += IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
  }
  return 0;
}

AnsiString Copy(const AnsiString& s, int index, int count) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<size_t>(index) > s.size()) return AnsiString();
  return s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

void Delete(AnsiString& s, int index, int count) {
  if (index < 1 || static_cast<size_t>(index) > s.size() || count <= 0) return;
  s.erase(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

void Insert(const AnsiString& source, AnsiString& s, int index) {
  if (index < 1) index = 1;
  size_t at = std::min(static_cast<size_t>(index - 1), s.size());
  s.insert(at, source);
}

AnsiString StringReplace(const AnsiString& s, const AnsiString& old_pattern, const AnsiString& new_pattern,
                         TReplaceFlags flags) {
  if (old_pattern.empty()) return s;
  const bool ignore_case = (flags & rfIgnoreCase) != 0;
  const AnsiString search = ignore_case ? AnsiUpperCase(s) : s;
  const AnsiString pattern = ignore_case ? AnsiUpperCase(old_pattern) : old_pattern;
  // Upper-casing keeps byte lengths in nearly every case; when it does not, positions in
  // the upper-cased copy would not match the original, so fall back to ASCII folding.
  const bool aligned = search.size() == s.size() && pattern.size() == old_pattern.size();
  const AnsiString& hay = aligned ? search : (ignore_case ? UpperCase(s) : s);
  const AnsiString& needle = aligned ? pattern : (ignore_case ? UpperCase(old_pattern) : old_pattern);
  AnsiString out;
  size_t i = 0;
  while (i <= hay.size()) {
    size_t p = AnsiString::npos;
    // Whole characters only: a match may not start on a trail byte.
    for (size_t j = i; j + needle.size() <= hay.size();) {
      if (hay.compare(j, needle.size(), needle) == 0) {
        p = j;
        break;
      }
      j += IsLeadByte(static_cast<unsigned char>(hay[j])) ? 2 : 1;
    }
    if (p == AnsiString::npos) break;
    out.append(s, i, p - i);
    out += new_pattern;
    i = p + needle.size();
    if (!(flags & rfReplaceAll)) break;
  }
  if (i < s.size()) out.append(s, i, AnsiString::npos);
  return out;
}

// ---------------------------------------------------------------------------------------
// Comparison.

namespace {
int CompareBytes(const AnsiString& a, const AnsiString& b, bool fold) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (fold) {
      if (x >= 'a' && x <= 'z') x -= 32;
      if (y >= 'a' && y <= 'z') y -= 32;
    }
    if (x != y) return x - y;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
}  // namespace

int CompareStr(const AnsiString& a, const AnsiString& b) { return CompareBytes(a, b, false); }
int CompareText(const AnsiString& a, const AnsiString& b) { return CompareBytes(a, b, true); }
bool SameText(const AnsiString& a, const AnsiString& b) { return CompareText(a, b) == 0; }
int AnsiCompareText(const AnsiString& a, const AnsiString& b) {
  if (IsAscii(a) && IsAscii(b)) return Sign(CompareBytes(LowerCase(a), LowerCase(b), false));
  return Sign(CompareBytes(AnsiLowerCase(a), AnsiLowerCase(b), false));
}
int AnsiCompareStr(const AnsiString& a, const AnsiString& b) {
  int r = AnsiCompareText(a, b);
  if (r != 0 || a == b) return r;
  // Equal but for letter case: at the first difference, lower case sorts first.
  const AnsiString la = AnsiLowerCase(a);
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return a[i] == la[i] ? -1 : 1;
  return Sign(static_cast<int>(a.size()) - static_cast<int>(b.size()));
}
bool AnsiSameText(const AnsiString& a, const AnsiString& b) { return AnsiCompareText(a, b) == 0; }

// ---------------------------------------------------------------------------------------
// Quoting.

AnsiString AnsiQuotedStr(const AnsiString& s, char quote) {
  AnsiString r(1, quote);
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(c) && i + 1 < s.size()) {
      r += s[i];
      r += s[++i];
      continue;
    }
    r += s[i];
    if (s[i] == quote) r += quote;
  }
  r += quote;
  return r;
}

AnsiString QuotedStr(const AnsiString& s) { return AnsiQuotedStr(s, '\''); }

AnsiString AnsiExtractQuotedStr(const char*& src, char quote) {
  if (src == nullptr || *src != quote) return AnsiString();
  const char* p = src + 1;
  AnsiString r;
  while (*p) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
      r += p[0];
      r += p[1];
      p += 2;
      continue;
    }
    if (*p == quote) {
      if (p[1] == quote) {
        r += quote;
        p += 2;
        continue;
      }
      ++p;  // the closing quote
      break;
    }
    r += *p++;
  }
  src = p;
  return r;
}

AnsiString AnsiDequotedStr(const AnsiString& s, char quote) {
  if (s.empty() || s[0] != quote) return s;
  const char* p = s.c_str();
  return AnsiExtractQuotedStr(p, quote);
}

AnsiString StringOfChar(char ch, int count) {
  return count > 0 ? AnsiString(static_cast<size_t>(count), ch) : AnsiString();
}

int LastDelimiter(const AnsiString& delimiters, const AnsiString& s) {
  int last = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(c) && i + 1 < s.size()) {
      ++i;
      continue;
    }
    if (c != 0 && delimiters.find(static_cast<char>(c)) != AnsiString::npos) last = static_cast<int>(i + 1);
  }
  return last;
}

bool IsDelimiter(const AnsiString& delimiters, const AnsiString& s, int index) {
  if (index < 1 || index > static_cast<int>(s.size())) return false;
  char c = s[static_cast<size_t>(index - 1)];
  return c != 0 && delimiters.find(c) != AnsiString::npos && ByteType(s, index) == mbSingleByte;
}

// ---------------------------------------------------------------------------------------
// File names.

namespace {
const AnsiString kPathDelims = "\\/";
const AnsiString kPathDriveDelims = "\\/:";
bool IsSlash(char c) { return c == '\\' || c == '/'; }
}  // namespace

bool IsPathDelimiter(const AnsiString& s, int index) { return IsDelimiter(kPathDelims, s, index); }

AnsiString ExtractFilePath(const AnsiString& file_name) {
  return Copy(file_name, 1, LastDelimiter(kPathDriveDelims, file_name));
}

AnsiString ExtractFileDir(const AnsiString& file_name) {
  int i = LastDelimiter(kPathDriveDelims, file_name);
  // "c:\" and "\" keep their delimiter: they name a root.
  if (i > 1 && IsSlash(file_name[static_cast<size_t>(i - 1)]) && !IsDelimiter(kPathDriveDelims, file_name, i - 1)) --i;
  return Copy(file_name, 1, i);
}

AnsiString ExtractFileName(const AnsiString& file_name) {
  return file_name.substr(static_cast<size_t>(LastDelimiter(kPathDriveDelims, file_name)));
}

AnsiString ExtractFileExt(const AnsiString& file_name) {
  int i = LastDelimiter(".\\/:", file_name);
  if (i > 0 && file_name[static_cast<size_t>(i - 1)] == '.') return file_name.substr(static_cast<size_t>(i - 1));
  return AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& file_name, const AnsiString& extension) {
  int i = LastDelimiter(".\\/:", file_name);
  if (i == 0 || file_name[static_cast<size_t>(i - 1)] != '.') return file_name + extension;
  return file_name.substr(0, static_cast<size_t>(i - 1)) + extension;
}

AnsiString ExtractFileDrive(const AnsiString& file_name) {
  if (file_name.size() >= 2 && file_name[1] == ':') return file_name.substr(0, 2);
  if (file_name.size() >= 2 && IsSlash(file_name[0]) && IsSlash(file_name[1])) {
    // "\\server\share": up to, not including, the delimiter after the share.
    int seps = 0;
    size_t i = 2;
    for (; i < file_name.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(file_name[i]);
      if (IsLeadByte(c) && i + 1 < file_name.size()) {
        ++i;
        continue;
      }
      if (IsSlash(file_name[i]) && ++seps == 2) break;
    }
    return file_name.substr(0, i);
  }
  return AnsiString();
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& s) {
  if (IsPathDelimiter(s, static_cast<int>(s.size()))) return s;
  int last = LastDelimiter(kPathDelims, s);
  char sep = last > 0 ? s[static_cast<size_t>(last - 1)] : '\\';
  return s + sep;
}

AnsiString IncludeTrailingBackslash(const AnsiString& s) { return IncludeTrailingPathDelimiter(s); }

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& s) {
  if (IsPathDelimiter(s, static_cast<int>(s.size()))) return s.substr(0, s.size() - 1);
  return s;
}

AnsiString ExcludeTrailingBackslash(const AnsiString& s) { return ExcludeTrailingPathDelimiter(s); }

// ---------------------------------------------------------------------------------------
// Files, through the platform's file functions (which map Windows paths). Failures leave
// the platform's last error.

namespace {
DWORD Attributes(const AnsiString& name) {
  if (name.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesA(name.c_str());
}
}  // namespace

bool FileExists(const AnsiString& file_name) {
  DWORD a = Attributes(file_name);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const AnsiString& directory) {
  DWORD a = Attributes(directory);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDir(const AnsiString& directory) { return CreateDirectoryA(directory.c_str(), nullptr) != 0; }

bool ForceDirectories(const AnsiString& directory) {
  if (directory.empty()) throw EInOutError("Unable to create directory");
  AnsiString dir = ExcludeTrailingPathDelimiter(directory);
  if (dir.empty() || (dir.size() == 2 && dir[1] == ':') || DirectoryExists(dir)) return true;
  AnsiString parent = ExtractFilePath(dir);
  if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
  return CreateDir(dir) || DirectoryExists(dir);
}

bool DeleteFile(const AnsiString& file_name) { return DeleteFileA(file_name.c_str()) != 0; }

bool RenameFile(const AnsiString& old_name, const AnsiString& new_name) {
  return MoveFileA(old_name.c_str(), new_name.c_str()) != 0;
}

AnsiString GetCurrentDir() {
  char buf[4096];
  DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  if (n > 0 && n < sizeof buf) return AnsiString(buf, n);
  if (n >= sizeof buf) {
    std::string big(n, '\0');
    DWORD m = GetCurrentDirectoryA(n, big.data());
    if (m > 0 && m < n) return big.substr(0, m);
  }
  RaiseLastOSError();
}

// ---------------------------------------------------------------------------------------
// Errors.

AnsiString SysErrorMessage(unsigned error_code) {
  char buf[1024];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error_code, 0, buf,
                           sizeof buf, nullptr);
  AnsiString text(buf, n);
  // The platform's texts end in a line break, which the message does not keep.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

void RaiseLastOSError() { RaiseLastOSError(GetLastError()); }

void RaiseLastOSError(unsigned error_code) {
  if (error_code != 0)
    throw EOSError("System Error.  Code: " + std::to_string(error_code) + ".\r\n" + SysErrorMessage(error_code),
                   error_code);
  throw EOSError("A call to an OS function failed", 0);
}

void Abort() { throw EAbort("Operation aborted"); }

void OutOfMemoryError() { throw EOutOfMemory("Out of memory"); }

void Set8087CW(WORD Value) {
  fpu_control_t cw = Value;
  _FPU_SETCW(cw);
  unsigned mxcsr = __builtin_ia32_stmxcsr();
  mxcsr &= ~0x7F80u;                          // masks (bits 7-12) and rounding (13-14)
  mxcsr |= (Value & 0x3Fu) << 7;              // the six exception masks
  mxcsr |= ((Value >> 10) & 0x3u) << 13;      // rounding control
  __builtin_ia32_ldmxcsr(mxcsr);
}

WORD Get8087CW() {
  fpu_control_t cw;
  _FPU_GETCW(cw);
  return static_cast<WORD>(cw);
}
