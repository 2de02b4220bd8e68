// Dates and times: TDateTime arithmetic, formatting and parsing.
#include <cmath>

#include "framework/core/sysutils.h"

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
// Days from 0001-01-01 to 1899-12-30, the day TDateTime counts from.
constexpr int kDateDelta = 693594;

const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                               {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// The day count (days since 0001-01-01, that day being 1) and the milliseconds of the day
// of a date-time, rounded to the millisecond. Negative date-times count their fraction
// forward from the start of their day, as positive ones do.
bool ValidDateTime(TDateTime value);

void ToTimeStamp(TDateTime value, int64_t& day, int64_t& msec) {
  if (!ValidDateTime(value)) {
    day = msec = 0;  // decodes as the empty date 0000-00-00 00:00
    return;
  }
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMSecsPerDay);
  day = static_cast<int64_t>(whole);
  if (ms >= kMSecsPerDay) {
    ms -= kMSecsPerDay;
    ++day;
  }
  day += kDateDelta;
  msec = ms;
}

bool ValidDateTime(TDateTime value) {
  // 0001-01-01 .. 9999-12-31 23:59:59.999
  return std::isfinite(value) && value > -693594.0 && value < 2958466.0;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInAMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kMonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInAMonth(year, month)) return false;
  const int* days = kMonthDays[IsLeapYear(year) ? 1 : 0];
  int64_t d = day;
  for (int m = 0; m < month - 1; ++m) d += days[m];
  int64_t y = year - 1;
  d += y * 365 + y / 4 - y / 100 + y / 400 - kDateDelta;
  date = static_cast<double>(d);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
  time = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000LL + msec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  TDateTime d = EncodeDate(year, month, day);
  TDateTime t = EncodeTime(hour, min, sec, msec);
  return d >= 0 ? d + t : d - t;
}

namespace {

// Civil date of a day count since 0001-01-01 (day 1).
void DecodeDays(int64_t days, int& year, int& month, int& day) {
  if (days <= 0) {
    year = month = day = 0;
    return;
  }
  int64_t t = days - 1;
  const int64_t d400 = 146097, d100 = 36524, d4 = 1461;
  int64_t y = 1;
  y += (t / d400) * 400;
  t %= d400;
  int64_t i = t / d100;
  if (i == 4) i = 3;  // the last day of a 400-year cycle
  y += i * 100;
  t -= i * d100;
  y += (t / d4) * 4;
  t %= d4;
  i = t / 365;
  if (i == 4) i = 3;
  y += i;
  t -= i * 365;
  const int* md = kMonthDays[IsLeapYear(static_cast<int>(y)) ? 1 : 0];
  int m = 0;
  while (t >= md[m]) t -= md[m++];
  year = static_cast<int>(y);
  month = m + 1;
  day = static_cast<int>(t) + 1;
}

}  // namespace

void DecodeDate(TDateTime date, int& year, int& month, int& day) {
  if (!ValidDateTime(date)) {
    year = month = day = 0;
    return;
  }
  int64_t d, ms;
  ToTimeStamp(date, d, ms);
  DecodeDays(d, year, month, day);
}

void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec) {
  if (!std::isfinite(time)) {
    hour = min = sec = msec = 0;
    return;
  }
  int64_t d, ms;
  ToTimeStamp(time, d, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime date) {
  int64_t d, ms;
  ToTimeStamp(date, d, ms);
  // Day 1 (0001-01-01) was a Monday.
  int64_t w = d % 7;
  if (w < 0) w += 7;
  return static_cast<int>(w) + 1;
}

TDateTime IncMonth(TDateTime date, int months) {
  int y, m, d;
  DecodeDate(date, y, m, d);
  if (y == 0) throw EConvertError("Invalid argument to date encode");
  int64_t total = static_cast<int64_t>(y) * 12 + (m - 1) + months;
  int ny = static_cast<int>(total / 12), nm = static_cast<int>(total % 12) + 1;
  if (ny < 1 || ny > 9999) throw EConvertError("Invalid argument to date encode");
  if (d > DaysInAMonth(ny, nm)) d = DaysInAMonth(ny, nm);
  TDateTime whole = EncodeDate(ny, nm, d);
  double frac = std::fabs(date - std::trunc(date));
  return whole >= 0 ? whole + frac : whole - frac;
}

TDateTime TimeOf(TDateTime value) { return std::fabs(value - std::trunc(value)); }

namespace {
// Milliseconds on one continuous scale (negative date-times count their time forward).
int64_t TotalMSecs(TDateTime v) {
  int64_t d, ms;
  ToTimeStamp(v, d, ms);
  return d * kMSecsPerDay + ms;
}
}  // namespace

int64_t MilliSecondsBetween(TDateTime now, TDateTime then) {
  int64_t diff = TotalMSecs(now) - TotalMSecs(then);
  return diff < 0 ? -diff : diff;
}

int64_t SecondsBetween(TDateTime now, TDateTime then) { return MilliSecondsBetween(now, then) / 1000; }

TDateTime IncSecond(TDateTime value, int64_t seconds) {
  // Beyond the whole calendar's span the result is no valid date either way.
  constexpr int64_t kSpan = 3652059LL * 86400;
  if (seconds > kSpan || seconds < -kSpan || !ValidDateTime(value))
    return value + static_cast<double>(seconds) / 86400.0;
  int64_t total = TotalMSecs(value) + seconds * 1000;
  int64_t day = total >= 0 ? total / kMSecsPerDay : -((-total + kMSecsPerDay - 1) / kMSecsPerDay);
  int64_t ms = total - day * kMSecsPerDay;
  double d = static_cast<double>(day - kDateDelta);
  double f = static_cast<double>(ms) / kMSecsPerDay;
  return d >= 0 ? d + f : d - f;
}

TDateTime SystemTimeToDateTime(const SYSTEMTIME& st) {
  return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

void DateTimeToSystemTime(TDateTime value, SYSTEMTIME& st) {
  int y, m, d, h, n, s, ms;
  DecodeDateTime(value, y, m, d, h, n, s, ms);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(y ? DayOfWeek(value) - 1 : 0);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(n);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
}

TDateTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return SystemTimeToDateTime(st);
}

TDateTime Date() { return std::trunc(Now()); }
TDateTime Time() { return TimeOf(Now()); }

// ---------------------------------------------------------------------------------------
// FormatDateTime.

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool StartsWithText(const AnsiString& s, size_t at, const char* word) {
  for (size_t k = 0; word[k]; ++k)
    if (at + k >= s.size() || Lower(s[at + k]) != word[k]) return false;
  return true;
}

AnsiString Two(int v) {
  AnsiString s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

AnsiString Pad(int v, size_t width) {
  AnsiString s = std::to_string(v);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

// Whether an am/pm marker follows in the rest of the format (the hour is then 12-hour).
bool AmPmFollows(const AnsiString& f, size_t from) {
  char quote = 0;
  for (size_t i = from; i < f.size(); ++i) {
    char c = f[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    if (StartsWithText(f, i, "am/pm") || StartsWithText(f, i, "a/p") || StartsWithText(f, i, "ampm")) return true;
  }
  return false;
}

void AppendFormatted(AnsiString& out, const AnsiString& f, TDateTime value, int level) {
  if (level > 2) return;  // a locale format naming itself ends here
  int year, month, day, hour, min, sec, msec;
  DecodeDateTime(value, year, month, day, hour, min, sec, msec);
  bool after_hour = false;  // "m" right after an hour means minutes
  size_t i = 0;
  const size_t n = f.size();
  while (i < n) {
    char c = f[i];
    char lc = Lower(c);
    size_t run = 1;
    while (i + run < n && Lower(f[i + run]) == lc) ++run;
    switch (lc) {
      case '"':
      case '\'': {
        size_t close = f.find(c, i + 1);
        if (close == AnsiString::npos) close = n;
        out.append(f, i + 1, close - i - 1);
        i = close + (close < n ? 1 : 0);
        continue;
      }
      case 'c':
        AppendFormatted(out, ShortDateFormat, value, level + 1);
        if (hour || min || sec || msec) {
          out += ' ';
          AppendFormatted(out, LongTimeFormat, value, level + 1);
        }
        i += 1;
        after_hour = false;
        continue;
      case 'y':
        out += run <= 2 ? Two(year % 100) : Pad(year, 4);
        i += run;
        after_hour = false;
        continue;
      case 'm':
        if (after_hour && run <= 2) {
          out += run == 1 ? std::to_string(min) : Two(min);
        } else if (run == 1) {
          out += std::to_string(month);
        } else if (run == 2) {
          out += Two(month);
        } else if (month >= 1) {
          out += run == 3 ? ShortMonthNames[month - 1] : LongMonthNames[month - 1];
        }
        i += run <= 4 ? run : 4;
        after_hour = false;
        continue;
      case 'd': {
        int dow = year ? DayOfWeek(value) - 1 : 0;
        size_t used = run <= 6 ? run : 6;
        switch (used) {
          case 1: out += std::to_string(day); break;
          case 2: out += Two(day); break;
          case 3: out += ShortDayNames[dow]; break;
          case 4: out += LongDayNames[dow]; break;
          case 5: AppendFormatted(out, ShortDateFormat, value, level + 1); break;
          default: AppendFormatted(out, LongDateFormat, value, level + 1); break;
        }
        i += used;
        after_hour = false;
        continue;
      }
      case 'h': {
        int h = hour;
        if (AmPmFollows(f, i + run)) {
          h %= 12;
          if (h == 0) h = 12;
        }
        out += run == 1 ? std::to_string(h) : Two(h);
        i += run <= 2 ? run : 2;
        after_hour = true;
        continue;
      }
      case 'n':
        out += run == 1 ? std::to_string(min) : Two(min);
        i += run <= 2 ? run : 2;
        after_hour = false;
        continue;
      case 's':
        out += run == 1 ? std::to_string(sec) : Two(sec);
        i += run <= 2 ? run : 2;
        after_hour = false;
        continue;
      case 'z':
        out += run >= 3 ? Pad(msec, 3) : std::to_string(msec);
        i += run >= 3 ? 3 : run;
        after_hour = false;
        continue;
      case 't':
        AppendFormatted(out, run == 1 ? ShortTimeFormat : LongTimeFormat, value, level + 1);
        i += run == 1 ? 1 : 2;
        after_hour = false;
        continue;
      case 'a':
        if (StartsWithText(f, i, "am/pm")) {
          // The marker keeps the letter case it was written in.
          out += hour < 12 ? f.substr(i, 2) : f.substr(i + 3, 2);
          i += 5;
        } else if (StartsWithText(f, i, "a/p")) {
          out += hour < 12 ? f[i] : f[i + 2];
          i += 3;
        } else if (StartsWithText(f, i, "ampm")) {
          out += hour < 12 ? TimeAMString : TimePMString;
          i += 4;
        } else {
          out += c;
          i += 1;
        }
        continue;
      case '/':
        out += DateSeparator;
        i += 1;
        continue;
      case ':':
        out += TimeSeparator;
        i += 1;
        continue;
      default:
        out += c;
        i += 1;
        continue;
    }
  }
}

}  // namespace

AnsiString FormatDateTime(const AnsiString& format, TDateTime value) {
  AnsiString out;
  AppendFormatted(out, format.empty() ? AnsiString("c") : format, value, 0);
  return out;
}

AnsiString DateTimeToStr(TDateTime value) { return FormatDateTime("c", value); }
AnsiString DateToStr(TDateTime value) { return FormatDateTime("ddddd", value); }
AnsiString TimeToStr(TDateTime value) { return FormatDateTime("tt", value); }

// ---------------------------------------------------------------------------------------
// Parsing.

namespace {

struct Scanner {
  const AnsiString& s;
  size_t i = 0;

  void Blanks() {
    while (i < s.size() && s[i] == ' ') ++i;
  }
  bool Number(int& value, size_t& digits) {
    Blanks();
    size_t start = i;
    int64_t v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 9) v = v * 10 + (s[i++] - '0');
    digits = i - start;
    if (digits == 0 || (i < s.size() && s[i] >= '0' && s[i] <= '9')) return false;
    value = static_cast<int>(v);
    return true;
  }
  bool Char(char c) {
    Blanks();
    if (i < s.size() && s[i] == c) return ++i, true;
    return false;
  }
  bool Text(const AnsiString& word) {
    Blanks();
    if (word.empty() || s.size() - i < word.size()) return false;
    if (!SameText(s.substr(i, word.size()), word)) return false;
    i += word.size();
    return true;
  }
  bool AtEnd() {
    Blanks();
    return i >= s.size();
  }
};

// Order of the date fields by ShortDateFormat: 0 = month day year, 1 = day month year,
// 2 = year month day.
int DateOrder() {
  for (char c : ShortDateFormat) {
    char l = Lower(c);
    if (l == 'y') return 2;
    if (l == 'd') return 1;
    if (l == 'm') return 0;
  }
  return 2;
}

bool ScanDate(Scanner& sc, TDateTime& date) {
  int n1, n2, n3 = 0;
  size_t l1, l2, l3 = 0;
  if (!sc.Number(n1, l1) || !sc.Char(DateSeparator) || !sc.Number(n2, l2)) return false;
  bool three = false;
  size_t save = sc.i;
  if (sc.Char(DateSeparator)) {
    if (!sc.Number(n3, l3)) return false;
    three = true;
  } else {
    sc.i = save;
  }
  int y, m, d;
  size_t year_digits;
  const int order = DateOrder();
  if (three) {
    switch (order) {
      case 0: m = n1, d = n2, y = n3, year_digits = l3; break;
      case 1: d = n1, m = n2, y = n3, year_digits = l3; break;
      default: y = n1, m = n2, d = n3, year_digits = l1; break;
    }
  } else {
    SYSTEMTIME st;
    GetLocalTime(&st);
    y = st.wYear;
    year_digits = 4;
    if (order == 1) {
      d = n1, m = n2;
    } else {
      m = n1, d = n2;
    }
  }
  // Two-digit years: 00-49 in this century's first half, 50-99 in the last century.
  if (year_digits <= 2) y += y < 50 ? 2000 : 1900;
  return TryEncodeDate(y, m, d, date);
}

bool ScanTime(Scanner& sc, TDateTime& time) {
  int h, m = 0, s = 0, ms = 0;
  size_t len;
  if (!sc.Number(h, len)) return false;
  if (sc.Char(TimeSeparator)) {
    if (!sc.Number(m, len)) return false;
    if (sc.Char(TimeSeparator)) {
      if (!sc.Number(s, len)) return false;
      if (sc.Char(DecimalSeparator)) {
        if (!sc.Number(ms, len) || len > 3) return false;
        for (size_t k = len; k < 3; ++k) ms *= 10;
      }
    }
  } else {
    // A bare number is a time only with an am/pm marker.
    size_t save = sc.i;
    if (!(sc.Text(TimeAMString) || sc.Text(TimePMString) || sc.Text("AM") || sc.Text("PM"))) return false;
    sc.i = save;
  }
  int pm = -1;
  if (sc.Text(TimeAMString) || sc.Text("AM"))
    pm = 0;
  else if (sc.Text(TimePMString) || sc.Text("PM"))
    pm = 1;
  if (pm >= 0) {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  }
  return TryEncodeTime(h, m, s, ms, time);
}

}  // namespace

bool TryStrToDate(const AnsiString& s, TDateTime& value) {
  Scanner sc{s};
  TDateTime d;
  if (!ScanDate(sc, d) || !sc.AtEnd()) return false;
  value = d;
  return true;
}

bool TryStrToTime(const AnsiString& s, TDateTime& value) {
  Scanner sc{s};
  TDateTime t;
  if (!ScanTime(sc, t) || !sc.AtEnd()) return false;
  value = t;
  return true;
}

bool TryStrToDateTime(const AnsiString& s, TDateTime& value) {
  Scanner sc{s};
  TDateTime d, t = 0;
  if (!ScanDate(sc, d)) return false;
  if (!sc.AtEnd() && !ScanTime(sc, t)) return false;
  if (!sc.AtEnd()) return false;
  value = d >= 0 ? d + t : d - t;
  return true;
}

TDateTime StrToDate(const AnsiString& s) {
  TDateTime v;
  if (!TryStrToDate(s, v)) throw EConvertError("'" + s + "' is not a valid date");
  return v;
}

TDateTime StrToTime(const AnsiString& s) {
  TDateTime v;
  if (!TryStrToTime(s, v)) throw EConvertError("'" + s + "' is not a valid time");
  return v;
}

TDateTime StrToDateTime(const AnsiString& s) {
  TDateTime v;
  if (!TryStrToDateTime(s, v)) throw EConvertError("'" + s + "' is not a valid date and time");
  return v;
}
