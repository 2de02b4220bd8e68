// VARIANT: initialisation, clearing, copies and the conversion rules of VariantChangeType.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/oleauto.h"

namespace {

bool KnownScalar(VARTYPE t) { return (t <= VT_UNKNOWN) || t == VT_DECIMAL || (t >= VT_I1 && t <= VT_UINT); }

bool ValidType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
  if (vt & VT_ARRAY) return KnownScalar(base) && base != VT_EMPTY && base != VT_NULL;
  if (vt & VT_BYREF) return KnownScalar(base) && base != VT_EMPTY && base != VT_NULL;
  return KnownScalar(base);
}

// ---------------------------------------------------------------------------------------
// A source value in one of a few kinds.

enum class Kind { Empty, Null, Int, UInt, Real, Cy, Date, Bool, Text, Disp, Unk, Error, Array };

struct Val {
  Kind kind = Kind::Empty;
  int64_t i = 0;
  uint64_t u = 0;
  double r = 0;
  bool single = false;  // VT_R4: 7 significant digits as text
  int64_t cy = 0;
  bool b = false;
  std::u16string s;
  IUnknown* p = nullptr;  // not owned
  SCODE err = 0;
};

// Reads `v` (one level of VT_BYREF followed); false for a type it cannot read.
bool Read(const VARIANT& v, Val& out) {
  VARTYPE vt = v.vt;
  bool ref = vt & VT_BYREF;
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & VT_ARRAY) {
    out.kind = Kind::Array;
    return true;
  }
  if (ref && !v.byref) return false;
  switch (base) {
    case VT_EMPTY: out.kind = Kind::Empty; return !ref;
    case VT_NULL: out.kind = Kind::Null; return !ref;
    case VT_I1:
      out.kind = Kind::Int;
      out.i = ref ? *v.pcVal : v.cVal;
      return true;
    case VT_I2:
      out.kind = Kind::Int;
      out.i = ref ? *v.piVal : v.iVal;
      return true;
    case VT_I4:
      out.kind = Kind::Int;
      out.i = ref ? *v.plVal : v.lVal;
      return true;
    case VT_INT:
      out.kind = Kind::Int;
      out.i = ref ? *v.pintVal : v.intVal;
      return true;
    case VT_I8:
      out.kind = Kind::Int;
      out.i = ref ? *v.pllVal : v.llVal;
      return true;
    case VT_UI1:
      out.kind = Kind::UInt;
      out.u = ref ? *v.pbVal : v.bVal;
      return true;
    case VT_UI2:
      out.kind = Kind::UInt;
      out.u = ref ? *v.puiVal : v.uiVal;
      return true;
    case VT_UI4:
      out.kind = Kind::UInt;
      out.u = ref ? *v.pulVal : v.ulVal;
      return true;
    case VT_UINT:
      out.kind = Kind::UInt;
      out.u = ref ? *v.puintVal : v.uintVal;
      return true;
    case VT_UI8:
      out.kind = Kind::UInt;
      out.u = ref ? *v.pullVal : v.ullVal;
      return true;
    case VT_R4:
      out.kind = Kind::Real;
      out.single = true;
      out.r = ref ? *v.pfltVal : v.fltVal;
      return true;
    case VT_R8:
      out.kind = Kind::Real;
      out.r = ref ? *v.pdblVal : v.dblVal;
      return true;
    case VT_CY:
      out.kind = Kind::Cy;
      out.cy = (ref ? *v.pcyVal : v.cyVal).int64;
      return true;
    case VT_DATE:
      out.kind = Kind::Date;
      out.r = ref ? *v.pdate : v.date;
      return true;
    case VT_BOOL:
      out.kind = Kind::Bool;
      out.b = (ref ? *v.pboolVal : v.boolVal) != 0;
      return true;
    case VT_ERROR:
      out.kind = Kind::Error;
      out.err = ref ? *v.pscode : v.scode;
      return true;
    case VT_BSTR: {
      out.kind = Kind::Text;
      BSTR b = ref ? *v.pbstrVal : v.bstrVal;
      out.s = kv::BstrText(b);
      return true;
    }
    case VT_DISPATCH:
      out.kind = Kind::Disp;
      out.p = ref ? *v.ppdispVal : v.pdispVal;
      return true;
    case VT_UNKNOWN:
      out.kind = Kind::Unk;
      out.p = ref ? *v.ppunkVal : v.punkVal;
      return true;
    case VT_VARIANT:
      if (!ref || (v.pvarVal->vt & VT_BYREF && (v.pvarVal->vt & VT_TYPEMASK) == VT_VARIANT)) return false;
      return Read(*v.pvarVal, out);
    default: return false;
  }
}

// ---------------------------------------------------------------------------------------
// Numbers from text: sign, digits with thousands separators, decimals, exponent;
// "&H"/"&O" for hexadecimal and octal.

struct Number {
  bool neg = false;
  bool radix = false;  // "&H" / "&O": `bits` holds the value
  uint64_t bits = 0;
  std::string digits;  // significant digits, no leading zeros ("" is zero)
  int64_t exp10 = 0;   // value = digits * 10^exp10
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

std::u16string Trim(const std::u16string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

bool ParseNumber(const std::u16string& text, Number& n) {
  std::u16string s = Trim(text);
  size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) n.neg = s[i++] == u'-';
  if (i + 1 < s.size() && s[i] == u'&' &&
      (s[i + 1] == u'H' || s[i + 1] == u'h' || s[i + 1] == u'O' || s[i + 1] == u'o')) {
    unsigned base = (s[i + 1] == u'H' || s[i + 1] == u'h') ? 16 : 8;
    i += 2;
    if (i >= s.size()) return false;
    n.radix = true;
    for (; i < s.size(); ++i) {
      char16_t c = s[i];
      int d = (c >= u'0' && c <= u'9')   ? c - u'0'
              : (c >= u'a' && c <= u'f') ? c - u'a' + 10
              : (c >= u'A' && c <= u'F') ? c - u'A' + 10
                                         : -1;
      if (d < 0 || static_cast<unsigned>(d) >= base) return false;
      if (n.bits > (std::numeric_limits<uint64_t>::max() - static_cast<unsigned>(d)) / base) return false;
      n.bits = n.bits * base + static_cast<unsigned>(d);
    }
    return true;
  }
  bool any = false, point = false;
  std::string digits;
  int64_t exp10 = 0;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= u'0' && c <= u'9') {
      any = true;
      if (digits.empty() && c == u'0') {
        if (point) --exp10;
        continue;
      }
      if (digits.size() < 400) {
        digits += static_cast<char>(c);
        if (point) --exp10;
      } else if (!point) {
        ++exp10;
      }
    } else if (c == u',' && !point && any) {
      continue;  // thousands separator
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
    ++i;
    bool eneg = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) eneg = s[i++] == u'-';
    if (i >= s.size() || s[i] < u'0' || s[i] > u'9') return false;
    int64_t e = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i)
      if (e < 100000) e = e * 10 + (s[i] - u'0');
    exp10 += eneg ? -e : e;
  }
  if (i != s.size()) return false;
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exp10;
  }
  n.digits = digits;
  n.exp10 = digits.empty() ? 0 : exp10;
  return true;
}

// |value| rounded half to even, scaled by 10^scale; false when beyond 64 bits.
bool NumberMagnitude(const Number& n, int scale, uint64_t& mag) {
  mag = 0;
  if (n.digits.empty()) return true;
  int64_t e = n.exp10 + scale;
  int64_t len = static_cast<int64_t>(n.digits.size());
  int64_t int_len = len + e;  // digits before the decimal point
  if (int_len > 20) return false;
  for (int64_t k = 0; k < int_len; ++k) {
    unsigned d = k < len ? static_cast<unsigned>(n.digits[static_cast<size_t>(k)] - '0') : 0;
    if (mag > (std::numeric_limits<uint64_t>::max() - d) / 10) return false;
    mag = mag * 10 + d;
  }
  if (int_len < len) {
    int64_t first = int_len;  // index of the first fraction digit (may be negative)
    bool up = false;
    if (first >= 0) {
      char f = n.digits[static_cast<size_t>(first)];
      bool rest_nonzero = first + 1 < len;  // trailing zeros were stripped
      if (f > '5' || (f == '5' && rest_nonzero))
        up = true;
      else if (f == '5')
        up = (mag & 1) != 0;
    }
    if (up) {
      if (mag == std::numeric_limits<uint64_t>::max()) return false;
      ++mag;
    }
  }
  return true;
}

double NumberToDouble(const Number& n) {
  if (n.radix) return static_cast<double>(n.bits) * (n.neg ? -1 : 1);
  if (n.digits.empty()) return n.neg ? -0.0 : 0.0;
  std::string text = n.digits + "e" + std::to_string(n.exp10);
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double.
    v = (n.exp10 + static_cast<int64_t>(n.digits.size()) > 0) ? HUGE_VAL : 0.0;
  }
  return n.neg ? -v : v;
}

// ---------------------------------------------------------------------------------------
// Dates: days since 1899-12-30, the fraction the time of day counted forward.

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);
constexpr double kMinDate = -657434.0;  // 100-01-01
constexpr double kMaxDate = 2958466.0;  // 10000-01-01 (exclusive)

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string DateText(double date) {
  double day_part = std::trunc(date);
  double frac = std::fabs(date - day_part);
  int64_t secs = static_cast<int64_t>(std::llround(frac * 86400.0));
  int64_t day = static_cast<int64_t>(day_part);
  if (secs >= 86400) {
    secs -= 86400;
    day += 1;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(day + kEpoch, y, m, d);
  char buf[64];
  std::string out;
  if (day != 0) {
    snprintf(buf, sizeof buf, "%lld-%u-%u", static_cast<long long>(y), m, d);
    out = buf;
  }
  if (secs != 0 || day == 0) {
    snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(secs / 3600),
             static_cast<long long>(secs / 60 % 60), static_cast<long long>(secs % 60));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return Widen(out);
}

// "yyyy-M-d", "yyyy/M/d" with an optional time "H:mm[:ss] [AM|PM]", or the time alone.
bool ParseDate(const std::u16string& text, double& out) {
  std::u16string s = Trim(text);
  size_t i = 0;
  auto number = [&](int max_digits, int64_t& v) {
    size_t start = i;
    v = 0;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9' && static_cast<int>(i - start) < max_digits)
      v = v * 10 + (s[i++] - u'0');
    return i > start;
  };
  auto skip_blanks = [&] {
    while (i < s.size() && IsBlank(s[i])) ++i;
  };
  int64_t day = 0, secs = 0;
  bool have_date = false, have_time = false;
  size_t save = i;
  int64_t a, b, c;
  if (number(4, a) && i < s.size() && (s[i] == u'-' || s[i] == u'/')) {
    char16_t sep = s[i++];
    if (!number(2, b) || i >= s.size() || s[i] != sep) return false;
    ++i;
    if (!number(2, c)) return false;
    if (b < 1 || b > 12 || c < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (a % 4 == 0 && a % 100 != 0) || a % 400 == 0;
    if (c > kDays[b - 1] + (b == 2 && leap)) return false;
    day = DaysFromCivil(a, static_cast<unsigned>(b), static_cast<unsigned>(c)) - kEpoch;
    have_date = true;
    skip_blanks();
  } else {
    i = save;
  }
  if (i < s.size()) {
    int64_t h, mi, se = 0;
    if (!number(2, h) || i >= s.size() || s[i] != u':') return false;
    ++i;
    if (!number(2, mi)) return false;
    if (i < s.size() && s[i] == u':') {
      ++i;
      if (!number(2, se)) return false;
    }
    skip_blanks();
    if (i + 2 == s.size()) {
      char16_t x = s[i] | 0x20, y = s[i + 1] | 0x20;
      if (y != u'm' || (x != u'a' && x != u'p')) return false;
      if (h < 1 || h > 12) return false;
      h = h % 12 + (x == u'p' ? 12 : 0);
      i += 2;
    }
    if (i != s.size() || h > 23 || mi > 59 || se > 59) return false;
    secs = h * 3600 + mi * 60 + se;
    have_time = true;
  }
  if (!have_date && !have_time) return false;
  double t = secs / 86400.0;
  out = day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
  return out >= kMinDate && out < kMaxDate;
}

// ---------------------------------------------------------------------------------------
// Text forms of numbers.

std::u16string RealText(double r, int precision) {
  if (r == 0) r = 0;  // no "-0"
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::general, precision);
  std::string s(buf, res.ptr);
  for (auto& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return Widen(s);
}

std::u16string CyText(int64_t cy) {
  bool neg = cy < 0;
  uint64_t m = neg ? 0 - static_cast<uint64_t>(cy) : static_cast<uint64_t>(cy);
  std::string s = std::to_string(m / 10000);
  unsigned frac = static_cast<unsigned>(m % 10000);
  if (frac) {
    char buf[8];
    snprintf(buf, sizeof buf, ".%04u", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    s += f;
  }
  return Widen(neg ? "-" + s : s);
}

// Rounds half to even; false for NaN.
bool RoundEven(double r, double& out) {
  if (std::isnan(r)) return false;
  out = std::nearbyint(r);  // default rounding mode: to nearest, ties to even
  return true;
}

// ---------------------------------------------------------------------------------------
// Conversion to one of the integer types: signed range [lo, hi] or unsigned [0, hi].

struct IntTarget {
  bool is_signed;
  int64_t lo;
  uint64_t hi;
  int bits;
};

IntTarget TargetOf(VARTYPE vt) {
  switch (vt) {
    case VT_I1: return {true, -128, 127, 8};
    case VT_I2: return {true, -32768, 32767, 16};
    case VT_I4:
    case VT_INT: return {true, INT32_MIN, INT32_MAX, 32};
    case VT_I8: return {true, INT64_MIN, INT64_MAX, 64};
    case VT_UI1: return {false, 0, 255, 8};
    case VT_UI2: return {false, 0, 65535, 16};
    case VT_UI4:
    case VT_UINT: return {false, 0, UINT32_MAX, 32};
    default: return {false, 0, UINT64_MAX, 64};  // VT_UI8
  }
}

// Result as the target's bits in a uint64 (two's complement for signed targets).
HRESULT FitSigned(bool neg, uint64_t mag, const IntTarget& t, uint64_t& out) {
  if (t.is_signed) {
    if (neg) {
      if (mag > static_cast<uint64_t>(-(t.lo + 1)) + 1) return DISP_E_OVERFLOW;
      out = 0 - mag;
    } else {
      if (mag > t.hi) return DISP_E_OVERFLOW;
      out = mag;
    }
  } else {
    if (neg && mag != 0) return DISP_E_OVERFLOW;
    if (mag > t.hi) return DISP_E_OVERFLOW;
    out = mag;
  }
  return S_OK;
}

HRESULT ToInteger(const Val& v, const IntTarget& t, uint64_t& out) {
  switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Int:
      return FitSigned(v.i < 0, v.i < 0 ? 0 - static_cast<uint64_t>(v.i) : static_cast<uint64_t>(v.i), t, out);
    case Kind::UInt: return FitSigned(false, v.u, t, out);
    case Kind::Bool: out = v.b ? ~uint64_t{0} : 0; return S_OK;
    case Kind::Real:
    case Kind::Date: {
      double r;
      if (!RoundEven(v.r, r)) return DISP_E_OVERFLOW;
      if (std::fabs(r) >= 18446744073709551616.0) return DISP_E_OVERFLOW;
      bool neg = r < 0;
      return FitSigned(neg, static_cast<uint64_t>(std::fabs(r)), t, out);
    }
    case Kind::Cy: {
      bool neg = v.cy < 0;
      uint64_t m = neg ? 0 - static_cast<uint64_t>(v.cy) : static_cast<uint64_t>(v.cy);
      uint64_t q = m / 10000, rem = m % 10000;
      if (rem > 5000 || (rem == 5000 && (q & 1))) ++q;
      return FitSigned(neg, q, t, out);
    }
    case Kind::Text: {
      Number n;
      if (!ParseNumber(v.s, n)) return DISP_E_TYPEMISMATCH;
      if (n.radix) {
        // Hexadecimal and octal give the target's bits when they fit its width.
        if (t.bits < 64 && n.bits >> t.bits) return DISP_E_OVERFLOW;
        uint64_t bits = n.bits;
        if (n.neg) bits = 0 - bits;
        if (t.bits < 64) bits &= (uint64_t{1} << t.bits) - 1;
        if (t.is_signed && t.bits < 64 && (bits >> (t.bits - 1)) & 1) bits |= ~((uint64_t{1} << t.bits) - 1);
        out = bits;
        return S_OK;
      }
      uint64_t mag;
      if (!NumberMagnitude(n, 0, mag)) return DISP_E_OVERFLOW;
      return FitSigned(n.neg, mag, t, out);
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToReal(const Val& v, double& out) {
  switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Int: out = static_cast<double>(v.i); return S_OK;
    case Kind::UInt: out = static_cast<double>(v.u); return S_OK;
    case Kind::Real:
    case Kind::Date: out = v.r; return S_OK;
    case Kind::Cy: out = static_cast<double>(v.cy) / 10000.0; return S_OK;
    case Kind::Bool: out = v.b ? -1.0 : 0.0; return S_OK;
    case Kind::Text: {
      Number n;
      if (!ParseNumber(v.s, n)) return DISP_E_TYPEMISMATCH;
      out = NumberToDouble(n);
      return std::isinf(out) ? DISP_E_OVERFLOW : S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToCy(const Val& v, int64_t& out) {
  uint64_t mag = 0;
  bool neg = false;
  switch (v.kind) {
    case Kind::Text: {
      Number n;
      if (!ParseNumber(v.s, n)) return DISP_E_TYPEMISMATCH;
      if (n.radix) {
        Val as_int;
        as_int.kind = Kind::UInt;
        as_int.u = n.bits;
        if (n.neg) {
          as_int.kind = Kind::Real;
          as_int.r = -static_cast<double>(n.bits);
        }
        return ToCy(as_int, out);
      }
      if (!NumberMagnitude(n, 4, mag)) return DISP_E_OVERFLOW;
      neg = n.neg;
      break;
    }
    case Kind::Cy: out = v.cy; return S_OK;
    case Kind::Int:
      if (v.i > INT64_MAX / 10000 || v.i < INT64_MIN / 10000) return DISP_E_OVERFLOW;
      out = v.i * 10000;
      return S_OK;
    case Kind::UInt:
      if (v.u > static_cast<uint64_t>(INT64_MAX / 10000)) return DISP_E_OVERFLOW;
      out = static_cast<int64_t>(v.u) * 10000;
      return S_OK;
    default: {
      double r;
      HRESULT hr = ToReal(v, r);
      if (FAILED(hr)) return hr;
      double scaled;
      if (!RoundEven(r * 10000.0, scaled) || std::fabs(scaled) >= 9.2233720368547758e18) return DISP_E_OVERFLOW;
      out = static_cast<int64_t>(scaled);
      return S_OK;
    }
  }
  IntTarget t = TargetOf(VT_I8);
  uint64_t bits;
  HRESULT hr = FitSigned(neg, mag, t, bits);
  if (FAILED(hr)) return hr;
  out = static_cast<int64_t>(bits);
  return S_OK;
}

HRESULT ToBool(const Val& v, bool& out) {
  switch (v.kind) {
    case Kind::Empty: out = false; return S_OK;
    case Kind::Bool: out = v.b; return S_OK;
    case Kind::Int: out = v.i != 0; return S_OK;
    case Kind::UInt: out = v.u != 0; return S_OK;
    case Kind::Real:
    case Kind::Date: out = v.r != 0; return S_OK;
    case Kind::Cy: out = v.cy != 0; return S_OK;
    case Kind::Text: {
      std::u16string s = Trim(v.s);
      std::u16string lower;
      for (char16_t c : s) lower += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
      if (lower == u"true") {
        out = true;
        return S_OK;
      }
      if (lower == u"false") {
        out = false;
        return S_OK;
      }
      Number n;
      if (!ParseNumber(v.s, n)) return DISP_E_TYPEMISMATCH;
      out = n.radix ? n.bits != 0 : !n.digits.empty();
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToText(const Val& v, USHORT flags, std::u16string& out) {
  switch (v.kind) {
    case Kind::Empty: out.clear(); return S_OK;
    case Kind::Text: out = v.s; return S_OK;
    case Kind::Int: out = Widen(std::to_string(v.i)); return S_OK;
    case Kind::UInt: out = Widen(std::to_string(v.u)); return S_OK;
    case Kind::Real: out = RealText(v.r, v.single ? 7 : 15); return S_OK;
    case Kind::Cy: out = CyText(v.cy); return S_OK;
    case Kind::Date:
      if (!(v.r >= kMinDate && v.r < kMaxDate)) return DISP_E_OVERFLOW;
      out = DateText(v.r);
      return S_OK;
    case Kind::Bool:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
        out = v.b ? u"True" : u"False";
      } else {
        out = v.b ? u"-1" : u"0";
      }
      return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Convert(VARIANT& out, const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, int depth);

// The value property of an object, converted.
HRESULT FromValueProperty(VARIANT& out, IDispatch* disp, LCID lcid, USHORT flags, VARTYPE vt, int depth) {
  if (!disp || (flags & VARIANT_NOVALUEPROP) || depth > 8) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return hr == DISP_E_MEMBERNOTFOUND ? DISP_E_TYPEMISMATCH : hr;
  }
  hr = Convert(out, value, lcid, flags, vt, depth + 1);
  VariantClear(&value);
  return hr;
}

void StoreInteger(VARIANT& out, VARTYPE vt, uint64_t bits) {
  out.vt = vt;
  out.ullVal = 0;
  switch (vt) {
    case VT_I1: out.cVal = static_cast<CHAR>(bits); break;
    case VT_UI1: out.bVal = static_cast<BYTE>(bits); break;
    case VT_I2: out.iVal = static_cast<SHORT>(bits); break;
    case VT_UI2: out.uiVal = static_cast<USHORT>(bits); break;
    case VT_I4: out.lVal = static_cast<LONG>(bits); break;
    case VT_INT: out.intVal = static_cast<INT>(bits); break;
    case VT_UI4: out.ulVal = static_cast<ULONG>(bits); break;
    case VT_UINT: out.uintVal = static_cast<UINT>(bits); break;
    case VT_I8: out.llVal = static_cast<LONGLONG>(bits); break;
    default: out.ullVal = bits; break;
  }
}

// Converts into `out` (an empty variant).
HRESULT Convert(VARIANT& out, const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, int depth) {
  if (!ValidType(src.vt)) return DISP_E_BADVARTYPE;
  if (vt & VT_BYREF || !ValidType(vt) || vt == VT_DECIMAL || vt == VT_VARIANT) return DISP_E_BADVARTYPE;
  if (vt & VT_ARRAY) {
    if ((src.vt & ~VT_BYREF) != vt) return DISP_E_TYPEMISMATCH;
    return VariantCopyInd(&out, &src);
  }
  Val v;
  if (!Read(src, v)) return DISP_E_BADVARTYPE;
  if (v.kind == Kind::Array) return DISP_E_TYPEMISMATCH;
  if (vt == VT_EMPTY) {
    out.vt = VT_EMPTY;
    return S_OK;
  }
  if (vt == VT_NULL) {
    if (v.kind != Kind::Null && v.kind != Kind::Empty) return DISP_E_TYPEMISMATCH;
    out.vt = VT_NULL;
    return S_OK;
  }
  if (v.kind == Kind::Null) return DISP_E_TYPEMISMATCH;
  if (v.kind == Kind::Disp && vt != VT_DISPATCH && vt != VT_UNKNOWN)
    return FromValueProperty(out, static_cast<IDispatch*>(v.p), lcid, flags, vt, depth);
  switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8: {
      uint64_t bits;
      HRESULT hr = ToInteger(v, TargetOf(vt), bits);
      if (FAILED(hr)) return hr;
      StoreInteger(out, vt, bits);
      return S_OK;
    }
    case VT_R4:
    case VT_R8: {
      double r;
      HRESULT hr = ToReal(v, r);
      if (FAILED(hr)) return hr;
      if (vt == VT_R4) {
        if (std::isfinite(r) && std::fabs(r) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
        out.vt = VT_R4;
        out.fltVal = static_cast<float>(r);
      } else {
        out.vt = VT_R8;
        out.dblVal = r;
      }
      return S_OK;
    }
    case VT_DATE: {
      double r;
      HRESULT hr;
      if (v.kind == Kind::Text) {
        if (!ParseDate(v.s, r)) return DISP_E_TYPEMISMATCH;
      } else if (FAILED(hr = ToReal(v, r))) {
        return hr;
      }
      if (!(r >= kMinDate && r < kMaxDate)) return DISP_E_OVERFLOW;
      out.vt = VT_DATE;
      out.date = r;
      return S_OK;
    }
    case VT_CY: {
      int64_t cy;
      HRESULT hr = ToCy(v, cy);
      if (FAILED(hr)) return hr;
      out.vt = VT_CY;
      out.cyVal.int64 = cy;
      return S_OK;
    }
    case VT_BOOL: {
      bool b;
      HRESULT hr = ToBool(v, b);
      if (FAILED(hr)) return hr;
      out.vt = VT_BOOL;
      out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case VT_BSTR: {
      std::u16string s;
      HRESULT hr = ToText(v, flags, s);
      if (FAILED(hr)) return hr;
      BSTR b = kv::AllocBstr(s);
      if (!b) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      out.bstrVal = b;
      return S_OK;
    }
    case VT_ERROR: {
      if (v.kind == Kind::Error) {
        out.vt = VT_ERROR;
        out.scode = v.err;
        return S_OK;
      }
      if (v.kind != Kind::Int && v.kind != Kind::UInt) return DISP_E_TYPEMISMATCH;
      uint64_t bits;
      HRESULT hr = ToInteger(v, TargetOf(VT_I4), bits);
      if (FAILED(hr)) return hr;
      out.vt = VT_ERROR;
      out.scode = static_cast<SCODE>(bits);
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      if (v.kind != Kind::Disp && v.kind != Kind::Unk) return DISP_E_TYPEMISMATCH;
      if (!v.p) {
        out.vt = vt;
        out.punkVal = nullptr;
        return S_OK;
      }
      void* p = nullptr;
      HRESULT hr = v.p->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p);
      if (FAILED(hr) || !p) return FAILED(hr) ? hr : E_NOINTERFACE;
      out.vt = vt;
      out.punkVal = static_cast<IUnknown*>(p);
      return S_OK;
    }
    default: return DISP_E_BADVARTYPE;
  }
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* v) {
  if (!v) return;
  memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  if (!ValidType(v->vt)) return DISP_E_BADVARTYPE;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(v->parray);
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal) {
      v->punkVal->Release();
    }
  }
  memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!ValidType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy;
  memcpy(&copy, src, sizeof copy);
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (src->vt == VT_BSTR && src->bstrVal) {
      copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  memcpy(dest, &copy, sizeof copy);
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  if (!ValidType(src->vt) || !src->byref) return DISP_E_BADVARTYPE;
  VARIANT value;
  VariantInit(&value);
  VARTYPE base = src->vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    if (src->pvarVal->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    HRESULT hr = VariantCopyInd(&value, src->pvarVal);
    if (FAILED(hr)) return hr;
  } else {
    value.vt = base;
    if (base & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(*src->pparray, &value.parray);
      if (FAILED(hr)) return hr;
    } else {
      VARIANT shallow;
      VariantInit(&shallow);
      shallow.vt = base;
      size_t size = kv::VarTypeSize(base);
      if (!size) return DISP_E_BADVARTYPE;
      memcpy(&shallow.llVal, src->byref, size);
      HRESULT hr = VariantCopy(&value, &shallow);  // `shallow` owns nothing
      if (FAILED(hr)) return hr;
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&value);
    return hr;
  }
  memcpy(dest, &value, sizeof value);
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = Convert(result, *src, lcid, flags, vt, 0);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  hr = VariantClear(dest);  // `dest` may be `src`: the result holds its own copy
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  memcpy(dest, &result, sizeof result);
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}

}  // extern "C"
