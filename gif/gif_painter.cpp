// TGIFPainter: plays the frames of a TGIFImage with their delays, disposal methods and
// loop count, in a thread of its own or inside the draw call.
#include <algorithm>
#include <cstring>

#include "gif/gif_image.h"
#include "gif/texts.h"
#include "platform/base/sync.h"
#include "platform/base/system.h"
#include "platform/base/time.h"
#include "platform/user/user.h"

std::atomic<int> TGIFPainter::live_count_{0};

namespace {

constexpr int kDelayUnit = 12;       // milliseconds per delay unit
constexpr int kDefaultDelay = 10;    // units, for frames without a delay
constexpr int kMinimumDelay = 3;     // units
constexpr int kMaximumDelay = 1000;  // units, unthreaded painters only

std::unique_ptr<TBitmap> MakeBuffer(int Width, int Height, TColor Color) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(Width, Height);
  bitmap->Canvas()->Brush()->SetColor(Color);
  bitmap->Canvas()->Brush()->SetStyle(bsSolid);
  return bitmap;
}

}  // namespace

TGIFPainter::TGIFPainter(std::atomic<TGIFPainter*>* Slot, TGIFImage* AImage, TCanvas* ACanvas, const TRect& ARect,
                         TGIFDrawOptions Options)
    : TThread(true), image_(AImage), canvas_(ACanvas), rect_(ARect), options_(Options), slot_(Slot) {
  ++live_count_;
  if (slot_) slot_->store(this);
  speed_ = AImage->PlaySpeed;
  targets_composed_ = AImage->bitmap_ && ACanvas == AImage->bitmap_->Canvas();
  if (options_ & DrawThreaded) SetFreeOnTerminate(true);
  if (options_ & DrawCheckCanvas) dc_ = ACanvas->Handle();

  // Background colour.
  if (AImage->DrawBackgroundColor != clNone)
    background_color_ = AImage->DrawBackgroundColor;
  else if (AImage->GlobalColorMap()->Count() == 0)
    background_color_ = clWindow;
  else
    background_color_ = AImage->BackgroundColor();

  // Which disposal methods occur.
  bool has[8] = {};
  for (int i = 0; i < AImage->Images()->Count(); ++i)
    if (TGIFGraphicControlExtension* gce = AImage->Images()->SubImages(i)->GraphicControlExtension())
      has[gce->Disposal() & 7] = true;
  if (options_ & DrawClearOnLoop) has[2] = true;
  const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
  const TRect whole = ::Rect(0, 0, w, h);
  if (has[2] && (options_ & DrawTransparent)) {
    background_ = MakeBuffer(w, h, background_color_);
    background_->Canvas()->CopyRect(whole, canvas_, rect_);
  }
  if (has[2] || has[3]) {
    backup_ = MakeBuffer(w, h, background_color_);
    backup_->Canvas()->FillRect(whole);
    backup_->Canvas()->CopyRect(whole, canvas_, rect_);
    frame_buffer_ = MakeBuffer(w, h, background_color_);
    frame_buffer_->Canvas()->FillRect(whole);
  }
  if ((options_ & DrawThreaded) && (options_ & DrawAnimated) && AImage->Images()->Count() > 1 && speed_ >= 0)
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

TGIFPainter::~TGIFPainter() {
  if (!Threaded()) {
    EndStep();
  } else if (!ended_) {
    // Never started or ended without its end step: nothing may escape a destructor.
    try {
      EndStep();
    } catch (...) {
    }
  }
  --live_count_;
}

void TGIFPainter::BeginPlay() {
  if (Threaded()) Start();
}

void TGIFPainter::HaltWait() {
  if (event_) SetEvent(event_);
}

void TGIFPainter::HaltPlay() {
  Terminate();
  if (Threaded()) {
    HaltWait();
    SetPriority(tpNormal);
    if (Suspended()) Resume();
  }
}

void TGIFPainter::RunInline() { Execute(); }

bool TGIFPainter::CanPaint() const {
  TGIFImage* image = image_.load();
  if (!image || Terminated()) return false;
  if (targets_composed_ && (!image->bitmap_ || image->bitmap_->Canvas() != canvas_)) return false;
  return true;
}

void TGIFPainter::DoSynchronize(const std::function<void()>& Method) {
  if (Terminated()) return;
  if (Threaded()) {
    // The queued call checks again on the main thread: the image, its bitmap or the
    // painter may have gone while the call waited.
    TThread::Synchronize(this, [this, &Method] {
      if (CanPaint()) Method();
    });
  } else if (CanPaint()) {
    Method();
  }
}

void TGIFPainter::Fire(const TGIFPainterEvent& Event) {
  if (!Event) return;
  DoSynchronize([this, &Event] { Event(this); });
}

void TGIFPainter::Execute() {
  try {
    Play();
  } catch (Exception&) {
    Terminate();
    captured_ = std::current_exception();
  } catch (...) {
    if (!Threaded()) throw;
    Terminate();
    captured_ = std::current_exception();
  }
}

void TGIFPainter::DoTerminate() {
  // The end step touches the image's painter list: on the main thread.
  try {
    TThread::Synchronize(this, [this] { EndStep(); });
  } catch (...) {
  }
}

void TGIFPainter::EndStep() {
  if (ended_) return;
  ended_ = true;
  if (TGIFImage* image = image_.exchange(nullptr)) {
    image->painters_->LockList();
    if (slot_ && slot_->load() == this) slot_->store(nullptr);
    image->painters_->Remove(this);
    image->painters_->UnlockList();
  }
  background_.reset();
  backup_.reset();
  frame_buffer_.reset();
  if (event_) CloseHandle(event_);
  event_ = nullptr;
}

void TGIFPainter::Play() {
  const bool threaded = Threaded();
  while (restart_ && !Terminated()) {
    active_image_ = 0;
    Fire(OnAnimationStart);
    started_ = false;
    restart_ = false;
    int loops_left = 1;
    int loop_start = 0;
    bool loop_seen = false;
    int wait = threaded ? 0 : 1;
    previous_disposal_ = 1;
    DWORD mark = timeGetTime();
    int last_wait = 0;
    while ((loops_left != 0 || (options_ & DrawLoopEndless)) && !Terminated() && !restart_) {
      active_image_ = loop_start;
      if (started_) Fire(OnLoopPass);
      while (options_ & DrawAnimated) {
        TGIFImage* image = image_.load();
        if (!image || Terminated() || restart_) break;
        if (active_image_ < 0 || active_image_ >= image->Images()->Count()) break;
        TGIFSubImage* frame = image->Images()->SubImages(active_image_);
        if (frame->Empty()) break;

        // Wait the previous frame's delay.
        if (wait < 1) {
          Sleep(0);
        } else {
          {
            std::lock_guard<std::recursive_mutex> guard(image->render_lock_);
            frame->Bitmap();
          }
          DWORD now = timeGetTime();
          int64_t ms;
          if (speed_ < 1) {
            ms = threaded ? static_cast<int64_t>(INFINITE) : 1000 * kDelayUnit;
          } else {
            int64_t drift = static_cast<int32_t>(now - (mark + static_cast<DWORD>(last_wait)));
            int64_t units = static_cast<int64_t>(wait) * kDelayUnit - drift / 2;
            if (units <= INT32_MIN || units >= INT32_MAX || units * 100 / speed_ >= INT32_MAX) {
              ms = 12000;  // the computation failed
              last_wait = 0;
            } else {
              ms = MulDiv(static_cast<int>(units), 100, speed_);
              last_wait = static_cast<int>(ms);
            }
          }
          mark = now;
          if (threaded) {
            if ((ms > 0 || speed_ == 0) && event_) {
              DWORD result = WaitForSingleObject(event_, speed_ < 1 ? INFINITE : static_cast<DWORD>(ms));
              if (result == WAIT_OBJECT_0) {
                last_wait = 0;
                mark = timeGetTime();
              }
            }
          } else {
            int64_t left = std::max<int64_t>(ms, 1);
            while (left > 0 && !Terminated() && !restart_) {
              DWORD slice = static_cast<DWORD>(std::min<int64_t>(left, 100));
              DWORD before = timeGetTime();
              Sleep(slice);
              left -= static_cast<int64_t>(timeGetTime() - before);
              PumpMessages();
            }
          }
        }
        if (Terminated()) break;
        Fire(OnFrameDue);
        if (Terminated()) break;

        image = image_.load();
        if (!image || active_image_ < 0 || active_image_ >= image->Images()->Count()) break;
        frame = image->Images()->SubImages(active_image_);
        disposal_ = 1;
        TGIFGraphicControlExtension* gce = nullptr;
        for (int e = 0; e < frame->Extensions()->Count(); ++e) {
          TGIFExtension* ext = frame->Extensions()->Extensions(e);
          if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext)) {
            if (!loop_seen) {
              loop_seen = true;
              loops_left = loop->Loops();
              if (threaded && (loops_left == 0 || (options_ & DrawLoopEndless))) loops_left = -1;
              loop_start = active_image_;
            }
          } else if (auto* g = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
            gce = g;
            disposal_ = g->Disposal();
          }
        }
        if (backup_)
          DoSynchronize([this] { DoDisposalPaint(); });
        else
          DoSynchronize([this] { PaintFrame(); });
        previous_disposal_ = disposal_;
        if (Terminated()) break;

        wait = kDefaultDelay;
        if (gce && gce->Delay() != 0) {
          wait = std::max(gce->Delay(), kMinimumDelay);
          if (!threaded) wait = std::min(wait, kMaximumDelay);
        }
        int painted = active_image_;
        Fire(OnFramePainted);
        if (Terminated()) break;
        if (active_image_ == painted) ++active_image_;
      }
      if (loops_left > 0) --loops_left;
      if (!((options_ & DrawAnimated) && (options_ & DrawLooped))) break;
    }
    if (Terminated()) break;
  }
  active_image_ = -1;
  Fire(OnAnimationEnd);
}

void TGIFPainter::PumpMessages() {
  // The draw call runs on the GUI thread: keep its window responsive while it waits.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // the application's loop still ends
      Terminate();
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// ---- Painting (main thread) ---------------------------------------------------------------------

bool TGIFPainter::TargetGone() {
  if (!(options_ & DrawCheckCanvas)) return false;
  const DWORD type = GetObjectType(dc_);
  if (type == OBJ_DC || type == OBJ_MEMDC) return false;
  Terminate();
  return true;
}

void TGIFPainter::PaintFrame() {
  if (TargetGone()) return;
  TGIFImage* image = image_.load();
  TGIFSubImage* frame = image->Images()->SubImages(active_image_);
  std::lock_guard<std::recursive_mutex> guard(image->render_lock_);
  frame->Draw(canvas_, rect_, (options_ & DrawTransparent) != 0, (options_ & DrawTiled) != 0);
  started_ = true;
}

void TGIFPainter::ClearBackup(TGIFSubImage* Frame) {
  TGIFImage* image = image_.load();
  const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
  const int iw = std::max(1, image->Width()), ih = std::max(1, image->Height());
  std::vector<TRect> areas;
  if (options_ & DrawTiled) {
    for (int x = 0; x < w; x += iw)
      for (int y = 0; y < h; y += ih)
        areas.push_back(::Rect(x + Frame->Left(), y + Frame->Top(), x + Frame->Left() + Frame->Width(),
                               y + Frame->Top() + Frame->Height()));
  } else {
    areas.push_back(::Rect(MulDiv(Frame->Left(), w, iw), MulDiv(Frame->Top(), h, ih),
                           MulDiv(Frame->Left() + Frame->Width(), w, iw),
                           MulDiv(Frame->Top() + Frame->Height(), h, ih)));
  }
  TCanvas* target = backup_->Canvas();
  for (const TRect& r : areas) {
    if ((options_ & DrawTransparent) && background_) {
      target->CopyRect(r, background_->Canvas(), r);
    } else {
      target->Brush()->SetColor(background_color_);
      target->FillRect(r);
    }
  }
}

void TGIFPainter::DoDisposalPaint() {
  if (TargetGone()) return;
  TGIFImage* image = image_.load();
  TGIFSubImage* frame = image->Images()->SubImages(active_image_);
  std::lock_guard<std::recursive_mutex> guard(image->render_lock_);
  const bool clear_first = (options_ & DrawClearOnLoop) && active_image_ == 0;
  const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
  const TRect whole = ::Rect(0, 0, w, h);
  const bool transparent = (options_ & DrawTransparent) != 0, tiled = (options_ & DrawTiled) != 0;

  TCanvas* target = nullptr;
  TRect target_rect = whole;
  enum { kBackup, kDirect, kFrameBuffer } mode = kBackup;
  switch (disposal_) {
    case 0:
    case 1:
    case 2: target = backup_->Canvas(); break;
    case 3:
      if (previous_disposal_ == 0 || previous_disposal_ == 1) {
        target = canvas_;
        target_rect = rect_;
        mode = kDirect;
      } else {
        frame_buffer_->Canvas()->CopyRect(whole, backup_->Canvas(), whole);
        target = frame_buffer_->Canvas();
        mode = kFrameBuffer;
      }
      break;
    default: started_ = true; return;  // 4 to 7: nothing is drawn
  }
  HDC dc = target->Handle();
  HPALETTE palette = frame->Palette();
  if (!palette) palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  HPALETTE old_palette = SelectPalette(dc, palette, FALSE);
  RealizePalette(dc);
  if (clear_first) {
    if (transparent && background_) {
      backup_->Canvas()->CopyRect(whole, background_->Canvas(), whole);
    } else {
      backup_->Canvas()->Brush()->SetColor(background_color_);
      backup_->Canvas()->FillRect(whole);
    }
  }
  frame->Draw(target, target_rect, transparent, tiled);
  if (mode == kBackup) {
    canvas_->CopyRect(rect_, backup_->Canvas(), whole);
    if (disposal_ == 2) ClearBackup(frame);
  } else if (mode == kFrameBuffer) {
    canvas_->CopyRect(rect_, frame_buffer_->Canvas(), whole);
  }
  if (old_palette) SelectPalette(dc, old_palette, TRUE);
  started_ = true;
}
