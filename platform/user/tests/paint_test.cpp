// Painting: backing surfaces, BeginPaint/EndPaint, the default frame, DCs and
// screenshots, probed at a few pixels.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/base/error.h"
#include "testsupport/temp_home.h"
#include "platform/user/tests/user_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

using kv::DefProc;
using kv::Posted;
using kv::Sent;

class PaintTest : public UserTest {};

COLORREF Sys(int i) { return GetSysColor(i); }

TEST_F(PaintTest, DefaultFrameAndBackgroundOnTheSurface) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150, u"");
  KvPumpMessages();
  // Active caption, 3-D frame edge, window background in the client area.
  EXPECT_EQ(KvWindowGetPixel(h, 40, 10), Sys(COLOR_ACTIVECAPTION));
  EXPECT_EQ(KvWindowGetPixel(h, 0, 75), Sys(COLOR_3DLIGHT));
  EXPECT_EQ(KvWindowGetPixel(h, 100, 100), Sys(COLOR_WINDOW));
  // Another window takes the activation: the caption turns inactive.
  HWND other = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 0, 100, 100);
  KvPumpMessages();
  EXPECT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(KvWindowGetPixel(h, 40, 10), Sys(COLOR_INACTIVECAPTION));
  EXPECT_EQ(KvWindowGetPixel(h, 500, 10), CLR_INVALID);
}

TEST_F(PaintTest, BeginPaintClipsToTheUpdateRegionAndEndPaintValidates) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  KvPumpMessages();
  RECT paint{};
  Handlers()[WM_PAINT] = [&](HWND hwnd, UINT, WPARAM, LPARAM, bool* handled) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    paint = ps.rcPaint;
    RECT all{0, 0, 100, 100};
    FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndPaint(hwnd, &ps);
    *handled = true;
    return LRESULT(0);
  };
  RECT part{10, 10, 30, 30};
  InvalidateRect(h, &part, FALSE);
  RECT u;
  EXPECT_TRUE(GetUpdateRect(h, &u, FALSE));
  EXPECT_EQ(u.left, 10);
  KvPumpMessages();
  EXPECT_EQ(paint.left, 10);
  EXPECT_EQ(paint.bottom, 30);
  EXPECT_EQ(KvWindowGetPixel(h, 15, 15), RGB(0, 0, 0));
  EXPECT_EQ(KvWindowGetPixel(h, 50, 50), Sys(COLOR_WINDOW));  // outside the update region
  EXPECT_FALSE(GetUpdateRect(h, &u, FALSE));
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(PaintTest, ChildDrawsIntoItsTopLevelSurfaceOnlyWithinItself) {
  HWND h = Top(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 100, 100);
  HWND c = Child(h, WS_CHILD | WS_VISIBLE, 20, 20, 30, 30);
  KvPumpMessages();
  HDC dc = GetDC(c);
  ASSERT_TRUE(dc);
  EXPECT_EQ(WindowFromDC(dc), c);
  RECT big{-50, -50, 200, 200};
  FillRect(dc, &big, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(c, dc);
  EXPECT_EQ(KvWindowGetPixel(h, 25, 25), RGB(0, 0, 0));
  EXPECT_EQ(KvWindowGetPixel(h, 60, 60), Sys(COLOR_WINDOW));
  EXPECT_EQ(KvWindowGetPixel(c, 0, 0), RGB(0, 0, 0));
  // The parent's DC leaves the clipped child alone.
  dc = GetDC(h);
  RECT white{0, 0, 100, 100};
  FillRect(dc, &white, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(h, dc);
  EXPECT_EQ(KvWindowGetPixel(h, 25, 25), RGB(0, 0, 0));
  EXPECT_EQ(KvWindowGetPixel(h, 10, 10), RGB(255, 255, 255));
}

TEST_F(PaintTest, RedrawWindowFrameSendsNcPaint) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  KvPumpMessages();
  KvSpyStart(h);
  RedrawWindow(h, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  auto got = Only({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT});
  EXPECT_SEQ(got, Sent(WM_NCPAINT, h), Sent(WM_PAINT, h));
  KvSpyStart(h);
  SetWindowRgn(h, CreateRectRgn(0, 0, 100, 100), TRUE);
  KvPumpMessages();
  got = Only({WM_NCPAINT, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_NCCALCSIZE});
  EXPECT_SEQ(got, Sent(WM_WINDOWPOSCHANGING, h), Sent(WM_NCCALCSIZE, h), Sent(WM_NCPAINT, h),
             Sent(WM_WINDOWPOSCHANGED, h));
}

TEST_F(PaintTest, ScreenshotWritesAPng) {
  TempHome home;
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 120, 80, u"Shot");
  HWND b = CreateWindowExW(0, u"Button", u"OK", WS_CHILD | WS_VISIBLE, 10, 10, 60, 24, h, reinterpret_cast<HMENU>(1),
                           nullptr, nullptr);
  ASSERT_TRUE(b);
  std::string path = home.path() + "/shot.png";
  ASSERT_TRUE(KvWindowScreenshot(h, path.c_str()));
  std::ifstream f(path, std::ios::binary);
  char sig[8] = {};
  f.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
  EXPECT_TRUE(KvWindowScreenshot(b, (home.path() + "/button.png").c_str()));
  EXPECT_FALSE(KvWindowScreenshot(h, "/nonexistent-dir/x.png"));
  EXPECT_FALSE(KvWindowScreenshot(h, ""));
}

TEST_F(PaintTest, ResizeKeepsPixelsAndInvalidatesWhatIsNew) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
  KvPumpMessages();
  HDC dc = GetDC(h);
  RECT r{0, 0, 10, 10};
  FillRect(dc, &r, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(h, dc);
  KvSpyStart(h);
  MoveWindow(h, 0, 0, 80, 60, TRUE);
  auto got = Only({WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE});
  EXPECT_SEQ(got, Sent(WM_WINDOWPOSCHANGING, h), Sent(WM_NCCALCSIZE, h), Sent(WM_WINDOWPOSCHANGED, h),
             kv::WithL(Sent(WM_SIZE, h), MAKELPARAM(80, 60)));
  RECT u;
  ASSERT_TRUE(GetUpdateRect(h, &u, FALSE));
  EXPECT_EQ(u.right, 80);
  EXPECT_EQ(KvWindowGetPixel(h, 5, 5), RGB(0, 0, 0));         // kept
  EXPECT_EQ(KvWindowGetPixel(h, 70, 55), Sys(COLOR_WINDOW));  // painted after the resize
}

TEST_F(PaintTest, IconsDrawThroughTheirMask) {
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP target = CreateBitmap(40, 40, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(mem, target);
  RECT all{0, 0, 40, 40};
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(mem, &all, green);
  // A 4 x 4 icon: red where the mask is 0, transparent where it is 1 (the right half).
  HBITMAP color = CreateBitmap(4, 4, 1, 32, nullptr);
  HBITMAP mask = CreateBitmap(4, 4, 1, 1, nullptr);
  HDC tmp = CreateCompatibleDC(nullptr);
  HGDIOBJ t0 = SelectObject(tmp, color);
  RECT left{0, 0, 2, 4}, right{2, 0, 4, 4}, whole{0, 0, 4, 4};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(tmp, &whole, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  FillRect(tmp, &left, red);
  SelectObject(tmp, mask);
  FillRect(tmp, &left, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  FillRect(tmp, &right, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(tmp, t0);
  DeleteDC(tmp);
  ICONINFO ii{TRUE, 0, 0, mask, color};
  HICON icon = CreateIconIndirect(&ii);
  ASSERT_TRUE(icon);
  DeleteObject(color);  // the icon keeps copies
  DeleteObject(mask);
  ASSERT_TRUE(DrawIconEx(mem, 10, 10, icon, 8, 8, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(GetPixel(mem, 11, 11), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(mem, 16, 11), RGB(0, 255, 0));  // stretched right half: background
  ICONINFO back{};
  ASSERT_TRUE(GetIconInfo(icon, &back));
  BITMAP bm{};
  GetObjectW(back.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 4);
  DeleteObject(back.hbmColor);
  DeleteObject(back.hbmMask);
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(DestroyIcon(icon));
  // The platform's own icon draws at its 32 x 32 size.
  HICON app = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  EXPECT_TRUE(DrawIcon(mem, 0, 0, app));
  EXPECT_NE(GetPixel(mem, 5, 5), RGB(0, 255, 0));
  EXPECT_EQ(LoadIconA(reinterpret_cast<HINSTANCE>(0x400000), "MAINICON"), nullptr);
  SelectObject(mem, old);
  DeleteObject(target);
  DeleteObject(green);
  DeleteObject(red);
  DeleteDC(mem);
}

TEST_F(PaintTest, HugeSizesAreBoundedInsteadOfExhaustingMemory) {
  HWND h = CreateWindowExW(0, u"KvTest", u"", WS_POPUP | WS_VISIBLE, 2000000000, -2000000000, 2000000000, 2000000000,
                           nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(h);
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.right - r.left, 32767);
  EXPECT_EQ(r.left, 32767);
  ASSERT_TRUE(SetWindowPos(h, nullptr, 0, 0, 100000, 100000, SWP_NOZORDER));
  GetWindowRect(h, &r);
  EXPECT_EQ(r.bottom - r.top, 32767);
  KvPumpMessages();
  // Pixels are kept for the first 4096 of each side; beyond that there is nothing.
  EXPECT_EQ(KvWindowGetPixel(h, 10, 10), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(KvWindowGetPixel(h, 5000, 10), CLR_INVALID);
  DestroyWindow(h);
}

TEST_F(PaintTest, ScrollWindowMovesPixelsAndInvalidatesWhatItUncovers) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  HWND c = Child(h, WS_CHILD | WS_VISIBLE, 50, 50, 10, 10);
  KvPumpMessages();
  HDC dc = GetDC(h);
  RECT r{0, 0, 10, 10};
  FillRect(dc, &r, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(h, dc);
  RECT uncovered;
  EXPECT_EQ(ScrollWindowEx(h, 0, 20, nullptr, nullptr, nullptr, &uncovered, SW_INVALIDATE | SW_SCROLLCHILDREN),
            SIMPLEREGION);
  EXPECT_EQ(uncovered.top, 0);
  EXPECT_EQ(uncovered.bottom, 20);
  RECT u;
  ASSERT_TRUE(GetUpdateRect(h, &u, FALSE));
  EXPECT_EQ(u.top, 0);
  // Before any repaint the moved pixels are already in place.
  dc = GetDC(h);
  EXPECT_EQ(GetPixel(dc, 5, 25), RGB(0, 0, 0));
  EXPECT_NE(GetPixel(dc, 5, 35), RGB(0, 0, 0));
  ReleaseDC(h, dc);
  RECT cr;
  GetWindowRect(c, &cr);
  EXPECT_EQ(cr.top, 70);
}

}  // namespace
}  // namespace kvtest
