// "ComboBoxEx32": a window holding a combo box whose items carry images from an image
// list. Items are inserted, read, changed and deleted through CBEM_ messages; the combo
// box's notifications reach the parent as the extended combo's own, and the CB_ messages
// without texts are handed to the combo box (those with texts fail: CB_ERR).
#pragma once

#include "platform/comctl/comctl.h"
#include "platform/comctl/imagelist.h"
#include "platform/user/combobox.h"

extern "C" {

#define WC_COMBOBOXEXA "ComboBoxEx32"
#define WC_COMBOBOXEXW u"ComboBoxEx32"

#define CBEIF_TEXT 0x00000001
#define CBEIF_IMAGE 0x00000002
#define CBEIF_SELECTEDIMAGE 0x00000004
#define CBEIF_OVERLAY 0x00000008
#define CBEIF_INDENT 0x00000010
#define CBEIF_LPARAM 0x00000020

typedef struct tagCOMBOBOXEXITEMA {
  UINT mask;
  INT_PTR iItem;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int iOverlay;
  int iIndent;  // in steps of 10 pixels
  LPARAM lParam;
} COMBOBOXEXITEMA, *PCOMBOBOXEXITEMA;
typedef struct tagCOMBOBOXEXITEMW {
  UINT mask;
  INT_PTR iItem;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int iOverlay;
  int iIndent;
  LPARAM lParam;
} COMBOBOXEXITEMW, *PCOMBOBOXEXITEMW;

// iItem -1 inserts at the end; reading item -1 reads the selected item.
#define CBEM_INSERTITEMA (WM_USER + 1)
#define CBEM_SETIMAGELIST (WM_USER + 2)
#define CBEM_GETIMAGELIST (WM_USER + 3)
#define CBEM_GETITEMA (WM_USER + 4)
#define CBEM_SETITEMA (WM_USER + 5)
#define CBEM_DELETEITEM CB_DELETESTRING
#define CBEM_GETCOMBOCONTROL (WM_USER + 6)
#define CBEM_GETEDITCONTROL (WM_USER + 7)
#define CBEM_INSERTITEMW (WM_USER + 11)
#define CBEM_SETITEMW (WM_USER + 12)
#define CBEM_GETITEMW (WM_USER + 13)

// Sent to the parent after an item came or before it goes, with the item (its text as
// the caller gave it for an insertion, none for a deletion).
#define CBEN_FIRST (0U - 800U)
#define CBEN_INSERTITEM (CBEN_FIRST - 1)
#define CBEN_DELETEITEM (CBEN_FIRST - 2)
typedef struct {
  NMHDR hdr;
  COMBOBOXEXITEMW ceItem;
} NMCOMBOBOXEXW, *PNMCOMBOBOXEXW;
typedef struct {
  NMHDR hdr;
  COMBOBOXEXITEMA ceItem;
} NMCOMBOBOXEXA, *PNMCOMBOBOXEXA;

}  // extern "C"
