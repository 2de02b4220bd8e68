// Colours, fonts, pens, brushes, canvases, graphics and pictures.
#include "framework/graphics/graphics.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "framework/core/sysutils.h"
#include "platform/base/codepage.h"
#include "platform/base/system.h"

namespace {
// The framework's default face, "宋体" (UTF-8 here, ANSI in the font).
constexpr char kDefaultFaceUtf8[] = "\xE5\xAE\x8B\xE4\xBD\x93";
}  // namespace

COLORREF ColorToRGB(TColor Color) {
  if (Color < 0) return GetSysColor(Color & 0xFF);
  if (Color == clNone || Color == clDefault) return 0;
  return static_cast<COLORREF>(Color) & 0xFFFFFF;
}

// ---- TGraphicsObject ------------------------------------------------------------------------

TGraphicsObject::~TGraphicsObject() { FreeHandle(); }

void TGraphicsObject::FreeHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TGraphicsObject::Changed() {
  FreeHandle();
  if (OnChange) OnChange(this);
}

// ---- TFont ------------------------------------------------------------------------------------

TFont::TFont() : name_(kv::Utf8ToAnsi(kDefaultFaceUtf8)), height_(-MulDiv(8, 96, 72)) {}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    name_ = f->name_;
    // The size in points carries over; the height follows this font's resolution.
    height_ = f->pixels_per_inch_ == pixels_per_inch_ ? f->height_ : -MulDiv(f->Size(), pixels_per_inch_, 72);
    style_ = f->style_;
    color_ = f->color_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TFont::SetName(const AnsiString& Value) {
  if (Value.empty() || Value == name_) return;
  name_ = Value;
  Changed();
}

int TFont::Size() const { return -MulDiv(height_, 72, pixels_per_inch_); }
void TFont::SetSize(int Value) { SetHeight(-MulDiv(Value, pixels_per_inch_, 72)); }

void TFont::SetHeight(int Value) {
  if (Value == height_) return;
  height_ = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == style_) return;
  style_ = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (Value == color_) return;
  color_ = Value;
  // The colour is a DC attribute, not part of the GDI font: keep the handle.
  if (OnChange) OnChange(this);
}

void TFont::SetCharset(TFontCharset Value) {
  if (Value == charset_) return;
  charset_ = Value;
  Changed();
}

void TFont::SetPitch(TFontPitch Value) {
  if (Value == pitch_) return;
  pitch_ = Value;
  Changed();
}

HFONT TFont::Handle() {
  if (!handle_) {
    LOGFONTA lf{};
    lf.lfHeight = height_;
    lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style_.Contains(fsItalic);
    lf.lfUnderline = style_.Contains(fsUnderline);
    lf.lfStrikeOut = style_.Contains(fsStrikeOut);
    lf.lfCharSet = charset_;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = pitch_ == fpFixed ? FIXED_PITCH : pitch_ == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
    // Cut the face to the field on a character boundary.
    size_t n = 0;
    while (n < name_.size()) {
      size_t step = IsDBCSLeadByte(static_cast<BYTE>(name_[n])) && n + 1 < name_.size() ? 2 : 1;
      if (n + step > LF_FACESIZE - 1) break;
      n += step;
    }
    std::memcpy(lf.lfFaceName, name_.data(), n);
    handle_ = CreateFontIndirectA(&lf);
    if (!handle_) throw EOutOfResources("Out of system resources");
  }
  return static_cast<HFONT>(handle_);
}

void TFont::SetHandle(HFONT Value) {
  LOGFONTA lf{};
  if (!Value || GetObjectA(Value, sizeof lf, &lf) != sizeof lf) throw EInvalidGraphic("Invalid font handle");
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
  name_ = lf.lfFaceName;
  height_ = lf.lfHeight;
  style_ = TFontStyles();
  if (lf.lfWeight >= FW_BOLD) style_ << fsBold;
  if (lf.lfItalic) style_ << fsItalic;
  if (lf.lfUnderline) style_ << fsUnderline;
  if (lf.lfStrikeOut) style_ << fsStrikeOut;
  charset_ = lf.lfCharSet;
  Changed();
}

// ---- TPen ---------------------------------------------------------------------------------------

void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    style_ = p->style_;
    width_ = p->width_;
    color_ = p->color_;
    mode_ = p->mode_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TPen::SetStyle(TPenStyle Value) {
  if (Value == style_) return;
  style_ = Value;
  Changed();
}

void TPen::SetWidth(int Value) {
  if (Value < 1) Value = 1;
  if (Value == width_) return;
  width_ = Value;
  Changed();
}

void TPen::SetColor(TColor Value) {
  if (Value == color_) return;
  color_ = Value;
  Changed();
}

void TPen::SetMode(TPenMode Value) {
  if (Value == mode_) return;
  mode_ = Value;
  if (OnChange) OnChange(this);  // a DC attribute: the GDI pen stays
}

int TPen::Rop2Of(TPenMode Mode) {
  static const int kRop2[] = {R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,        R2_COPYPEN,  R2_NOTCOPYPEN,
                              R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
                              R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN};
  return kRop2[Mode];
}

HPEN TPen::Handle() {
  if (!handle_) {
    static const int kStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    handle_ = CreatePen(kStyles[style_], width_, ColorToRGB(color_));
    if (!handle_) throw EOutOfResources("Out of system resources");
  }
  return static_cast<HPEN>(handle_);
}

// ---- TBrush --------------------------------------------------------------------------------------

TBrush::~TBrush() = default;

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    style_ = b->style_;
    color_ = b->color_;
    if (b->bitmap_) {
      bitmap_ = std::make_unique<TBitmap>();
      bitmap_->Assign(b->bitmap_.get());
    } else {
      bitmap_.reset();
    }
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (Value == style_ && !bitmap_) return;
  style_ = Value;
  bitmap_.reset();
  Changed();
}

void TBrush::SetColor(TColor Value) {
  if (Value == color_ && !bitmap_) return;
  color_ = Value;
  if (style_ == bsClear) style_ = bsSolid;
  bitmap_.reset();
  Changed();
}

void TBrush::SetBitmap(TBitmap* Value) {
  if (Value) {
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(Value);
  } else {
    bitmap_.reset();
  }
  Changed();
}

HBRUSH TBrush::Handle() {
  if (!handle_) {
    if (bitmap_ && !bitmap_->Empty()) {
      handle_ = CreatePatternBrush(bitmap_->Handle());
    } else if (style_ == bsSolid) {
      handle_ = CreateSolidBrush(ColorToRGB(color_));
    } else if (style_ == bsClear) {
      LOGBRUSH lb{BS_NULL, 0, 0};
      handle_ = CreateBrushIndirect(&lb);
    } else {
      static const int kHatch[] = {0,        0,           HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL,
                                   HS_CROSS, HS_DIAGCROSS};
      handle_ = CreateHatchBrush(kHatch[style_], ColorToRGB(color_));
    }
    if (!handle_) throw EOutOfResources("Out of system resources");
  }
  return static_cast<HBRUSH>(handle_);
}

// ---- TCanvas ---------------------------------------------------------------------------------------

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
  font_->OnChange = [this](TObject*) { state_ >> csFontValid; };
  pen_->OnChange = [this](TObject*) { state_ >> csPenValid; };
  brush_->OnChange = [this](TObject*) { state_ >> csBrushValid; };
}

TCanvas::~TCanvas() { DeselectHandle(); }

HDC TCanvas::Handle() {
  RequiredState(TCanvasState{csHandleValid});
  return handle_;
}

void TCanvas::SetHandle(HDC Value) {
  if (Value == handle_) return;
  DeselectHandle();
  handle_ = Value;
  if (handle_) state_ << csHandleValid;
}

void TCanvas::DeselectHandle() {
  if (handle_ && GetObjectType(handle_) != 0) {
    if (saved_font_) SelectObject(handle_, saved_font_);
    if (saved_pen_) SelectObject(handle_, saved_pen_);
    if (saved_brush_) SelectObject(handle_, saved_brush_);
  }
  saved_font_ = saved_pen_ = saved_brush_ = nullptr;
  handle_ = nullptr;
  state_ = TCanvasState();
}

void TCanvas::CreateHandle() {}

void TCanvas::RequiredState(TCanvasState State) {
  TCanvasState needed = State - state_;
  if (needed.Empty()) return;
  if (needed.Contains(csHandleValid)) {
    CreateHandle();
    if (!handle_) throw EInvalidOperation("Canvas does not allow drawing");
    state_ << csHandleValid;
  }
  if (needed.Contains(csFontValid)) CreateFontState();
  if (needed.Contains(csPenValid)) CreatePenState();
  if (needed.Contains(csBrushValid)) CreateBrushState();
}

void TCanvas::CreateFontState() {
  HGDIOBJ old = SelectObject(handle_, font_->Handle());
  if (!saved_font_) saved_font_ = old;
  SetTextColor(handle_, ColorToRGB(font_->Color()));
  state_ << csFontValid;
}

void TCanvas::CreatePenState() {
  HGDIOBJ old = SelectObject(handle_, pen_->Handle());
  if (!saved_pen_) saved_pen_ = old;
  SetROP2(handle_, TPen::Rop2Of(pen_->Mode()));
  state_ << csPenValid;
}

void TCanvas::CreateBrushState() {
  HGDIOBJ old = SelectObject(handle_, brush_->Handle());
  if (!saved_brush_) saved_brush_ = old;
  if (brush_->Style() == bsSolid) {
    SetBkColor(handle_, ColorToRGB(brush_->Color()));
    SetBkMode(handle_, OPAQUE);
  } else {
    SetBkColor(handle_, ~ColorToRGB(brush_->Color()) & 0xFFFFFF);
    SetBkMode(handle_, TRANSPARENT);
  }
  state_ << csBrushValid;
}

void TCanvas::Refresh() { state_ = state_ * TCanvasState{csHandleValid}; }

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::TextOut(int X, int Y, const AnsiString& Text) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csFontValid, csBrushValid});
  ExtTextOutA(handle_, X, Y, 0, nullptr, Text.data(), static_cast<UINT>(Text.size()), nullptr);
  MoveToEx(handle_, X + TextWidth(Text), Y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& R, int X, int Y, const AnsiString& Text) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csFontValid, csBrushValid});
  UINT options = ETO_CLIPPED | (brush_->Style() != bsClear ? ETO_OPAQUE : 0);
  ExtTextOutA(handle_, X, Y, options, &R, Text.data(), static_cast<UINT>(Text.size()), nullptr);
  Changed();
}

SIZE TCanvas::TextExtent(const AnsiString& Text) {
  RequiredState(TCanvasState{csHandleValid, csFontValid});
  SIZE s{0, 0};
  GetTextExtentPoint32A(handle_, Text.data(), static_cast<int>(Text.size()), &s);
  return s;
}

void TCanvas::MoveTo(int X, int Y) {
  RequiredState(TCanvasState{csHandleValid});
  MoveToEx(handle_, X, Y, nullptr);
}

void TCanvas::LineTo(int X, int Y) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid, csBrushValid});
  ::LineTo(handle_, X, Y);
  Changed();
}

TPoint TCanvas::PenPos() {
  RequiredState(TCanvasState{csHandleValid});
  POINT p{0, 0};
  GetCurrentPositionEx(handle_, &p);
  return p;
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid, csBrushValid});
  ::Rectangle(handle_, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid, csBrushValid});
  ::RoundRect(handle_, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid, csBrushValid});
  ::Ellipse(handle_, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& Points) {
  if (Points.empty()) return;
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid, csBrushValid});
  ::Polygon(handle_, Points.data(), static_cast<int>(Points.size()));
  Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& Points) {
  if (Points.empty()) return;
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid, csBrushValid});
  ::Polyline(handle_, Points.data(), static_cast<int>(Points.size()));
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csBrushValid});
  ::FillRect(handle_, &R, brush_->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csBrushValid});
  ::FrameRect(handle_, &R, brush_->Handle());
  Changed();
}

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  StretchDraw(Rect(X, Y, X + Graphic->Width(), Y + Graphic->Height()), Graphic);
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(TCanvasState{csHandleValid});
  Graphic->Draw(this, R);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  RequiredState(TCanvasState{csHandleValid, csFontValid, csBrushValid});
  HDC src = Canvas->Handle();
  StretchBlt(handle_, Dest.left, Dest.top, Dest.right - Dest.left, Dest.bottom - Dest.top, src, Source.left, Source.top,
             Source.right - Source.left, Source.bottom - Source.top, copy_mode_);
  Changed();
}

TColor TCanvas::Pixels(int X, int Y) {
  RequiredState(TCanvasState{csHandleValid});
  COLORREF c = GetPixel(handle_, X, Y);
  return c == CLR_INVALID ? clNone : static_cast<TColor>(c);
}

void TCanvas::SetPixels(int X, int Y, TColor Value) {
  Changing();
  RequiredState(TCanvasState{csHandleValid, csPenValid});
  SetPixel(handle_, X, Y, ColorToRGB(Value));
  Changed();
}

TRect TCanvas::ClipRect() {
  RequiredState(TCanvasState{csHandleValid});
  RECT r{0, 0, 0, 0};
  GetClipBox(handle_, &r);
  return r;
}

void TCanvas::Lock() {
  lock_.lock();
  ++lock_count_;
}

void TCanvas::Unlock() {
  if (lock_count_ == 0) return;
  --lock_count_;
  lock_.unlock();
}

bool TCanvas::TryLock() {
  if (!lock_.try_lock()) return false;
  ++lock_count_;
  return true;
}

// ---- TGraphic ------------------------------------------------------------------------------------------

void TGraphic::SetTransparent(bool Value) {
  if (Value == transparent_) return;
  transparent_ = Value;
  Changed(this);
}

void TGraphic::SetModified(bool Value) {
  if (Value)
    Changed(this);
  else
    modified_ = false;
}

void TGraphic::Changed(TObject*) {
  modified_ = true;
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, BYTE PercentDone, bool RedrawNow, const TRect& R,
                        const AnsiString& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

void TGraphic::LoadFromFile(const AnsiString& FileName) {
  TFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&s);
}

void TGraphic::SaveToFile(const AnsiString& FileName) {
  TFileStream s(FileName, fmCreate);
  SaveToStream(&s);
}

void TGraphic::LoadFromClipboardFormat(WORD, HANDLE, HPALETTE) {
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::SaveToClipboardFormat(WORD&, HANDLE&, HPALETTE&) {
  throw EInvalidGraphic("Unsupported clipboard format");
}

// ---- TPicture -------------------------------------------------------------------------------------------

namespace {

struct FileFormat {
  AnsiString extension;  // lower case
  AnsiString description;
  AnsiString className;
  TGraphicClass factory;
};
struct ClipFormat {
  WORD format;
  AnsiString className;
  TGraphicClass factory;
};
struct Registry {
  std::mutex lock;
  std::vector<FileFormat> files;
  std::vector<ClipFormat> clips;
};
Registry& Formats() {
  static Registry r;
  return r;
}

AnsiString Lower(AnsiString s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TGraphicClass FactoryForClass(const AnsiString& className) {
  RegisterStandardGraphics();
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  for (auto& f : r.files)
    if (f.className == className) return f.factory;
  for (auto& c : r.clips)
    if (c.className == className) return c.factory;
  return nullptr;
}

}  // namespace

TPicture::TPicture() { RegisterStandardGraphics(); }
TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const AnsiString& Extension, const AnsiString& Description,
                                  const AnsiString& ClassName, TGraphicClass Factory) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  AnsiString ext = Lower(Extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  for (auto& f : r.files)
    if (f.extension == ext) {
      f = {ext, Description, ClassName, std::move(Factory)};
      return;
    }
  r.files.push_back({ext, Description, ClassName, std::move(Factory)});
}

void TPicture::RegisterClipboardFormat(WORD Format, const AnsiString& ClassName, TGraphicClass Factory) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  for (auto& c : r.clips)
    if (c.format == Format) {
      c = {Format, ClassName, std::move(Factory)};
      return;
    }
  r.clips.push_back({Format, ClassName, std::move(Factory)});
}

void TPicture::UnregisterGraphicClass(const AnsiString& ClassName) {
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  std::erase_if(r.files, [&](const FileFormat& f) { return f.className == ClassName; });
  std::erase_if(r.clips, [&](const ClipFormat& c) { return c.className == ClassName; });
}

bool TPicture::SupportsClipboardFormat(WORD Format) {
  RegisterStandardGraphics();
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  for (auto& c : r.clips)
    if (c.format == Format) return true;
  return false;
}

TGraphicClass TPicture::FactoryForExtension(const AnsiString& Extension) {
  RegisterStandardGraphics();
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  AnsiString ext = Lower(Extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  for (auto& f : r.files)
    if (f.extension == ext) return f.factory;
  return nullptr;
}

AnsiString TPicture::GraphicFilter() {
  RegisterStandardGraphics();
  Registry& r = Formats();
  std::lock_guard<std::mutex> g(r.lock);
  AnsiString all, each;
  for (auto& f : r.files) {
    if (!all.empty()) all += ";";
    all += "*." + f.extension;
    each += "|" + f.description + " (*." + f.extension + ")|*." + f.extension;
  }
  return "All (" + all + ")|" + all + each;
}

void TPicture::Take(TGraphic* NewGraphic) {
  graphic_.reset(NewGraphic);
  if (graphic_) {
    graphic_->OnChange = [this](TObject* s) { Changed(s); };
    graphic_->OnProgress = [this](TObject* s, TProgressStage st, BYTE p, bool redraw, const TRect& rc,
                                  const AnsiString& msg) {
      if (OnProgress) OnProgress(s, st, p, redraw, rc, msg);
    };
  }
  Changed(this);
}

void TPicture::Changed(TObject*) {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (Value == graphic_.get()) return;
  if (!Value) {
    Take(nullptr);
    return;
  }
  TGraphicClass factory = dynamic_cast<TBitmap*>(Value) && Value->ClassName() == AnsiString("TBitmap")
                              ? TGraphicClass([] { return new TBitmap; })
                              : FactoryForClass(Value->ClassName());
  if (!factory) throw EInvalidGraphic(AnsiString("Unknown picture class ") + Value->ClassName());
  std::unique_ptr<TGraphic> copy(factory());
  copy->Assign(Value);
  Take(copy.release());
}

TBitmap* TPicture::Bitmap() {
  auto* b = dynamic_cast<TBitmap*>(graphic_.get());
  if (!b) {
    b = new TBitmap;
    Take(b);
  }
  return b;
}

void TPicture::LoadFromFile(const AnsiString& FileName) {
  AnsiString ext = ExtractFileExt(FileName);
  if (!ext.empty()) ext.erase(0, 1);
  TGraphicClass factory = FactoryForExtension(ext);
  if (!factory) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  std::unique_ptr<TGraphic> g(factory());
  g->LoadFromFile(FileName);
  Take(g.release());
}

void TPicture::SaveToFile(const AnsiString& FileName) {
  if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE Palette) {
  TGraphicClass factory;
  {
    RegisterStandardGraphics();
    Registry& r = Formats();
    std::lock_guard<std::mutex> g(r.lock);
    for (auto& c : r.clips)
      if (c.format == Format) factory = c.factory;
  }
  if (!factory) throw EInvalidGraphic("Unsupported clipboard format");
  std::unique_ptr<TGraphic> g(factory());
  g->LoadFromClipboardFormat(Format, Data, Palette);
  Take(g.release());
}

void TPicture::SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& Palette) {
  if (!graphic_) throw EInvalidGraphic("Unsupported clipboard format");
  graphic_->SaveToClipboardFormat(Format, Data, Palette);
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(Source)) {
    SetGraphic(p->Graphic());
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::AssignTo(TPersistent* Dest) {
  if (graphic_) {
    Dest->Assign(graphic_.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}
