// The framework's string, conversion, file-name and date utilities.
//
// AnsiString holds bytes in the system ANSI code page; WideString holds UTF-16. String
// positions (Pos, Copy, Delete, Insert, LastDelimiter ...) are 1-based, 0 meaning "none",
// as the framework counts them. The Ansi... functions and the delimiter and file-name
// functions treat double-byte characters of the code page as whole (a trail byte is never
// taken for a delimiter and never case-mapped); the plain forms (Pos, UpperCase,
// CompareText ...) work on bytes, mapping ASCII letters only.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/core/exception.h"
#include "platform/base/time.h"

using AnsiString = std::string;
using WideString = std::u16string;

// Days since 1899-12-30; the fraction is the time of day (for dates before that day the
// fraction still counts forward: -1.25 is 1899-12-29 06:00).
using TDateTime = double;

// ---------------------------------------------------------------------------------------
// Locale settings. The defaults are fixed, independent of the machine: ISO-like dates
// ("yyyy-mm-dd", "hh:nn:ss"), "." decimals, "," thousands, English day and month names.

extern char DecimalSeparator;       // '.'
extern char ThousandSeparator;      // ','
extern char DateSeparator;          // '-'
extern char TimeSeparator;          // ':'
extern AnsiString ShortDateFormat;  // "yyyy-mm-dd"
extern AnsiString LongDateFormat;   // "yyyy-mm-dd"
extern AnsiString ShortTimeFormat;  // "hh:nn"
extern AnsiString LongTimeFormat;   // "hh:nn:ss"
extern AnsiString TimeAMString;     // "AM"
extern AnsiString TimePMString;     // "PM"
extern AnsiString CurrencyString;   // "$"
extern int CurrencyDecimals;        // 2
extern AnsiString ShortMonthNames[12];
extern AnsiString LongMonthNames[12];
extern AnsiString ShortDayNames[7];  // Sunday first
extern AnsiString LongDayNames[7];

// ---------------------------------------------------------------------------------------
// Integers and reals.

// Decimal with optional leading blanks and sign, or hexadecimal after "$", "0x", "0X",
// "x" or "X" (hexadecimal takes up to 32 bits, "$FFFFFFFF" is -1). Nothing may follow the
// digits. Raises EConvertError "'s' is not a valid integer value".
int StrToInt(const AnsiString& s);
int StrToIntDef(const AnsiString& s, int def);
bool TryStrToInt(const AnsiString& s, int& value);
int64_t StrToInt64(const AnsiString& s);
int64_t StrToInt64Def(const AnsiString& s, int64_t def);
bool TryStrToInt64(const AnsiString& s, int64_t& value);

AnsiString IntToStr(int value);
AnsiString IntToStr(int64_t value);
// Other integer types (unsigned ones print unsigned): IntToStr(DWORD(4294967295)).
template <std::integral T>
requires(!std::same_as<T, int> && !std::same_as<T, int64_t> && !std::same_as<T, bool> &&
         !std::same_as<T, char>) AnsiString IntToStr(T value) {
  return std::to_string(value);
}
// Upper-case hexadecimal, at least `digits` digits (negative 32-bit values as 8 digits).
AnsiString IntToHex(int value, int digits);
AnsiString IntToHex(int64_t value, int digits);
template <std::integral T>
requires(!std::same_as<T, int> && !std::same_as<T, int64_t> && !std::same_as<T, bool> &&
         !std::same_as<T, char>) AnsiString IntToHex(T value, int digits) {
  if constexpr (std::is_signed_v<T> && sizeof(T) <= 4)
    return IntToHex(static_cast<int>(value), digits);
  else
    return IntToHex(static_cast<int64_t>(value), digits);
}

// Blanks around the number are allowed; DecimalSeparator, optional exponent.
// Raises EConvertError "'s' is not a valid floating point value".
double StrToFloat(const AnsiString& s);
double StrToFloatDef(const AnsiString& s, double def);
bool TryStrToFloat(const AnsiString& s, double& value);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// precision: significant digits (1..18, beyond 15 the digits are those of the double);
// digits: exponent digits (ffGeneral, ffExponent) or decimals (ffFixed, ffNumber, ffCurrency).
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits);
// General format with 15 significant digits: "0.1", "1E20", "1.5E-10", "NAN", "INF".
AnsiString FloatToStr(double value);
// Picture format: "0" digit, "#" optional digit, "." decimal point, "," thousands,
// quoted literals, up to three ";" sections (positive;negative;zero). The integer digits
// stand where the first integer placeholder is; other characters are copied.
AnsiString FormatFloat(const AnsiString& format, double value);

AnsiString BoolToStr(bool b, bool use_bool_strs = false);  // "-1"/"0" or "True"/"False"
bool StrToBool(const AnsiString& s);                       // "True"/"False" (any case) or a number; else EConvertError
bool TryStrToBool(const AnsiString& s, bool& value);

// ---------------------------------------------------------------------------------------
// Format: the framework's formatter.
//
//   "%" ["index:"] ["-"] [width] ["." precision] type, width and precision may be "*".
//   d (integer, precision = minimum digits), u (unsigned), x (hexadecimal, upper case),
//   e (scientific, precision = significant digits, default 15), f (fixed, default 2
//   decimals), g (general, default 15 digits), n (fixed with thousands separators),
//   m (money), p (pointer), s (string, precision = maximum length), "%%" a percent sign.
// A type that does not fit its argument raises EConvertError
// "Format 'fmt' invalid or incompatible with argument"; too few arguments
// "No argument for format 'fmt'".

class TObject;
class OleVariant;
struct IUnknown;

class TVarRec {
 public:
  enum Kind {
    vtInteger, vtInt64, vtExtended, vtString, vtWideString, vtChar, vtBoolean, vtPointer,
    vtObject, vtInterface, vtVariant
  };

  TVarRec(bool v) : kind_(vtBoolean), i_(v ? 1 : 0) {}
  TVarRec(char v) : kind_(vtChar), s_(1, v) {}
  TVarRec(int v) : kind_(vtInteger), i_(v) {}
  TVarRec(unsigned v) : kind_(vtInt64), i_(v) {}
  TVarRec(long v) : kind_(vtInt64), i_(v) {}
  TVarRec(unsigned long v) : kind_(vtInt64), i_(static_cast<int64_t>(v)) {}
  TVarRec(long long v) : kind_(vtInt64), i_(v) {}
  TVarRec(unsigned long long v) : kind_(vtInt64), i_(static_cast<int64_t>(v)) {}
  TVarRec(short v) : kind_(vtInteger), i_(v) {}
  TVarRec(unsigned short v) : kind_(vtInteger), i_(v) {}
  TVarRec(double v) : kind_(vtExtended), f_(v) {}
  TVarRec(float v) : kind_(vtExtended), f_(v) {}
  TVarRec(const char* v) : kind_(vtString), s_(v ? v : "") {}
  TVarRec(const AnsiString& v) : kind_(vtString), s_(v) {}
  TVarRec(const char16_t* v) : kind_(vtWideString), w_(v ? v : u"") {}
  TVarRec(const WideString& v) : kind_(vtWideString), w_(v) {}
  TVarRec(const void* v) : kind_(vtPointer), p_(v) {}
  TVarRec(std::nullptr_t) : kind_(vtPointer), p_(nullptr) {}
  TVarRec(const TObject* v) : kind_(vtObject), p_(v) {}
  TVarRec(IUnknown* v) : kind_(vtInterface), p_(v) {}
  // A variant by reference (the caller's storage must outlive the record).
  TVarRec(OleVariant* v) : kind_(vtVariant), p_(v) {}

  Kind kind() const { return kind_; }
  int64_t AsInteger() const { return i_; }
  double AsFloat() const { return f_; }
  const AnsiString& AsString() const { return s_; }
  const WideString& AsWide() const { return w_; }
  const void* AsPointer() const { return p_; }

 private:
  Kind kind_;
  int64_t i_ = 0;
  double f_ = 0;
  AnsiString s_;
  WideString w_;
  const void* p_ = nullptr;
};

AnsiString FormatVarRecs(const AnsiString& format, const TVarRec* args, size_t count);
inline AnsiString Format(const AnsiString& format) { return FormatVarRecs(format, nullptr, 0); }
inline AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args) {
  return FormatVarRecs(format, args.begin(), args.size());
}
inline AnsiString Format(const AnsiString& format, const std::vector<TVarRec>& args) {
  return FormatVarRecs(format, args.data(), args.size());
}
// Format("%s: %d", name, count)
template <class... A>
requires(sizeof...(A) > 0 && (std::is_constructible_v<TVarRec, const A&> && ...)) AnsiString
    Format(const AnsiString& format, const A&... args) {
  const TVarRec recs[] = {TVarRec(args)...};
  return FormatVarRecs(format, recs, sizeof...(A));
}

// ---------------------------------------------------------------------------------------
// Strings.

AnsiString UpperCase(const AnsiString& s);  // ASCII letters only
AnsiString LowerCase(const AnsiString& s);
AnsiString AnsiUpperCase(const AnsiString& s);  // letters of the code page, trail bytes kept
AnsiString AnsiLowerCase(const AnsiString& s);
WideString WideUpperCase(const WideString& s);
WideString WideLowerCase(const WideString& s);

// Remove characters <= ' ' (blanks and control characters).
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);

int Pos(const AnsiString& sub, const AnsiString& s);                    // 0 when absent or sub empty
int PosEx(const AnsiString& sub, const AnsiString& s, int offset = 1);  // 0 when offset < 1
int AnsiPos(const AnsiString& sub, const AnsiString& s);                // whole characters only
// Index below 1 counts as 1; count is clamped to the rest of s.
AnsiString Copy(const AnsiString& s, int index, int count);
// Index outside 1..Length(s) or count <= 0 changes nothing.
void Delete(AnsiString& s, int index, int count);
// Index below 1 inserts at the front, beyond the end appends.
void Insert(const AnsiString& source, AnsiString& s, int index);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
AnsiString StringReplace(const AnsiString& s, const AnsiString& old_pattern, const AnsiString& new_pattern,
                         TReplaceFlags flags);

// ASCII comparisons: difference of the first differing bytes (upper-cased for CompareText),
// or of the lengths.
int CompareStr(const AnsiString& a, const AnsiString& b);
int CompareText(const AnsiString& a, const AnsiString& b);
bool SameText(const AnsiString& a, const AnsiString& b);
// Code-page comparisons (-1, 0, 1): byte order of the texts folded through AnsiLowerCase;
// AnsiCompareStr then puts lower case before upper case ("a" < "A" < "b").
int AnsiCompareStr(const AnsiString& a, const AnsiString& b);
int AnsiCompareText(const AnsiString& a, const AnsiString& b);
bool AnsiSameText(const AnsiString& a, const AnsiString& b);

AnsiString QuotedStr(const AnsiString& s);  // 'it''s'
AnsiString AnsiQuotedStr(const AnsiString& s, char quote);
// When *src starts with quote: returns the quoted text (doubled quotes made single) and
// moves src past the closing quote (to the end when there is none). Otherwise returns
// "" and leaves src alone.
AnsiString AnsiExtractQuotedStr(const char*& src, char quote);
// The unquoted text when s starts with quote, else s itself.
AnsiString AnsiDequotedStr(const AnsiString& s, char quote);

AnsiString StringOfChar(char ch, int count);
// 1-based position of the last character of s found in delimiters (trail bytes skipped).
int LastDelimiter(const AnsiString& delimiters, const AnsiString& s);
bool IsDelimiter(const AnsiString& delimiters, const AnsiString& s, int index);

// Double-byte characters of the current ANSI code page.
bool IsLeadByte(unsigned char c);
enum TMbcsByteType { mbSingleByte, mbLeadByte, mbTrailByte };
TMbcsByteType ByteType(const AnsiString& s, int index);

// ---------------------------------------------------------------------------------------
// File names and files. "\", "/" and the drive colon are delimiters; the file functions
// take Windows paths ("c:\x\y.txt") and map them through the platform.

AnsiString ExtractFilePath(const AnsiString& file_name);  // with the trailing delimiter
AnsiString ExtractFileDir(const AnsiString& file_name);   // without it (except a root)
AnsiString ExtractFileName(const AnsiString& file_name);
AnsiString ExtractFileExt(const AnsiString& file_name);    // with the "."
AnsiString ExtractFileDrive(const AnsiString& file_name);  // "c:" or "\\server\share"
AnsiString ChangeFileExt(const AnsiString& file_name, const AnsiString& extension);
bool IsPathDelimiter(const AnsiString& s, int index);
// Appends the delimiter the path already uses ("/" or "\"), "\" when it has none.
AnsiString IncludeTrailingPathDelimiter(const AnsiString& s);
AnsiString IncludeTrailingBackslash(const AnsiString& s);
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& s);
AnsiString ExcludeTrailingBackslash(const AnsiString& s);

bool FileExists(const AnsiString& file_name);
bool DirectoryExists(const AnsiString& directory);
// Creates every missing level; an empty name raises EInOutError.
bool ForceDirectories(const AnsiString& directory);
bool CreateDir(const AnsiString& directory);
bool DeleteFile(const AnsiString& file_name);
bool RenameFile(const AnsiString& old_name, const AnsiString& new_name);
AnsiString GetCurrentDir();

// ---------------------------------------------------------------------------------------
// System errors.

AnsiString SysErrorMessage(unsigned error_code);
// EOSError "System Error.  Code: n.\r\n<message>" for the platform's last error.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(unsigned error_code);
[[noreturn]] void Abort();             // EAbort "Operation aborted"
[[noreturn]] void OutOfMemoryError();  // EOutOfMemory "Out of memory"

// ---------------------------------------------------------------------------------------
// Dates and times.

bool IsLeapYear(int year);
int DaysInAMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
// EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
void DecodeDate(TDateTime date, int& year, int& month, int& day);
void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime date);                       // 1 = Sunday ... 7 = Saturday
TDateTime IncMonth(TDateTime date, int months = 1);  // day clamped to the month's length
TDateTime TimeOf(TDateTime value);
int64_t MilliSecondsBetween(TDateTime now, TDateTime then);
int64_t SecondsBetween(TDateTime now, TDateTime then);
TDateTime IncSecond(TDateTime value, int64_t seconds);

TDateTime Date();  // today, from the platform's local time
TDateTime Time();
TDateTime Now();

TDateTime SystemTimeToDateTime(const SYSTEMTIME& st);  // EConvertError when out of range
void DateTimeToSystemTime(TDateTime value, SYSTEMTIME& st);

// Format characters: c d dd ddd dddd ddddd dddddd m mm mmm mmmm (minutes after h/hh)
// yy yyyy h hh n nn s ss z zzz t tt am/pm a/p (in the case written) ampm (TimeAMString,
// TimePMString) / : and "..." or '...' literals.
AnsiString FormatDateTime(const AnsiString& format, TDateTime value);
AnsiString DateTimeToStr(TDateTime value);  // ShortDateFormat + " " + LongTimeFormat
AnsiString DateToStr(TDateTime value);
AnsiString TimeToStr(TDateTime value);
// The order of year, month and day is that of ShortDateFormat; a time may follow.
// EConvertError "'s' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(const AnsiString& s);
TDateTime StrToTime(const AnsiString& s);
TDateTime StrToDateTime(const AnsiString& s);
bool TryStrToDate(const AnsiString& s, TDateTime& value);
bool TryStrToTime(const AnsiString& s, TDateTime& value);
bool TryStrToDateTime(const AnsiString& s, TDateTime& value);

// The floating-point unit's control word (x87 layout: exception masks in bits 0-5,
// precision in bits 8-9, rounding in bits 10-11). Set8087CW also sets the SSE unit's
// exception masks and rounding to match, so both units follow the word.
void Set8087CW(WORD Value);
WORD Get8087CW();
