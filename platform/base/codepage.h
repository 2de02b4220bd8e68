// Code pages: the ANSI code page of the process and conversions between 8-bit strings
// and UTF-16. The ANSI code page is 936 (GBK) unless KORVANE_CODEPAGE names another
// (a number such as 65001); it is read once, on first use.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

extern "C" {

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

UINT GetACP(void);
UINT GetOEMCP(void);
BOOL IsValidCodePage(UINT code_page);

// Platform rules: `src_len` -1 converts up to and including the terminator (counted in
// the result); `dst_len` 0 returns the length needed; a too-small buffer gives 0 with
// ERROR_INSUFFICIENT_BUFFER. Invalid input becomes U+FFFD, or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS. An empty input, a null
// source or an unknown code page gives 0 with ERROR_INVALID_PARAMETER.
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR src, int src_len, LPWSTR dst, int dst_len);
// Characters the code page lacks become `default_char` (or '?') and set *used_default.
// For CP_UTF8 `default_char` and `used_default` must be null; unpaired surrogates
// become U+FFFD (or fail under WC_ERR_INVALID_CHARS).
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR src, int src_len, LPSTR dst, int dst_len,
                        LPCSTR default_char, BOOL* used_default);

// Lead bytes of double-byte characters (always FALSE for UTF-8 and single-byte pages).
BOOL IsDBCSLeadByte(BYTE test_char);
BOOL IsDBCSLeadByteEx(UINT code_page, BYTE test_char);
// Character stepping in the ANSI code page (a trail byte is never split from its lead).
LPSTR CharNextA(LPCSTR current);
LPSTR CharPrevA(LPCSTR start, LPCSTR current);

// Test-facing: forget the code page read from KORVANE_CODEPAGE, so the next use reads
// the variable again.
void KvCodePageReset(void);

}  // extern "C"

namespace kv {

inline std::u16string MultiByteToWide(UINT code_page, std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(code_page, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(code_page, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

inline std::string WideToMultiByte(UINT code_page, std::u16string_view s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(code_page, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

inline std::u16string AnsiToWide(std::string_view s) { return MultiByteToWide(CP_ACP, s); }
inline std::string WideToAnsi(std::u16string_view s) { return WideToMultiByte(CP_ACP, s); }
inline std::u16string Utf8ToWide(std::string_view s) { return MultiByteToWide(CP_UTF8, s); }
inline std::string WideToUtf8(std::u16string_view s) { return WideToMultiByte(CP_UTF8, s); }
inline std::string AnsiToUtf8(std::string_view s) { return WideToUtf8(AnsiToWide(s)); }
inline std::string Utf8ToAnsi(std::string_view s) { return WideToAnsi(Utf8ToWide(s)); }

}  // namespace kv
