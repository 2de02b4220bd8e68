// The framework's graphics classes: colours, fonts, pens, brushes, canvases, graphics,
// pictures and bitmaps, over the platform's GDI.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "platform/gdi/gdi.h"

KV_EXCEPTION(EOutOfResources, EOutOfMemory);

// ---- Geometry ---------------------------------------------------------------------------
#ifndef KV_HAVE_TRECT
#define KV_HAVE_TRECT 1
using TRect = RECT;
using TPoint = POINT;
inline TRect Rect(int Left, int Top, int Right, int Bottom) { return TRect{Left, Top, Right, Bottom}; }
inline TPoint Point(int X, int Y) { return TPoint{X, Y}; }
#endif

// ---- Colours ----------------------------------------------------------------------------
// A colour: 0x00BBGGRR, or a system colour 0x800000xx (negative) naming COLOR_xx.
using TColor = int32_t;

constexpr TColor clScrollBar = static_cast<TColor>(0x80000000u | COLOR_SCROLLBAR);
constexpr TColor clBackground = static_cast<TColor>(0x80000000u | COLOR_BACKGROUND);
constexpr TColor clActiveCaption = static_cast<TColor>(0x80000000u | COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = static_cast<TColor>(0x80000000u | COLOR_INACTIVECAPTION);
constexpr TColor clMenu = static_cast<TColor>(0x80000000u | COLOR_MENU);
constexpr TColor clWindow = static_cast<TColor>(0x80000000u | COLOR_WINDOW);
constexpr TColor clWindowFrame = static_cast<TColor>(0x80000000u | COLOR_WINDOWFRAME);
constexpr TColor clMenuText = static_cast<TColor>(0x80000000u | COLOR_MENUTEXT);
constexpr TColor clWindowText = static_cast<TColor>(0x80000000u | COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = static_cast<TColor>(0x80000000u | COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = static_cast<TColor>(0x80000000u | COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = static_cast<TColor>(0x80000000u | COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = static_cast<TColor>(0x80000000u | COLOR_APPWORKSPACE);
constexpr TColor clHighlight = static_cast<TColor>(0x80000000u | COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = static_cast<TColor>(0x80000000u | COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = static_cast<TColor>(0x80000000u | COLOR_BTNFACE);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000000u | COLOR_BTNSHADOW);
constexpr TColor clGrayText = static_cast<TColor>(0x80000000u | COLOR_GRAYTEXT);
constexpr TColor clBtnText = static_cast<TColor>(0x80000000u | COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = static_cast<TColor>(0x80000000u | COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000000u | COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000000u | COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = static_cast<TColor>(0x80000000u | COLOR_3DLIGHT);
constexpr TColor clInfoText = static_cast<TColor>(0x80000000u | COLOR_INFOTEXT);
constexpr TColor clInfoBk = static_cast<TColor>(0x80000000u | COLOR_INFOBK);
constexpr TColor clHotLight = static_cast<TColor>(0x80000000u | COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = static_cast<TColor>(0x80000000u | COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = static_cast<TColor>(0x80000000u | COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = static_cast<TColor>(0x80000000u | COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = static_cast<TColor>(0x80000000u | COLOR_MENUBAR);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value of a colour: a system colour through GetSysColor; clNone reads black and
// clDefault the window colour's opposite number (black), as the framework's conversion.
COLORREF ColorToRGB(TColor Color);

// ---- Events -------------------------------------------------------------------------------
using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, BYTE PercentDone, bool RedrawNow,
                                          const TRect& R, const AnsiString& Msg)>;

class TCanvas;
class TBitmap;
class TGraphic;

// ---- Fonts, pens, brushes ---------------------------------------------------------------------
// A drawing tool that keeps a GDI handle made on first use and freed on every change.
class TGraphicsObject : public TPersistent {
 public:
  ~TGraphicsObject() override;
  KV_CLASS_NAME(TGraphicsObject)
  TNotifyEvent OnChange;

 protected:
  void Changed();
  void FreeHandle();
  HGDIOBJ handle_ = nullptr;
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = Set<TFontStyle, fsBold, fsStrikeOut>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = BYTE;

class TFont : public TGraphicsObject {
 public:
  TFont();
  KV_CLASS_NAME(TFont)
  void Assign(TPersistent* Source) override;

  // The font's face (ANSI); default "宋体", 8 points.
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& Value);
  // Points: Size = -MulDiv(Height, 72, PixelsPerInch); Height = -MulDiv(Size, PixelsPerInch, 72).
  int Size() const;
  void SetSize(int Value);
  // Pixels; negative: character height, positive: cell height, 0: the device's default.
  int Height() const { return height_; }
  void SetHeight(int Value);
  // The resolution Size converts with (the screen's 96 by default, the printer's on its
  // canvas). Changing it keeps Height.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int Value) { pixels_per_inch_ = Value > 0 ? Value : 96; }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset Value);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch Value);
  // The GDI font, made from the properties on first use.
  HFONT Handle();
  // Takes the properties of an existing GDI font (the handle stays the caller's).
  void SetHandle(HFONT Value);

 private:
  AnsiString name_;
  int height_;
  int pixels_per_inch_ = 96;
  TFontStyles style_;
  TColor color_ = clWindowText;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = fpDefault;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};

class TPen : public TGraphicsObject {
 public:
  KV_CLASS_NAME(TPen)
  void Assign(TPersistent* Source) override;
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle Value);
  // Device pixels, at least 1.
  int Width() const { return width_; }
  void SetWidth(int Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode Value);
  HPEN Handle();
  // The ROP2 code of a pen mode.
  static int Rop2Of(TPenMode Mode);

 private:
  TPenStyle style_ = psSolid;
  int width_ = 1;
  TColor color_ = clBlack;
  TPenMode mode_ = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  ~TBrush() override;
  KV_CLASS_NAME(TBrush)
  void Assign(TPersistent* Source) override;
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  // A pattern bitmap (the brush keeps its own copy); nullptr removes it.
  TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(TBitmap* Value);
  HBRUSH Handle();

 private:
  TBrushStyle style_ = bsSolid;
  TColor color_ = clWhite;
  std::unique_ptr<TBitmap> bitmap_;
};

// ---- Canvas -------------------------------------------------------------------------------------
enum TCanvasStates { csHandleValid, csFontValid, csPenValid, csBrushValid };
using TCanvasState = Set<TCanvasStates, csHandleValid, csBrushValid>;

using TCopyMode = DWORD;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmDstInvert = DSTINVERT;
constexpr TCopyMode cmMergeCopy = MERGECOPY;
constexpr TCopyMode cmMergePaint = MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
constexpr TCopyMode cmPatCopy = PATCOPY;
constexpr TCopyMode cmPatInvert = PATINVERT;
constexpr TCopyMode cmPatPaint = PATPAINT;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcErase = SRCERASE;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmWhiteness = WHITENESS;

// Draws on a device context. The font, pen and brush are selected into the DC when a
// drawing call needs them and again after they change. A canvas without a DC asks
// CreateHandle for one (a plain canvas has none: EInvalidOperation "Canvas does not allow
// drawing").
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  KV_CLASS_NAME(TCanvas)

  HDC Handle();
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return handle_ != nullptr; }
  TFont* Font() { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  TPen* Pen() { return pen_.get(); }
  void SetPen(TPen* Value) { pen_->Assign(Value); }
  TBrush* Brush() { return brush_.get(); }
  void SetBrush(TBrush* Value) { brush_->Assign(Value); }
  TCopyMode CopyMode() const { return copy_mode_; }
  void SetCopyMode(TCopyMode Value) { copy_mode_ = Value; }

  void TextOut(int X, int Y, const AnsiString& Text);
  void TextRect(const TRect& R, int X, int Y, const AnsiString& Text);
  SIZE TextExtent(const AnsiString& Text);
  int TextWidth(const AnsiString& Text) { return TextExtent(Text).cx; }
  int TextHeight(const AnsiString& Text) { return TextExtent(Text).cy; }
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  TPoint PenPos();
  void SetPenPos(const TPoint& Value) { MoveTo(Value.x, Value.y); }
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.left, R.top, R.right, R.bottom); }
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void Ellipse(const TRect& R) { Ellipse(R.left, R.top, R.right, R.bottom); }
  void Polygon(const std::vector<TPoint>& Points);
  void Polyline(const std::vector<TPoint>& Points);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  void Draw(int X, int Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  TColor Pixels(int X, int Y);
  void SetPixels(int X, int Y, TColor Value);
  TRect ClipRect();
  // Reselects font, pen and brush into the DC at the next drawing call.
  void Refresh();

  // One thread draws at a time; Lock nests.
  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const { return lock_count_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void CreateHandle();
  void RequiredState(TCanvasState State);
  virtual void Changing();
  virtual void Changed();
  // Takes the DC away (objects deselected) without deleting it.
  void DeselectHandle();

 private:
  void CreateFontState();
  void CreatePenState();
  void CreateBrushState();

  HDC handle_ = nullptr;
  TCanvasState state_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  TCopyMode copy_mode_ = cmSrcCopy;
  std::recursive_mutex lock_;
  int lock_count_ = 0;
  HGDIOBJ saved_font_ = nullptr, saved_pen_ = nullptr, saved_brush_ = nullptr;
};

// Lends a DC to a canvas for the scope's life: the canvas is locked and has the DC until
// the scope ends, however it ends.
class TCanvasDC {
 public:
  TCanvasDC(TCanvas* Canvas, HDC DC) : canvas_(Canvas) {
    canvas_->Lock();
    canvas_->SetHandle(DC);
  }
  ~TCanvasDC() {
    canvas_->SetHandle(nullptr);
    canvas_->Unlock();
  }
  TCanvasDC(const TCanvasDC&) = delete;
  TCanvasDC& operator=(const TCanvasDC&) = delete;

 private:
  TCanvas* canvas_;
};

// ---- Graphics and pictures ----------------------------------------------------------------------
class TGraphic : public TPersistent {
 public:
  KV_CLASS_NAME(TGraphic)

  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool Value);
  virtual HPALETTE Palette() { return nullptr; }
  virtual void SetPalette(HPALETTE) {}
  bool Modified() const { return modified_; }
  void SetModified(bool Value);
  // Set by a graphic whose palette changed, for whoever realises palettes.
  bool PaletteModified() const { return palette_modified_; }
  void SetPaletteModified(bool Value) { palette_modified_ = Value; }

  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  void LoadFromFile(const AnsiString& FileName);
  void SaveToFile(const AnsiString& FileName);
  // The clipboard forms of the graphic; EInvalidGraphic "Unsupported clipboard format" by default.
  virtual void LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE Palette);
  virtual void SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& Palette);

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

  // Paints the graphic into Rect of the canvas (TCanvas::Draw / StretchDraw call it).
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;

 protected:
  virtual void Changed(TObject* Sender);
  void Progress(TObject* Sender, TProgressStage Stage, BYTE PercentDone, bool RedrawNow, const TRect& R,
                const AnsiString& Msg);

 private:
  bool transparent_ = false;
  bool modified_ = false;
  bool palette_modified_ = false;
};

using TGraphicClass = std::function<TGraphic*()>;

// Holds one graphic of any registered class; loads a file by its extension.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  KV_CLASS_NAME(TPicture)

  TGraphic* Graphic() const { return graphic_.get(); }
  // A copy of Value of the same class (nullptr clears); the class must be registered
  // (EInvalidGraphic "Unknown picture class %s") unless it is a TBitmap.
  void SetGraphic(TGraphic* Value);
  // The graphic as a bitmap; any other graphic is replaced by an empty bitmap.
  TBitmap* Bitmap();
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // EInvalidGraphic "Unknown picture file extension (.%s)" for an unregistered extension.
  void LoadFromFile(const AnsiString& FileName);
  void SaveToFile(const AnsiString& FileName);
  void LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE Palette);
  void SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& Palette);
  void Assign(TPersistent* Source) override;

  // The file-format registry (extension without ".", any letter case).
  static void RegisterFileFormat(const AnsiString& Extension, const AnsiString& Description,
                                 const AnsiString& ClassName, TGraphicClass Factory);
  static void RegisterClipboardFormat(WORD Format, const AnsiString& ClassName, TGraphicClass Factory);
  static void UnregisterGraphicClass(const AnsiString& ClassName);
  static bool SupportsClipboardFormat(WORD Format);
  // "All (*.bmp;*.jpg)|*.bmp;*.jpg|Bitmaps (*.bmp)|*.bmp|..."
  static AnsiString GraphicFilter();
  static TGraphicClass FactoryForExtension(const AnsiString& Extension);

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  void Take(TGraphic* NewGraphic);
  void Changed(TObject* Sender);
  std::unique_ptr<TGraphic> graphic_;
};

// ---- Bitmaps -----------------------------------------------------------------------------------------
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType { bmDIB, bmDDB };
enum TTransparentMode { tmAuto, tmFixed };

class TBitmapCanvas;

// A bitmap held as a DIB section (pfDevice: 32 bits, reported as bmDDB). ScanLine follows
// the DIB's bottom-up row layout: ScanLine(0) is the top row, at the highest address.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  KV_CLASS_NAME(TBitmap)

  bool Empty() const override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  void SetSize(int AWidth, int AHeight);
  TPixelFormat PixelFormat() const { return pixel_format_; }
  // Converts the pixels to the new depth (through the colour table for 1, 4, 8 bits).
  void SetPixelFormat(TPixelFormat Value);
  bool Monochrome() const { return pixel_format_ == pf1bit; }
  void SetMonochrome(bool Value);
  TBitmapHandleType HandleType() const { return pixel_format_ == pfDevice ? bmDDB : bmDIB; }
  void SetHandleType(TBitmapHandleType Value);

  // Row Row's pixels (EInvalidGraphicOperation "Scan line index out of range").
  void* ScanLine(int Row);
  TCanvas* Canvas();
  HBITMAP Handle();
  // Takes ownership of a bitmap handle (DIB section or device bitmap).
  void SetHandle(HBITMAP Value);
  // Gives the handle to the caller; the bitmap keeps a copy of the pixels.
  HBITMAP ReleaseHandle();
  HPALETTE Palette() override;
  // Copies the palette; for 1, 4 and 8 bits it becomes the colour table.
  void SetPalette(HPALETTE Value) override;

  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return transparent_mode_; }
  void SetTransparentMode(TTransparentMode Value);
  // Turns the bitmap into a monochrome mask: white where the colour is, black elsewhere.
  void Mask(TColor TransparentColor);

  // Keeps the pixels as a BMP image in memory and frees the GDI handle until next use.
  void Dormant();
  // Drops the in-memory image kept by Dormant (the handle is made from it first).
  void FreeImage();

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE Palette) override;
  void SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& Palette) override;
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;

  // Bytes per row of the DIB (4-byte aligned).
  int Stride() const;
  int BitsPerPixel() const;

 private:
  friend class TBitmapCanvas;
  void EnsureHandle();
  void Rebuild(int NewWidth, int NewHeight, TPixelFormat NewFormat, bool KeepPixels);
  void FreeContext();
  void DefaultColorTable(TPixelFormat Format, std::vector<RGBQUAD>& Table) const;
  void Wake();

  int width_ = 0;
  int height_ = 0;
  TPixelFormat pixel_format_ = pfDevice;
  HBITMAP handle_ = nullptr;
  void* bits_ = nullptr;
  std::vector<RGBQUAD> colors_;  // colour table for 1, 4, 8 bits
  HPALETTE palette_ = nullptr;
  TColor transparent_color_ = clDefault;
  TTransparentMode transparent_mode_ = tmAuto;
  std::string dormant_;  // BMP image while dormant
  std::unique_ptr<TBitmapCanvas> canvas_;
};

// The canvas of a bitmap: a memory DC with the bitmap selected, made on first use.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* Bitmap) : bitmap_(Bitmap) {}
  ~TBitmapCanvas() override;
  KV_CLASS_NAME(TBitmapCanvas)
  void FreeContext();

 protected:
  void CreateHandle() override;

 private:
  TBitmap* bitmap_;
  HDC dc_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  HPALETTE old_palette_ = nullptr;
};

// Registers the built-in graphic classes (bitmap, JPEG) with TPicture; called by
// TPicture's first use, and safe to call again.
void RegisterStandardGraphics();
