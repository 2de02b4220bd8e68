// Dialogs ("#32770"), DrawFrameControl, InitCommonControls(Ex) and the common controls
// "ToolbarWindow32", "SysHeader32" and "SysListView32". (The other predefined controls
// and their constants are in platform/user/user.h.) The classes exist from the start of
// the process; every control paints a plain look of its own with the system colours.
#pragma once

// Each constant is defined here unless platform/user/user.h already has it.

#include "platform/user/user.h"

extern "C" {

// ---- Dialogs --------------------------------------------------------------------------------------
#ifndef DS_ABSALIGN
#define DS_ABSALIGN 0x01L
#endif
#ifndef DS_SYSMODAL
#define DS_SYSMODAL 0x02L
#endif
#ifndef DS_LOCALEDIT
#define DS_LOCALEDIT 0x20L
#endif
#ifndef DS_SETFONT
#define DS_SETFONT 0x40L
#endif
#ifndef DS_MODALFRAME
#define DS_MODALFRAME 0x80L
#endif
#ifndef DS_NOIDLEMSG
#define DS_NOIDLEMSG 0x100L
#endif
#ifndef DS_SETFOREGROUND
#define DS_SETFOREGROUND 0x200L
#endif
#ifndef DS_3DLOOK
#define DS_3DLOOK 0x0004L
#endif
#ifndef DS_FIXEDSYS
#define DS_FIXEDSYS 0x0008L
#endif
#ifndef DS_NOFAILCREATE
#define DS_NOFAILCREATE 0x0010L
#endif
#ifndef DS_CONTROL
#define DS_CONTROL 0x0400L
#endif
#ifndef DS_CENTER
#define DS_CENTER 0x0800L
#endif
#ifndef DS_CENTERMOUSE
#define DS_CENTERMOUSE 0x1000L
#endif
#ifndef DS_CONTEXTHELP
#define DS_CONTEXTHELP 0x2000L
#endif
#ifndef DS_SHELLFONT
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)
#endif

#ifndef DM_GETDEFID
#define DM_GETDEFID (WM_USER + 0)
#endif
#ifndef DM_SETDEFID
#define DM_SETDEFID (WM_USER + 1)
#endif
#ifndef DC_HASDEFID
#define DC_HASDEFID 0x534B
#endif

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

// ---- Common controls ------------------------------------------------------------------------------
#ifndef CCM_FIRST
#define CCM_FIRST 0x2000
#endif
#ifndef CLR_NONE
#define CLR_NONE 0xFFFFFFFFL
#endif

#ifndef CCS_ADJUSTABLE
#define CCS_ADJUSTABLE 0x00000020L
#endif
#ifndef CCS_NODIVIDER
#define CCS_NODIVIDER 0x00000040L
#endif
#ifndef CCS_VERT
#define CCS_VERT 0x00000080L
#endif

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;
#ifndef ICC_LISTVIEW_CLASSES
#define ICC_LISTVIEW_CLASSES 0x00000001
#endif
#ifndef ICC_TREEVIEW_CLASSES
#define ICC_TREEVIEW_CLASSES 0x00000002
#endif
#ifndef ICC_BAR_CLASSES
#define ICC_BAR_CLASSES 0x00000004
#endif
#ifndef ICC_TAB_CLASSES
#define ICC_TAB_CLASSES 0x00000008
#endif
#ifndef ICC_UPDOWN_CLASS
#define ICC_UPDOWN_CLASS 0x00000010
#endif
#ifndef ICC_PROGRESS_CLASS
#define ICC_PROGRESS_CLASS 0x00000020
#endif
#ifndef ICC_HOTKEY_CLASS
#define ICC_HOTKEY_CLASS 0x00000040
#endif
#ifndef ICC_ANIMATE_CLASS
#define ICC_ANIMATE_CLASS 0x00000080
#endif
#ifndef ICC_WIN95_CLASSES
#define ICC_WIN95_CLASSES 0x000000FF
#endif
#ifndef ICC_DATE_CLASSES
#define ICC_DATE_CLASSES 0x00000100
#endif
#ifndef ICC_USEREX_CLASSES
#define ICC_USEREX_CLASSES 0x00000200
#endif
#ifndef ICC_COOL_CLASSES
#define ICC_COOL_CLASSES 0x00000400
#endif
#ifndef ICC_INTERNET_CLASSES
#define ICC_INTERNET_CLASSES 0x00000800
#endif
#ifndef ICC_PAGESCROLLER_CLASS
#define ICC_PAGESCROLLER_CLASS 0x00001000
#endif
#ifndef ICC_NATIVEFNTCTL_CLASS
#define ICC_NATIVEFNTCTL_CLASS 0x00002000
#endif
#ifndef ICC_STANDARD_CLASSES
#define ICC_STANDARD_CLASSES 0x00004000
#endif
#ifndef ICC_LINK_CLASS
#define ICC_LINK_CLASS 0x00008000
#endif

// The common control classes are registered from the start; these only check their
// argument (FALSE for a null pointer or a wrong dwSize).
void InitCommonControls(void);
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc);

// ---- Notifications shared by the common controls ----------------------------------------------------
#ifndef NM_FIRST
#define NM_FIRST (0U - 0U)
#endif
#ifndef NM_OUTOFMEMORY
#define NM_OUTOFMEMORY (NM_FIRST - 1)
#endif
#ifndef NM_CLICK
#define NM_CLICK (NM_FIRST - 2)
#endif
#ifndef NM_DBLCLK
#define NM_DBLCLK (NM_FIRST - 3)
#endif
#ifndef NM_RETURN
#define NM_RETURN (NM_FIRST - 4)
#endif
#ifndef NM_RCLICK
#define NM_RCLICK (NM_FIRST - 5)
#endif
#ifndef NM_RDBLCLK
#define NM_RDBLCLK (NM_FIRST - 6)
#endif
#ifndef NM_SETFOCUS
#define NM_SETFOCUS (NM_FIRST - 7)
#endif
#ifndef NM_KILLFOCUS
#define NM_KILLFOCUS (NM_FIRST - 8)
#endif

typedef struct tagNMMOUSE {
  NMHDR hdr;
  DWORD_PTR dwItemSpec;
  DWORD_PTR dwItemData;
  POINT pt;
  LPARAM dwHitInfo;
} NMMOUSE, *LPNMMOUSE;

// ---- Image lists ---------------------------------------------------------------------------------------
// Equal-sized images, each with a mask (when made with ILC_MASK), drawn by index. The tool
// bar, the header and the list view draw the images of the lists they are given.
typedef struct _IMAGELIST* HIMAGELIST;
#ifndef ILC_MASK
#define ILC_MASK 0x0001
#define ILC_COLOR 0x0000
#define ILC_COLORDDB 0x00FE
#define ILC_COLOR4 0x0004
#define ILC_COLOR8 0x0008
#define ILC_COLOR16 0x0010
#define ILC_COLOR24 0x0018
#define ILC_COLOR32 0x0020
#endif
#ifndef ILD_NORMAL
#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001
#define ILD_MASK 0x0010
#endif

// cx, cy > 0; cInitial and cGrow are capacity hints.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow);
BOOL ImageList_Destroy(HIMAGELIST himl);
int ImageList_GetImageCount(HIMAGELIST himl);
BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy);
// Changes the size of the images and removes them all.
BOOL ImageList_SetIconSize(HIMAGELIST himl, int cx, int cy);
// Adds the images of `image` (its width divided by the list's, at least one); a white mask
// pixel is transparent. Returns the index of the first added image, -1 on failure.
int ImageList_Add(HIMAGELIST himl, HBITMAP image, HBITMAP mask);
// As ImageList_Add with a mask made from the pixels of colour `mask`.
int ImageList_AddMasked(HIMAGELIST himl, HBITMAP image, COLORREF mask);
// Replaces image i with the icon (drawn at the list's size); i = -1 appends.
int ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON icon);
#define ImageList_AddIcon(himl, icon) ImageList_ReplaceIcon(himl, -1, icon)
// i = -1 removes every image.
BOOL ImageList_Remove(HIMAGELIST himl, int i);
// The colour behind transparent pixels for ILD_NORMAL; CLR_NONE (the default) leaves them.
COLORREF ImageList_SetBkColor(HIMAGELIST himl, COLORREF color);
COLORREF ImageList_GetBkColor(HIMAGELIST himl);
// Styles: ILD_NORMAL, ILD_TRANSPARENT (the mask decides, whatever the background colour) and
// ILD_MASK (the mask itself: black where the image is opaque, white where transparent).
BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdc, int x, int y, UINT style);

// ---- Toolbar "ToolbarWindow32" ------------------------------------------------------------------------
#ifndef TOOLBARCLASSNAMEA
#define TOOLBARCLASSNAMEA "ToolbarWindow32"
#endif
#ifndef TBSTATE_CHECKED
#define TBSTATE_CHECKED 0x01
#endif
#ifndef TBSTATE_PRESSED
#define TBSTATE_PRESSED 0x02
#endif
#ifndef TBSTATE_ENABLED
#define TBSTATE_ENABLED 0x04
#endif
#ifndef TBSTATE_HIDDEN
#define TBSTATE_HIDDEN 0x08
#endif
#ifndef TBSTATE_INDETERMINATE
#define TBSTATE_INDETERMINATE 0x10
#endif
#ifndef TBSTATE_WRAP
#define TBSTATE_WRAP 0x20
#endif
#ifndef TBSTATE_ELLIPSES
#define TBSTATE_ELLIPSES 0x40
#endif
#ifndef TBSTATE_MARKED
#define TBSTATE_MARKED 0x80
#endif
#ifndef TBSTYLE_BUTTON
#define TBSTYLE_BUTTON 0x0000
#endif
#ifndef TBSTYLE_SEP
#define TBSTYLE_SEP 0x0001
#endif
#ifndef TBSTYLE_CHECK
#define TBSTYLE_CHECK 0x0002
#endif
#ifndef TBSTYLE_GROUP
#define TBSTYLE_GROUP 0x0004
#endif
#ifndef TBSTYLE_CHECKGROUP
#define TBSTYLE_CHECKGROUP (TBSTYLE_GROUP | TBSTYLE_CHECK)
#endif
#ifndef TBSTYLE_DROPDOWN
#define TBSTYLE_DROPDOWN 0x0008
#endif
#ifndef TBSTYLE_AUTOSIZE
#define TBSTYLE_AUTOSIZE 0x0010
#endif
#ifndef TBSTYLE_NOPREFIX
#define TBSTYLE_NOPREFIX 0x0020
#endif
#ifndef TBSTYLE_TOOLTIPS
#define TBSTYLE_TOOLTIPS 0x0100
#endif
#ifndef TBSTYLE_WRAPABLE
#define TBSTYLE_WRAPABLE 0x0200
#endif
#ifndef TBSTYLE_ALTDRAG
#define TBSTYLE_ALTDRAG 0x0400
#endif
#ifndef TBSTYLE_FLAT
#define TBSTYLE_FLAT 0x0800
#endif
#ifndef TBSTYLE_LIST
#define TBSTYLE_LIST 0x1000
#endif
#ifndef TBSTYLE_CUSTOMERASE
#define TBSTYLE_CUSTOMERASE 0x2000
#endif
#ifndef TBSTYLE_TRANSPARENT
#define TBSTYLE_TRANSPARENT 0x8000
#endif
#ifndef BTNS_BUTTON
#define BTNS_BUTTON TBSTYLE_BUTTON
#endif
#ifndef BTNS_SEP
#define BTNS_SEP TBSTYLE_SEP
#endif
#ifndef BTNS_CHECK
#define BTNS_CHECK TBSTYLE_CHECK
#endif
#ifndef BTNS_GROUP
#define BTNS_GROUP TBSTYLE_GROUP
#endif
#ifndef BTNS_CHECKGROUP
#define BTNS_CHECKGROUP TBSTYLE_CHECKGROUP
#endif
#ifndef BTNS_DROPDOWN
#define BTNS_DROPDOWN TBSTYLE_DROPDOWN
#endif
#ifndef BTNS_AUTOSIZE
#define BTNS_AUTOSIZE TBSTYLE_AUTOSIZE
#endif
#ifndef BTNS_NOPREFIX
#define BTNS_NOPREFIX TBSTYLE_NOPREFIX
#endif
#ifndef BTNS_SHOWTEXT
#define BTNS_SHOWTEXT 0x0040
#endif
#ifndef BTNS_WHOLEDROPDOWN
#define BTNS_WHOLEDROPDOWN 0x0080
#endif

#ifndef TB_ENABLEBUTTON
#define TB_ENABLEBUTTON (WM_USER + 1)
#endif
#ifndef TB_CHECKBUTTON
#define TB_CHECKBUTTON (WM_USER + 2)
#endif
#ifndef TB_PRESSBUTTON
#define TB_PRESSBUTTON (WM_USER + 3)
#endif
#ifndef TB_HIDEBUTTON
#define TB_HIDEBUTTON (WM_USER + 4)
#endif
#ifndef TB_INDETERMINATE
#define TB_INDETERMINATE (WM_USER + 5)
#endif
#ifndef TB_ISBUTTONENABLED
#define TB_ISBUTTONENABLED (WM_USER + 9)
#endif
#ifndef TB_ISBUTTONCHECKED
#define TB_ISBUTTONCHECKED (WM_USER + 10)
#endif
#ifndef TB_ISBUTTONPRESSED
#define TB_ISBUTTONPRESSED (WM_USER + 11)
#endif
#ifndef TB_ISBUTTONHIDDEN
#define TB_ISBUTTONHIDDEN (WM_USER + 12)
#endif
#ifndef TB_ISBUTTONINDETERMINATE
#define TB_ISBUTTONINDETERMINATE (WM_USER + 13)
#endif
#ifndef TB_SETSTATE
#define TB_SETSTATE (WM_USER + 17)
#endif
#ifndef TB_GETSTATE
#define TB_GETSTATE (WM_USER + 18)
#endif
#ifndef TB_ADDBUTTONSA
#define TB_ADDBUTTONSA (WM_USER + 20)
#endif
#ifndef TB_INSERTBUTTONA
#define TB_INSERTBUTTONA (WM_USER + 21)
#endif
#ifndef TB_DELETEBUTTON
#define TB_DELETEBUTTON (WM_USER + 22)
#endif
#ifndef TB_GETBUTTON
#define TB_GETBUTTON (WM_USER + 23)
#endif
#ifndef TB_BUTTONCOUNT
#define TB_BUTTONCOUNT (WM_USER + 24)
#endif
#ifndef TB_COMMANDTOINDEX
#define TB_COMMANDTOINDEX (WM_USER + 25)
#endif
#ifndef TB_ADDSTRINGA
#define TB_ADDSTRINGA (WM_USER + 28)
#endif
#ifndef TB_GETITEMRECT
#define TB_GETITEMRECT (WM_USER + 29)
#endif
#ifndef TB_BUTTONSTRUCTSIZE
#define TB_BUTTONSTRUCTSIZE (WM_USER + 30)
#endif
#ifndef TB_SETBUTTONSIZE
#define TB_SETBUTTONSIZE (WM_USER + 31)
#endif
#ifndef TB_SETBITMAPSIZE
#define TB_SETBITMAPSIZE (WM_USER + 32)
#endif
#ifndef TB_AUTOSIZE
#define TB_AUTOSIZE (WM_USER + 33)
#endif
#ifndef TB_SETPARENT
#define TB_SETPARENT (WM_USER + 37)
#endif
#ifndef TB_GETBUTTONTEXTA
#define TB_GETBUTTONTEXTA (WM_USER + 45)
#endif
#ifndef TB_SETIMAGELIST
#define TB_SETIMAGELIST (WM_USER + 48)
#endif
#ifndef TB_GETIMAGELIST
#define TB_GETIMAGELIST (WM_USER + 49)
#endif
#ifndef TB_GETRECT
#define TB_GETRECT (WM_USER + 51)
#endif
#ifndef TB_SETSTYLE
#define TB_SETSTYLE (WM_USER + 56)
#endif
#ifndef TB_GETSTYLE
#define TB_GETSTYLE (WM_USER + 57)
#endif
#ifndef TB_GETBUTTONSIZE
#define TB_GETBUTTONSIZE (WM_USER + 58)
#endif
#ifndef TB_HITTEST
#define TB_HITTEST (WM_USER + 69)
#endif
#ifndef TB_GETHOTITEM
#define TB_GETHOTITEM (WM_USER + 71)
#endif
#ifndef TB_GETBUTTONTEXTW
#define TB_GETBUTTONTEXTW (WM_USER + 75)
#endif
#ifndef TB_ADDSTRINGW
#define TB_ADDSTRINGW (WM_USER + 77)
#endif
#ifndef TB_INSERTBUTTONW
#define TB_INSERTBUTTONW (WM_USER + 67)
#endif
#ifndef TB_ADDBUTTONSW
#define TB_ADDBUTTONSW (WM_USER + 68)
#endif

typedef struct _TBBUTTON {
  int iBitmap;
  int idCommand;
  BYTE fsState;
  BYTE fsStyle;
  BYTE bReserved[sizeof(void*) == 8 ? 6 : 2];
  DWORD_PTR dwData;
  INT_PTR iString;
} TBBUTTON, *PTBBUTTON, *LPTBBUTTON;
typedef const TBBUTTON* LPCTBBUTTON;

#ifndef TBN_FIRST
#define TBN_FIRST (0U - 700U)
#endif
#ifndef TBN_BEGINDRAG
#define TBN_BEGINDRAG (TBN_FIRST - 1)
#endif
#ifndef TBN_ENDDRAG
#define TBN_ENDDRAG (TBN_FIRST - 2)
#endif
#ifndef TBN_DROPDOWN
#define TBN_DROPDOWN (TBN_FIRST - 10)
#endif
#ifndef TBN_HOTITEMCHANGE
#define TBN_HOTITEMCHANGE (TBN_FIRST - 13)
#endif
#ifndef TBN_DELETINGBUTTON
#define TBN_DELETINGBUTTON (TBN_FIRST - 15)
#endif
#ifndef TBDDRET_DEFAULT
#define TBDDRET_DEFAULT 0
#endif
#ifndef TBDDRET_NODEFAULT
#define TBDDRET_NODEFAULT 1
#endif
#ifndef HICF_MOUSE
#define HICF_MOUSE 0x00000001
#endif
#ifndef HICF_LEAVING
#define HICF_LEAVING 0x00000020
#endif

typedef struct tagNMTOOLBARW {
  NMHDR hdr;
  int iItem;
  TBBUTTON tbButton;
  int cchText;
  LPWSTR pszText;
  RECT rcButton;
} NMTOOLBARW, *LPNMTOOLBARW, NMTOOLBAR, *LPNMTOOLBAR;

typedef struct tagNMTBHOTITEM {
  NMHDR hdr;
  int idOld;
  int idNew;
  DWORD dwFlags;
} NMTBHOTITEM, *LPNMTBHOTITEM;

// ---- Header "SysHeader32" -----------------------------------------------------------------------------
#ifndef WC_HEADERA
#define WC_HEADERA "SysHeader32"
#endif
#ifndef HDS_HORZ
#define HDS_HORZ 0x0000
#endif
#ifndef HDS_BUTTONS
#define HDS_BUTTONS 0x0002
#endif
#ifndef HDS_HOTTRACK
#define HDS_HOTTRACK 0x0004
#endif
#ifndef HDS_HIDDEN
#define HDS_HIDDEN 0x0008
#endif
#ifndef HDS_DRAGDROP
#define HDS_DRAGDROP 0x0040
#endif
#ifndef HDS_FULLDRAG
#define HDS_FULLDRAG 0x0080
#endif

#ifndef HDI_WIDTH
#define HDI_WIDTH 0x0001
#endif
#ifndef HDI_HEIGHT
#define HDI_HEIGHT HDI_WIDTH
#endif
#ifndef HDI_TEXT
#define HDI_TEXT 0x0002
#endif
#ifndef HDI_FORMAT
#define HDI_FORMAT 0x0004
#endif
#ifndef HDI_LPARAM
#define HDI_LPARAM 0x0008
#endif
#ifndef HDI_BITMAP
#define HDI_BITMAP 0x0010
#endif
#ifndef HDI_IMAGE
#define HDI_IMAGE 0x0020
#endif
#ifndef HDI_ORDER
#define HDI_ORDER 0x0080
#endif
#ifndef HDF_LEFT
#define HDF_LEFT 0x0000
#endif
#ifndef HDF_RIGHT
#define HDF_RIGHT 0x0001
#endif
#ifndef HDF_CENTER
#define HDF_CENTER 0x0002
#endif
#ifndef HDF_JUSTIFYMASK
#define HDF_JUSTIFYMASK 0x0003
#endif
#ifndef HDF_RTLREADING
#define HDF_RTLREADING 0x0004
#endif
#ifndef HDF_SORTDOWN
#define HDF_SORTDOWN 0x0200
#endif
#ifndef HDF_SORTUP
#define HDF_SORTUP 0x0400
#endif
#ifndef HDF_IMAGE
#define HDF_IMAGE 0x0800
#endif
#ifndef HDF_BITMAP_ON_RIGHT
#define HDF_BITMAP_ON_RIGHT 0x1000
#endif
#ifndef HDF_BITMAP
#define HDF_BITMAP 0x2000
#endif
#ifndef HDF_STRING
#define HDF_STRING 0x4000
#endif
#ifndef HDF_OWNERDRAW
#define HDF_OWNERDRAW 0x8000
#endif
#ifndef ODT_HEADER
#define ODT_HEADER 100
#endif

#ifndef HDM_FIRST
#define HDM_FIRST 0x1200
#endif
#ifndef HDM_GETITEMCOUNT
#define HDM_GETITEMCOUNT (HDM_FIRST + 0)
#endif
#ifndef HDM_INSERTITEMA
#define HDM_INSERTITEMA (HDM_FIRST + 1)
#endif
#ifndef HDM_DELETEITEM
#define HDM_DELETEITEM (HDM_FIRST + 2)
#endif
#ifndef HDM_GETITEMA
#define HDM_GETITEMA (HDM_FIRST + 3)
#endif
#ifndef HDM_SETITEMA
#define HDM_SETITEMA (HDM_FIRST + 4)
#endif
#ifndef HDM_LAYOUT
#define HDM_LAYOUT (HDM_FIRST + 5)
#endif
#ifndef HDM_HITTEST
#define HDM_HITTEST (HDM_FIRST + 6)
#endif
#ifndef HDM_GETITEMRECT
#define HDM_GETITEMRECT (HDM_FIRST + 7)
#endif
#ifndef HDM_SETIMAGELIST
#define HDM_SETIMAGELIST (HDM_FIRST + 8)
#endif
#ifndef HDM_GETIMAGELIST
#define HDM_GETIMAGELIST (HDM_FIRST + 9)
#endif
#ifndef HDM_INSERTITEMW
#define HDM_INSERTITEMW (HDM_FIRST + 10)
#endif
#ifndef HDM_GETITEMW
#define HDM_GETITEMW (HDM_FIRST + 11)
#endif
#ifndef HDM_SETITEMW
#define HDM_SETITEMW (HDM_FIRST + 12)
#endif
#ifndef HDM_ORDERTOINDEX
#define HDM_ORDERTOINDEX (HDM_FIRST + 15)
#endif
#ifndef HDM_GETORDERARRAY
#define HDM_GETORDERARRAY (HDM_FIRST + 17)
#endif
#ifndef HDM_SETORDERARRAY
#define HDM_SETORDERARRAY (HDM_FIRST + 18)
#endif

typedef struct _HD_ITEMA {
  UINT mask;
  int cxy;
  LPSTR pszText;
  HBITMAP hbm;
  int cchTextMax;
  int fmt;
  LPARAM lParam;
  int iImage;
  int iOrder;
} HDITEMA, *LPHDITEMA;
typedef struct _HD_ITEMW {
  UINT mask;
  int cxy;
  LPWSTR pszText;
  HBITMAP hbm;
  int cchTextMax;
  int fmt;
  LPARAM lParam;
  int iImage;
  int iOrder;
} HDITEMW, *LPHDITEMW;
typedef struct _HD_LAYOUT {
  RECT* prc;
  WINDOWPOS* pwpos;
} HDLAYOUT, *LPHDLAYOUT;
typedef struct _HD_HITTESTINFO {
  POINT pt;
  UINT flags;
  int iItem;
} HDHITTESTINFO, *LPHDHITTESTINFO;
#ifndef HHT_NOWHERE
#define HHT_NOWHERE 0x0001
#endif
#ifndef HHT_ONHEADER
#define HHT_ONHEADER 0x0002
#endif
#ifndef HHT_ONDIVIDER
#define HHT_ONDIVIDER 0x0004
#endif
#ifndef HHT_ONDIVOPEN
#define HHT_ONDIVOPEN 0x0008
#endif
#ifndef HHT_ABOVE
#define HHT_ABOVE 0x0100
#endif
#ifndef HHT_BELOW
#define HHT_BELOW 0x0200
#endif
#ifndef HHT_TORIGHT
#define HHT_TORIGHT 0x0400
#endif
#ifndef HHT_TOLEFT
#define HHT_TOLEFT 0x0800
#endif

#ifndef HDN_FIRST
#define HDN_FIRST (0U - 300U)
#endif
#ifndef HDN_ITEMCHANGINGA
#define HDN_ITEMCHANGINGA (HDN_FIRST - 0)
#endif
#ifndef HDN_ITEMCHANGEDA
#define HDN_ITEMCHANGEDA (HDN_FIRST - 1)
#endif
#ifndef HDN_ITEMCLICKA
#define HDN_ITEMCLICKA (HDN_FIRST - 2)
#endif
#ifndef HDN_ITEMDBLCLICKA
#define HDN_ITEMDBLCLICKA (HDN_FIRST - 3)
#endif
#ifndef HDN_DIVIDERDBLCLICKA
#define HDN_DIVIDERDBLCLICKA (HDN_FIRST - 5)
#endif
#ifndef HDN_BEGINTRACKA
#define HDN_BEGINTRACKA (HDN_FIRST - 6)
#endif
#ifndef HDN_ENDTRACKA
#define HDN_ENDTRACKA (HDN_FIRST - 7)
#endif
#ifndef HDN_TRACKA
#define HDN_TRACKA (HDN_FIRST - 8)
#endif
#ifndef HDN_ITEMCHANGINGW
#define HDN_ITEMCHANGINGW (HDN_FIRST - 20)
#endif
#ifndef HDN_ITEMCHANGEDW
#define HDN_ITEMCHANGEDW (HDN_FIRST - 21)
#endif
#ifndef HDN_ITEMCLICKW
#define HDN_ITEMCLICKW (HDN_FIRST - 22)
#endif
#ifndef HDN_ITEMDBLCLICKW
#define HDN_ITEMDBLCLICKW (HDN_FIRST - 23)
#endif
#ifndef HDN_DIVIDERDBLCLICKW
#define HDN_DIVIDERDBLCLICKW (HDN_FIRST - 25)
#endif
#ifndef HDN_BEGINTRACKW
#define HDN_BEGINTRACKW (HDN_FIRST - 26)
#endif
#ifndef HDN_ENDTRACKW
#define HDN_ENDTRACKW (HDN_FIRST - 27)
#endif
#ifndef HDN_TRACKW
#define HDN_TRACKW (HDN_FIRST - 28)
#endif

// The item of a header notification is an HDITEMW for a parent that answers
// WM_NOTIFYFORMAT with NFR_UNICODE (the W codes), an HDITEMA otherwise (the A codes).
typedef struct tagNMHEADERW {
  NMHDR hdr;
  int iItem;
  int iButton;
  HDITEMW* pitem;
} NMHEADERW, *LPNMHEADERW, NMHEADER, *LPNMHEADER;
#ifndef NFR_ANSI
#define NFR_ANSI 1
#endif
#ifndef NFR_UNICODE
#define NFR_UNICODE 2
#endif
#ifndef NF_QUERY
#define NF_QUERY 3
#endif
#ifndef NF_REQUERY
#define NF_REQUERY 4
#endif

// ---- List view "SysListView32" (report view) ---------------------------------------------------------------
#ifndef WC_LISTVIEWA
#define WC_LISTVIEWA "SysListView32"
#endif
#ifndef LVS_ICON
#define LVS_ICON 0x0000
#endif
#ifndef LVS_REPORT
#define LVS_REPORT 0x0001
#endif
#ifndef LVS_SMALLICON
#define LVS_SMALLICON 0x0002
#endif
#ifndef LVS_LIST
#define LVS_LIST 0x0003
#endif
#ifndef LVS_TYPEMASK
#define LVS_TYPEMASK 0x0003
#endif
#ifndef LVS_SINGLESEL
#define LVS_SINGLESEL 0x0004
#endif
#ifndef LVS_SHOWSELALWAYS
#define LVS_SHOWSELALWAYS 0x0008
#endif
#ifndef LVS_SORTASCENDING
#define LVS_SORTASCENDING 0x0010
#endif
#ifndef LVS_SORTDESCENDING
#define LVS_SORTDESCENDING 0x0020
#endif
#ifndef LVS_SHAREIMAGELISTS
#define LVS_SHAREIMAGELISTS 0x0040
#endif
#ifndef LVS_NOLABELWRAP
#define LVS_NOLABELWRAP 0x0080
#endif
#ifndef LVS_AUTOARRANGE
#define LVS_AUTOARRANGE 0x0100
#endif
#ifndef LVS_EDITLABELS
#define LVS_EDITLABELS 0x0200
#endif
#ifndef LVS_OWNERDATA
#define LVS_OWNERDATA 0x1000
#endif
#ifndef LVS_NOSCROLL
#define LVS_NOSCROLL 0x2000
#endif
#ifndef LVS_NOCOLUMNHEADER
#define LVS_NOCOLUMNHEADER 0x4000
#endif
#ifndef LVS_NOSORTHEADER
#define LVS_NOSORTHEADER 0x8000
#endif
#ifndef LVS_EX_GRIDLINES
#define LVS_EX_GRIDLINES 0x00000001
#endif
#ifndef LVS_EX_CHECKBOXES
#define LVS_EX_CHECKBOXES 0x00000004
#endif
#ifndef LVS_EX_TRACKSELECT
#define LVS_EX_TRACKSELECT 0x00000008
#endif
#ifndef LVS_EX_HEADERDRAGDROP
#define LVS_EX_HEADERDRAGDROP 0x00000010
#endif
#ifndef LVS_EX_FULLROWSELECT
#define LVS_EX_FULLROWSELECT 0x00000020
#endif
#ifndef LVS_EX_ONECLICKACTIVATE
#define LVS_EX_ONECLICKACTIVATE 0x00000040
#endif
#ifndef LVS_EX_FLATSB
#define LVS_EX_FLATSB 0x00000100
#endif

#ifndef LVM_FIRST
#define LVM_FIRST 0x1000
#endif
#ifndef LVM_GETBKCOLOR
#define LVM_GETBKCOLOR (LVM_FIRST + 0)
#endif
#ifndef LVM_SETBKCOLOR
#define LVM_SETBKCOLOR (LVM_FIRST + 1)
#endif
#ifndef LVM_GETIMAGELIST
#define LVM_GETIMAGELIST (LVM_FIRST + 2)
#endif
#ifndef LVM_SETIMAGELIST
#define LVM_SETIMAGELIST (LVM_FIRST + 3)
#endif
#ifndef LVM_GETITEMCOUNT
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#endif
#ifndef LVM_GETITEMA
#define LVM_GETITEMA (LVM_FIRST + 5)
#endif
#ifndef LVM_SETITEMA
#define LVM_SETITEMA (LVM_FIRST + 6)
#endif
#ifndef LVM_INSERTITEMA
#define LVM_INSERTITEMA (LVM_FIRST + 7)
#endif
#ifndef LVM_DELETEITEM
#define LVM_DELETEITEM (LVM_FIRST + 8)
#endif
#ifndef LVM_DELETEALLITEMS
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#endif
#ifndef LVM_GETNEXTITEM
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#endif
#ifndef LVM_GETITEMRECT
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#endif
#ifndef LVM_GETSUBITEMRECT
// lParam: a RECT whose top is the sub-item (column) and left the LVIR_ code; sub-item 0
// with LVIR_BOUNDS gives the whole row.
#define LVM_GETSUBITEMRECT (LVM_FIRST + 56)
#endif
#ifndef LVM_HITTEST
#define LVM_HITTEST (LVM_FIRST + 18)
#endif
#ifndef LVM_ENSUREVISIBLE
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#endif
#ifndef LVM_SCROLL
#define LVM_SCROLL (LVM_FIRST + 20)
#endif
#ifndef LVM_REDRAWITEMS
#define LVM_REDRAWITEMS (LVM_FIRST + 21)
#endif
#ifndef LVM_GETCOLUMNA
#define LVM_GETCOLUMNA (LVM_FIRST + 25)
#endif
#ifndef LVM_SETCOLUMNA
#define LVM_SETCOLUMNA (LVM_FIRST + 26)
#endif
#ifndef LVM_INSERTCOLUMNA
#define LVM_INSERTCOLUMNA (LVM_FIRST + 27)
#endif
#ifndef LVM_DELETECOLUMN
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#endif
#ifndef LVM_GETCOLUMNWIDTH
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#endif
#ifndef LVM_SETCOLUMNWIDTH
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#endif
#ifndef LVM_GETHEADER
#define LVM_GETHEADER (LVM_FIRST + 31)
#endif
#ifndef LVM_GETTEXTCOLOR
#define LVM_GETTEXTCOLOR (LVM_FIRST + 35)
#endif
#ifndef LVM_SETTEXTCOLOR
#define LVM_SETTEXTCOLOR (LVM_FIRST + 36)
#endif
#ifndef LVM_GETTEXTBKCOLOR
#define LVM_GETTEXTBKCOLOR (LVM_FIRST + 37)
#endif
#ifndef LVM_SETTEXTBKCOLOR
#define LVM_SETTEXTBKCOLOR (LVM_FIRST + 38)
#endif
#ifndef LVM_GETTOPINDEX
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#endif
#ifndef LVM_GETCOUNTPERPAGE
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#endif
#ifndef LVM_UPDATE
#define LVM_UPDATE (LVM_FIRST + 42)
#endif
#ifndef LVM_SETITEMSTATE
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#endif
#ifndef LVM_GETITEMSTATE
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#endif
#ifndef LVM_GETITEMTEXTA
#define LVM_GETITEMTEXTA (LVM_FIRST + 45)
#endif
#ifndef LVM_SETITEMTEXTA
#define LVM_SETITEMTEXTA (LVM_FIRST + 46)
#endif
#ifndef LVM_SETITEMCOUNT
#define LVM_SETITEMCOUNT (LVM_FIRST + 47)
#endif
#ifndef LVM_SORTITEMS
#define LVM_SORTITEMS (LVM_FIRST + 48)
#endif
#ifndef LVM_GETSELECTEDCOUNT
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#endif
#ifndef LVM_SETEXTENDEDLISTVIEWSTYLE
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#endif
#ifndef LVM_GETEXTENDEDLISTVIEWSTYLE
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#endif
#ifndef LVM_GETITEMW
#define LVM_GETITEMW (LVM_FIRST + 75)
#endif
#ifndef LVM_SETITEMW
#define LVM_SETITEMW (LVM_FIRST + 76)
#endif
#ifndef LVM_INSERTITEMW
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#endif
#ifndef LVM_GETCOLUMNW
#define LVM_GETCOLUMNW (LVM_FIRST + 95)
#endif
#ifndef LVM_SETCOLUMNW
#define LVM_SETCOLUMNW (LVM_FIRST + 96)
#endif
#ifndef LVM_INSERTCOLUMNW
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#endif
#ifndef LVM_GETITEMTEXTW
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#endif
#ifndef LVM_SETITEMTEXTW
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)
#endif

#ifndef LVSIL_NORMAL
#define LVSIL_NORMAL 0
#endif
#ifndef LVSIL_SMALL
#define LVSIL_SMALL 1
#endif
#ifndef LVSIL_STATE
#define LVSIL_STATE 2
#endif

#ifndef LVIF_TEXT
#define LVIF_TEXT 0x0001
#endif
#ifndef LVIF_IMAGE
#define LVIF_IMAGE 0x0002
#endif
#ifndef LVIF_PARAM
#define LVIF_PARAM 0x0004
#endif
#ifndef LVIF_STATE
#define LVIF_STATE 0x0008
#endif
#ifndef LVIF_INDENT
#define LVIF_INDENT 0x0010
#endif
#ifndef LVIS_FOCUSED
#define LVIS_FOCUSED 0x0001
#endif
#ifndef LVIS_SELECTED
#define LVIS_SELECTED 0x0002
#endif
#ifndef LVIS_CUT
#define LVIS_CUT 0x0004
#endif
#ifndef LVIS_DROPHILITED
#define LVIS_DROPHILITED 0x0008
#endif
#ifndef LVIS_OVERLAYMASK
#define LVIS_OVERLAYMASK 0x0F00
#endif
#ifndef LVIS_STATEIMAGEMASK
#define LVIS_STATEIMAGEMASK 0xF000
#endif
#ifndef LVNI_ALL
#define LVNI_ALL 0x0000
#endif
#ifndef LVNI_FOCUSED
#define LVNI_FOCUSED 0x0001
#endif
#ifndef LVNI_SELECTED
#define LVNI_SELECTED 0x0002
#endif
#ifndef LVNI_CUT
#define LVNI_CUT 0x0004
#endif
#ifndef LVNI_DROPHILITED
#define LVNI_DROPHILITED 0x0008
#endif
#ifndef LVNI_ABOVE
#define LVNI_ABOVE 0x0100
#endif
#ifndef LVNI_BELOW
#define LVNI_BELOW 0x0200
#endif
#ifndef LVNI_TOLEFT
#define LVNI_TOLEFT 0x0400
#endif
#ifndef LVNI_TORIGHT
#define LVNI_TORIGHT 0x0800
#endif
#ifndef LVIR_BOUNDS
#define LVIR_BOUNDS 0
#endif
#ifndef LVIR_ICON
#define LVIR_ICON 1
#endif
#ifndef LVIR_LABEL
#define LVIR_LABEL 2
#endif
#ifndef LVIR_SELECTBOUNDS
#define LVIR_SELECTBOUNDS 3
#endif
#ifndef LVHT_NOWHERE
#define LVHT_NOWHERE 0x0001
#endif
#ifndef LVHT_ONITEMICON
#define LVHT_ONITEMICON 0x0002
#endif
#ifndef LVHT_ONITEMLABEL
#define LVHT_ONITEMLABEL 0x0004
#endif
#ifndef LVHT_ONITEMSTATEICON
#define LVHT_ONITEMSTATEICON 0x0008
#endif
#ifndef LVHT_ONITEM
#define LVHT_ONITEM (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)
#endif
#ifndef LVHT_ABOVE
#define LVHT_ABOVE 0x0008
#endif
#ifndef LVHT_BELOW
#define LVHT_BELOW 0x0010
#endif
#ifndef LVHT_TORIGHT
#define LVHT_TORIGHT 0x0020
#endif
#ifndef LVHT_TOLEFT
#define LVHT_TOLEFT 0x0040
#endif

#ifndef LVCF_FMT
#define LVCF_FMT 0x0001
#endif
#ifndef LVCF_WIDTH
#define LVCF_WIDTH 0x0002
#endif
#ifndef LVCF_TEXT
#define LVCF_TEXT 0x0004
#endif
#ifndef LVCF_SUBITEM
#define LVCF_SUBITEM 0x0008
#endif
#ifndef LVCF_IMAGE
#define LVCF_IMAGE 0x0010
#endif
#ifndef LVCF_ORDER
#define LVCF_ORDER 0x0020
#endif
#ifndef LVCFMT_LEFT
#define LVCFMT_LEFT 0x0000
#endif
#ifndef LVCFMT_RIGHT
#define LVCFMT_RIGHT 0x0001
#endif
#ifndef LVCFMT_CENTER
#define LVCFMT_CENTER 0x0002
#endif
#ifndef LVCFMT_JUSTIFYMASK
#define LVCFMT_JUSTIFYMASK 0x0003
#endif

typedef struct tagLVCOLUMNA {
  UINT mask;
  int fmt;
  int cx;
  LPSTR pszText;
  int cchTextMax;
  int iSubItem;
  int iImage;
  int iOrder;
} LVCOLUMNA, *LPLVCOLUMNA;
typedef struct tagLVCOLUMNW {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
  int iImage;
  int iOrder;
} LVCOLUMNW, *LPLVCOLUMNW;

typedef struct tagLVITEMA {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
} LVITEMA, *LPLVITEMA;
typedef struct tagLVITEMW {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
} LVITEMW, *LPLVITEMW;

typedef struct tagLVHITTESTINFO {
  POINT pt;
  UINT flags;
  int iItem;
  int iSubItem;
} LVHITTESTINFO, *LPLVHITTESTINFO;

typedef int (*PFNLVCOMPARE)(LPARAM, LPARAM, LPARAM);

// An item text given as LPSTR_TEXTCALLBACK is asked from the parent with LVN_GETDISPINFO
// whenever it is needed (in the A or W form the parent answers to WM_NOTIFYFORMAT).
#define LPSTR_TEXTCALLBACKW (reinterpret_cast<LPWSTR>(static_cast<INT_PTR>(-1)))
#define LPSTR_TEXTCALLBACKA (reinterpret_cast<LPSTR>(static_cast<INT_PTR>(-1)))
typedef struct tagLVDISPINFOW {
  NMHDR hdr;
  LVITEMW item;
} NMLVDISPINFOW, *LPNMLVDISPINFOW;
typedef struct tagLVDISPINFOA {
  NMHDR hdr;
  LVITEMA item;
} NMLVDISPINFOA, *LPNMLVDISPINFOA;

#ifndef LVN_FIRST
#define LVN_FIRST (0U - 100U)
#endif
#ifndef LVN_ITEMCHANGING
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#endif
#ifndef LVN_ITEMCHANGED
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#endif
#ifndef LVN_INSERTITEM
#define LVN_INSERTITEM (LVN_FIRST - 2)
#endif
#ifndef LVN_DELETEITEM
#define LVN_DELETEITEM (LVN_FIRST - 3)
#endif
#ifndef LVN_DELETEALLITEMS
#define LVN_DELETEALLITEMS (LVN_FIRST - 4)
#endif
#ifndef LVN_GETDISPINFOA
#define LVN_GETDISPINFOA (LVN_FIRST - 50)
#endif
#ifndef LVN_GETDISPINFOW
#define LVN_GETDISPINFOW (LVN_FIRST - 77)
#endif
#ifndef LVN_COLUMNCLICK
#define LVN_COLUMNCLICK (LVN_FIRST - 8)
#endif
#ifndef LVN_ITEMACTIVATE
#define LVN_ITEMACTIVATE (LVN_FIRST - 14)
#endif
#ifndef LVN_KEYDOWN
#define LVN_KEYDOWN (LVN_FIRST - 55)
#endif
#ifndef LVKF_ALT
#define LVKF_ALT 0x0001
#endif
#ifndef LVKF_CONTROL
#define LVKF_CONTROL 0x0002
#endif
#ifndef LVKF_SHIFT
#define LVKF_SHIFT 0x0004
#endif

typedef struct tagNMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
} NMLISTVIEW, *LPNMLISTVIEW;
typedef struct tagNMITEMACTIVATE {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
  UINT uKeyFlags;
} NMITEMACTIVATE, *LPNMITEMACTIVATE;
#pragma pack(push, 1)
typedef struct tagLVKEYDOWN {
  NMHDR hdr;
  WORD wVKey;
  UINT flags;
} NMLVKEYDOWN, *LPNMLVKEYDOWN;
#pragma pack(pop)

// ---- DrawFrameControl ------------------------------------------------------------------------------------
#ifndef DFC_CAPTION
#define DFC_CAPTION 1
#endif
#ifndef DFC_MENU
#define DFC_MENU 2
#endif
#ifndef DFC_SCROLL
#define DFC_SCROLL 3
#endif
#ifndef DFC_BUTTON
#define DFC_BUTTON 4
#endif
#ifndef DFC_POPUPMENU
#define DFC_POPUPMENU 5
#endif
#ifndef DFCS_CAPTIONCLOSE
#define DFCS_CAPTIONCLOSE 0x0000
#endif
#ifndef DFCS_CAPTIONMIN
#define DFCS_CAPTIONMIN 0x0001
#endif
#ifndef DFCS_CAPTIONMAX
#define DFCS_CAPTIONMAX 0x0002
#endif
#ifndef DFCS_CAPTIONRESTORE
#define DFCS_CAPTIONRESTORE 0x0003
#endif
#ifndef DFCS_CAPTIONHELP
#define DFCS_CAPTIONHELP 0x0004
#endif
#ifndef DFCS_MENUARROW
#define DFCS_MENUARROW 0x0000
#endif
#ifndef DFCS_MENUCHECK
#define DFCS_MENUCHECK 0x0001
#endif
#ifndef DFCS_MENUBULLET
#define DFCS_MENUBULLET 0x0002
#endif
#ifndef DFCS_MENUARROWRIGHT
#define DFCS_MENUARROWRIGHT 0x0004
#endif
#ifndef DFCS_SCROLLUP
#define DFCS_SCROLLUP 0x0000
#endif
#ifndef DFCS_SCROLLDOWN
#define DFCS_SCROLLDOWN 0x0001
#endif
#ifndef DFCS_SCROLLLEFT
#define DFCS_SCROLLLEFT 0x0002
#endif
#ifndef DFCS_SCROLLRIGHT
#define DFCS_SCROLLRIGHT 0x0003
#endif
#ifndef DFCS_SCROLLCOMBOBOX
#define DFCS_SCROLLCOMBOBOX 0x0005
#endif
#ifndef DFCS_SCROLLSIZEGRIP
#define DFCS_SCROLLSIZEGRIP 0x0008
#endif
#ifndef DFCS_SCROLLSIZEGRIPRIGHT
#define DFCS_SCROLLSIZEGRIPRIGHT 0x0010
#endif
#ifndef DFCS_BUTTONCHECK
#define DFCS_BUTTONCHECK 0x0000
#endif
#ifndef DFCS_BUTTONRADIOIMAGE
#define DFCS_BUTTONRADIOIMAGE 0x0001
#endif
#ifndef DFCS_BUTTONRADIOMASK
#define DFCS_BUTTONRADIOMASK 0x0002
#endif
#ifndef DFCS_BUTTONRADIO
#define DFCS_BUTTONRADIO 0x0004
#endif
#ifndef DFCS_BUTTON3STATE
#define DFCS_BUTTON3STATE 0x0008
#endif
#ifndef DFCS_BUTTONPUSH
#define DFCS_BUTTONPUSH 0x0010
#endif
#ifndef DFCS_INACTIVE
#define DFCS_INACTIVE 0x0100
#endif
#ifndef DFCS_PUSHED
#define DFCS_PUSHED 0x0200
#endif
#ifndef DFCS_CHECKED
#define DFCS_CHECKED 0x0400
#endif
#ifndef DFCS_TRANSPARENT
#define DFCS_TRANSPARENT 0x0800
#endif
#ifndef DFCS_HOT
#define DFCS_HOT 0x1000
#endif
#ifndef DFCS_ADJUSTRECT
#define DFCS_ADJUSTRECT 0x2000
#endif
#ifndef DFCS_FLAT
#define DFCS_FLAT 0x4000
#endif
#ifndef DFCS_MONO
#define DFCS_MONO 0x8000
#endif

// Draws a frame control of `type` and `state` into `rect` with the system colours. FALSE
// (ERROR_INVALID_PARAMETER) for an unknown type or part, or a null DC or rectangle.
BOOL DrawFrameControl(HDC hdc, LPRECT rect, UINT type, UINT state);

}  // extern "C"
