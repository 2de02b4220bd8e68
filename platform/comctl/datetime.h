// "SysDateTimePick32": a date (or time) shown as text with a drop button that opens a
// "SysMonthCal32" calendar below it, or up-down arrows (DTS_UPDOWN) that step the day.
// Changes are told with DTN_DATETIMECHANGE; the calendar's opening and closing with
// DTN_DROPDOWN and DTN_CLOSEUP. "SysMonthCal32": one month's days, the selected day, the
// previous and next month from the title's arrows; a click on a day tells MCN_SELCHANGE
// and MCN_SELECT.
#pragma once

#include "platform/base/time.h"
#include "platform/comctl/comctl.h"

extern "C" {

#define DATETIMEPICK_CLASSA "SysDateTimePick32"
#define DATETIMEPICK_CLASSW u"SysDateTimePick32"
#define MONTHCAL_CLASSA "SysMonthCal32"
#define MONTHCAL_CLASSW u"SysMonthCal32"

#define DTS_UPDOWN 0x0001
#define DTS_SHOWNONE 0x0002
#define DTS_SHORTDATEFORMAT 0x0000
#define DTS_LONGDATEFORMAT 0x0004
#define DTS_TIMEFORMAT 0x0009
#define DTS_RIGHTALIGN 0x0020

#define DTM_FIRST 0x1000
#define DTM_GETSYSTEMTIME (DTM_FIRST + 1)
#define DTM_SETSYSTEMTIME (DTM_FIRST + 2)
#define DTM_GETMONTHCAL (DTM_FIRST + 8)

#define GDT_ERROR (-1)
#define GDT_VALID 0
#define GDT_NONE 1

#define DTN_FIRST (0U - 760U)
#define DTN_DATETIMECHANGE (DTN_FIRST - 1)
#define DTN_DROPDOWN (DTN_FIRST - 6)
#define DTN_CLOSEUP (DTN_FIRST - 7)

typedef struct tagNMDATETIMECHANGE {
  NMHDR nmhdr;
  DWORD dwFlags;
  SYSTEMTIME st;
} NMDATETIMECHANGE, *LPNMDATETIMECHANGE;

#define MCM_FIRST 0x1000
#define MCM_GETCURSEL (MCM_FIRST + 1)
#define MCM_SETCURSEL (MCM_FIRST + 2)
#define MCM_GETMINREQRECT (MCM_FIRST + 9)

#define MCN_FIRST (0U - 750U)
#define MCN_SELCHANGE (MCN_FIRST + 1)
#define MCN_SELECT (MCN_FIRST + 4)

typedef struct tagNMSELCHANGE {
  NMHDR nmhdr;
  SYSTEMTIME stSelStart;
  SYSTEMTIME stSelEnd;
} NMSELCHANGE, *LPNMSELCHANGE;

}  // extern "C"
