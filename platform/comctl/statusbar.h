// "msctls_statusbar32": parts, texts, simple mode, size grip, alignment along its parent.
#pragma once

#include "platform/comctl/comctl.h"

extern "C" {

#define STATUSCLASSNAMEA "msctls_statusbar32"
#define STATUSCLASSNAMEW u"msctls_statusbar32"
#define SBARS_SIZEGRIP 0x0100
#define SBARS_TOOLTIPS 0x0800
#define SB_SETTEXTA (WM_USER + 1)
#define SB_GETTEXTA (WM_USER + 2)
#define SB_GETTEXTLENGTHA (WM_USER + 3)
#define SB_SETPARTS (WM_USER + 4)
#define SB_GETPARTS (WM_USER + 6)
#define SB_GETBORDERS (WM_USER + 7)
#define SB_SETMINHEIGHT (WM_USER + 8)
#define SB_SIMPLE (WM_USER + 9)
#define SB_GETRECT (WM_USER + 10)
#define SB_SETTEXTW (WM_USER + 11)
#define SB_GETTEXTLENGTHW (WM_USER + 12)
#define SB_GETTEXTW (WM_USER + 13)
#define SB_ISSIMPLE (WM_USER + 14)
#define SB_SIMPLEID 0x00FF
#define SBT_OWNERDRAW 0x1000
#define SBT_NOBORDERS 0x0100
#define SBT_POPOUT 0x0200
#define SBT_RTLREADING 0x0400

}  // extern "C"
