// The shared text, date and memory helpers of the HTTP client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"
#include "http_client/id_exceptions.h"

// A read-only stream over memory it does not own.
class TIdReadMemoryStream : public TCustomMemoryStream {
 public:
  KV_CLASS_NAME(TIdReadMemoryStream)
  // Points the stream at the block and moves to its start.
  void SetPointer(const void* memory, int64_t size) {
    TCustomMemoryStream::SetPointer(const_cast<void*>(memory), size);
    position_ = 0;
  }
  int Write(const void*, int) override { return 0; }
};

// The text before the first `delimiter` in `input` (the whole input when it is absent);
// with `remove` the input loses that text and the delimiter.
std::string FetchToken(std::string& input, const std::string& delimiter = " ", bool remove = true,
                       bool case_sensitive = true);
int IndexInList(const std::string& text, const std::vector<std::string>& list, bool case_sensitive);
int DayNumber(const std::string& text);    // 1 (Sunday) .. 7, 0 when not a day name
int MonthNumber(const std::string& text);  // 1 .. 12, 0 when not a month name
// 1-based position of the last occurrence of `sub` that begins at or before `start`
// (-1: anywhere), compared without case; 0 when there is none.
int LastPos(const std::string& sub, const std::string& text, int start = -1);
// 1-based position of `sub` in the block; 0 when absent, empty or longer than the block.
int SearchMemory(const std::string& sub, const char* block, size_t size);
bool IsValidIPv4Text(const std::string& text);
bool LooksLikeHostName(const std::string& text);
std::string DomainPart(const std::string& host);
// Joins a relative `path` to `base`, resolving ".." segments (never above the start); an
// absolute path is returned as it is.
std::string MergePath(const std::string& base, const std::string& path, char delimiter = '/');

// Decimal integer with an optional sign; `fallback` when the text is anything else.
int DecimalToInt(const std::string& text, int fallback);
int64_t DecimalToInt64(const std::string& text, int64_t fallback);

// Internet dates. The offset of local time to UTC comes from the platform's time zone.
std::string InternetDateText(TDateTime value, bool zero_offset_as_gmt);
TDateTime ParseInternetDate(std::string& text);  // leaves the unparsed rest in `text`; 0 on failure
TDateTime GmtToLocal(const std::string& text);   // 0 when the text is not a date
TDateTime UtcOffset();                           // local minus UTC, as a fraction of a day

// The smaller of two integers.
inline int MinInt(int a, int b) { return a < b ? a : b; }
// Whether the caller runs on the process's main thread.
bool InMainThread();
// Blocks the calling thread for `ms` milliseconds.
void SleepMs(int ms);
// The system's temporary folder, ending in its path separator.
std::string TempDirectory();

// Percent-encodes the bytes of a request target that would break the request line
// (control characters, blank, DEL), so a URL cannot add header lines.
std::string EncodeRequestTarget(const std::string& target);
