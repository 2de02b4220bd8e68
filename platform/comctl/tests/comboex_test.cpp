// "ComboBoxEx32": items with images across the A/W boundary, the notifications, the inner
// combo box and edit, and the images drawn from the image list.
#include "platform/comctl/comboex.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);

class ComboExTest : public ControlTest {
 protected:
  void TearDown() override {
    if (images_) ImageList_Destroy(images_);
    ControlTest::TearDown();
  }
  // Two 16 by 16 images: red, then blue.
  HIMAGELIST Images() {
    images_ = ImageList_Create(16, 16, ILC_COLOR32, 2, 2);
    for (COLORREF c : {kRed, kBlue}) {
      HBITMAP b = CreateBitmap(16, 16, 1, 32, nullptr);
      HDC dc = CreateCompatibleDC(nullptr);
      HGDIOBJ old = SelectObject(dc, b);
      HBRUSH br = CreateSolidBrush(c);
      RECT r{0, 0, 16, 16};
      FillRect(dc, &r, br);
      DeleteObject(br);
      SelectObject(dc, old);
      DeleteDC(dc);
      ImageList_Add(images_, b, nullptr);
      DeleteObject(b);
    }
    return images_;
  }
  HWND ComboEx(DWORD style) {
    HWND c = Make(WC_COMBOBOXEXW, style, 10, 10, 200, 150, 80);
    const char16_t* names[] = {u"Red", u"Blue"};
    for (int i = 0; i < 2; ++i) {
      COMBOBOXEXITEMW it{};
      it.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
      it.iItem = -1;
      it.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(names[i]));
      it.iImage = it.iSelectedImage = i;
      it.lParam = 50 + i;
      EXPECT_EQ(SendMessageW(c, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)), i);
    }
    KvPumpMessages();
    return c;
  }
  HIMAGELIST images_ = nullptr;
};

TEST_F(ComboExTest, ItemsKeepTheirImagesTextsAndDataAcrossTheAWBoundary) {
  HWND c = ComboEx(CBS_DROPDOWNLIST);
  EXPECT_EQ(Codes(WM_NOTIFY), (std::vector<UINT>{CBEN_INSERTITEM, CBEN_INSERTITEM}));
  auto combo = reinterpret_cast<HWND>(SendMessageW(c, CBEM_GETCOMBOCONTROL, 0, 0));
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(GetParent(combo), c);
  EXPECT_EQ(GetWindow(c, GW_CHILD), combo);
  EXPECT_EQ(SendMessageW(c, CBEM_GETEDITCONTROL, 0, 0), 0);  // a drop-down list has no edit
  EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 2);
  // An A item put first.
  COMBOBOXEXITEMA a{};
  a.mask = CBEIF_TEXT | CBEIF_INDENT;
  a.iItem = 0;
  a.pszText = const_cast<LPSTR>("Green");
  a.iIndent = 2;
  EXPECT_EQ(SendMessageA(c, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&a)), 0);
  WCHAR w[4] = {};
  COMBOBOXEXITEMW get{};
  get.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_INDENT | CBEIF_LPARAM;
  get.iItem = 0;
  get.pszText = w;
  get.cchTextMax = 4;
  ASSERT_TRUE(SendMessageW(c, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)));
  EXPECT_EQ(std::u16string(w), u"Gre");  // cut to the buffer
  EXPECT_EQ(get.iImage, -1);
  EXPECT_EQ(get.iIndent, 2);
  char s[8] = {};
  COMBOBOXEXITEMA geta{};
  geta.mask = CBEIF_TEXT | CBEIF_LPARAM;
  geta.iItem = 2;
  geta.pszText = s;
  geta.cchTextMax = 8;
  ASSERT_TRUE(SendMessageA(c, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&geta)));
  EXPECT_STREQ(s, "Blue");
  EXPECT_EQ(geta.lParam, 51);
  EXPECT_EQ(SendMessageW(c, CB_GETITEMDATA, 2, 0), 51);
  // Item -1 is the selected one; none is selected yet.
  geta.iItem = -1;
  EXPECT_FALSE(SendMessageA(c, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&geta)));
  SendMessageW(c, CB_SETCURSEL, 1, 0);
  ASSERT_TRUE(SendMessageA(c, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&geta)));
  EXPECT_STREQ(s, "Red");
  // Changed and deleted.
  COMBOBOXEXITEMW set{};
  set.mask = CBEIF_TEXT;
  set.iItem = 1;
  set.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"Crimson"));
  ASSERT_TRUE(SendMessageW(c, CBEM_SETITEMW, 0, reinterpret_cast<LPARAM>(&set)));
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), 1);  // still selected
  WCHAR text[16] = {};
  SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(std::u16string(text), u"Crimson");
  Notes().clear();
  EXPECT_EQ(SendMessageW(c, CBEM_DELETEITEM, 0, 0), 2);
  EXPECT_EQ(Codes(WM_NOTIFY), (std::vector<UINT>{CBEN_DELETEITEM}));
  EXPECT_EQ(SendMessageW(c, CBEM_DELETEITEM, 5, 0), CB_ERR);
  get.iItem = 7;
  EXPECT_FALSE(SendMessageW(c, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)));
  EXPECT_FALSE(SendMessageW(c, CBEM_SETITEMW, 0, 0));
  EXPECT_EQ(SendMessageW(c, CBEM_INSERTITEMW, 0, 0), -1);
  // Texts go only through the item records, which say their character type.
  EXPECT_EQ(SendMessageA(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Plain")), CB_ERR);
  EXPECT_EQ(SendMessageA(c, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(s)), CB_ERR);
  EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(c, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 0);
}

TEST_F(ComboExTest, SelectionShowsTheItemsImageAndTheComboTellsThroughItsOwner) {
  HWND c = ComboEx(CBS_DROPDOWN);
  EXPECT_EQ(SendMessageW(c, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(Images())), 0);
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(c, CBEM_GETIMAGELIST, 0, 0)), images_);
  auto edit = reinterpret_cast<HWND>(SendMessageW(c, CBEM_GETEDITCONTROL, 0, 0));
  ASSERT_NE(edit, nullptr);
  char16_t cls[8] = {};
  GetClassNameW(edit, cls, 8);
  EXPECT_EQ(std::u16string(cls), u"Edit");
  DestroyWindow(c);

  c = ComboEx(CBS_DROPDOWNLIST);
  SendMessageW(c, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
  auto combo = reinterpret_cast<HWND>(SendMessageW(c, CBEM_GETCOMBOCONTROL, 0, 0));
  RECT field{};
  GetClientRect(combo, &field);
  const int mid = field.bottom / 2;
  SendMessageW(c, CB_SETCURSEL, 1, 0);
  UpdateWindow(combo);
  EXPECT_EQ(KvWindowGetPixel(combo, 12, mid), kBlue);
  SendMessageW(c, CB_SETCURSEL, 0, 0);
  UpdateWindow(combo);
  EXPECT_EQ(KvWindowGetPixel(combo, 12, mid), kRed);
  // The window is as high as its combo box; a user's choice reaches the parent as the
  // extended combo's own notification.
  RECT outer{}, inner{};
  GetWindowRect(c, &outer);
  GetWindowRect(combo, &inner);
  EXPECT_EQ(outer.bottom - outer.top, inner.bottom - inner.top);
  Notes().clear();
  SetFocus(combo);
  Key(VK_DOWN);
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), 1);
  bool told = false;
  for (const Note& n : Notes())
    if (n.msg == WM_COMMAND && n.code == CBN_SELCHANGE) told = n.id == 80 && n.from == c;
  EXPECT_TRUE(told);
}

}  // namespace
}  // namespace kvtest
