// Fuzz target: InternetCrackUrl in both forms, with buffers and with pointers into the
// URL, under each decoding flag.
#include <cstdint>
#include <string>

#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"

namespace {

template <class C, class Components>
void CrackAll(const std::basic_string<C>& url, DWORD flags, bool buffers) {
  C scheme[32], host[256], user[128], password[128], path[2048], extra[2055];
  Components uc{};
  uc.dwStructSize = 60;
  if (buffers) {
    uc.lpszScheme = scheme;
    uc.dwSchemeLength = 32;
    uc.lpszHostName = host;
    uc.dwHostNameLength = 256;
    uc.lpszUserName = user;
    uc.dwUserNameLength = 128;
    uc.lpszPassword = password;
    uc.dwPasswordLength = 128;
    uc.lpszUrlPath = path;
    uc.dwUrlPathLength = 2048;
    uc.lpszExtraInfo = extra;
    uc.dwExtraInfoLength = 2055;
  } else {
    uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUserNameLength = uc.dwPasswordLength = 1;
    uc.dwUrlPathLength = uc.dwExtraInfoLength = 1;
  }
  if constexpr (sizeof(C) == 1) {
    InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), flags, &uc);
  } else {
    InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), flags, &uc);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  std::u16string wide(url.begin(), url.end());
  for (DWORD flags : {0u, static_cast<DWORD>(ICU_ESCAPE), static_cast<DWORD>(ICU_DECODE)}) {
    CrackAll<char, URL_COMPONENTSA>(url, flags, true);
    CrackAll<char, URL_COMPONENTSA>(url, flags, false);
    CrackAll<char16_t, URL_COMPONENTSW>(wide, flags, true);
  }
  std::u16string terminated = wide.substr(0, wide.find(u'\0'));
  IsValidURL(nullptr, terminated.c_str(), 0);
  return 0;
}
