// present_bench: 1,000 repaints of a presented 1280 x 800 window, each of one changed
// 100 x 100 rectangle, against SDL's own fill and update of the same rectangles on a
// window of the same size, in one run. Prints frames per second of each and the share of
// a frame spent presenting (the copy to the native window and its update). Starts its
// own Xvfb when no DISPLAY is set.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/gdi/gdi.h"
#include "platform/user/user.h"
#include "testsupport/xvfb.h"

namespace {

constexpr int kWidth = 1280, kHeight = 800, kSide = 100, kFrames = 1000;
using Clock = std::chrono::steady_clock;

RECT FrameRect(int i) {
  int x = (i * 97) % (kWidth - kSide), y = (i * 61) % (kHeight - kSide);
  return RECT{x, y, x + kSide, y + kSide};
}

COLORREF FrameColour(int i) { return RGB(i * 7 & 0xFF, i * 13 & 0xFF, i * 29 & 0xFF); }

int gFrame = 0;

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    HBRUSH b = CreateSolidBrush(FrameColour(gFrame));
    FillRect(hdc, &ps.rcPaint, b);
    DeleteObject(b);
    EndPaint(hwnd, &ps);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// Runs the queue until nothing is left (the presenter copies what was drawn).
void Drain() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

}  // namespace

int main() {
  kvtest::Xvfb server;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    if (!kvtest::OnPath("Xvfb") || !server.Start()) {
      std::fprintf(stderr, "present_bench: no DISPLAY and no Xvfb to start\n");
      return 1;
    }
  }
  unsetenv("KORVANE_HEADLESS");

  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = u"PresentBench";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, u"PresentBench", u"present_bench", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                              nullptr, nullptr, nullptr, nullptr);
  Drain();
  Drain();
  // Presenting: the first look at the queue after painting copies the damage.
  double paintS = 0, presentS = 0;
  auto start = Clock::now();
  for (gFrame = 0; gFrame < kFrames; ++gFrame) {
    RECT r = FrameRect(gFrame);
    auto t0 = Clock::now();
    InvalidateRect(hwnd, &r, FALSE);
    UpdateWindow(hwnd);
    auto t1 = Clock::now();
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
    auto t2 = Clock::now();
    paintS += std::chrono::duration<double>(t1 - t0).count();
    presentS += std::chrono::duration<double>(t2 - t1).count();
  }
  double oursS = std::chrono::duration<double>(Clock::now() - start).count();
  DestroyWindow(hwnd);
  Drain();

  // SDL alone: fill the rectangle on the window surface and update it.
  SDL_InitSubSystem(SDL_INIT_VIDEO);
  SDL_Window* win = SDL_CreateWindow("sdl", 0, 0, kWidth, kHeight, SDL_WINDOW_BORDERLESS);
  SDL_Surface* surface = SDL_GetWindowSurface(win);
  if (!win || !surface) {
    std::fprintf(stderr, "present_bench: SDL window failed: %s\n", SDL_GetError());
    return 1;
  }
  SDL_FillRect(surface, nullptr, 0xFFFFFF);
  SDL_UpdateWindowSurface(win);
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
  }
  start = Clock::now();
  for (int i = 0; i < kFrames; ++i) {
    RECT r = FrameRect(i);
    SDL_Rect sr{static_cast<int>(r.left), static_cast<int>(r.top), kSide, kSide};
    COLORREF c = FrameColour(i);
    SDL_FillRect(surface, &sr, SDL_MapRGB(surface->format, GetRValue(c), GetGValue(c), GetBValue(c)));
    SDL_UpdateWindowSurfaceRects(win, &sr, 1);
    while (SDL_PollEvent(&e)) {
    }
  }
  double sdlS = std::chrono::duration<double>(Clock::now() - start).count();
  SDL_DestroyWindow(win);

  std::printf("present_bench: %d repaints of a %dx%d window, %dx%d changed each\n", kFrames, kWidth, kHeight, kSide,
              kSide);
  std::printf("  presented window: %8.0f frames/s  (paint %.1f us, present %.1f us a frame; presenting %.0f%%)\n",
              kFrames / oursS, paintS * 1e6 / kFrames, presentS * 1e6 / kFrames, 100.0 * presentS / oursS);
  std::printf("  SDL fill+update:  %8.0f frames/s\n", kFrames / sdlS);
  std::printf("  ratio (SDL / presented): %.2f\n", (kFrames / sdlS) / (kFrames / oursS));
  return 0;
}
