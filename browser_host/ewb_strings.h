// String and window helpers of the browser suite and the download manager: splitting and
// searching ANSI strings (multi-byte aware), window class and caption reading, and wide
// copies in task memory for strings handed to the platform.
#pragma once

#include "framework/core/sysutils.h"
#include "platform/com/com.h"
#include "platform/user/user.h"

// Finds the first Sep in Source (a plain byte search when Sep is the one NUL character,
// else whole characters only). Found: Before = the text in front of it, and with Delete
// Source loses the text up to and including Sep. Not found: Before = Source, and with
// Delete Source becomes empty.
void SplitAtSeparator(AnsiString& Source, const AnsiString& Sep, bool Delete, AnsiString& Before);
// 1-based position of the last case-insensitive occurrence of SubStr beginning at or
// before Start (-1: anywhere; lowered to the last possible start first); 0 when none.
int LastTextPos(const AnsiString& SubStr, const AnsiString& S, int Start);
// 1-based position of the first Ch in S, 0 when absent.
int CharPos(char Ch, const AnsiString& S);
// Every backslash becomes a slash; both bytes of a double-byte character are stepped over.
void BackslashToSlash(AnsiString& S);

// The first parent of Wnd (not Wnd itself) of exactly this class, or null.
HWND FindParentWindowByClass(HWND Wnd, const AnsiString& ClassName);
AnsiString GetWindowCaption(HWND Wnd);
// Empty when Wnd is not a window.
WideString GetWindowClassNameW(HWND Wnd);

// NUL-terminated wide copies in task memory (the receiver frees them with CoTaskMemFree);
// null when the allocation fails.
LPOLESTR AnsiToTaskMemWide(const AnsiString& S);
LPOLESTR WideToTaskMem(const WideString& S);
