// The input method's messages beyond the composition's three in user.h, and what a
// WM_IME_COMPOSITION says changed.
#pragma once

#define WM_IME_CHAR 0x0286
#define GCS_COMPSTR 0x0008
#define GCS_RESULTSTR 0x0800
