#include "http_client/id_global.h"

#include <cmath>
#include <cstring>

#include "framework/core/threads.h"
#include "platform/base/path.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"

namespace {

const char* const kOutDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kOutMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kInDays[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const char* const kInMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

std::string Upper(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string LeftTrim(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  return s.substr(i);
}

std::string TrimBoth(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// 1-based position of `sub` in `s`, 0 when absent.
int PosOf(const std::string& sub, const std::string& s) {
  if (sub.empty()) return 0;
  size_t p = s.find(sub);
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Text helpers.

int DecimalToInt(const std::string& text, int fallback) {
  int64_t v = DecimalToInt64(text, INT64_MIN);
  if (v == INT64_MIN || v < INT32_MIN || v > INT32_MAX) return fallback;
  return static_cast<int>(v);
}

int64_t DecimalToInt64(const std::string& text, int64_t fallback) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return fallback;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return fallback;
    if (v > (INT64_MAX - 9) / 10) return fallback;
    v = v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

std::string FetchToken(std::string& input, const std::string& delimiter, bool remove, bool case_sensitive) {
  size_t p = case_sensitive ? input.find(delimiter) : Upper(input).find(Upper(delimiter));
  if (delimiter.empty()) p = std::string::npos;
  std::string result;
  if (p == std::string::npos) {
    result = input;
    if (remove) input.clear();
  } else {
    result = input.substr(0, p);
    if (remove) input.erase(0, p + delimiter.size());
  }
  return result;
}

int IndexInList(const std::string& text, const std::vector<std::string>& list, bool case_sensitive) {
  for (size_t i = 0; i < list.size(); ++i)
    if (case_sensitive ? list[i] == text : Upper(list[i]) == Upper(text)) return static_cast<int>(i);
  return -1;
}

int DayNumber(const std::string& text) {
  const std::string u = Upper(text);
  for (int i = 0; i < 7; ++i)
    if (u == kInDays[i]) return i + 1;
  return 0;
}

int MonthNumber(const std::string& text) {
  const std::string u = Upper(text);
  for (int i = 0; i < 12; ++i)
    if (u == kInMonths[i]) return i + 1;
  return 0;
}

int LastPos(const std::string& sub, const std::string& text, int start) {
  if (sub.empty() || sub.size() > text.size()) return 0;
  const std::string us = Upper(sub), ut = Upper(text);
  size_t from = start < 0 ? std::string::npos : static_cast<size_t>(start > 0 ? start - 1 : 0);
  if (start == 0) return 0;
  size_t p = ut.rfind(us, from);
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

int SearchMemory(const std::string& sub, const char* block, size_t size) {
  if (sub.empty() || block == nullptr || sub.size() > size) return 0;
  const char first = sub[0];
  const size_t last = size - sub.size();
  for (size_t i = 0; i <= last;) {
    const void* hit = std::memchr(block + i, first, last - i + 1);
    if (hit == nullptr) return 0;
    i = static_cast<size_t>(static_cast<const char*>(hit) - block);
    if (std::memcmp(block + i, sub.data(), sub.size()) == 0) return static_cast<int>(i) + 1;
    ++i;
  }
  return 0;
}

bool IsValidIPv4Text(const std::string& text) {
  std::string rest = TrimBoth(text);
  for (int i = 0; i < 4; ++i) {
    std::string token = FetchToken(rest, ".");
    int v = DecimalToInt(token, -1);
    if (token.empty() || token[0] == '+' || token[0] == '-' || v < 0 || v > 255) return false;
  }
  return true;
}

bool LooksLikeHostName(const std::string& text) {
  if (!text.empty() && text[0] == '.') return false;
  return !IsValidIPv4Text(text);
}

std::string DomainPart(const std::string& host) {
  size_t p = host.find('.');
  return p == std::string::npos ? host : host.substr(p);
}

std::string MergePath(const std::string& base, const std::string& path, char d) {
  if (!path.empty() && path[0] == d) return path;  // an absolute path stands as it is
  const bool keep_trailing = path.empty() || path.back() == d;
  std::string work = base;
  if (!work.empty() && work.back() != d) work += d;
  work += path;
  std::string result;
  for (size_t i = 0; i < work.size(); ++i) {
    const char c = work[i];
    if (c == d) {
      if (i == 0)
        result = std::string(1, d);
      else if (result.empty() || result.back() != d)
        result += c;  // runs collapse
      continue;
    }
    // Only a whole ".." segment climbs ("..x" is a name); it removes the last segment and
    // keeps the delimiter before it.
    const bool dot_dot = c == '.' && i + 1 < work.size() && work[i + 1] == '.' &&
                         (i + 2 == work.size() || work[i + 2] == d) && (result.empty() || result.back() == d);
    if (dot_dot) {
      if (!result.empty()) result.pop_back();
      while (!result.empty() && result.back() != d) result.pop_back();
      ++i;
      continue;
    }
    result += c;
  }
  if (result.size() > 1 && result.back() == d && !keep_trailing) result.pop_back();
  return result;
}

bool InMainThread() { return GetCurrentThreadId() == MainThreadID; }

void SleepMs(int ms) { Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms)); }

std::string TempDirectory() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof(buffer), buffer);
  if (n == 0 || n >= sizeof(buffer)) return std::string();
  std::string dir(buffer, n);
  if (dir.back() != '/' && dir.back() != '\\') dir += '/';
  return dir;
}

std::string EncodeRequestTarget(const std::string& target) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (unsigned char c : target) {
    if (c <= 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Dates.

TDateTime UtcOffset() {
  TIME_ZONE_INFORMATION tz;
  const DWORD id = GetTimeZoneInformation(&tz);
  LONG bias;
  switch (id) {
    case TIME_ZONE_ID_UNKNOWN: bias = tz.Bias; break;
    case TIME_ZONE_ID_STANDARD: bias = tz.Bias + tz.StandardBias; break;
    case TIME_ZONE_ID_DAYLIGHT: bias = tz.Bias + tz.DaylightBias; break;
    default: throw EIdFailedToRetreiveTimeZoneInfo("Failed attempting to retrieve time zone information.");
  }
  const LONG a = bias < 0 ? -bias : bias;
  TDateTime offset =
      EncodeTime(static_cast<int>(a / 60) % 24, static_cast<int>(a % 60), 0, 0) + static_cast<double>(a / 1440);
  return bias > 0 ? -offset : offset;
}

std::string InternetDateText(TDateTime value, bool zero_offset_as_gmt) {
  int year, month, day, hour, minute, second, msec;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, msec);
  const TDateTime offset = UtcOffset();
  std::string zone;
  if (offset == 0 && zero_offset_as_gmt) {
    zone = "GMT";
  } else {
    const int minutes = static_cast<int>(std::lround(std::fabs(offset) * 1440.0));
    char buf[16];
    std::snprintf(buf, sizeof(buf), " %02d%02d", minutes / 60, minutes % 60);
    zone = buf;
    zone[0] = offset >= 0 ? '+' : '-';
  }
  char hms[16];
  std::snprintf(hms, sizeof(hms), "%02d:%02d:%02d", hour, minute, second);
  return std::string(kOutDays[DayOfWeek(value) - 1]) + ", " + std::to_string(day) + " " + kOutMonths[month - 1] + " " +
         std::to_string(year) + " " + hms + " " + zone;
}

TDateTime ParseInternetDate(std::string& text) {
  try {
    std::string s = TrimBoth(text);
    if (s.empty()) return 0;
    if (s.size() >= 3 && DayNumber(s.substr(0, 3)) != 0) {
      FetchToken(s, " ");
      s = LeftTrim(s);
    }
    const int dash = PosOf("-", s), blank = PosOf(" ", s);
    const std::string sep = (dash >= 2 && (blank == 0 || dash < blank)) ? "-" : " ";
    int day, month;
    std::string probe = s;
    if (MonthNumber(FetchToken(probe, sep, false)) != 0) {
      month = MonthNumber(FetchToken(s, sep));
      s = LeftTrim(s);
      day = DecimalToInt(FetchToken(s, sep), 1);
      s = LeftTrim(s);
    } else {
      day = DecimalToInt(FetchToken(s, sep), 1);
      s = LeftTrim(s);
      month = MonthNumber(FetchToken(s, sep));
      s = LeftTrim(s);
    }
    std::string token = FetchToken(s, " ");
    int year = DecimalToInt(token, 1900);
    if (year == 1900 && DecimalToInt(token, -1) != 1900) {
      // asctime order: the time comes before the year.
      year = DecimalToInt(TrimBoth(s), 1900);
      s = token;
    }
    if (year < 80)
      year += 2000;
    else if (year < 100)
      year += 1900;
    TDateTime result = EncodeDate(year, month, day);
    if (s.find(':') != std::string::npos) {
      s = LeftTrim(s);
      std::string t = FetchToken(s, " ");
      const int hour = DecimalToInt(FetchToken(t, ":"), 0);
      const int minute = DecimalToInt(FetchToken(t, ":"), 0);
      const int second = DecimalToInt(FetchToken(t, " "), 0);
      result += EncodeTime(hour, minute, second, 0);
    }
    text = LeftTrim(s);
    return result;
  } catch (const Exception&) {
    return 0;
  }
}

TDateTime GmtToLocal(const std::string& text) {
  std::string rest = text;
  TDateTime result = ParseInternetDate(rest);
  if (result == 0) return 0;
  if (rest.size() > 4) {
    const std::string zone = TrimBoth(rest).substr(0, 5);
    if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
      const int hours = DecimalToInt(zone.substr(1, 2), -1);
      const int minutes = DecimalToInt(zone.substr(3, 2), -1);
      if (hours >= 0 && minutes >= 0 && hours < 24 && minutes < 60) {
        const TDateTime z = (hours * 60 + minutes) / 1440.0;
        result = zone[0] == '+' ? result - z : result + z;
      }
    }
  }
  return result + UtcOffset();
}
