// Classes, creation and destruction sequences, the tree, longs, text, properties,
// subclassing and CBT hooks.
#include <cstring>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/dialog.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

using kv::DefProc;
using kv::Hook;
using kv::Optional;
using kv::Sent;
using kv::WithW;

class WindowTest : public UserTest {};

TEST_F(WindowTest, CreateHiddenTopLevelSendsThePlatformSequence) {
  KvSpyStart(nullptr);
  HWND h = Top();
  ASSERT_TRUE(h);
  EXPECT_SEQ(Delivered(), Sent(WM_GETMINMAXINFO, h), Sent(WM_NCCREATE, h), Sent(WM_NCCALCSIZE, h), Sent(WM_CREATE, h),
             WithW(Sent(WM_SIZE, h), SIZE_RESTORED), Sent(WM_MOVE, h));
  RECT r, c;
  GetWindowRect(h, &r);
  GetClientRect(h, &c);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right - r.left, 300);
  // Thick frame 4, caption 19: the client is what is left.
  EXPECT_EQ(c.right, 300 - 8);
  EXPECT_EQ(c.bottom, 200 - 8 - 19);
  EXPECT_FALSE(IsWindowVisible(h));
  // The default procedure took the text from the creation structure.
  WCHAR buf[16];
  EXPECT_EQ(GetWindowTextW(h, buf, 16), 3);
  EXPECT_EQ(std::u16string(buf), u"Top");
}

TEST_F(WindowTest, ShowingAndDestroyingVisibleWindowWithChildren) {
  HWND h = Top();
  HWND c1 = Child(h);
  HWND c2 = Child(h, WS_CHILD | WS_VISIBLE, 60, 5, 50, 40, 2);
  KvSpyStart(nullptr);
  ShowWindow(h, SW_SHOW);
  EXPECT_SEQ(Delivered({WM_GETTEXT, WM_GETICON, WM_SETCURSOR}), Sent(WM_SHOWWINDOW, h), Sent(WM_WINDOWPOSCHANGING, h),
             Sent(WM_ACTIVATEAPP, h), Sent(WM_NCACTIVATE, h), WithW(Sent(WM_ACTIVATE, h), WA_ACTIVE),
             Sent(WM_SETFOCUS, h), Sent(WM_NCPAINT, h), Sent(WM_ERASEBKGND, h), Sent(WM_WINDOWPOSCHANGED, h));
  EXPECT_EQ(GetActiveWindow(), h);
  EXPECT_EQ(GetFocus(), h);
  KvSpyStart(nullptr);
  ASSERT_TRUE(DestroyWindow(h));
  // Hidden first, deactivated, then WM_DESTROY parent first and WM_NCDESTROY children first.
  auto got = Only({WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_NCACTIVATE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS,
                   WM_DESTROY, WM_NCDESTROY, WM_PARENTNOTIFY});
  EXPECT_SEQ(got, Sent(WM_WINDOWPOSCHANGING, h), Sent(WM_WINDOWPOSCHANGED, h), Sent(WM_NCACTIVATE, h),
             WithW(Sent(WM_ACTIVATE, h), WA_INACTIVE), Sent(WM_ACTIVATEAPP, h), Sent(WM_KILLFOCUS, h),
             Sent(WM_DESTROY, h), Sent(WM_DESTROY, c1), Sent(WM_DESTROY, c2), Sent(WM_NCDESTROY, c1),
             Sent(WM_NCDESTROY, c2), Sent(WM_NCDESTROY, h));
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(IsWindow(c1));
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowTest, ChildCreationNotifiesParentAndStaysAtTheBottomOfZOrder) {
  HWND h = Top();
  KvSpyStart(nullptr);
  HWND a = Child(h, WS_CHILD, 0, 0, 10, 10, 7);
  EXPECT_SEQ(Delivered(), Sent(WM_NCCREATE, a), Sent(WM_NCCALCSIZE, a), Sent(WM_CREATE, a), Sent(WM_SIZE, a),
             Sent(WM_MOVE, a), WithW(Sent(WM_PARENTNOTIFY, h), MAKEWPARAM(WM_CREATE, 7)));
  HWND b = Child(h, WS_CHILD, 0, 0, 10, 10, 8);
  EXPECT_EQ(GetWindow(h, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetParent(a), h);
  EXPECT_EQ(GetDlgItem(h, 8), b);
  EXPECT_EQ(GetDlgCtrlID(b), 8);
  EXPECT_TRUE(IsChild(h, b));
  SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindow(h, GW_CHILD), b);
}

TEST_F(WindowTest, CreationFailuresCleanUp) {
  struct Case {
    const char* name;
    UINT msg;
    LRESULT answer;
    std::vector<UINT> tail;  // last messages delivered
  };
  std::vector<Case> cases = {
      {"WM_NCCREATE FALSE", WM_NCCREATE, FALSE, {WM_NCCREATE, WM_NCDESTROY}},
      {"WM_CREATE -1", WM_CREATE, -1, {WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Handlers().clear();
    LRESULT answer = c.answer;
    Handlers()[c.msg] = [answer](HWND, UINT, WPARAM, LPARAM, bool* handled) {
      *handled = true;
      return answer;
    };
    KvSpyStart(nullptr);
    EXPECT_EQ(Top(), nullptr);
    auto got = Delivered();
    ASSERT_GE(got.size(), c.tail.size());
    for (size_t i = 0; i < c.tail.size(); ++i) EXPECT_EQ(got[got.size() - c.tail.size() + i].message, c.tail[i]);
    EXPECT_EQ(FindWindowW(u"KvTest", nullptr), nullptr);
  }
  // Bad arguments fail plainly.
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(CreateWindowExW(0, u"KvTest", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
  EXPECT_FALSE(DestroyWindow(reinterpret_cast<HWND>(0x1234)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, ClassesRegisterOnceAndCannotGoWhileWindowsLive) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"kvtest";  // letter case does not matter
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  HWND h = Top();
  EXPECT_FALSE(UnregisterClassW(u"KvTest", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(h);
  EXPECT_TRUE(UnregisterClassW(u"KvTest", nullptr));
  WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  EXPECT_TRUE(GetClassInfoExA(nullptr, "Button", &info));
  EXPECT_STREQ(info.lpszClassName, "Button");
  char name[32];
  HWND b = CreateWindowExA(0, "BUTTON", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(b);
  EXPECT_EQ(GetClassNameA(b, name, sizeof name), 6);
  EXPECT_STREQ(name, "Button");
}

TEST_F(WindowTest, TextCrossesBetweenAnsiAndWideProcedures) {
  HWND h = Top();
  ASSERT_TRUE(IsWindowUnicode(h));
  // GBK text through the ANSI side, read back on both sides.
  const char gbk[] = "\xd6\xd0\xce\xc4";  // two Chinese characters
  EXPECT_TRUE(SetWindowTextA(h, gbk));
  WCHAR w[8];
  EXPECT_EQ(GetWindowTextW(h, w, 8), 2);
  EXPECT_EQ(GetWindowTextLengthA(h), 4);
  char a[8];
  EXPECT_EQ(GetWindowTextA(h, a, 8), 4);
  EXPECT_STREQ(a, gbk);
  // A buffer that would split a double-byte character keeps whole characters only.
  char small[4];
  EXPECT_EQ(GetWindowTextA(h, small, 4), 2);
  EXPECT_EQ(std::strlen(small), 2u);
  EXPECT_EQ(GetWindowTextW(h, w, 1), 0);
  EXPECT_EQ(w[0], 0);
}

TEST_F(WindowTest, PropertiesByNameAndByAtom) {
  HWND h = Top();
  int a = 1, b = 2;
  EXPECT_TRUE(SetPropA(h, "ControlOfs0040000000000ABC", &a));
  EXPECT_EQ(GetPropW(h, u"controlofs0040000000000abc"), &a);
  ATOM atom = GlobalFindAtomA("ControlOfs0040000000000ABC");
  ASSERT_NE(atom, 0);
  EXPECT_EQ(GetPropA(h, MAKEINTATOM(atom)), &a);
  EXPECT_TRUE(SetPropA(h, "ControlOfs0040000000000ABC", &b));
  EXPECT_EQ(GetPropA(h, "ControlOfs0040000000000ABC"), &b);
  EXPECT_EQ(RemovePropA(h, "ControlOfs0040000000000ABC"), &b);
  EXPECT_EQ(GetPropA(h, "ControlOfs0040000000000ABC"), nullptr);
  EXPECT_EQ(GetPropA(h, "Missing"), nullptr);
}

// ---- Subclassing -------------------------------------------------------------------------------------
WNDPROC gOld[3];
int gCalls[3];
template <int N>
LRESULT SubProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER + 1) ++gCalls[N];
  return CallWindowProcW(gOld[N], h, m, w, l);
}
LRESULT AnsiSub(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER + 1) ++gCalls[0];
  return CallWindowProcA(gOld[0], h, m, w, l);
}

TEST_F(WindowTest, NestedSubclassesRestoredOutOfOrder) {
  HWND h = Top();
  WNDPROC orig = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC));
  gOld[0] = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubProc<0>)));
  gOld[1] = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubProc<1>)));
  gOld[2] = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubProc<2>)));
  EXPECT_EQ(gOld[0], orig);
  std::memset(gCalls, 0, sizeof gCalls);
  SendMessageW(h, WM_USER + 1, 0, 0);
  EXPECT_EQ(gCalls[0] + gCalls[1] + gCalls[2], 3);
  // The middle one restores first: the window procedure becomes what it saved (the
  // first subclass); the outer one, restoring later, puts back the middle one's.
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gOld[1]));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)), &SubProc<0>);
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gOld[2]));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)), &SubProc<1>);
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gOld[0]));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)), orig);
  std::memset(gCalls, 0, sizeof gCalls);
  SendMessageW(h, WM_USER + 1, 0, 0);
  EXPECT_EQ(gCalls[0] + gCalls[1] + gCalls[2], 0);
}

TEST_F(WindowTest, AnsiSubclassOfWideWindowConvertsAndRestores) {
  HWND h = Top();
  gOld[0] = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AnsiSub)));
  EXPECT_FALSE(IsWindowUnicode(h));
  // What the ANSI side got back is not the wide procedure itself but stands for it.
  EXPECT_NE(gOld[0], &CALLBACK_TestProc);
  std::memset(gCalls, 0, sizeof gCalls);
  EXPECT_TRUE(SetWindowTextW(h, u"\u4e2d"));
  WCHAR w[4];
  EXPECT_EQ(GetWindowTextW(h, w, 4), 1);
  EXPECT_EQ(w[0], u'\u4e2d');
  SendMessageW(h, WM_USER + 1, 0, 0);
  EXPECT_EQ(gCalls[0], 1);
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gOld[0]));
  EXPECT_TRUE(IsWindowUnicode(h));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)), &CALLBACK_TestProc);
}

// ---- CBT hooks ---------------------------------------------------------------------------------------
std::vector<std::pair<int, HWND>> gCbt;
HHOOK gHook;
int gCreateCalls;
LRESULT CbtSubclass(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_CREATE) ++gCreateCalls;
  return CallWindowProcW(gOld[0], h, m, w, l);
}
std::vector<std::u16string> gCbtCreatedTops;  // class names of the top-level windows created
LRESULT CbtProc(int code, WPARAM wp, LPARAM lp) {
  gCbt.emplace_back(code, reinterpret_cast<HWND>(wp));
  if (code == HCBT_CREATEWND) {
    auto cbt = reinterpret_cast<CBT_CREATEWNDW*>(lp);
    WCHAR cls[64] = {};
    GetClassNameW(reinterpret_cast<HWND>(wp), cls, 64);
    if (!(cbt->lpcs->style & WS_CHILD)) gCbtCreatedTops.push_back(cls);
    if (!(cbt->lpcs->style & WS_CHILD))
      gOld[0] = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(reinterpret_cast<HWND>(wp), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CbtSubclass)));
  }
  return CallNextHookEx(gHook, code, wp, lp);
}

TEST_F(WindowTest, CbtHookSeesCreateActivateDestroyAndItsSubclassSurvives) {
  gCbt.clear();
  gCreateCalls = 0;
  gHook = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(gHook);
  KvSpyStart(nullptr);
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  ASSERT_TRUE(h);
  EXPECT_EQ(gCreateCalls, 1);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)), &CbtSubclass);
  // HCBT_CREATEWND comes before WM_GETMINMAXINFO.
  auto all = kv::SpyRecords([](const KVSPYRECORD& r) { return r.kind == KV_SPY_HOOK || r.kind == KV_SPY_SENT; });
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(all[0].kind, static_cast<DWORD>(KV_SPY_HOOK));
  EXPECT_EQ(all[0].code, HCBT_CREATEWND);
  EXPECT_EQ(all[1].message, static_cast<UINT>(WM_GETMINMAXINFO));
  DestroyWindow(h);
  std::vector<int> codes;
  for (auto& [code, hwnd] : gCbt)
    if (hwnd == h && code != HCBT_SETFOCUS) codes.push_back(code);
  EXPECT_EQ(codes, (std::vector<int>{HCBT_CREATEWND, HCBT_ACTIVATE, HCBT_DESTROYWND}));
  // The platform's own top-level windows pass the hook too: a popup menu's and a
  // dialog's, each created and destroyed.
  gCbtCreatedTops.clear();
  gCbt.clear();
  HWND owner = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, 1, u"x");
  TrackPopupMenu(m, TPM_RETURNCMD, 10, 10, 0, owner, nullptr);
  DestroyMenu(m);
  struct {
    DLGTEMPLATE t;
    WORD menu, cls, title;
  } dlg{};
  dlg.t.style = WS_POPUP | WS_CAPTION;
  dlg.t.cx = 50;
  dlg.t.cy = 30;
  DialogBoxIndirectParamW(nullptr, &dlg.t, owner, nullptr, 0);  // no input: ends at once
  DestroyWindow(owner);
  EXPECT_EQ(gCbtCreatedTops, (std::vector<std::u16string>{u"KvTest", u"#32768", u"#32770"}));
  int created = 0, destroyed = 0;
  for (auto& [code, hwnd] : gCbt) {
    created += code == HCBT_CREATEWND;
    destroyed += code == HCBT_DESTROYWND;
  }
  EXPECT_EQ(created, destroyed);
  EXPECT_TRUE(UnhookWindowsHookEx(gHook));
  EXPECT_FALSE(UnhookWindowsHookEx(gHook));
}

LRESULT RefuseCreate(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) return 1;
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(WindowTest, CbtHookCanRefuseCreation) {
  HHOOK hk = SetWindowsHookExW(WH_CBT, RefuseCreate, nullptr, 0);
  KvSpyStart(nullptr);
  EXPECT_EQ(Top(), nullptr);
  EXPECT_TRUE(Delivered().empty());
  UnhookWindowsHookEx(hk);
  EXPECT_TRUE(Top());
  EXPECT_EQ(SetWindowsHookExW(WH_CBT, RefuseCreate, nullptr, GetCurrentThreadId() + 1), nullptr);
}

TEST_F(WindowTest, OwnedWindowsAndFindWindow) {
  HWND owner = Top(WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, u"Owner");
  HWND popup = CreateWindowExW(0, u"KvTest", u"Popup", WS_POPUP, 0, 0, 50, 50, owner, nullptr, nullptr, nullptr);
  ASSERT_TRUE(popup);
  EXPECT_EQ(GetWindow(popup, GW_OWNER), owner);
  EXPECT_EQ(GetParent(popup), owner);  // a popup's parent is its owner
  EXPECT_EQ(FindWindowW(u"KvTest", u"Popup"), popup);
  EXPECT_EQ(FindWindowA("kvtest", "Owner"), owner);
  EXPECT_EQ(FindWindowExW(nullptr, popup, u"KvTest", u"Popup"), nullptr);
  DestroyWindow(owner);  // owned windows go with their owner
  EXPECT_FALSE(IsWindow(popup));
}

TEST_F(WindowTest, StylesAndLongs) {
  HWND h = Top();
  KvSpyStart(h);
  LONG old = GetWindowLongW(h, GWL_STYLE);
  SetWindowLongW(h, GWL_STYLE, old & ~WS_MAXIMIZEBOX);
  EXPECT_SEQ(Delivered(), WithW(Sent(WM_STYLECHANGING, h), static_cast<WPARAM>(GWL_STYLE)),
             WithW(Sent(WM_STYLECHANGED, h), static_cast<WPARAM>(GWL_STYLE)));
  EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & WS_MAXIMIZEBOX, 0);
  SetWindowLongPtrW(h, GWLP_USERDATA, 1234);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 1234);
  EXPECT_EQ(GetWindowLongW(h, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

TEST_F(WindowTest, MappingAndWindowFromPointHonourRegions) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 100, 100, 200, 200);
  HWND c = Child(h, WS_CHILD | WS_VISIBLE, 10, 10, 50, 50);
  POINT p{0, 0};
  ClientToScreen(c, &p);
  EXPECT_EQ(p.x, 110);
  EXPECT_EQ(p.y, 110);
  EXPECT_EQ(WindowFromPoint(POINT{120, 120}), c);
  EXPECT_EQ(WindowFromPoint(POINT{250, 250}), h);
  EXPECT_EQ(WindowFromPoint(POINT{350, 350}), nullptr);
  // A round window region: its corners belong to nothing.
  SetWindowRgn(h, CreateEllipticRgn(0, 0, 200, 200), TRUE);
  EXPECT_EQ(WindowFromPoint(POINT{101, 101}), nullptr);
  EXPECT_EQ(WindowFromPoint(POINT{200, 200}), h);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(h, copy), ERROR);
  EXPECT_TRUE(PtInRegion(copy, 100, 100));
  DeleteObject(copy);
  // A disabled child gives the point to its parent.
  EXPECT_EQ(WindowFromPoint(POINT{150, 150}), c);
  EnableWindow(c, FALSE);
  EXPECT_EQ(WindowFromPoint(POINT{150, 150}), h);
  POINT pts[1] = {{0, 0}};
  MapWindowPoints(c, h, pts, 1);
  EXPECT_EQ(pts[0].x, 10);
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

class TreeTest : public UserTest {};

BOOL CollectChild(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

TEST_F(TreeTest, SetParentAndEnumChildWindows) {
  HWND a = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
  HWND b = Top(WS_POPUP | WS_VISIBLE, 300, 0, 200, 200);
  HWND c = Child(a, WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, 1);
  HWND g = Child(c, WS_CHILD | WS_VISIBLE, 1, 1, 5, 5, 2);
  std::vector<HWND> kids;
  EnumChildWindows(a, CollectChild, reinterpret_cast<LPARAM>(&kids));
  EXPECT_EQ(kids, (std::vector<HWND>{c, g}));
  EXPECT_EQ(SetParent(c, b), a);
  EXPECT_EQ(GetParent(c), b);
  EXPECT_TRUE(IsChild(b, g));
  EXPECT_EQ(GetAncestor(g, GA_ROOT), b);
  POINT p{0, 0};
  ClientToScreen(c, &p);
  EXPECT_EQ(p.x, 310);  // the same position, now in the new parent
  // A window cannot become its own descendant's child.
  EXPECT_EQ(SetParent(b, g), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  kids.clear();
  EnumChildWindows(a, CollectChild, reinterpret_cast<LPARAM>(&kids));
  EXPECT_TRUE(kids.empty());
}

TEST_F(TreeTest, PrintDrawsTheTreeIntoAMemoryDC) {
  HWND h = Top(WS_POPUP | WS_BORDER, 0, 0, 60, 40);  // hidden: printing does not need the screen
  Handlers()[WM_PRINTCLIENT] = [](HWND hwnd, UINT, WPARAM wp, LPARAM, bool* handled) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wp), &r, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    *handled = true;
    return LRESULT(0);
  };
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(mem, 60, 40);
  HGDIOBJ old = SelectObject(mem, bmp);
  SendMessageW(h, WM_PRINT, reinterpret_cast<WPARAM>(mem), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
  EXPECT_EQ(GetPixel(mem, 0, 0), GetSysColor(COLOR_WINDOWFRAME));  // the border
  EXPECT_EQ(GetPixel(mem, 30, 20), RGB(0, 0, 0));                  // the client, offset by it
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

std::string gAnsiName;
int gHookCx;
LRESULT AnsiCbt(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    auto cbt = reinterpret_cast<CBT_CREATEWNDA*>(lp);
    gAnsiName = cbt->lpcs->lpszName ? cbt->lpcs->lpszName : "";
    cbt->lpcs->cx = 250;  // the hook may change the size before WM_GETMINMAXINFO
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
LRESULT WideCbt(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) gHookCx = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs->cx;
  return CallNextHookEx(nullptr, code, wp, lp);
}

class HookFormsTest : public UserTest {};

TEST_F(HookFormsTest, EachCbtHookGetsTheCreateStructOfItsOwnSide) {
  HHOOK w = SetWindowsHookExW(WH_CBT, WideCbt, nullptr, 0);  // called second
  HHOOK a = SetWindowsHookExA(WH_CBT, AnsiCbt, nullptr, 0);  // newest: called first
  gAnsiName.clear();
  gHookCx = 0;
  HWND h =
      CreateWindowExW(0, u"KvTest", u"\u4e2d", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(h);
  EXPECT_EQ(gAnsiName, "\xd6\xd0");  // GBK
  EXPECT_EQ(gHookCx, 250);           // what the first hook changed reaches the next
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.right - r.left, 250);
  UnhookWindowsHookEx(a);
  UnhookWindowsHookEx(w);
}

}  // namespace
}  // namespace kvtest
