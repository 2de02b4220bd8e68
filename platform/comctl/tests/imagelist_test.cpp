// Image lists: adding with masks, drawing styles, icons, and the controls that draw them.
#include "platform/base/error.h"
#include "platform/comctl/comctl.h"
#include "platform/comctl/header.h"
#include "platform/comctl/imagelist.h"
#include "platform/comctl/listview.h"
#include "platform/comctl/toolbar.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kGreen = RGB(0, 128, 0), kMagenta = RGB(255, 0, 255),
                   kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// A bitmap w by h filled with `fill`, with (x, y) of each `spots` entry set to its colour.
struct Spot {
  int x, y;
  COLORREF c;
};
HBITMAP Bitmap(int w, int h, COLORREF fill, std::initializer_list<Spot> spots = {}, int bits = 32) {
  HBITMAP b = CreateBitmap(w, h, 1, static_cast<UINT>(bits), nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  HBRUSH br = CreateSolidBrush(fill);
  RECT r{0, 0, w, h};
  FillRect(dc, &r, br);
  DeleteObject(br);
  for (const Spot& s : spots) SetPixelV(dc, s.x, s.y, s.c);
  SelectObject(dc, old);
  DeleteDC(dc);
  return b;
}

// A memory DC over a green 12 by 12 bitmap, to draw into and probe.
struct Canvas {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = Bitmap(12, 12, kGreen);
  HGDIOBJ old = SelectObject(dc, bmp);
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

class ImageListTest : public ControlTest {};

TEST_F(ImageListTest, MasksDecideWhatEachDrawingStyleLeaves) {
  HIMAGELIST l = ImageList_Create(4, 4, ILC_COLOR32 | ILC_MASK, 2, 2);
  ASSERT_TRUE(l);
  // A strip of two images: red with a magenta corner, then blue.
  HBITMAP strip = Bitmap(8, 4, kRed, {{0, 0, kMagenta}, {4, 0, kBlue}, {5, 0, kBlue}, {4, 1, kBlue}});
  EXPECT_EQ(ImageList_AddMasked(l, strip, kMagenta), 0);
  EXPECT_EQ(ImageList_GetImageCount(l), 2);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(l, &cx, &cy));
  EXPECT_EQ(cx, 4);
  EXPECT_EQ(cy, 4);

  struct Case {
    const char* name;
    COLORREF bk;
    UINT style;
    COLORREF corner, body;
  } cases[] = {
      {"normal, no background", CLR_NONE, ILD_NORMAL, kGreen, kRed},
      {"normal over a background", kWhite, ILD_NORMAL, kWhite, kRed},
      {"transparent ignores the background", kWhite, ILD_TRANSPARENT, kGreen, kRed},
      {"the mask itself", CLR_NONE, ILD_MASK, kWhite, kBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageList_SetBkColor(l, c.bk);
    Canvas cv;
    ASSERT_TRUE(ImageList_Draw(l, 0, cv.dc, 2, 3, c.style));
    EXPECT_EQ(cv.At(2, 3), c.corner);
    EXPECT_EQ(cv.At(5, 6), c.body);
    EXPECT_EQ(cv.At(6, 3), kGreen);  // beside the image
  }
  ImageList_SetBkColor(l, CLR_NONE);
  {
    Canvas cv;
    ASSERT_TRUE(ImageList_Draw(l, 1, cv.dc, 9, 9, ILD_TRANSPARENT));  // partly outside: clipped
    EXPECT_EQ(cv.At(9, 9), kBlue);
    EXPECT_EQ(cv.At(11, 11), kRed);
  }

  // An explicit mask: white is transparent. A list without ILC_MASK draws every pixel.
  HBITMAP mask = Bitmap(4, 4, kBlack, {{3, 3, kWhite}}, 1);
  EXPECT_EQ(ImageList_Add(l, Bitmap(4, 4, kBlue), mask), 2);
  HIMAGELIST plain = ImageList_Create(4, 4, ILC_COLOR32, 0, 4);
  EXPECT_EQ(ImageList_AddMasked(plain, strip, kMagenta), 0);
  {
    Canvas cv;
    ImageList_Draw(l, 2, cv.dc, 0, 0, ILD_NORMAL);
    ImageList_Draw(plain, 0, cv.dc, 6, 0, ILD_TRANSPARENT);
    EXPECT_EQ(cv.At(3, 3), kGreen);
    EXPECT_EQ(cv.At(2, 2), kBlue);
    EXPECT_EQ(cv.At(6, 0), kMagenta);
  }

  // Icons are drawn at the list's size through their own mask; they append or replace.
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  EXPECT_EQ(ImageList_AddIcon(l, icon), 3);
  EXPECT_EQ(ImageList_ReplaceIcon(l, 0, icon), 0);
  EXPECT_EQ(ImageList_GetImageCount(l), 4);
  EXPECT_EQ(ImageList_ReplaceIcon(l, 4, icon), -1);

  EXPECT_TRUE(ImageList_Remove(l, 0));
  EXPECT_EQ(ImageList_GetImageCount(l), 3);
  EXPECT_TRUE(ImageList_Remove(l, -1));
  EXPECT_EQ(ImageList_GetImageCount(l), 0);
  EXPECT_TRUE(ImageList_Destroy(plain));
  EXPECT_TRUE(ImageList_Destroy(l));
}

TEST_F(ImageListTest, BadArgumentsAndStaleHandlesFailPlainly) {
  EXPECT_EQ(ImageList_Create(0, 16, ILC_MASK, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(16, 100000, ILC_MASK, 1, 1), nullptr);
  HIMAGELIST l = ImageList_Create(4, 4, ILC_MASK, 1, 1);
  ASSERT_TRUE(l);
  EXPECT_EQ(ImageList_Add(l, nullptr, nullptr), -1);
  EXPECT_EQ(ImageList_AddIcon(l, reinterpret_cast<HICON>(0x1234)), -1);
  EXPECT_EQ(ImageList_Add(l, Bitmap(4, 4, kRed), nullptr), 0);
  Canvas cv;
  EXPECT_FALSE(ImageList_Draw(l, 1, cv.dc, 0, 0, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Draw(l, -1, cv.dc, 0, 0, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Draw(l, 0, cv.dc, 0, 0, 0x0004));  // a blend style this list does not draw
  EXPECT_FALSE(ImageList_Draw(l, 0, nullptr, 0, 0, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Remove(l, 5));
  EXPECT_FALSE(ImageList_SetIconSize(l, -1, 4));
  EXPECT_TRUE(ImageList_SetIconSize(l, 8, 8));
  EXPECT_EQ(ImageList_GetImageCount(l), 0);
  EXPECT_TRUE(ImageList_Destroy(l));
  // A destroyed list is refused by every call.
  EXPECT_FALSE(ImageList_Destroy(l));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(ImageList_GetImageCount(l), 0);
  EXPECT_EQ(ImageList_Add(l, Bitmap(4, 4, kRed), nullptr), -1);
  EXPECT_FALSE(ImageList_Draw(l, 0, cv.dc, 0, 0, ILD_NORMAL));
  int cx, cy;
  EXPECT_FALSE(ImageList_GetIconSize(l, &cx, &cy));
}

TEST_F(ImageListTest, HeaderToolBarAndListViewDrawTheImagesOfTheirLists) {
  // One solid red 8 by 8 image.
  auto redList = [] {
    HIMAGELIST l = ImageList_Create(8, 8, ILC_COLOR32 | ILC_MASK, 1, 1);
    ImageList_Add(l, Bitmap(8, 8, kRed), nullptr);
    return l;
  };

  HWND header = Make(u"SysHeader32", HDS_BUTTONS, 0, 0, 300, 20, 60);
  HIMAGELIST hl = redList();
  EXPECT_EQ(SendMessageW(header, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(hl)), 0);
  HDITEMW it{};
  it.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT | HDI_IMAGE;
  it.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"Name"));
  it.cxy = 100;
  it.fmt = HDF_LEFT | HDF_STRING | HDF_IMAGE;
  it.iImage = 0;
  SendMessageW(header, HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
  it.fmt = HDF_LEFT | HDF_STRING;  // the same image index, but no HDF_IMAGE: not drawn
  SendMessageW(header, HDM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&it));
  // Left of the text, six pixels in, centred vertically.
  EXPECT_EQ(KvWindowGetPixel(header, 9, 9), kRed);
  EXPECT_NE(KvWindowGetPixel(header, 109, 9), kRed);

  HWND tb = Make(u"ToolbarWindow32", TBSTYLE_FLAT, 0, 0, 0, 0, 50);
  SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  HIMAGELIST tl = redList();
  SendMessageW(tb, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(tl));
  TBBUTTON b[2] = {};
  b[0].iBitmap = 0;
  b[0].idCommand = 101;
  b[0].fsState = TBSTATE_ENABLED;
  b[1].iBitmap = 0;
  b[1].idCommand = 102;  // disabled: greyed by a half-tone
  SendMessageW(tb, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(b));
  for (int cmd : {101, 102}) {
    SCOPED_TRACE(cmd);
    RECT r{};
    SendMessageW(tb, TB_GETRECT, static_cast<WPARAM>(cmd), reinterpret_cast<LPARAM>(&r));
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    int red = (KvWindowGetPixel(tb, x, y) == kRed) + (KvWindowGetPixel(tb, x + 1, y) == kRed);
    int face = (KvWindowGetPixel(tb, x, y) == GetSysColor(COLOR_3DFACE)) +
               (KvWindowGetPixel(tb, x + 1, y) == GetSysColor(COLOR_3DFACE));
    EXPECT_EQ(red, cmd == 101 ? 2 : 1);
    EXPECT_EQ(face, cmd == 101 ? 0 : 1);
  }

  HWND lv = Make(u"SysListView32", LVS_REPORT, 0, 100, 300, 150, 70);
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"File"));
  col.cx = 120;
  SendMessageW(lv, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&col));
  HIMAGELIST tall = ImageList_Create(8, 30, ILC_COLOR32, 1, 1);
  ImageList_Add(tall, Bitmap(8, 30, kBlue), nullptr);
  SendMessageW(lv, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(tall));
  for (int i = 0; i < 2; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = i;
    item.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"a.txt"));
    item.iImage = i == 0 ? 0 : -1;
    SendMessageW(lv, LVM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  // Rows grow to the images' height; the first item's image leads its row.
  RECT r0{}, r1{};
  r0.left = r1.left = LVIR_BOUNDS;
  SendMessageW(lv, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r0));
  SendMessageW(lv, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r1));
  EXPECT_EQ(r0.bottom - r0.top, 31);
  EXPECT_EQ(KvWindowGetPixel(lv, 4, r0.top + 15), kBlue);
  EXPECT_EQ(KvWindowGetPixel(lv, 4, r1.top + 15), GetSysColor(COLOR_WINDOW));

  // The list view frees the lists it was given unless they are shared; the others stay the
  // caller's.
  DestroyWindow(lv);
  EXPECT_FALSE(ImageList_Destroy(tall));
  HWND shared = Make(u"SysListView32", LVS_REPORT | LVS_SHAREIMAGELISTS, 0, 0, 10, 10, 71);
  HIMAGELIST keep = redList();
  SendMessageW(shared, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(keep));
  DestroyWindow(shared);
  DestroyWindow(header);
  DestroyWindow(tb);
  EXPECT_TRUE(ImageList_Destroy(keep));
  EXPECT_TRUE(ImageList_Destroy(hl));
  EXPECT_TRUE(ImageList_Destroy(tl));
}

}  // namespace
}  // namespace kvtest
