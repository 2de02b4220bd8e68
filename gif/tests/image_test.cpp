// TGIFImage: drawing, the animation painter, optimisation, copying, the clipboard and the
// picture-format registration.
#include <gtest/gtest.h>

#include <thread>

#include "framework/graphics/clipbrd.h"
#include "gif/tests/gif_test_util.h"
#include "gif/texts.h"
#include "platform/base/time.h"
#include "platform/user/user.h"

using namespace giftest;

namespace {

constexpr TColor kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

TGIFSubImage* AddFrame(TGIFImage& image, int left, int top, int w, int h, BYTE index, int delay = -1, int disposal = -1,
                       int transparent = -1) {
  auto* f = new TGIFSubImage(&image);
  f->SetBoundsRect(left, top, w, h);
  std::memset(f->Data(), index, f->DataSize());
  if (delay >= 0 || disposal >= 0 || transparent >= 0) {
    auto* gce = new TGIFGraphicControlExtension(f);
    f->Extensions()->Add(gce);
    gce->SetDelay(std::max(delay, 0));
    gce->SetDisposal(std::max(disposal, 0));
    if (transparent >= 0) {
      gce->SetTransparentColorIndex(transparent);
      gce->SetTransparent(true);
    }
  }
  image.Images()->Add(f);
  return f;
}

void Palette4(TGIFImage& image) {
  for (TColor c : {kRed, kGreen, kBlue, kWhite}) image.GlobalColorMap()->Add(c);
  image.Header()->SetBackgroundColorIndex(3);
}

// The four colours on an 8 x 8 screen.
void Screen8x8(TGIFImage& image) {
  Palette4(image);
  image.Header()->SetWidth(8);
  image.Header()->SetHeight(8);
}

std::unique_ptr<TBitmap> Target(int w, int h, TColor fill) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(w, h);
  bitmap->Canvas()->Brush()->SetColor(fill);
  bitmap->Canvas()->FillRect(Rect(0, 0, w, h));
  return bitmap;
}

using Snapshot = std::vector<TColor>;
Snapshot Snap(TCanvas* canvas, int w, int h) {
  Snapshot s;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.push_back(canvas->Pixels(x, y) & 0xFFFFFF);
  return s;
}

TEST(Draw, SingleFrameIsScaledFromItsPlaceWithoutAThread) {
  TGIFImage image;
  Screen8x8(image);
  AddFrame(image, 2, 2, 4, 4, 1);
  auto target = Target(16, 16, kWhite);
  target->Canvas()->StretchDraw(Rect(0, 0, 16, 16), &image);
  EXPECT_EQ(image.Painters()->LockList()->Count(), 0);
  image.Painters()->UnlockList();
  EXPECT_EQ(target->Canvas()->Pixels(3, 3) & 0xFFFFFF, kWhite);
  EXPECT_EQ(target->Canvas()->Pixels(4, 4) & 0xFFFFFF, kGreen);
  EXPECT_EQ(target->Canvas()->Pixels(11, 11) & 0xFFFFFF, kGreen);
  EXPECT_EQ(target->Canvas()->Pixels(12, 12) & 0xFFFFFF, kWhite);
}

TEST(Draw, TransparentFrameKeepsTheDestinationUnderItsMask) {
  for (int scale : {1, 2}) {
    TGIFImage image;
    Palette4(image);
    TGIFSubImage* f = AddFrame(image, 0, 0, 4, 4, 1, 0, 0, 0);
    f->SetPixels(0, 0, 0);
    f->SetPixels(3, 3, 0);
    auto target = Target(4 * scale, 4 * scale, kBlue);
    image.Draw(target->Canvas(), Rect(0, 0, 4 * scale, 4 * scale));
    EXPECT_EQ(target->Canvas()->Pixels(0, 0) & 0xFFFFFF, kBlue) << scale;
    EXPECT_EQ(target->Canvas()->Pixels(scale, 0) & 0xFFFFFF, kGreen) << scale;
    EXPECT_EQ(target->Canvas()->Pixels(4 * scale - 1, 4 * scale - 1) & 0xFFFFFF, kBlue) << scale;
  }
}

TEST(Draw, DefaultsDitherOnlyOnPalettedScreens) {
  for (bool paletted : {false, true}) {
    SCOPED_TRACE(paletted);
    TGIFImage::AutoDither = paletted;
    TGIFImage image;
    image.GlobalColorMap()->Add(0x808080);
    AddFrame(image, 0, 0, 2, 2, 0);
    auto target = Target(2, 2, kWhite);
    image.Draw(target->Canvas(), Rect(0, 0, 2, 2));
    for (int x = 0; x < 2; ++x) {
      TColor c = target->Canvas()->Pixels(x, 0) & 0xFFFFFF;
      int red = c & 0xFF;
      if (paletted) {
        EXPECT_TRUE(red == 0x66 || red == 0x99) << red;  // web-safe neighbours of 0x80
      } else {
        EXPECT_EQ(c, 0x808080);
      }
    }
  }
  TGIFImage::AutoDither = false;
}

// An 8x8 animation: red screen, a green square cleared afterwards, a blue square, a
// green corner restored afterwards; looped Loops times.
void MakeAnimation(TGIFImage& image, int Loops) {
  Screen8x8(image);
  TGIFSubImage* f0 = AddFrame(image, 0, 0, 8, 8, 0, 5, 1);
  auto* loop = new TGIFAppExtNSLoop(f0);
  loop->SetLoops(Loops);
  f0->Extensions()->Add(loop);
  AddFrame(image, 0, 0, 4, 4, 1, 1, 2);
  AddFrame(image, 4, 4, 4, 4, 2, 0, 1);
  AddFrame(image, 6, 0, 2, 2, 1, 0, 3);
}

struct Recorder {
  std::vector<std::string> events;
  std::vector<DWORD> due;
  std::vector<Snapshot> frames;
  TCanvas* canvas = nullptr;
  void Attach(TGIFImage& image, TCanvas* target) {
    canvas = target;
    image.OnAnimationStart = [this](TObject*) { events.push_back("start"); };
    image.OnLoopPass = [this](TObject*) { events.push_back("loop"); };
    image.OnAnimationEnd = [this](TObject*) { events.push_back("end"); };
    image.OnFrameDue = [this](TObject*) { due.push_back(KvClockNow()); };
    image.OnFramePainted = [this](TObject* sender) {
      events.push_back("frame" + std::to_string(static_cast<TGIFPainter*>(sender)->ActiveImage()));
      frames.push_back(Snap(canvas, 8, 8));
    };
  }
  bool Ended() const { return !events.empty() && events.back() == "end"; }
};

struct VirtualClock {
  VirtualClock() { KvClockSetVirtual(TRUE); }
  ~VirtualClock() { KvClockSetVirtual(FALSE); }
};

// Runs the main thread's side until Done: synchronised calls, and virtual time whenever
// the painter waits for it.
template <class F>
void Pump(F Done) {
  for (long i = 0; i < 5000000 && !Done(); ++i) {
    if (CheckSynchronize(0)) continue;
    if (KvClockWaiterCount() > 0)
      KvClockAdvance(1);
    else
      std::this_thread::yield();
  }
  ASSERT_TRUE(Done());
}

Snapshot Expected(int frame) {
  Snapshot s(64, kRed);
  auto square = [&s](int l, int t, int n, TColor c) {
    for (int y = t; y < t + n; ++y)
      for (int x = l; x < l + n; ++x) s[static_cast<size_t>(y * 8 + x)] = c;
  };
  if (frame >= 1) square(0, 0, 4, frame == 1 ? kGreen : kWhite);  // frame 1 is then cleared
  if (frame >= 2) square(4, 4, 4, kBlue);
  if (frame >= 3) square(6, 0, 2, kGreen);
  return s;
}

TEST(Painter, ThreadedPlayFollowsDelaysDisposalAndLoopCount) {
  VirtualClock clock;
  TGIFImage image;
  MakeAnimation(image, 2);
  image.PaintFlags = DrawThreaded | DrawAnimated | DrawLooped | DrawDirect;
  auto target = Target(8, 8, kWhite);
  Recorder rec;
  rec.Attach(image, target->Canvas());
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  Pump([&] { return rec.Ended(); });
  EXPECT_EQ(rec.events, (std::vector<std::string>{"start", "frame0", "frame1", "frame2", "frame3", "loop", "frame0",
                                                  "frame1", "frame2", "frame3", "end"}));
  ASSERT_EQ(rec.frames.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rec.frames[static_cast<size_t>(i)], Expected(i % 4)) << i;
  Pump([] { return TGIFPainter::LiveCount() == 0; });
}

// Unthreaded, the painter's own Sleep moves virtual time: the waits are exact.
TEST(Painter, DelaysAndPlaySpeedGiveTheWaits) {
  VirtualClock clock;
  struct Case {
    int speed;
    bool threaded;
    std::vector<DWORD> due;
  };
  // delays 5, 1 (taken as 3), 0 (taken as 10) and 0 units of 12 ms; an unthreaded
  // painter waits one unit before its first frame
  for (const Case& c :
       std::vector<Case>{{100, false, {12, 72, 108, 228}}, {200, false, {6, 36, 54, 114}}, {-1, true, {0, 0, 0, 0}}}) {
    SCOPED_TRACE(c.speed);
    TGIFImage image;
    MakeAnimation(image, 1);
    image.PaintFlags = DrawAnimated | DrawDirect | (c.threaded ? DrawThreaded : 0);
    image.PlaySpeed = c.speed;
    auto target = Target(8, 8, kWhite);
    Recorder rec;
    rec.Attach(image, target->Canvas());
    DWORD t0 = KvClockNow();
    image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
    Pump([&] { return rec.Ended(); });
    std::vector<DWORD> due;
    for (DWORD d : rec.due) due.push_back(d - t0);
    EXPECT_EQ(due, c.due);
  }
  Pump([] { return TGIFPainter::LiveCount() == 0; });
}

TEST(Painter, SpeedZeroWaitsUntilStopped) {
  VirtualClock clock;
  auto target = Target(8, 8, kWhite);
  int painted = 0;
  {
    TGIFImage image;
    MakeAnimation(image, 1);
    image.PaintFlags = DrawThreaded | DrawAnimated | DrawDirect;
    image.PlaySpeed = 0;
    image.OnFramePainted = [&](TObject*) { ++painted; };
    image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
    Pump([&] { return painted == 1; });
    KvClockAdvance(1000000);
    for (int i = 0; i < 1000; ++i) CheckSynchronize(0);
    EXPECT_EQ(painted, 1);
  }
  Pump([] { return TGIFPainter::LiveCount() == 0; });
}

TEST(Painter, UnthreadedPlayRunsInsideTheDrawCall) {
  VirtualClock clock;
  for (int loops : {3, 0}) {
    TGIFImage image;
    MakeAnimation(image, loops);
    image.PaintFlags = DrawAnimated | DrawLooped | DrawDirect;
    auto target = Target(8, 8, kWhite);
    Recorder rec;
    rec.Attach(image, target->Canvas());
    image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
    EXPECT_TRUE(rec.Ended());
    // a count of 0 plays once without a thread
    EXPECT_EQ(rec.frames.size(), loops == 3 ? 12u : 4u);
    EXPECT_EQ(rec.frames.back(), Expected(3));
    EXPECT_EQ(image.DrawPainter(), nullptr);
  }
  EXPECT_EQ(TGIFPainter::LiveCount(), 0);
}

TEST(Painter, ComposedDrawShowsTheFirstFrameBeforeItReturns) {
  VirtualClock clock;
  auto target = Target(16, 16, kWhite);
  {
    auto image = std::make_unique<TGIFImage>();
    MakeAnimation(*image, 0);                           // endless
    image->Draw(target->Canvas(), Rect(0, 0, 16, 16));  // default flags: threaded, composed
    EXPECT_EQ(target->Canvas()->Pixels(15, 15) & 0xFFFFFF, kRed);
    ASSERT_NE(image->DrawPainter(), nullptr);
    Pump([&] { return KvClockWaiterCount() > 0; });
  }  // freeing the image stops and detaches the painter
  Pump([] { return TGIFPainter::LiveCount() == 0; });
}

TEST(Painter, FreeingTheImageWhileItPlaysStopsThePainter) {
  VirtualClock clock;
  auto target = Target(8, 8, kWhite);
  int painted = 0;
  {
    TGIFImage image;
    MakeAnimation(image, 0);
    image.PaintFlags = DrawThreaded | DrawAnimated | DrawLooped | DrawDirect;
    image.OnFramePainted = [&](TObject*) { ++painted; };
    image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
    Pump([&] { return painted >= 6; });
  }
  Pump([] { return TGIFPainter::LiveCount() == 0; });
  int after = painted;
  for (int i = 0; i < 1000; ++i) CheckSynchronize(0);
  EXPECT_EQ(painted, after);
}

TEST(Painter, QuitMessageEndsAnUnthreadedPainterAndStaysQueued) {
  VirtualClock clock;
  TGIFImage image;
  MakeAnimation(image, 3);
  image.PaintFlags = DrawAnimated | DrawLooped | DrawDirect;
  int painted = 0;
  image.OnFramePainted = [&](TObject*) {
    if (++painted == 2) PostQuitMessage(7);
  };
  auto target = Target(8, 8, kWhite);
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  EXPECT_EQ(painted, 2);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(Painter, TransparentFramesRestoreWhatWasUnderTheImage) {
  VirtualClock clock;
  TGIFImage image;
  Screen8x8(image);
  TGIFSubImage* f0 = AddFrame(image, 0, 0, 4, 4, 1, 1, 2, 0);  // green, restore to background
  f0->SetPixels(0, 0, 0);                                      // one clear pixel
  AddFrame(image, 4, 4, 4, 4, 0, 1, 1);                        // red, stays
  image.PaintFlags = DrawAnimated | DrawDirect | DrawTransparent;
  auto target = Target(8, 8, kBlue);
  std::vector<Snapshot> frames;
  image.OnFramePainted = [&](TObject*) { frames.push_back(Snap(target->Canvas(), 8, 8)); };
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0][0], kBlue);  // under the clear pixel
  EXPECT_EQ(frames[0][1], kGreen);
  EXPECT_EQ(frames[0][5 * 8 + 5], kBlue);
  EXPECT_EQ(frames[1][1], kBlue);  // frame 0's area back to what was there
  EXPECT_EQ(frames[1][5 * 8 + 5], kRed);
}

TEST(Painter, HandlerExceptionsReachTheDrawCallOnlyWhenUnthreaded) {
  VirtualClock clock;
  for (bool threaded : {false, true}) {
    SCOPED_TRACE(threaded);
    TGIFImage image;
    MakeAnimation(image, 1);
    image.PaintFlags = DrawAnimated | DrawDirect | (threaded ? DrawThreaded : 0);
    int painted = 0;
    image.OnFramePainted = [&](TObject*) {
      if (++painted == 2) throw Exception("handler failed");
    };
    auto target = Target(8, 8, kWhite);
    if (threaded) {
      image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
      Pump([] { return TGIFPainter::LiveCount() == 0; });
    } else {
      try {
        image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
        FAIL() << "no exception";
      } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "handler failed");
      }
    }
    EXPECT_EQ(painted, 2);  // the painter stopped at the failure
    EXPECT_EQ(image.DrawPainter(), nullptr);
  }
}

TEST(Painter, StopsWhenTheTargetContextGoes) {
  VirtualClock clock;
  for (bool disposals : {true, false}) {  // painting through the backup, or plainly
    SCOPED_TRACE(disposals);
    TGIFImage image;
    MakeAnimation(image, 1);
    if (!disposals)
      for (int i = 0; i < image.Images()->Count(); ++i)
        image.Images()->SubImages(i)->GraphicControlExtension()->SetDisposal(1);
    image.PaintFlags = DrawAnimated | DrawDirect | DrawCheckCanvas;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 8, 8);
    HGDIOBJ old = SelectObject(dc, bitmap);
    TCanvas canvas;
    canvas.SetHandle(dc);
    int painted = 0;
    image.OnFramePainted = [&](TObject*) {
      if (++painted == 1) {
        canvas.SetHandle(nullptr);
        SelectObject(dc, old);
        DeleteDC(dc);
      }
    };
    image.Draw(&canvas, Rect(0, 0, 8, 8));
    EXPECT_EQ(painted, 1);
    DeleteObject(bitmap);
  }
}

TEST(Draw, ForcedFrameIsDrawnWhenNotAnimated) {
  TGIFImage image;
  MakeAnimation(image, 1);
  image.PaintFlags = 0;
  auto target = Target(8, 8, kWhite);
  image.ForcedFrame = 2;
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  EXPECT_EQ(target->Canvas()->Pixels(5, 5) & 0xFFFFFF, kBlue);
  EXPECT_EQ(target->Canvas()->Pixels(1, 1) & 0xFFFFFF, kWhite);
  image.ForcedFrame = 9;  // out of range: frame 0
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  EXPECT_EQ(target->Canvas()->Pixels(5, 5) & 0xFFFFFF, kRed);
}

TEST(Draw, ImpossibleScreenSizeFailsPlainly) {
  TGIFImage image;
  Palette4(image);
  AddFrame(image, 0, 0, 1, 1, 0);
  AddFrame(image, 0, 0, 1, 1, 1);
  image.Header()->SetWidth(65535);
  image.Header()->SetHeight(65535);
  auto target = Target(4, 4, kWhite);
  EXPECT_THROW(image.Draw(target->Canvas(), Rect(0, 0, 4, 4)), EOutOfMemory);
  EXPECT_THROW(image.ComposedBitmap(), EOutOfMemory);
}

TEST(Draw, FrameGivesItsBitmapToAFrameworkBitmap) {
  TGIFImage image;
  Palette4(image);
  AddFrame(image, 0, 0, 3, 2, 2);
  TBitmap bitmap;
  bitmap.Assign(image.Images()->SubImages(0));
  EXPECT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.Canvas()->Pixels(2, 1) & 0xFFFFFF, kBlue);
}

// ---- Optimisation ----------------------------------------------------------------------------

std::vector<Snapshot> Compose(TGIFImage& image) {
  auto target = Target(8, 8, kWhite);
  std::vector<Snapshot> frames;
  image.PaintFlags = DrawAnimated | DrawDirect | DrawTransparent;
  image.OnFramePainted = [&](TObject*) { frames.push_back(Snap(target->Canvas(), 8, 8)); };
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  return frames;
}

TEST(Painter, RestoreToPreviousTakesTheFrameAwayAgain) {
  VirtualClock clock;
  TGIFImage image;
  Screen8x8(image);
  AddFrame(image, 0, 0, 8, 8, 0, 2, 1);  // red
  AddFrame(image, 0, 0, 2, 2, 1, 2, 3);  // green, drawn on the target only
  AddFrame(image, 6, 6, 2, 2, 2, 2, 3);  // blue, after a restore: through the frame buffer
  AddFrame(image, 0, 6, 2, 2, 3, 2, 1);  // white, into the backup
  const std::vector<Snapshot> frames = Compose(image);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[1][0], kGreen);
  EXPECT_EQ(frames[2][0], kRed);
  EXPECT_EQ(frames[2][63], kBlue);
  EXPECT_EQ(frames[3][63], kRed);
  EXPECT_EQ(frames[3][6 * 8], kWhite);
  EXPECT_EQ(frames[3][0], kRed);
}

TEST(Optimize, KeepsWhatTheAnimationShows) {
  VirtualClock clock;
  TGIFImage image;
  Palette4(image);
  image.GlobalColorMap()->Add(0x123456);  // unused entries that the sort drops
  image.GlobalColorMap()->Add(0x654321);
  image.Header()->SetBackgroundColorIndex(5);
  image.Header()->SetWidth(8);
  image.Header()->SetHeight(8);
  AddFrame(image, 0, 0, 8, 8, 0, 2, 1);
  TGIFSubImage* f1 = AddFrame(image, 0, 0, 8, 8, 0, 2, 1);  // same as frame 0 but a blue patch
  f1->SetPixels(5, 5, 2);
  f1->SetPixels(6, 5, 2);
  TGIFSubImage* f2 = AddFrame(image, 2, 2, 4, 4, 1, 2, 2);  // cleared afterwards
  (void)f2;
  AddFrame(image, 0, 0, 8, 8, 3, 2, 1);  // covers it all
  auto* comment = new TGIFCommentExtension(image.Images()->SubImages(0));
  comment->Text()->Add("made in a test");
  image.Images()->SubImages(0)->Extensions()->Add(comment);

  const TColor background = image.BackgroundColor();
  std::vector<Snapshot> before = Compose(image);
  image.OptimizeImage(OptimizeCrop | OptimizeMerge | OptimizeCleanup | OptimizeColorMaps, ReduceWebSafe, 8,
                      DitherNearest);
  EXPECT_EQ(image.BackgroundColor(), background);
  EXPECT_EQ(image.GlobalColorMap()->IndexOf(0x123456), -1);  // unused: trimmed
  EXPECT_EQ(image.Images()->SubImages(1)->Width(), 2);       // merged, then cropped to the patch
  EXPECT_EQ(Compose(image), before);
  // still readable after saving
  TGIFImage back;
  Load(back, Save(image));
  EXPECT_EQ(Compose(back), before);
}

TEST(Optimize, KeepsTheAreasThatDisposalClears) {
  VirtualClock clock;
  TGIFImage image;
  Screen8x8(image);
  AddFrame(image, 0, 0, 8, 8, 0, 2, 1);                           // red screen
  TGIFSubImage* clear = AddFrame(image, 0, 0, 8, 8, 0, 2, 2, 0);  // transparent but a green dot,
  clear->SetPixels(3, 3, 1);                                      // then its whole area is cleared
  AddFrame(image, 0, 0, 2, 2, 2, 2, 1);                           // a small opaque frame inside it
  const std::vector<Snapshot> before = Compose(image);
  image.OptimizeImage(OptimizeCrop | OptimizeMerge | OptimizeCleanup | OptimizeColorMaps, ReduceWebSafe, 8,
                      DitherNearest);
  EXPECT_EQ(Compose(image), before);
  EXPECT_EQ(before.back()[7 * 8 + 7], kWhite);  // the cleared area shows the background
}

TEST(Optimize, MergeNeverTurnsAColourTheFrameUsesTransparent) {
  VirtualClock clock;
  TGIFImage image;
  Screen8x8(image);
  AddFrame(image, 0, 0, 8, 8, 0, 2, 1);                         // red
  AddFrame(image, 0, 0, 8, 8, 1, 2, 1, 1)->SetPixels(0, 0, 2);  // green is its clear colour: a blue dot
  AddFrame(image, 0, 0, 8, 8, 1, 2, 1)->SetPixels(0, 0, 2);     // opaque green with the same dot
  const std::vector<Snapshot> before = Compose(image);
  image.OptimizeImage(OptimizeMerge, ReduceWebSafe, 8, DitherNearest);
  EXPECT_TRUE(image.Images()->SubImages(2)->Transparent());
  EXPECT_NE(image.Images()->SubImages(2)->TransparentIndex(), 1);
  EXPECT_EQ(Compose(image), before);
}

// What an animation shows: every picture that comes up, with how long it stays (the last
// one's time is not known).
std::vector<std::pair<Snapshot, DWORD>> Timeline(TGIFImage& image, TGIFDrawOptions Looped) {
  auto target = Target(8, 8, kWhite);
  std::vector<std::pair<Snapshot, DWORD>> shown;
  DWORD last = 0;
  image.PaintFlags = DrawAnimated | DrawDirect | DrawTransparent | Looped;
  image.OnFramePainted = [&](TObject*) {
    const DWORD now = KvClockNow();
    if (!shown.empty()) shown.back().second += now - last;
    last = now;
    Snapshot s = Snap(target->Canvas(), 8, 8);
    if (shown.empty() || shown.back().first != s) shown.emplace_back(s, 0);
  };
  image.Draw(target->Canvas(), Rect(0, 0, 8, 8));
  return shown;
}

TEST(Optimize, KeepsEveryPictureAndHowLongItStays) {
  VirtualClock clock;
  struct Case {
    const char* name;
    std::function<void(TGIFImage&)> build;
    int frames_after;
  };
  // Frame 2 shows nothing (all clear); what the optimiser may do with it depends on
  // what comes before it.
  auto clear_frame = [](TGIFImage& image, int delay) { AddFrame(image, 0, 0, 8, 8, 2, delay, 1, 2); };
  const std::vector<Case> cases = {
      {"after a frame that is cleared",
       [&](TGIFImage& image) {
         AddFrame(image, 0, 0, 4, 4, 1, 4, 2);
         clear_frame(image, 5);
       },
       4},
      {"with a delay of 0",
       [&](TGIFImage& image) {
         AddFrame(image, 0, 0, 4, 4, 1, 4, 1, 2);
         clear_frame(image, 0);
       },
       4},
      {"that may go: its time moves to the previous frame",
       [&](TGIFImage& image) {
         AddFrame(image, 0, 0, 4, 4, 1, 4, 1, 2);
         clear_frame(image, 5);
       },
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGIFImage image;
    Screen8x8(image);
    AddFrame(image, 0, 0, 8, 8, 0, 4, 1);
    c.build(image);
    AddFrame(image, 6, 6, 2, 2, 2, 4, 1);
    const auto before = Timeline(image, 0);
    image.OptimizeImage(OptimizeCrop | OptimizeMerge | OptimizeCleanup, ReduceWebSafe, 8, DitherNearest);
    EXPECT_EQ(image.Images()->Count(), c.frames_after);
    EXPECT_EQ(Timeline(image, 0), before);
  }
  // Later passes start at the frame with the first loop extension: it stays whole, and
  // so does its loop extension.
  TGIFImage image;
  Palette4(image);
  AddFrame(image, 0, 0, 8, 8, 0, 4, 1);
  TGIFSubImage* start = AddFrame(image, 0, 0, 8, 8, 0, 4, 1);
  start->SetPixels(3, 3, 1);
  auto* loop = new TGIFAppExtNSLoop(start);
  loop->SetLoops(2);
  start->Extensions()->Add(loop);
  AddFrame(image, 0, 0, 8, 8, 2, 4, 1);
  const auto before = Timeline(image, DrawLooped);
  ASSERT_EQ(before.size(), 5u);
  image.OptimizeImage(OptimizeCrop | OptimizeMerge | OptimizeCleanup, ReduceWebSafe, 8, DitherNearest);
  EXPECT_EQ(Timeline(image, DrawLooped), before);
}

TEST(Optimize, ReduceWithCustomPaletteIsRefused) {
  TGIFImage image;
  Palette4(image);
  AddFrame(image, 0, 0, 2, 2, 0);
  try {
    image.OptimizeImage(OptimizeReduce, ReduceCustom, 8, DitherNearest);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), gif_texts::kInvalidReduction);
  }
}

// ---- Copying, clipboard, registration -----------------------------------------------------------

TEST(Copy, AssignCopiesFramesAndSettingsAndBitmapsBecomeFrames) {
  TGIFImage image;
  MakeAnimation(image, 4);
  image.ForcedFrame = 2;
  TGIFImage copy;
  copy.Assign(&image);
  EXPECT_EQ(copy.ForcedFrame, 2);
  ExpectSame(AsPeer(copy), AsPeer(image));

  auto bitmap = Target(5, 3, 0x336699);
  TGIFImage fromBitmap;
  fromBitmap.Assign(bitmap.get());
  ASSERT_EQ(fromBitmap.Images()->Count(), 1);
  EXPECT_EQ(fromBitmap.Width(), 5);
  auto target = Target(5, 3, kWhite);
  fromBitmap.Draw(target->Canvas(), Rect(0, 0, 5, 3));
  EXPECT_EQ(target->Canvas()->Pixels(2, 1) & 0xFFFFFF, 0x336699);  // on the web-safe grid

  TBitmap composed;
  composed.Assign(&image);
  EXPECT_EQ(composed.Width(), 8);
  EXPECT_EQ(composed.Canvas()->Pixels(7, 7) & 0xFFFFFF, kRed);

  TStringList not_a_graphic;
  EXPECT_THROW(image.AppendFrame(&not_a_graphic), GIFException);
}

TEST(Copy, SizeCannotShrinkBelowTheFrames) {
  TGIFImage image;
  MakeAnimation(image, 1);
  EXPECT_THROW(image.SetWidth(7), GIFException);
  EXPECT_THROW(image.SetHeight(3), GIFException);
  image.SetWidth(20);
  EXPECT_EQ(image.Width(), 20);
}

TEST(Clipboard, GifFormatRoundTrips) {
  TGIFImage image;
  MakeAnimation(image, 2);
  Clipboard()->Assign(&image);
  ASSERT_TRUE(Clipboard()->HasFormat(TGIFImage::ClipboardFormat()));
  TGIFImage back;
  Clipboard()->Open();
  back.LoadFromClipboardFormat(TGIFImage::ClipboardFormat(), nullptr, nullptr);
  Clipboard()->Close();
  ExpectSame(AsPeer(back), AsPeer(image));
  EXPECT_THROW(back.LoadFromClipboardFormat(12345, nullptr, nullptr), EInvalidGraphic);
}

TEST(Registration, PictureLoadsGifFilesAsTGIFImage) {
  TPicture picture;
  picture.LoadFromFile(std::string(GIF_TEST_DATA) + "/CMakeLogo.gif");
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TGIFImage");
  EXPECT_EQ(picture.Width(), 150);
  EXPECT_NE(TPicture::GraphicFilter().find("GIF Image"), std::string::npos);
}

}  // namespace
