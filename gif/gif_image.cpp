// TGIFImage: loading, saving, drawing, palette, copying, optimisation, the clipboard and
// the registration as a picture format.
#include "gif/gif_image.h"

#include <algorithm>
#include <cstring>

#include "framework/graphics/clipbrd.h"
#include "gif/texts.h"
#include "platform/base/sync.h"
#include "platform/base/system.h"
#include "platform/base/time.h"
#include "platform/user/clipboard.h"
#include "platform/base/global_memory.h"

TGIFDrawOptions TGIFImage::DefaultPaintFlags = kGIFDefaultPaintFlags;
TColorReduction TGIFImage::DefaultReductionMethod = ReduceWebSafe;
int TGIFImage::DefaultOctreeBits = 8;
TDitherMode TGIFImage::DefaultDitherMethod = DitherNearest;
TGIFEncoderKind TGIFImage::DefaultEncoderKind = CompressLZW;
TThreadPriority TGIFImage::DefaultPainterPriority = tpNormal;
bool TGIFImage::AutoDither = false;

namespace {

WORD g_clipboard_format = 0;
int g_registrations = 0;
std::mutex g_registration_lock;

bool ScreenIsPaletted() {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  DeleteDC(dc);
  return bits <= 8;
}

void PumpOnce() {
  bool ran = false;
  if (GetCurrentThreadId() == MainThreadID) ran = CheckSynchronize(0);
  if (!ran) Sleep(0);
}

struct ModuleInit {
  ModuleInit() {
    TGIFImage::AutoDither = ScreenIsPaletted();
    RegisterGIFImage();
  }
  ~ModuleInit() { UnregisterGIFImage(); }
} g_module_init;

struct BusyFlag {
  bool& flag;
  explicit BusyFlag(bool& f) : flag(f) { flag = true; }
  ~BusyFlag() { flag = false; }
};

}  // namespace

void RegisterGIFImage() {
  std::lock_guard<std::mutex> guard(g_registration_lock);
  if (g_registrations++ > 0) return;
  TPicture::RegisterFileFormat(gif_texts::kExtension, gif_texts::kFormatName, "TGIFImage",
                               [] { return new TGIFImage; });
  g_clipboard_format = static_cast<WORD>(RegisterClipboardFormatA(gif_texts::kFormatName));
  if (g_clipboard_format)
    TPicture::RegisterClipboardFormat(g_clipboard_format, "TGIFImage", [] { return new TGIFImage; });
}

void UnregisterGIFImage() {
  std::lock_guard<std::mutex> guard(g_registration_lock);
  if (g_registrations == 0 || --g_registrations > 0) return;
  TPicture::UnregisterGraphicClass("TGIFImage");
}

WORD TGIFImage::ClipboardFormat() { return g_clipboard_format; }

// ---- Life --------------------------------------------------------------------------------

TGIFImage::TGIFImage()
    : images_(std::make_unique<TGIFImageList>(this)),
      header_(std::make_unique<TGIFHeader>(this)),
      painters_(std::make_unique<TThreadList>()) {
  PaintFlags = DefaultPaintFlags;
  ReductionMethod = DefaultReductionMethod;
  OctreeBits = DefaultOctreeBits;
  DitherMethod = DefaultDitherMethod;
  EncoderKind = DefaultEncoderKind;
  PainterPriority = DefaultPainterPriority;
  ForcedFrame = -1;
  DrawBackgroundColor = clNone;
  ResetImage();
}

TGIFImage::~TGIFImage() {
  StopAllPainters();
  TList* list = painters_->LockList();
  for (int i = list->Count() - 1; i >= 0; --i) {
    auto* painter = static_cast<TGIFPainter*>(list->Items(i));
    painter->Detach();
    list->Delete(i);
  }
  painters_->UnlockList();
  images_->Clear();
  header_->Clear();
  if (global_palette_) DeleteObject(global_palette_);
  global_palette_ = nullptr;
  bitmap_.reset();
}

void TGIFImage::ReportWarning(TObject* Sender, int Severity, const AnsiString& Message) {
  if (OnGIFWarning) OnGIFWarning(Sender, Severity, Message);
}

void TGIFImage::ResetImage() {
  StopAllPainters();
  bitmap_.reset();
  images_->Clear();
  header_->ColorMap()->Clear();
  header_->SetWidth(0);
  header_->SetHeight(0);
  header_->Prepare();
  SetPalette(nullptr);
}

// ---- Properties --------------------------------------------------------------------------

TGIFVersion TGIFImage::Version() const {
  TGIFVersion version = gvUnknown;
  for (int i = 0; i < images_->Count(); ++i) {
    TGIFVersion v = images_->SubImages(i)->Version();
    if (v > version) version = v;
    if (version == gv89a) break;
  }
  return version;
}

int TGIFImage::ColorResolution() const {
  int result = header_->ColorResolution();
  for (int i = 0; i < images_->Count(); ++i) result = std::max(result, images_->SubImages(i)->ColorResolution());
  return result;
}

int TGIFImage::BitsPerPixel() const {
  int result = header_->BitsPerPixel();
  for (int i = 0; i < images_->Count(); ++i) result = std::max(result, images_->SubImages(i)->BitsPerPixel());
  return result;
}

bool TGIFImage::DoDither() const {
  return (PaintFlags & DrawDithered) && (!(PaintFlags & DrawDitherAuto) || AutoDither);
}

void TGIFImage::SetWidth(int Value) {
  for (int i = 0; i < images_->Count(); ++i) {
    TGIFSubImage* f = images_->SubImages(i);
    if (f->Left() + f->Width() > Value) GIFError(gif_texts::kWidthTooSmall);
  }
  if (Value == Width()) return;
  header_->SetWidth(Value);
  bitmap_.reset();
  Changed(this);
}

void TGIFImage::SetHeight(int Value) {
  for (int i = 0; i < images_->Count(); ++i) {
    TGIFSubImage* f = images_->SubImages(i);
    if (f->Top() + f->Height() > Value) GIFError(gif_texts::kHeightTooSmall);
  }
  if (Value == Height()) return;
  header_->SetHeight(Value);
  bitmap_.reset();
  Changed(this);
}

HPALETTE TGIFImage::Palette() {
  // A painter thread rendering a frame asks for this palette too.
  std::lock_guard<std::recursive_mutex> guard(render_lock_);
  if (palette_busy_) GIFError(gif_texts::kNoColorTable);
  BusyFlag busy(palette_busy_);
  if (bitmap_ && bitmap_->Palette()) return bitmap_->Palette();
  if (global_palette_) return global_palette_;
  if (DoDither()) {
    global_palette_ = WebPalette();
    return global_palette_;
  }
  if (header_->ColorMap()->Count() > 0) {
    global_palette_ = header_->ColorMap()->ExportPalette();
    return global_palette_;
  }
  if (images_->Count() > 0) return images_->SubImages(0)->Palette();
  return nullptr;
}

void TGIFImage::SetPalette(HPALETTE Value) {
  if (Value == global_palette_) return;
  if (global_palette_) DeleteObject(global_palette_);
  global_palette_ = Value;
  if (bitmap_ && bitmap_->Palette() != Value) {
    DropComposedBitmap();
    SetModified(true);
    Changed(this);
  }
}

// ---- Loading and saving ----------------------------------------------------------------------

void TGIFImage::GrowScreen() {
  int w = header_->Width(), h = header_->Height();
  for (int i = 0; i < images_->Count(); ++i) {
    TGIFSubImage* f = images_->SubImages(i);
    w = std::max(w, f->Left() + f->Width());
    h = std::max(h, f->Top() + f->Height());
  }
  header_->SetWidth(std::min(w, 0xFFFF));
  header_->SetHeight(std::min(h, 0xFFFF));
}

void TGIFImage::LoadFromStream(TStream* Stream) {
  FireProgress(psStarting, 0, gif_texts::kLoading);
  bool ok = false;
  int64_t position = Stream->Position();
  try {
    Clear();
    try {
      header_->LoadFromStream(Stream);
      images_->LoadFromStream(Stream, this);
      GrowScreen();
      TGIFTrailer trailer(this);
      trailer.LoadFromStream(Stream);
    } catch (...) {
      Stream->Seek(position, soBeginning);
      throw;
    }
    ok = true;
  } catch (...) {
    FireProgress(psEnding, 0, gif_texts::kLoading);
    throw;
  }
  FireProgress(psEnding, ok ? 100 : 0, gif_texts::kLoading);
  Changed(this);
}

void TGIFImage::SaveToStream(TStream* Stream) {
  FireProgress(psStarting, 0, gif_texts::kSaving);
  try {
    header_->SaveToStream(Stream);
    images_->SaveToStream(Stream);
    TGIFTrailer trailer(this);
    trailer.SaveToStream(Stream);
  } catch (...) {
    FireProgress(psEnding, 0, gif_texts::kSaving);
    throw;
  }
  FireProgress(psEnding, 100, gif_texts::kSaving);
}

// ---- Composed bitmap ---------------------------------------------------------------------------

TBitmap* TGIFImage::EnsureComposedBitmap() {
  if (bitmap_) return bitmap_.get();
  GIFCheckedArea(static_cast<uint64_t>(Width()) * 4, static_cast<uint64_t>(Height()));  // 32-bit pixels
  auto bitmap = std::make_unique<TBitmap>();
  HPALETTE palette = Palette();
  if (palette) bitmap->SetPalette(palette);
  bitmap->SetSize(Width(), Height());
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

TBitmap* TGIFImage::ComposedBitmap() {
  if (Empty()) return nullptr;
  if (bitmap_) return bitmap_.get();
  TGIFSubImage* first = images_->SubImages(0);
  auto bitmap = std::make_unique<TBitmap>();
  if (first->Left() == 0 && first->Top() == 0 && first->Width() == Width() && first->Height() == Height() &&
      first->Bitmap()) {
    bitmap->Assign(first->Bitmap());
  } else {
    GIFCheckedArea(static_cast<uint64_t>(Width()) * 4, static_cast<uint64_t>(Height()));  // 32-bit pixels
    HPALETTE palette = Palette();
    if (palette) bitmap->SetPalette(palette);
    bitmap->SetSize(Width(), Height());
    if (!bitmap->Empty()) first->Draw(bitmap->Canvas(), bitmap->Canvas()->ClipRect(), false, false);
  }
  bitmap->OnChange = [this](TObject* Sender) { Changed(Sender); };
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

void TGIFImage::DropComposedBitmap() {
  if (TGIFPainter* painter = draw_painter_.load()) painter->HaltPlay();
  bitmap_.reset();
}

void TGIFImage::AssignTo(TPersistent* Dest) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    bitmap->Assign(ComposedBitmap());
    return;
  }
  TGraphic::AssignTo(Dest);
}

// ---- Painters ----------------------------------------------------------------------------------

void TGIFImage::StopDrawPainter() {
  for (;;) {
    painters_->LockList();
    TGIFPainter* painter = draw_painter_.load();
    bool threaded = painter && painter->Threaded();
    if (painter) painter->HaltPlay();
    painters_->UnlockList();
    if (!painter || !threaded) break;
    PumpOnce();
  }
  bitmap_.reset();
}

void TGIFImage::StopAllPainters() {
  for (;;) {
    TList* list = painters_->LockList();
    int threaded = 0;
    for (int i = list->Count() - 1; i >= 0; --i) {
      auto* painter = static_cast<TGIFPainter*>(list->Items(i));
      painter->HaltPlay();
      if (painter->Threaded()) ++threaded;
    }
    painters_->UnlockList();
    if (threaded == 0) break;
    PumpOnce();
  }
  bitmap_.reset();
}

TGIFPainter* TGIFImage::InternalPaint(std::atomic<TGIFPainter*>* Slot, TCanvas* ACanvas, const TRect& Rect,
                                      TGIFDrawOptions Options) {
  if (Empty() || Rect.right <= Rect.left || Rect.bottom <= Rect.top) return nullptr;
  if (images_->Count() == 1) Options &= static_cast<TGIFDrawOptions>(~(DrawThreaded | DrawAnimated));
  painters_->LockList();
  TGIFPainter* painter;
  try {
    painter = new TGIFPainter(Slot, this, ACanvas, Rect, Options);
  } catch (...) {
    painters_->UnlockList();
    throw;
  }
  painters_->Add(painter);
  painter->OnAnimationStart = OnAnimationStart;
  painter->OnFrameDue = OnFrameDue;
  painter->OnFramePainted = OnFramePainted;
  painter->OnLoopPass = OnLoopPass;
  painter->OnAnimationEnd = OnAnimationEnd;
  if (Options & DrawThreaded) {
    painter->SetPriority(PainterPriority);
    painters_->UnlockList();
    return painter;
  }
  painters_->UnlockList();
  std::unique_ptr<TGIFPainter> owned(painter);  // its destructor runs the end step
  owned->RunInline();
  std::exception_ptr captured = owned->captured_;
  owned.reset();
  if (captured) std::rethrow_exception(captured);
  return nullptr;
}

void TGIFImage::DrawComposed(TCanvas* ACanvas, const TRect& Rect) {
  if (!bitmap_ || bitmap_->Empty()) return;
  if (!(PaintFlags & DrawTiled)) {
    ACanvas->StretchDraw(Rect, bitmap_.get());
    return;
  }
  int w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  for (int x = Rect.left; x < Rect.right; x += w)
    for (int y = Rect.top; y < Rect.bottom; y += h) ACanvas->StretchDraw(::Rect(x, y, x + w, y + h), bitmap_.get());
}

void TGIFImage::PaintToCanvas(TCanvas* ACanvas, const TRect& Rect) {
  if (draw_busy_ || Empty()) return;
  BusyFlag busy(draw_busy_);
  const bool animated = images_->Count() > 1 && (PaintFlags & DrawAnimated);
  if (!animated) {
    int index = ForcedFrame >= 0 && ForcedFrame < images_->Count() ? ForcedFrame : 0;
    images_->SubImages(index)->Draw(ACanvas, Rect, (PaintFlags & DrawTransparent) != 0, (PaintFlags & DrawTiled) != 0);
    return;
  }
  if (bitmap_ && !(PaintFlags & DrawDirect)) {
    DrawComposed(ACanvas, Rect);
    return;
  }
  painters_->LockList();
  struct Unlock {
    TThreadList* list;
    ~Unlock() { list->UnlockList(); }
  } unlock{painters_.get()};
  TGIFPainter* current = draw_painter_.load();
  if (current && current->Canvas() == ACanvas && std::memcmp(&current->Rect(), &Rect, sizeof(TRect)) == 0) return;
  StopDrawPainter();
  TCanvas* target = ACanvas;
  TRect target_rect = Rect;
  if (!(PaintFlags & DrawDirect)) {
    TBitmap* bitmap = EnsureComposedBitmap();
    target = bitmap->Canvas();
    target_rect = target->ClipRect();
    target->CopyRect(target_rect, ACanvas, Rect);
  }
  TGIFPainter* painter = InternalPaint(&draw_painter_, target, target_rect, PaintFlags);
  if (painter) painter->BeginPlay();
  if (PaintFlags & DrawDirect) return;
  for (;;) {
    TGIFPainter* p = draw_painter_.load();
    if (!p || p->Terminated() || p->Started()) break;
    PumpOnce();
  }
  DrawComposed(ACanvas, Rect);
}

// ---- Copying -----------------------------------------------------------------------------------

int TGIFImage::AppendFrame(TPersistent* Source) {
  TGIFSubImage* frame = dynamic_cast<TGIFSubImage*>(Source);
  if (!frame) {
    if (!dynamic_cast<TGraphic*>(Source)) GIFError(gif_texts::kUnsupportedObject);
    auto made = std::make_unique<TGIFSubImage>(this);
    made->Assign(Source);
    frame = made.release();
  }
  int index = images_->Add(frame);
  bitmap_.reset();
  Changed(this);
  return index;
}

void TGIFImage::AssignFromImage(TGIFImage* Source) {
  Clear();
  TProgressEvent saved_progress = OnProgress;
  TGIFWarning saved_warning = OnGIFWarning;
  OnProgress = Source->OnProgress;
  OnGIFWarning = Source->OnGIFWarning;
  struct Restore {
    TGIFImage* self;
    TProgressEvent& progress;
    TGIFWarning& warning;
    ~Restore() {
      self->OnProgress = progress;
      self->OnGIFWarning = warning;
    }
  } restore{this, saved_progress, saved_warning};
  FireProgress(psStarting, 0, gif_texts::kCopying);
  try {
    header_->Assign(Source->header_.get());
    PainterPriority = Source->PainterPriority;
    DrawBackgroundColor = Source->DrawBackgroundColor;
    PaintFlags = Source->PaintFlags;
    ReductionMethod = Source->ReductionMethod;
    DitherMethod = Source->DitherMethod;
    ForcedFrame = Source->ForcedFrame;
    OnAnimationStart = Source->OnAnimationStart;
    OnFrameDue = Source->OnFrameDue;
    OnFramePainted = Source->OnFramePainted;
    OnLoopPass = Source->OnLoopPass;
    OnAnimationEnd = Source->OnAnimationEnd;
    saved_warning = Source->OnGIFWarning;
    int count = Source->images_->Count();
    for (int i = 0; i < count; ++i) {
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->Assign(Source->images_->SubImages(i));
      images_->Add(frame.release());
      FireProgress(psRunning, static_cast<BYTE>(MulDiv(i + 1, 100, count)), gif_texts::kCopying);
    }
    GrowScreen();
  } catch (...) {
    FireProgress(psEnding, 0, gif_texts::kCopying);
    throw;
  }
  FireProgress(psEnding, 100, gif_texts::kCopying);
}

void TGIFImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Clear();
    return;
  }
  if (auto* other = dynamic_cast<TGIFImage*>(Source)) {
    AssignFromImage(other);
    Changed(this);
    return;
  }
  Clear();
  auto frame = std::make_unique<TGIFSubImage>(this);
  try {
    frame->Assign(Source);
  } catch (EConvertError&) {
    frame.reset();
    TGraphic::Assign(Source);
    return;
  }
  images_->Add(frame.release());
  GrowScreen();
  Changed(this);
}

// ---- Clipboard -----------------------------------------------------------------------------------

void TGIFImage::LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE APalette) {
  if (Format == g_clipboard_format && Format != 0) {
    if (!Data) Data = GetClipboardData(Format);
    if (!Data) GIFError(gif_texts::kUnsupportedClipboard);
    void* p = GlobalLock(Data);
    if (!p) GIFError(gif_texts::kUnsupportedClipboard);
    TMemoryStream stream;
    try {
      stream.WriteBuffer(p, static_cast<int>(GlobalSize(Data)));
      stream.SetPosition(0);
      LoadFromStream(&stream);
    } catch (...) {
      GlobalUnlock(Data);
      throw;
    }
    GlobalUnlock(Data);
    return;
  }
  if (Format == CF_BITMAP) {
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(Format, Data ? Data : GetClipboardData(Format), APalette);
    Assign(&bitmap);
    return;
  }
  throw EInvalidGraphic(gif_texts::kUnsupportedClipboard);
}

void TGIFImage::SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& APalette) {
  if (Empty()) return;
  ComposedBitmap()->SaveToClipboardFormat(Format, Data, APalette);
  TMemoryStream stream;
  SaveToStream(&stream);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(stream.Size()));
  if (!block) GIFError(gif_texts::kClipboardFailed);
  try {
    void* p = GlobalLock(block);
    if (!p) GIFError(gif_texts::kClipboardFailed);
    std::memcpy(p, stream.Memory(), static_cast<size_t>(stream.Size()));
    GlobalUnlock(block);
    if (!SetClipboardData(g_clipboard_format, block)) GIFError(gif_texts::kClipboardFailed);
  } catch (...) {
    GlobalFree(block);
    throw;
  }
}

// ---- Optimisation --------------------------------------------------------------------------------

int TGIFImage::FirstLoopFrame() const {
  for (int i = 0; i < images_->Count(); ++i) {
    TGIFExtensionList* list = images_->SubImages(i)->Extensions();
    for (int e = 0; e < list->Count(); ++e)
      if (dynamic_cast<TGIFAppExtNSLoop*>(list->Extensions(e))) return i;
  }
  return -1;
}

void TGIFImage::OptimizeImage(TGIFOptimizeOptions Options, TColorReduction Reduction, int Bits, TDitherMode Dither) {
  (void)Bits;
  (void)Dither;
  if (Empty()) return;
  StopAllPainters();
  painters_->LockList();
  struct Unlock {
    TThreadList* list;
    ~Unlock() { list->UnlockList(); }
  } unlock{painters_.get()};
  const int total = std::max(1, images_->Count() * 6);
  int done = 0;
  auto step = [&] {
    ++done;
    FireProgress(psRunning, static_cast<BYTE>(std::min(100, MulDiv(done, 100, total))), gif_texts::kOptimizing);
  };
  FireProgress(psStarting, 0, gif_texts::kOptimizing);
  try {
    auto disposal = [](TGIFSubImage* f) {
      return f->GraphicControlExtension() ? f->GraphicControlExtension()->Disposal() : 0;
    };
    if (Options & OptimizeColorMaps) {
      if (GlobalColorMap()->Count() > 0) GlobalColorMap()->Optimize();
      for (int i = 0; i < images_->Count(); ++i) {
        images_->SubImages(i)->ColorMap()->Optimize();
        step();
      }
    }
    if (Options & OptimizeCleanup) {
      for (int i = 0; i < images_->Count(); ++i) {
        TGIFSubImage* f = images_->SubImages(i);
        if (f->Transparent() && !f->Empty()) {
          BYTE t = static_cast<BYTE>(f->TransparentIndex());
          if (!std::memchr(f->Data(), t, f->DataSize())) f->GraphicControlExtension()->SetTransparent(false);
        }
        step();
      }
      for (int i = 0; i + 1 < images_->Count(); ++i) {
        TGIFSubImage* a = images_->SubImages(i);
        TGIFSubImage* b = images_->SubImages(i + 1);
        int d = disposal(a);
        if ((d == 2 || d == 3) && !b->Transparent() && !b->Empty() && disposal(b) != 3) {
          // The next frame must cover the whole of this one for the disposal not to matter.
          TRect ra = a->BoundsRect(), rb = b->BoundsRect();
          if (ra.left >= rb.left && ra.top >= rb.top && ra.right <= rb.right && ra.bottom <= rb.bottom)
            a->GraphicControlExtension()->SetDisposal(0);
        }
      }
    }
    if (Options & OptimizeMerge) {
      // The frame where later passes start follows the last frame there, not its
      // predecessor: it stays whole.
      const int loop_start = FirstLoopFrame();
      for (int i = images_->Count() - 1; i >= 1; --i) {
        if (i == loop_start) {
          step();
          continue;
        }
        int j = i - 1;
        while (j > 0 && disposal(images_->SubImages(j)) == 3) --j;
        images_->SubImages(i)->Merge(images_->SubImages(j));
        step();
      }
    }
    if (Options & OptimizeCrop) {
      for (int i = images_->Count() - 1; i >= 0; --i) {
        TGIFSubImage* f = images_->SubImages(i);
        step();
        // A frame whose area is cleared afterwards keeps its size.
        if (f->Empty() || !f->Transparent() || disposal(f) == 2) continue;
        // A frame that shows nothing may go only when the previous picture simply stays
        // up longer: the previous frame keeps its pixels (disposal below 2) and can take
        // the delay, and both delays mean the same to every viewer (no 0, 1 or 2, which
        // viewers stretch). Otherwise it stays whole unless something opaque remains.
        TGIFGraphicControlExtension* own = f->GraphicControlExtension();
        TGIFGraphicControlExtension* prev = i > 0 ? images_->SubImages(i - 1)->GraphicControlExtension() : nullptr;
        const bool may_vanish = own && prev && f->Extensions()->Count() == 1 && !own->UserInput() &&
                                prev->Disposal() < 2 && own->Delay() >= 3 && prev->Delay() >= 3 &&
                                own->Delay() + prev->Delay() <= 0xFFFF;
        const BYTE clear = static_cast<BYTE>(f->TransparentIndex());
        const bool shows_nothing =
            std::all_of(f->Data(), f->Data() + f->DataSize(), [clear](BYTE pixel) { return pixel == clear; });
        if (shows_nothing && !may_vanish) continue;
        f->Crop();
        if (f->Empty()) {
          prev->SetDelay(prev->Delay() + own->Delay());
          images_->Delete(i);
        }
      }
    }
    if (Options & OptimizeCleanup) {
      const bool single = images_->Count() == 1;
      // The first loop extension decides the loop count and where passes start.
      const int loop_frame = FirstLoopFrame();
      TGIFExtension* first_loop = nullptr;
      if (loop_frame >= 0)
        for (int e = 0; e < images_->SubImages(loop_frame)->Extensions()->Count() && !first_loop; ++e)
          if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(images_->SubImages(loop_frame)->Extensions()->Extensions(e)))
            first_loop = loop;
      for (int i = images_->Count() - 1; i >= 0; --i) {
        TGIFSubImage* f = images_->SubImages(i);
        for (int e = f->Extensions()->Count() - 1; e >= 0; --e) {
          TGIFExtension* ext = f->Extensions()->Extensions(e);
          bool remove = dynamic_cast<TGIFCommentExtension*>(ext) || dynamic_cast<TGIFTextExtension*>(ext) ||
                        dynamic_cast<TGIFUnknownAppExtension*>(ext);
          if (dynamic_cast<TGIFAppExtNSLoop*>(ext)) remove = single || (i != 0 && ext != first_loop);
          if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext))
            remove = (gce->Delay() == 0 || single) && !gce->Transparent() && !gce->UserInput() &&
                     (gce->Disposal() < 2 || single);
          if (remove) f->Extensions()->Delete(e);
        }
        if (f->Empty() && f->Extensions()->Count() == 0) images_->Delete(i);
        step();
      }
    }
    if ((Options & OptimizeReduce) && !(Options & OptimizeCleanup) && Reduction == ReduceCustom)
      GIFError(gif_texts::kInvalidReduction);
  } catch (...) {
    FireProgress(psEnding, 0, gif_texts::kOptimizing);
    throw;
  }
  bitmap_.reset();
  FireProgress(psEnding, 100, gif_texts::kOptimizing);
  Changed(this);
}
