// Image lists: equal-sized images, each with a mask (when made with ILC_MASK), drawn by
// index. The tool bar, the header and the list view draw the images of the lists they are
// given.
#pragma once

#include "platform/comctl/comctl.h"

extern "C" {

typedef struct _IMAGELIST* HIMAGELIST;
#define ILC_MASK 0x0001
#define ILC_COLOR 0x0000
#define ILC_COLORDDB 0x00FE
#define ILC_COLOR4 0x0004
#define ILC_COLOR8 0x0008
#define ILC_COLOR16 0x0010
#define ILC_COLOR24 0x0018
#define ILC_COLOR32 0x0020
#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001
#define ILD_MASK 0x0010

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

}  // extern "C"
