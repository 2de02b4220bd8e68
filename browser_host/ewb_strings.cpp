#include "browser_host/ewb_strings.h"

#include <cstring>

#include "platform/base/codepage.h"
#include "platform/com/com.h"

void SplitAtSeparator(AnsiString& Source, const AnsiString& Sep, bool Delete, AnsiString& Before) {
  int p = (Sep.size() == 1 && Sep[0] == '\0') ? Pos(Sep, Source) : AnsiPos(Sep, Source);
  if (p > 0) {
    Before = Source.substr(0, static_cast<size_t>(p - 1));
    if (Delete) Source.erase(0, static_cast<size_t>(p - 1) + Sep.size());
  } else {
    Before = Source;
    if (Delete) Source.clear();
  }
}

int LastTextPos(const AnsiString& SubStr, const AnsiString& S, int Start) {
  const int sub = static_cast<int>(SubStr.size());
  const int last = static_cast<int>(S.size()) - sub + 1;
  if (Start == -1 || Start > last) Start = last;
  for (int p = Start; p >= 1; --p) {
    if (AnsiCompareText(S.substr(static_cast<size_t>(p - 1), static_cast<size_t>(sub)), SubStr) == 0) return p;
  }
  return 0;
}

int CharPos(char Ch, const AnsiString& S) {
  size_t p = S.find(Ch);
  return p == AnsiString::npos ? 0 : static_cast<int>(p) + 1;
}

void BackslashToSlash(AnsiString& S) {
  for (size_t i = 0; i < S.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(S[i]))) {
      ++i;  // the trail byte may equal the backslash's code
    } else if (S[i] == '\\') {
      S[i] = '/';
    }
  }
}

HWND FindParentWindowByClass(HWND Wnd, const AnsiString& ClassName) {
  for (HWND h = Wnd ? GetParent(Wnd) : nullptr; h; h = GetParent(h)) {
    char name[256];
    int n = GetClassNameA(h, name, sizeof name);
    if (n > 0 && AnsiString(name, static_cast<size_t>(n)) == ClassName) return h;
  }
  return nullptr;
}

AnsiString GetWindowCaption(HWND Wnd) {
  int n = GetWindowTextLengthA(Wnd);
  if (n <= 0) return AnsiString();
  AnsiString text(static_cast<size_t>(n) + 1, '\0');
  n = GetWindowTextA(Wnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

WideString GetWindowClassNameW(HWND Wnd) {
  if (!IsWindow(Wnd)) return WideString();
  WCHAR name[256];
  int n = GetClassNameW(Wnd, name, 256);
  return WideString(name, static_cast<size_t>(n > 0 ? n : 0));
}

LPOLESTR WideToTaskMem(const WideString& S) {
  const size_t bytes = (S.size() + 1) * sizeof(WCHAR);
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!out) return nullptr;
  std::memset(out, 0, bytes);
  std::memcpy(out, S.data(), S.size() * sizeof(WCHAR));
  return out;
}

LPOLESTR AnsiToTaskMemWide(const AnsiString& S) { return WideToTaskMem(kv::AnsiToWide(S)); }
