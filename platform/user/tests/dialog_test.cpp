// "#32770" dialogs from in-memory templates: creation, the default dialog procedure,
// keyboard navigation, modal loops and the dialog item helpers.
#include <cstring>
#include <vector>

#include "platform/base/error.h"
#include "platform/user/button.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/dialog.h"
#include "platform/user/edit.h"
#include "platform/user/static.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

// Builds a dialog template the way a resource compiler lays it out.
class Template {
 public:
  Template(DWORD style, short cx, short cy, const char16_t* title, bool extended = false) : ex_(extended) {
    style_ = style | DS_SETFONT;
    if (ex_) {
      Word(1);
      Word(0xFFFF);
      Dword(0);  // help id
      Dword(0);  // extended style
      Dword(style_);
    } else {
      Dword(style_);
      Dword(0);
    }
    count_ = words_.size();
    Word(0);
    Word(10);
    Word(10);
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Str(title);
    Word(8);
    if (ex_) {
      Word(400);
      Word(0);  // italic, charset
    }
    Str(u"Sans");
  }
  Template& Item(WORD cls, const char16_t* text, WORD id, DWORD style, short x, short y, short cx, short cy) {
    Align();
    if (ex_) {
      Dword(0);
      Dword(0);
      Dword(style | WS_CHILD | WS_VISIBLE);
    } else {
      Dword(style | WS_CHILD | WS_VISIBLE);
      Dword(0);
    }
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    if (ex_)
      Dword(id);
    else
      Word(id);
    if (cls) {
      Word(0xFFFF);
      Word(cls);
    } else {
      Str(u"NoSuchClass");
    }
    Str(text);
    Word(0);
    ++words_[count_];
    return *this;
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Str(const char16_t* s) {
    for (; *s; ++s) Word(*s);
    Word(0);
  }
  void Align() {
    if (words_.size() % 2) Word(0);
  }
  bool ex_;
  DWORD style_;
  size_t count_;
  std::vector<WORD> words_;
};

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
constexpr int kEditId = 100, kCheckId = 200;

Template Standard(bool extended = false) {
  Template t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 160, 80, u"Settings", extended);
  t.Item(kStatic, u"Value:", 99, SS_LEFT, 5, 5, 40, 10)
      .Item(kEdit, u"", kEditId, WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 50, 5, 100, 12)
      .Item(kButton, u"Keep", kCheckId, WS_TABSTOP | BS_AUTOCHECKBOX, 5, 25, 60, 10)
      .Item(kButton, u"OK", IDOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 50, 60, 50, 14)
      .Item(kButton, u"Cancel", IDCANCEL, WS_TABSTOP | BS_PUSHBUTTON, 105, 60, 50, 14);
  return t;
}

// What the dialog procedure saw, and how it answers.
struct Seen {
  HWND initFocus = nullptr;
  LPARAM initParam = 0;
  std::vector<WORD> commands;
  bool ownerEnabledInside = true;
  HWND owner = nullptr;
  bool endOnOk = true;
};
Seen* gSeen = nullptr;

INT_PTR TestDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      gSeen->initFocus = reinterpret_cast<HWND>(wp);
      gSeen->initParam = lp;
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) != BN_CLICKED) return FALSE;  // the edit's notifications
      if (gSeen->owner) gSeen->ownerEnabledInside = IsWindowEnabled(gSeen->owner) != FALSE;
      gSeen->commands.push_back(LOWORD(wp));
      if (LOWORD(wp) == IDOK && gSeen->endOnOk) {
        BOOL ok = FALSE;
        UINT v = GetDlgItemInt(dlg, kEditId, &ok, FALSE);
        EndDialog(dlg, ok ? static_cast<INT_PTR>(v) : -2);
      } else if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
      }
      return TRUE;
    case WM_APP: SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 77); return TRUE;
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(GetStockObject(BLACK_BRUSH));
    default: return FALSE;
  }
}

class DialogTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    gSeen = &seen_;
  }
  void TearDown() override {
    ControlTest::TearDown();
    gSeen = nullptr;
  }
  Seen seen_;
};

TEST_F(DialogTest, CreatesFromTemplateAndInitialises) {
  for (bool extended : {false, true}) {
    seen_ = Seen{};
    Template t = Standard(extended);
    HWND dlg = CreateDialogIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 1234);
    ASSERT_TRUE(dlg) << extended;
    WCHAR cls[32] = {};
    GetClassNameW(dlg, cls, 32);
    EXPECT_EQ(std::u16string(cls), u"#32770");
    EXPECT_EQ(Text(dlg), u"Settings");
    HWND edit = GetDlgItem(dlg, kEditId);
    ASSERT_TRUE(edit);
    EXPECT_EQ(seen_.initParam, 1234);
    EXPECT_EQ(seen_.initFocus, edit);  // the first tab stop (the static is none)
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    // Dialog units: the client is 160 x 80 units of the dialog's font.
    RECT units{0, 0, 160, 80};
    ASSERT_TRUE(MapDialogRect(dlg, &units));
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    EXPECT_TRUE(SendMessageW(dlg, WM_GETFONT, 0, 0));
    EXPECT_EQ(SendMessageW(edit, WM_GETFONT, 0, 0), SendMessageW(dlg, WM_GETFONT, 0, 0));
    // The dialog procedure's answer travels through DWLP_MSGRESULT, except for the
    // messages that answer directly.
    EXPECT_EQ(SendMessageW(dlg, WM_APP, 0, 0), 77);
    EXPECT_EQ(SendMessageW(dlg, WM_CTLCOLORDLG, 0, 0), reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH)));
    EXPECT_FALSE(IsWindowVisible(dlg));  // the template had no WS_VISIBLE
    DestroyWindow(dlg);
    EXPECT_FALSE(IsWindow(dlg));
  }
}

TEST_F(DialogTest, CreationOrderSeenByTheSpy) {
  Template t = Standard();
  KvSpyStart(nullptr);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0);
  KvSpyStop();
  ASSERT_TRUE(dlg);
  HWND edit = GetDlgItem(dlg, kEditId);
  // The dialog gets its font before its controls exist, each control gets it after its
  // creation, WM_INITDIALOG comes last, and the focus goes to the first tab stop.
  auto got = kv::SpyRecords([&](const KVSPYRECORD& r) {
    return r.kind == KV_SPY_SENT && (r.message == WM_CREATE || r.message == WM_SETFONT || r.message == WM_INITDIALOG ||
                                     (r.message == WM_SETFOCUS && r.hwnd == edit));
  });
  std::vector<kv::SpyExpect> want = {kv::Sent(WM_CREATE, dlg), kv::Sent(WM_SETFONT, dlg)};
  for (int id : {99, kEditId, kCheckId, IDOK, IDCANCEL}) {
    want.push_back(kv::Sent(WM_CREATE, GetDlgItem(dlg, id)));
    want.push_back(kv::Sent(WM_SETFONT, GetDlgItem(dlg, id)));
  }
  want.push_back(kv::Sent(WM_INITDIALOG, dlg));
  want.push_back(kv::Sent(WM_SETFOCUS, edit));
  EXPECT_EQ(kv::SpyMatch(got, want), "");
  DestroyWindow(dlg);
}

TEST_F(DialogTest, ItemHelpers) {
  Template t = Standard();
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0);
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(SetDlgItemTextW(dlg, kEditId, u"abc"));
  WCHAR buf[8] = {};
  EXPECT_EQ(GetDlgItemTextW(dlg, kEditId, buf, 8), 3u);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(GetDlgItemTextW(dlg, 4242, buf, 8), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_TRUE(CheckDlgButton(dlg, kCheckId, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dlg, kCheckId), static_cast<UINT>(BST_CHECKED));
  EXPECT_FALSE(CheckDlgButton(dlg, 4242, BST_CHECKED));
  struct IntCase {
    const char* text;
    BOOL is_signed;
    BOOL ok;
    UINT value;
  } cases[] = {
      {"42", FALSE, TRUE, 42},
      {" 7 ", FALSE, TRUE, 7},
      {"-5", TRUE, TRUE, static_cast<UINT>(-5)},
      {"-5", FALSE, FALSE, 0},
      {"4294967295", FALSE, TRUE, 4294967295u},
      {"4294967296", FALSE, FALSE, 0},
      {"2147483648", TRUE, FALSE, 0},
      {"12x", FALSE, FALSE, 0},
      {"", FALSE, FALSE, 0},
  };
  for (const IntCase& c : cases) {
    SetDlgItemTextA(dlg, kEditId, c.text);
    BOOL ok = 2;
    EXPECT_EQ(GetDlgItemInt(dlg, kEditId, &ok, c.is_signed), c.value) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
  SetDlgItemInt(dlg, kEditId, static_cast<UINT>(-12), TRUE);
  EXPECT_EQ(Text(GetDlgItem(dlg, kEditId)), u"-12");
  DestroyWindow(dlg);
}

TEST_F(DialogTest, KeyboardNavigationAndDefaultButton) {
  Template t = Standard();
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0);
  ASSERT_TRUE(dlg);
  seen_.endOnOk = false;
  HWND edit = GetDlgItem(dlg, kEditId), check = GetDlgItem(dlg, kCheckId), ok = GetDlgItem(dlg, IDOK),
       cancel = GetDlgItem(dlg, IDCANCEL);
  auto press = [&](int vk) {
    MSG m{GetFocus(), WM_KEYDOWN, static_cast<WPARAM>(vk), 0, 0, {0, 0}};
    return IsDialogMessageW(dlg, &m);
  };
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_TRUE(press(VK_TAB));
  EXPECT_EQ(GetFocus(), check);
  press(VK_TAB);
  EXPECT_EQ(GetFocus(), ok);
  press(VK_TAB);
  EXPECT_EQ(GetFocus(), cancel);
  press(VK_TAB);
  EXPECT_EQ(GetFocus(), edit);  // wraps round
  // Enter in the edit clicks the default button; on a push button, that button.
  press(VK_RETURN);
  SetFocus(cancel);
  seen_.commands.clear();
  press(VK_RETURN);
  EXPECT_EQ(seen_.commands, (std::vector<WORD>{IDCANCEL}));
  // Escape answers IDCANCEL; WM_CLOSE too.
  seen_.commands.clear();
  SetFocus(edit);
  press(VK_ESCAPE);
  SendMessageW(dlg, WM_CLOSE, 0, 0);
  EXPECT_EQ(seen_.commands, (std::vector<WORD>{IDCANCEL, IDCANCEL}));
  // A new default push button: the styles of both buttons follow.
  SendMessageW(dlg, DM_SETDEFID, IDCANCEL, 0);
  EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDCANCEL, DC_HASDEFID));
  EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  seen_.commands.clear();
  press(VK_RETURN);
  EXPECT_EQ(seen_.commands, (std::vector<WORD>{IDCANCEL}));
  // A disabled default button is not clicked.
  EnableWindow(cancel, FALSE);
  seen_.commands.clear();
  press(VK_RETURN);
  EXPECT_TRUE(seen_.commands.empty());
  // Messages for other windows are not the dialog's.
  MSG other{parent_, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  EXPECT_FALSE(IsDialogMessageW(dlg, &other));
  DestroyWindow(dlg);
}

TEST_F(DialogTest, TabOrderEntersControlParents) {
  Template t = Standard();
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0);
  ASSERT_TRUE(dlg);
  HWND edit = GetDlgItem(dlg, kEditId), check = GetDlgItem(dlg, kCheckId);
  // A panel holding two controls, between the edit and the check box in z-order.
  HWND panel = CreateWindowExW(WS_EX_CONTROLPARENT, u"Static", u"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, dlg,
                               reinterpret_cast<HMENU>(300), nullptr, nullptr);
  SetWindowPos(panel, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  HWND inner1 = CreateWindowExW(0, u"Button", u"a", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10, 10, panel,
                                reinterpret_cast<HMENU>(301), nullptr, nullptr);
  HWND inner2 = CreateWindowExW(0, u"Button", u"b", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 20, 10, 10, panel,
                                reinterpret_cast<HMENU>(302), nullptr, nullptr);
  EXPECT_EQ(GetNextDlgTabItem(dlg, edit, FALSE), inner1);
  EXPECT_EQ(GetNextDlgTabItem(dlg, inner1, FALSE), inner2);
  EXPECT_EQ(GetNextDlgTabItem(dlg, inner2, FALSE), check);
  EXPECT_EQ(GetNextDlgTabItem(dlg, check, TRUE), inner2);
  // A disabled panel is passed over with its controls.
  EnableWindow(panel, FALSE);
  EXPECT_EQ(GetNextDlgTabItem(dlg, edit, FALSE), check);
  DestroyWindow(dlg);
}

TEST_F(DialogTest, ModalLoopRunsOnInjectedInputAndEnds) {
  seen_.owner = parent_;
  Template t = Standard();
  KvInjectChar(u'4');
  KvInjectChar(u'2');
  KvInjectKey(VK_RETURN, TRUE);
  KvInjectKey(VK_RETURN, FALSE);
  INT_PTR r = DialogBoxIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0);
  EXPECT_EQ(r, 42);
  EXPECT_FALSE(seen_.ownerEnabledInside);
  EXPECT_TRUE(IsWindowEnabled(parent_));
  EXPECT_EQ(GetActiveWindow(), parent_);
  EXPECT_FALSE(FindWindowW(u"#32770", nullptr));
  // Escape ends it with IDCANCEL.
  KvInjectKey(VK_ESCAPE, TRUE);
  KvInjectKey(VK_ESCAPE, FALSE);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0), IDCANCEL);
}

TEST_F(DialogTest, ModalLoopWithoutInputOrWithQuitEnds) {
  Template t = Standard();
  SetLastError(0);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_FALSE(FindWindowW(u"#32770", nullptr));
  EXPECT_TRUE(IsWindowEnabled(parent_));
  // WM_QUIT ends the loop and stays for the caller's loop.
  PostQuitMessage(3);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t.Get(), parent_, TestDlgProc, 0), 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(m.wParam, 3u);
}

TEST_F(DialogTest, BadTemplatesFail) {
  Template bad(WS_POPUP, 100, 50, u"Bad");
  bad.Item(0, u"", 5, 0, 0, 0, 10, 10);  // a class that does not exist
  EXPECT_FALSE(CreateDialogIndirectParamW(nullptr, bad.Get(), parent_, TestDlgProc, 0));
  EXPECT_FALSE(FindWindowW(u"#32770", nullptr));
  Template tolerant(WS_POPUP | DS_NOFAILCREATE, 100, 50, u"Tolerant");
  tolerant.Item(0, u"", 5, 0, 0, 0, 10, 10).Item(kEdit, u"", kEditId, WS_TABSTOP, 0, 20, 50, 12);
  HWND dlg = CreateDialogIndirectParamW(nullptr, tolerant.Get(), parent_, TestDlgProc, 0);
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(GetDlgItem(dlg, kEditId));
  DestroyWindow(dlg);
  EXPECT_FALSE(CreateDialogIndirectParamW(nullptr, nullptr, parent_, TestDlgProc, 0));
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, parent_, TestDlgProc, 0), -1);
  // EndDialog on a window that is not a dialog fails.
  HWND edit = Make(u"Edit", 0, 0, 0, 50, 20);
  EXPECT_FALSE(EndDialog(edit, 1));
}

}  // namespace
}  // namespace kvtest
