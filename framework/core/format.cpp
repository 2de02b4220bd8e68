// Number formatting: FloatToStrF and its forms, FormatFloat, and Format.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/core/sysutils.h"
#include "platform/base/codepage.h"

namespace {

// A real as decimal digits: value = 0.d1d2d3... x 10^exponent. Digits carry no trailing
// zeros; zero has no digits.
struct FloatRec {
  bool negative = false;
  int exponent = 0;
  std::string digits;
};

FloatRec MakeFloatRec(double v, int precision) {
  FloatRec r;
  r.negative = std::signbit(v);
  if (v == 0) return r;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(v));
  // "d.ddde+XX" (the point may be any character the C library's locale uses).
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') r.digits += *p;
  int e = std::atoi(*p ? p + 1 : "0");
  r.exponent = e + 1;
  while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
  if (r.digits.empty()) r.exponent = 0;
  return r;
}

// Rounds half up so that `keep` digits remain (keep counted from the first digit).
void RoundDigits(FloatRec& r, int keep) {
  if (keep < 0) {
    r.digits.clear();
    r.exponent = 0;
    return;
  }
  if (static_cast<size_t>(keep) >= r.digits.size()) return;
  bool up = r.digits[static_cast<size_t>(keep)] >= '5';
  r.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && r.digits[static_cast<size_t>(i)] == '9') r.digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++r.digits[static_cast<size_t>(i)];
    } else {
      r.digits.insert(r.digits.begin(), '1');
      ++r.exponent;
    }
  }
  while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
  if (r.digits.empty()) r.exponent = 0;
}

std::string Special(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

std::string ExponentText(int e, int min_digits, bool plus) {
  std::string s = e < 0 ? "-" : (plus ? "+" : "");
  std::string d = std::to_string(e < 0 ? -e : e);
  if (static_cast<int>(d.size()) < min_digits) d.insert(0, static_cast<size_t>(min_digits) - d.size(), '0');
  return s + d;
}

std::string Scientific(const FloatRec& r, int mantissa_digits, int exp_digits, bool plus) {
  std::string d = r.digits.empty() ? "0" : r.digits;
  if (mantissa_digits > 0 && static_cast<int>(d.size()) < mantissa_digits)
    d.append(static_cast<size_t>(mantissa_digits) - d.size(), '0');
  std::string s(1, d[0]);
  if (d.size() > 1) s += DecimalSeparator + d.substr(1);
  return s + "E" + ExponentText(r.digits.empty() ? 0 : r.exponent - 1, exp_digits, plus);
}

// Integer and decimal digits of a rounded record with exactly `decimals` decimals.
void FixedParts(const FloatRec& r, int decimals, std::string& int_part, std::string& dec_part) {
  int_part.clear();
  dec_part.clear();
  const int n = static_cast<int>(r.digits.size());
  for (int i = 0; i < r.exponent; ++i) int_part += i < n ? r.digits[static_cast<size_t>(i)] : '0';
  if (int_part.empty()) int_part = "0";
  for (int i = r.exponent; i < r.exponent + decimals; ++i)
    dec_part += (i >= 0 && i < n) ? r.digits[static_cast<size_t>(i)] : '0';
}

std::string Thousands(const std::string& digits) {
  if (ThousandSeparator == 0) return digits;
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ThousandSeparator;
    out += digits[i];
  }
  return out;
}

}  // namespace

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  if (!std::isfinite(value)) return Special(value);
  precision = Clamp(precision, 1, 18);
  FloatRec r = MakeFloatRec(value, precision);
  const bool zero = r.digits.empty();
  std::string body;
  switch (format) {
    case ffExponent: body = Scientific(r, precision, Clamp(digits, 0, 4), true); break;
    case ffGeneral:
    general:
      if (zero) {
        body = "0";
      } else if (r.exponent > precision || r.exponent < -3) {
        body = Scientific(r, 0, Clamp(digits, 0, 4), false);
      } else {
        std::string int_part, dec_part;
        int decimals = static_cast<int>(r.digits.size()) - r.exponent;
        FixedParts(r, decimals > 0 ? decimals : 0, int_part, dec_part);
        body = int_part + (dec_part.empty() ? "" : DecimalSeparator + dec_part);
      }
      break;
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      // More integer digits than the precision holds: general format instead.
      if (r.exponent > precision) goto general;
      digits = Clamp(digits, 0, 18);
      RoundDigits(r, r.exponent + digits);
      std::string int_part, dec_part;
      FixedParts(r, digits, int_part, dec_part);
      if (format != ffFixed) int_part = Thousands(int_part);
      body = int_part + (digits > 0 ? DecimalSeparator + dec_part : "");
      if (format == ffCurrency) body = CurrencyString + body;
      break;
    }
  }
  // A value that rounds to zero prints without its sign.
  bool shows_zero = r.digits.empty();
  return (r.negative && !shows_zero) ? "-" + body : body;
}

AnsiString FloatToStr(double value) { return FloatToStrF(value, ffGeneral, 15, 0); }

// ---------------------------------------------------------------------------------------
// FormatFloat.

namespace {

std::vector<std::string> SplitSections(const std::string& format) {
  std::vector<std::string> out(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

std::string FormatSection(const std::string& sec, double magnitude, bool& rounded_to_zero) {
  // Layout of the picture: integer placeholders (first "0" fixes the minimum integer
  // digits), decimal placeholders (last "0" fixes the minimum decimals), thousands.
  int min_int = 0, min_dec = 0, max_dec = 0;
  bool point = false, thousands = false;
  char quote = 0;
  bool seen_zero = false;
  for (char c : sec) {
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (point) {
        ++max_dec;
        if (c == '0') min_dec = max_dec;
      } else {
        if (c == '0') seen_zero = true;
        if (seen_zero) ++min_int;
      }
    } else if (c == '.') {
      point = true;
    } else if (c == ',') {
      if (!point) thousands = true;
    }
  }
  std::string int_part, dec_part;
  FloatRec r = MakeFloatRec(magnitude, 15);
  RoundDigits(r, r.exponent + max_dec);
  rounded_to_zero = r.digits.empty();
  FixedParts(r, max_dec, int_part, dec_part);
  if (int_part == "0") int_part.clear();
  while (static_cast<int>(dec_part.size()) > min_dec && dec_part.back() == '0') dec_part.pop_back();
  if (static_cast<int>(int_part.size()) < min_int)
    int_part.insert(0, static_cast<size_t>(min_int) - int_part.size(), '0');
  if (thousands) int_part = Thousands(int_part);

  std::string out;
  bool int_done = false;
  quote = 0;
  point = false;
  for (char c : sec) {
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else {
        out += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#' || c == ',') {
      if (c != ',' && !point && !int_done) {
        out += int_part;
        int_done = true;
      }
    } else if (c == '.') {
      if (!point) {
        if (!int_done) {
          out += int_part;
          int_done = true;
        }
        if (!dec_part.empty()) out += DecimalSeparator + dec_part;
      }
      point = true;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

AnsiString FormatFloat(const AnsiString& format, double value) {
  if (!std::isfinite(value)) return Special(value);
  if (format.empty()) return FloatToStr(value);
  std::vector<std::string> sections = SplitSections(format);
  bool zero_result = false;
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) return FormatSection(sections[1], -value, zero_result);
  if (value == 0 && sections.size() >= 3 && !sections[2].empty()) return FormatSection(sections[2], 0, zero_result);
  std::string body = FormatSection(sections[0], std::fabs(value), zero_result);
  if (value < 0 && !zero_result) return "-" + body;
  return body;
}

// ---------------------------------------------------------------------------------------
// Format.

namespace {

[[noreturn]] void FormatError(const AnsiString& format) {
  throw EConvertError("Format '" + format + "' invalid or incompatible with argument");
}

[[noreturn]] void ArgumentMissing(const AnsiString& format) {
  throw EConvertError("No argument for format '" + format + "'");
}

std::string UnsignedHex(uint64_t v) {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
  return std::string(buf, static_cast<size_t>(n));
}

bool IsInteger(const TVarRec& a) { return a.kind() == TVarRec::vtInteger || a.kind() == TVarRec::vtInt64; }

}  // namespace

AnsiString FormatVarRecs(const AnsiString& format, const TVarRec* args, size_t count) {
  AnsiString out;
  size_t next_arg = 0;
  const size_t n = format.size();
  auto take = [&](size_t& index) -> const TVarRec& {
    if (index >= count) ArgumentMissing(format);
    return args[index++];
  };
  for (size_t i = 0; i < n;) {
    char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (++i >= n) FormatError(format);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // [index ":"] ["-"] [width] ["." precision] type
    auto read_number = [&](int& value) -> bool {
      if (i < n && format[i] == '*') {
        const TVarRec& a = take(next_arg);
        if (!IsInteger(a) || a.AsInteger() > 0xFFFF) FormatError(format);
        value = static_cast<int>(a.AsInteger());
        ++i;
        return true;
      }
      if (i >= n || format[i] < '0' || format[i] > '9') return false;
      int64_t v = 0;
      while (i < n && format[i] >= '0' && format[i] <= '9') {
        v = v * 10 + (format[i++] - '0');
        if (v > 0xFFFF) FormatError(format);
      }
      value = static_cast<int>(v);
      return true;
    };
    int width = -1, precision = -1;
    bool left = false;
    int number;
    bool have = read_number(number);
    if (have && i < n && format[i] == ':') {
      if (number < 0) FormatError(format);
      next_arg = static_cast<size_t>(number);
      ++i;
      have = false;
    }
    if (i < n && format[i] == '-') {
      left = true;
      ++i;
    }
    if (!have) have = read_number(number);
    if (have) width = number;
    if (i < n && format[i] == '.') {
      ++i;
      if (!read_number(precision)) precision = 0;
    }
    if (i >= n) FormatError(format);
    char type = format[i++];
    if (type >= 'A' && type <= 'Z') type = static_cast<char>(type + 32);
    const TVarRec& a = take(next_arg);
    std::string text;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        if (!IsInteger(a)) FormatError(format);
        int64_t v = a.AsInteger();
        bool neg = false;
        std::string digits;
        if (type == 'd') {
          neg = v < 0;
          uint64_t mag = neg ? 0ull - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
          digits = std::to_string(mag);
        } else {
          uint64_t u = a.kind() == TVarRec::vtInteger ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
          digits = type == 'u' ? std::to_string(u) : UnsignedHex(u);
        }
        if (precision > 0 && static_cast<int>(digits.size()) < precision)
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
        text = neg ? "-" + digits : digits;
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        if (a.kind() != TVarRec::vtExtended) FormatError(format);
        double v = a.AsFloat();
        switch (type) {
          case 'e': text = FloatToStrF(v, ffExponent, precision < 0 ? 15 : precision, 3); break;
          case 'f': text = FloatToStrF(v, ffFixed, 15, precision < 0 ? 2 : precision); break;
          case 'g': text = FloatToStrF(v, ffGeneral, precision < 0 ? 15 : precision, 3); break;
          case 'n': text = FloatToStrF(v, ffNumber, 15, precision < 0 ? 2 : precision); break;
          default: text = FloatToStrF(v, ffCurrency, 15, precision < 0 ? CurrencyDecimals : precision); break;
        }
        break;
      }
      case 'p': {
        if (a.kind() != TVarRec::vtPointer) FormatError(format);
        text = UnsignedHex(reinterpret_cast<uintptr_t>(a.AsPointer()));
        text.insert(0, sizeof(void*) * 2 - text.size(), '0');
        break;
      }
      case 's': {
        switch (a.kind()) {
          case TVarRec::vtString:
          case TVarRec::vtChar: text = a.AsString(); break;
          case TVarRec::vtWideString: text = kv::WideToAnsi(a.AsWide()); break;
          default: FormatError(format);
        }
        if (precision >= 0 && static_cast<size_t>(precision) < text.size()) text.resize(static_cast<size_t>(precision));
        break;
      }
      default: FormatError(format);
    }
    if (width > 0 && static_cast<size_t>(width) > text.size()) {
      std::string pad(static_cast<size_t>(width) - text.size(), ' ');
      text = left ? text + pad : pad + text;
    }
    out += text;
  }
  return out;
}
