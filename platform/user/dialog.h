// Dialogs ("#32770"): templates, modal and modeless dialogs, dialog item helpers.
#pragma once

#include "platform/user/user.h"

extern "C" {

#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_NOFAILCREATE 0x0010L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CENTERMOUSE 0x1000L
#define DS_CONTEXTHELP 0x2000L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B

// Extra window bytes of a dialog: the message result, the dialog procedure, user data.
#define DLGWINDOWEXTRA (static_cast<int>(3 * sizeof(LONG_PTR)))

// The in-memory template: a DLGTEMPLATE, then menu, class and title (each 0x0000, 0xFFFF
// and an ordinal, or a NUL-terminated UTF-16 string), with DS_SETFONT a point size and a
// face name, then the items, each DWORD-aligned: a DLGITEMTEMPLATE, class, title and a
// WORD count of creation data bytes followed by them.
#pragma pack(push, 2)
typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
} DLGTEMPLATE, *LPDLGTEMPLATEA, *LPDLGTEMPLATEW;
typedef const DLGTEMPLATE* LPCDLGTEMPLATEA;
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;

typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
} DLGITEMTEMPLATE, *PDLGITEMTEMPLATEA, *PDLGITEMTEMPLATEW;
#pragma pack(pop)

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc, LPARAM init);
HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc, LPARAM init);
// Runs the dialog modally: the owner is disabled, the thread's messages (the injected input
// among them) are pumped through IsDialogMessage until EndDialog. When the queue runs empty
// first (the scripted input has run out), the dialog is destroyed and -1 is answered with
// ERROR_TIMEOUT; a WM_QUIT ends it with 0 and is posted again for the caller's loop.
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc, LPARAM init);
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc, LPARAM init);
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT DefDlgProcA(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefDlgProcW(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL IsDialogMessageA(HWND dialog, LPMSG msg);
BOOL IsDialogMessageW(HWND dialog, LPMSG msg);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL is_signed);
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
BOOL MapDialogRect(HWND dialog, LPRECT rect);
LONG GetDialogBaseUnits(void);

}  // extern "C"
