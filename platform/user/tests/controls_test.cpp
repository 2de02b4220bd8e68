// The predefined controls (and a status bar) on a test form: creation, layout, input, texts
// across the A/W boundary, and their pixels.
#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/base/error.h"
#include "testsupport/temp_home.h"
#include "platform/user/tests/user_test_util.h"
#include "platform/comctl/progress.h"
#include "platform/comctl/statusbar.h"
#include "platform/user/button.h"
#include "platform/user/combobox.h"
#include "platform/user/edit.h"
#include "platform/user/listbox.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

using kv::Posted;
using kv::Sent;
using kv::WithW;

class UserControlsTest : public UserTest {
 protected:
  HWND Make(const char16_t* cls, DWORD style, int x, int y, int w, int h, int id, const char16_t* text = u"") {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, form_,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }
  HWND form_ = nullptr;
};

TEST_F(UserControlsTest, FormWithControlsShowResizeClickAndScreenshot) {
  TempHome home;
  std::vector<WPARAM> commands;
  HWND status = nullptr;
  Handlers()[WM_COMMAND] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    commands.push_back(wp);
    *handled = true;
    return LRESULT(0);
  };
  Handlers()[WM_SIZE] = [&](HWND, UINT, WPARAM wp, LPARAM lp, bool*) {
    if (status) SendMessageW(status, WM_SIZE, wp, lp);  // as the framework's form does
    return LRESULT(0);
  };
  form_ = Top(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300, u"Form");
  HWND button = Make(u"Button", BS_PUSHBUTTON, 10, 10, 80, 24, 1, u"Click");
  HWND edit = Make(u"Edit", WS_BORDER | ES_AUTOHSCROLL, 10, 40, 120, 22, 2, u"text");
  HWND combo = Make(u"ComboBox", CBS_DROPDOWNLIST, 10, 70, 120, 200, 3);
  status = Make(STATUSCLASSNAMEW, SBARS_SIZEGRIP, 0, 0, 0, 0, 4);
  HWND progress = Make(PROGRESS_CLASSW, PBS_SMOOTH, 10, 110, 200, 16, 5);
  ASSERT_TRUE(button && edit && combo && status && progress);
  RECT r;
  GetWindowRect(combo, &r);
  EXPECT_EQ(r.bottom - r.top, 24);  // one line high; 200 is the list's height
  RECT c;
  GetClientRect(form_, &c);
  GetWindowRect(status, &r);
  POINT p{r.left, r.top};
  ScreenToClient(form_, &p);
  EXPECT_EQ(p.y, c.bottom - 20);  // aligned along the bottom
  EXPECT_EQ(r.right - r.left, c.right);

  KvSpyStart(form_);
  ShowWindow(form_, SW_SHOW);
  UpdateWindow(form_);
  auto shown = Only({WM_SHOWWINDOW, WM_ACTIVATE, WM_NCPAINT, WM_WINDOWPOSCHANGED, WM_PAINT});
  EXPECT_SEQ(shown, Sent(WM_SHOWWINDOW, form_), Sent(WM_ACTIVATE, form_), Sent(WM_NCPAINT, form_),
             Sent(WM_WINDOWPOSCHANGED, form_), Sent(WM_PAINT, form_), Sent(WM_PAINT, button), Sent(WM_NCPAINT, edit),
             Sent(WM_PAINT, edit), Sent(WM_PAINT, combo), Sent(WM_PAINT, status), Sent(WM_PAINT, progress));

  KvSpyStart(form_);
  MoveWindow(form_, 0, 0, 500, 400, TRUE);
  auto resized = Only({WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_SIZE});
  EXPECT_SEQ(resized, Sent(WM_WINDOWPOSCHANGING, form_), Sent(WM_NCCALCSIZE, form_), Sent(WM_WINDOWPOSCHANGED, form_),
             Sent(WM_SIZE, form_), Sent(WM_SIZE, status), Sent(WM_WINDOWPOSCHANGING, status),
             Sent(WM_NCCALCSIZE, status), Sent(WM_WINDOWPOSCHANGED, status), Sent(WM_SIZE, status));
  GetWindowRect(status, &r);
  EXPECT_EQ(r.right - r.left, 500 - 8);

  SendMessageW(progress, PBM_SETPOS, 50, 0);
  SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(u"ready"));
  KvInjectClick(30, 4 + 19 + 20);  // inside the button (frame 4, caption 19)
  KvPumpMessages();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), MAKEWPARAM(1, BN_CLICKED));

  // Pixels: the progress bar's left half is filled, its right half not.
  POINT pr{0, 0};
  MapWindowPoints(progress, form_, &pr, 1);
  EXPECT_EQ(KvWindowGetPixel(progress, 50, 8), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(KvWindowGetPixel(progress, 150, 8), GetSysColor(COLOR_3DFACE));
  std::string path = home.path() + "/form.png";
  EXPECT_TRUE(KvWindowScreenshot(form_, path.c_str()));

  KvSpyStart(form_);
  DestroyWindow(form_);
  auto gone = Only({WM_DESTROY, WM_NCDESTROY});
  ASSERT_FALSE(gone.empty());
  EXPECT_EQ(gone.front().hwnd, form_);
  EXPECT_EQ(gone.front().message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(gone.back().hwnd, form_);
  EXPECT_EQ(gone.back().message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_FALSE(IsWindow(button));
}

TEST_F(UserControlsTest, ControlsPaintIntoADcGivenWithWmPaint) {
  form_ = Top(WS_POPUP, 0, 0, 200, 100);  // hidden: nothing reaches the surface
  HWND b = Make(u"Button", BS_PUSHBUTTON, 0, 0, 60, 24, 1, u"");
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(60, 24, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT all{0, 0, 60, 24};
  FillRect(mem, &all, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SendMessageW(b, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
  EXPECT_EQ(GetPixel(mem, 5, 5), GetSysColor(COLOR_BTNFACE));
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
}

TEST_F(UserControlsTest, EditTypingLimitsAndNotifications) {
  std::vector<WORD> codes;
  Handlers()[WM_COMMAND] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    codes.push_back(HIWORD(wp));
    *handled = true;
    return LRESULT(0);
  };
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
  HWND e = Make(u"Edit", ES_NUMBER, 0, 0, 100, 20, 9);
  SendMessageW(e, EM_LIMITTEXT, 3, 0);
  SetFocus(e);
  codes.clear();
  for (WCHAR ch : std::u16string(u"1a234")) SendMessageW(e, WM_CHAR, ch, 0);
  WCHAR buf[16];
  GetWindowTextW(e, buf, 16);
  EXPECT_EQ(std::u16string(buf), u"123");  // letters refused, the limit holds
  EXPECT_EQ(std::count(codes.begin(), codes.end(), EN_CHANGE), 3);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), EN_MAXTEXT), 1);
  SendMessageW(e, EM_SETSEL, 0, -1);
  SendMessageA(e, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("9"));
  GetWindowTextW(e, buf, 16);
  EXPECT_EQ(std::u16string(buf), u"9");
  EXPECT_TRUE(SendMessageW(e, EM_GETMODIFY, 0, 0));
  SendMessageW(e, WM_CHAR, 8, 0);  // backspace
  EXPECT_EQ(GetWindowTextLengthW(e), 0);
  EXPECT_TRUE(SendMessageW(e, EM_UNDO, 0, 0));
  EXPECT_EQ(GetWindowTextLengthW(e), 1);
  HWND m = Make(u"Edit", ES_MULTILINE, 0, 30, 100, 60, 10, u"ab\r\ncde");
  EXPECT_EQ(SendMessageW(m, EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(m, EM_LINEINDEX, 1, 0), 4);
  EXPECT_EQ(SendMessageW(m, EM_LINELENGTH, 4, 0), 3);
}

TEST_F(UserControlsTest, ComboDropDownSelectsAndNotifies) {
  std::vector<WORD> codes;
  Handlers()[WM_COMMAND] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    codes.push_back(HIWORD(wp));
    *handled = true;
    return LRESULT(0);
  };
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300);
  HWND combo = Make(u"ComboBox", CBS_DROPDOWNLIST, 10, 10, 120, 150, 3);
  // ANSI strings into a wide control and back.
  EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("one")), 0);
  EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("\xb6\xfe")), 1);  // GBK
  EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"three")), 2);
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXTLEN, 1, 0), 2);
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0), 1);
  char a[8];
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(a)), 2);
  EXPECT_STREQ(a, "\xb6\xfe");
  EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("THREE")), 2);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  EXPECT_EQ(info.hwndItem, combo);  // a drop-down list has no edit
  char cls[16];
  GetClassNameA(info.hwndList, cls, sizeof cls);
  EXPECT_STREQ(cls, "ComboLBox");
  EXPECT_FALSE(GetComboBoxInfo(form_, &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINDOW_NOT_COMBOBOX));

  codes.clear();
  KvInjectClick(50, 20);  // drops the list down
  KvPumpMessages();
  EXPECT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_TRUE(IsWindowVisible(info.hwndList));
  RECT lr;
  GetWindowRect(info.hwndList, &lr);
  KvInjectClick(lr.left + 10, lr.top + 1 + 16 + 8);  // the second item (below the border)
  KvPumpMessages();
  EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(codes, (std::vector<WORD>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
  WCHAR t[8];
  EXPECT_EQ(GetWindowTextW(combo, t, 8), 1);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_EQ(codes.back(), CBN_CLOSEUP);
  DestroyWindow(form_);
  EXPECT_FALSE(IsWindow(info.hwndList));
}

// The combo writes its edit field itself when a list item is chosen (from the keyboard,
// a click or CB_SETCURSEL): no CBN_EDITCHANGE; typing into the field sends it.
TEST_F(UserControlsTest, ComboEditChangeOnlyForTheUsersTyping) {
  std::vector<WORD> codes;
  Handlers()[WM_COMMAND] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    codes.push_back(HIWORD(wp));
    *handled = true;
    return LRESULT(0);
  };
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300);
  HWND combo = Make(u"ComboBox", CBS_DROPDOWN, 10, 10, 120, 150, 3);
  for (const char16_t* s : {u"one", u"two", u"three"})
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  auto edit_changes = [&] { return std::count(codes.begin(), codes.end(), WORD(CBN_EDITCHANGE)); };
  SetFocus(combo);
  struct Step {
    const char* what;
    std::function<void()> act;
    const char16_t* text;
    long changes;
  } steps[] = {
      {"CB_SETCURSEL", [&] { SendMessageW(combo, CB_SETCURSEL, 1, 0); }, u"two", 0},
      {"Down in the closed combo", [&] { SendMessageW(combo, WM_KEYDOWN, VK_DOWN, 0); }, u"three", 0},
      {"a click on an item of the list",
       [&] {
         SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
         COMBOBOXINFO info{};
         info.cbSize = sizeof info;
         GetComboBoxInfo(combo, &info);
         RECT lr;
         GetWindowRect(info.hwndList, &lr);
         KvInjectClick(lr.left + 10, lr.top + 1 + 8);
         KvPumpMessages();
       },
       u"one", 0},
      {"typing", [&] { SendMessageW(GetFocus(), WM_CHAR, 'x', 0); }, nullptr, 1},
  };
  for (const Step& st : steps) {
    SCOPED_TRACE(st.what);
    codes.clear();
    st.act();
    if (st.text) {
      WCHAR text[16] = {};
      GetWindowTextW(combo, text, 16);
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), st.text);
    }
    EXPECT_EQ(edit_changes(), st.changes);
  }
  DestroyWindow(form_);
}

// An owner-drawn combo asks its parent for the items' height as it is made and has its
// parent draw the list's items, and a drop-down list's selection field, as its own.
TEST_F(UserControlsTest, OwnerDrawnComboMeasuresAndDrawsThroughItsParent) {
  std::vector<MEASUREITEMSTRUCT> measured;
  std::vector<DRAWITEMSTRUCT> drawn;
  Handlers()[WM_MEASUREITEM] = [&](HWND, UINT, WPARAM, LPARAM lp, bool* handled) {
    auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    measured.push_back(*mi);
    mi->itemHeight = 21;
    *handled = true;
    return LRESULT(TRUE);
  };
  Handlers()[WM_DRAWITEM] = [&](HWND, UINT, WPARAM, LPARAM lp, bool* handled) {
    drawn.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
    *handled = true;
    return LRESULT(TRUE);
  };
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300);
  for (DWORD type : {DWORD(CBS_DROPDOWN), DWORD(CBS_DROPDOWNLIST)}) {
    SCOPED_TRACE(type);
    measured.clear();
    HWND combo = Make(u"ComboBox", type | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS, 10, 10, 120, 150, 4);
    ASSERT_EQ(measured.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(measured[i].CtlType, UINT(ODT_COMBOBOX));
      EXPECT_EQ(measured[i].CtlID, 4u);
    }
    EXPECT_EQ(measured[0].itemID, UINT(-1)) << "the selection field";
    EXPECT_EQ(measured[1].itemID, 0u) << "the list's items";
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0), 21);
    EXPECT_EQ(SendMessageW(combo, CB_SETITEMHEIGHT, 0, 19), CB_OKAY);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0), 19);
    for (const char16_t* s : {u"one", u"two"}) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    WCHAR text[8];
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 3) << "the strings are kept";
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    drawn.clear();
    SendMessageW(info.hwndList, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    ASSERT_EQ(drawn.size(), 2u);
    for (UINT i = 0; i < 2; ++i) {
      EXPECT_EQ(drawn[i].CtlType, UINT(ODT_COMBOBOX));
      EXPECT_EQ(drawn[i].CtlID, 4u);
      EXPECT_EQ(drawn[i].hwndItem, combo);
      EXPECT_EQ(drawn[i].itemID, i);
      EXPECT_EQ(drawn[i].itemState & ODS_SELECTED, i == 1 ? UINT(ODS_SELECTED) : 0u);
      EXPECT_EQ(drawn[i].rcItem.top, LONG(i * 19));
      EXPECT_EQ(drawn[i].rcItem.bottom - drawn[i].rcItem.top, 19);
    }
    drawn.clear();
    SendMessageW(combo, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    if (type == CBS_DROPDOWNLIST) {
      ASSERT_EQ(drawn.size(), 1u);
      EXPECT_EQ(drawn[0].itemID, 1u);
      EXPECT_TRUE(drawn[0].itemState & ODS_COMBOBOXEDIT);
      EXPECT_EQ(drawn[0].hwndItem, combo);
    } else {
      EXPECT_TRUE(drawn.empty()) << "the edit field draws itself";
    }
    DeleteDC(dc);
    DestroyWindow(combo);
  }
  DestroyWindow(form_);
}

// A class made from the combo box under another name and procedure (as a framework
// control makes its own) is still a combo box to GetComboBoxInfo.
WNDPROC g_combo_proc = nullptr;
LRESULT OwnComboProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return CallWindowProcW(g_combo_proc, hwnd, msg, wp, lp);
}

TEST_F(UserControlsTest, ComboInfoOfAClassMadeFromTheComboBox) {
  WNDCLASSW wc{};
  ASSERT_TRUE(GetClassInfoW(nullptr, u"ComboBox", &wc));
  g_combo_proc = wc.lpfnWndProc;
  wc.lpfnWndProc = OwnComboProc;
  wc.lpszClassName = u"OwnCombo";
  ASSERT_TRUE(RegisterClassW(&wc));
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300);
  HWND combo = Make(u"OwnCombo", CBS_DROPDOWN, 10, 10, 120, 150, 3);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  EXPECT_NE(info.hwndItem, combo) << "its edit field";
  EXPECT_GT(info.rcButton.right, info.rcButton.left);
  DestroyWindow(form_);
  UnregisterClassW(u"OwnCombo", nullptr);
}

TEST_F(UserControlsTest, ListBoxSortsSelectsAndNotifies) {
  std::vector<WORD> codes;
  Handlers()[WM_COMMAND] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    codes.push_back(HIWORD(wp));
    *handled = true;
    return LRESULT(0);
  };
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
  HWND lb = Make(u"ListBox", LBS_NOTIFY | LBS_SORT, 0, 0, 100, 100, 1);
  for (const char16_t* s : {u"pear", u"Apple", u"fig"}) SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  WCHAR t[8];
  SendMessageW(lb, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(t));
  EXPECT_EQ(std::u16string(t), u"Apple");
  EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 7, reinterpret_cast<LPARAM>(t)), LB_ERR);
  KvPumpMessages();
  KvInjectClick(10, 16 + 5);
  KvPumpMessages();
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(codes, (std::vector<WORD>{LBN_SETFOCUS, LBN_SELCHANGE}));
  EXPECT_EQ(SendMessageW(lb, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"pe")), 2);
  EXPECT_EQ(SendMessageW(lb, LB_DELETESTRING, 2, 0), 2);
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR);
}

}  // namespace
}  // namespace kvtest
