// "msctls_updown32": two arrow halves that step a position within a range, optionally
// shown in a buddy window's text (UDS_SETBUDDYINT). Before each step the parent is asked
// with UDN_DELTAPOS (non-zero refuses it); after it, the parent gets WM_VSCROLL (or
// WM_HSCROLL with UDS_HORZ) with SB_THUMBPOSITION and the position, and SB_ENDSCROLL when
// the button is released.
#pragma once

#include "platform/comctl/comctl.h"

extern "C" {

#define UPDOWN_CLASSA "msctls_updown32"
#define UPDOWN_CLASSW u"msctls_updown32"

#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_HORZ 0x0040
#define UDS_NOTHOUSANDS 0x0080
#define UDS_HOTTRACK 0x0100

#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)

#define UDN_FIRST (0U - 721U)
#define UDN_DELTAPOS (UDN_FIRST - 1)

typedef struct _NM_UPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
} NMUPDOWN, *LPNMUPDOWN;

}  // extern "C"
