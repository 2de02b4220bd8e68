// The GIF image object: TGIFImage holds one whole GIF file (header with the global colour
// table, frames with their extensions and local tables), reads and writes it, draws it
// (animated through TGIFPainter) and is registered with TPicture as the "GIF" format.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/core/strings.h"
#include "framework/core/threads.h"
#include "framework/graphics/graphics.h"
#include "gif/gif_color.h"
#include "gif/gif_dib.h"
#include "gif/gif_stream.h"
#include "gif/gif_lzw.h"

class TGIFImage;
class TGIFSubImage;
class TGIFPainter;
class TGIFHeader;
class TGIFGraphicControlExtension;

using TGIFWarning = std::function<void(TObject* Sender, int Severity, const AnsiString& Message)>;
using TGIFPainterEvent = std::function<void(TObject* Sender)>;

enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };

// PaintFlags bits.
using TGIFDrawOptions = WORD;
constexpr TGIFDrawOptions DrawThreaded = 0x0001;
constexpr TGIFDrawOptions DrawTransparent = 0x0002;
constexpr TGIFDrawOptions DrawAnimated = 0x0004;
constexpr TGIFDrawOptions DrawLooped = 0x0008;
constexpr TGIFDrawOptions DrawLoopEndless = 0x0010;
constexpr TGIFDrawOptions DrawCheckCanvas = 0x0020;
constexpr TGIFDrawOptions DrawDirect = 0x0040;
constexpr TGIFDrawOptions DrawClearOnLoop = 0x0080;
constexpr TGIFDrawOptions DrawTiled = 0x0100;
constexpr TGIFDrawOptions DrawDithered = 0x0200;
constexpr TGIFDrawOptions DrawDitherAuto = 0x0400;
constexpr TGIFDrawOptions kGIFDefaultPaintFlags = 0x068F;

// OptimizeImage options.
using TGIFOptimizeOptions = BYTE;
constexpr TGIFOptimizeOptions OptimizeCrop = 0x01;
constexpr TGIFOptimizeOptions OptimizeMerge = 0x02;
constexpr TGIFOptimizeOptions OptimizeCleanup = 0x04;
constexpr TGIFOptimizeOptions OptimizeColorMaps = 0x08;
constexpr TGIFOptimizeOptions OptimizeReduce = 0x10;

enum TGIFEncoderKind : BYTE { CompressLZW = 0, CompressRLE = 1 };

// ---- Items ------------------------------------------------------------------------------
class TGIFItem : public TPersistent {
 public:
  explicit TGIFItem(TGIFImage* AImage) : image_(AImage) {}
  KV_CLASS_NAME(TGIFItem)
  virtual TGIFVersion Version() const { return gv87a; }
  virtual void Warning(int Severity, const AnsiString& Message);
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromStream(TStream* Stream) = 0;
  void SaveToFile(const AnsiString& FileName);
  void LoadFromFile(const AnsiString& FileName);
  TGIFImage* Image() const { return image_; }

 protected:
  TGIFImage* image_;
};

// An owning list of items.
class TGIFList : public TPersistent {
 public:
  explicit TGIFList(TGIFImage* AImage) : image_(AImage) {}
  ~TGIFList() override;
  KV_CLASS_NAME(TGIFList)
  int Count() const { return static_cast<int>(items_.size()); }
  TGIFItem* Items(int Index) const;
  int Add(TGIFItem* Item);
  void Insert(int Index, TGIFItem* Item);
  // Frees the item.
  void Delete(int Index);
  // Takes the item out without freeing it; its index, or -1.
  int Remove(TGIFItem* Item);
  int IndexOf(const TGIFItem* Item) const;
  void Clear();
  virtual void SaveToStream(TStream* Stream);
  virtual void Warning(int Severity, const AnsiString& Message);
  TGIFImage* Image() const { return image_; }

 protected:
  TGIFImage* image_;
  std::vector<TGIFItem*> items_;
};

class TGIFImageList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  KV_CLASS_NAME(TGIFImageList)
  TGIFSubImage* SubImages(int Index) const;
  void SaveToStream(TStream* Stream) override;
  // The block loop: frames with their extensions until the trailer.
  void LoadFromStream(TStream* Stream, TGIFImage* Parent);
};

class TGIFExtension;
class TGIFExtensionList : public TGIFList {
 public:
  explicit TGIFExtensionList(TGIFSubImage* ASubImage);
  KV_CLASS_NAME(TGIFExtensionList)
  TGIFExtension* Extensions(int Index) const;
  void LoadFromStream(TStream* Stream, TGIFSubImage* Parent);
};

// ---- Colour tables ----------------------------------------------------------------------
class TGIFColorMap : public TPersistent {
 public:
  TGIFColorMap() = default;
  KV_CLASS_NAME(TGIFColorMap)
  int Count() const { return static_cast<int>(colors_.size()); }
  int Capacity() const { return capacity_; }
  // Colour as a framework value (0x00BBGGRR). A bad index warns "Invalid color index" and
  // reads index 0; an empty table raises "Color table is empty".
  TColor Colors(int Index);
  TGIFRGB Entry(int Index) const { return colors_[static_cast<size_t>(Index)]; }
  void SetColors(int Index, TColor Value);
  int Add(TColor Color);
  int AddUnique(TColor Color);
  int IndexOf(TColor Color) const;
  void Delete(int Index);
  void Clear();
  int BitsPerPixel() const { return BitsPerPixelOf(Count()); }
  bool Optimized() const { return sorted_; }
  void SetOptimized(bool Value) { sorted_ = Value; }
  void ImportPalette(HPALETTE Palette);
  void ImportRGB(const RGBQUAD* Colors, int Count);
  void ImportDIBColors(HDC DC);
  // A new palette (version 0x300, every entry no-collapse); the caller deletes it.
  HPALETTE ExportPalette() const;
  // Count x 3 bytes, then black up to 2^BitsPerPixel entries.
  void SaveToStream(TStream* Stream) const;
  void LoadFromStream(TStream* Stream, int Count);
  void Assign(TPersistent* Source) override;
  // Sorts by use (most used first), rewrites the frames that use the table and cuts
  // the unused tail. Tables of fewer than 2 colours are left alone.
  void Optimize();
  virtual void Warning(int Severity, const AnsiString& Message) = 0;
  virtual void Changed() = 0;

 protected:
  // Uses of every index by the frames that draw with this table.
  virtual std::vector<uint64_t> BuildHistogram() = 0;
  virtual void RemapImages(const std::vector<int>& Map) = 0;

 private:
  void Grow(int Needed);
  std::vector<TGIFRGB> colors_;
  int capacity_ = 0;
  bool sorted_ = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* AHeader) : header_(AHeader) {}
  KV_CLASS_NAME(TGIFGlobalColorMap)
  void Warning(int Severity, const AnsiString& Message) override;
  void Changed() override;

 protected:
  std::vector<uint64_t> BuildHistogram() override;
  void RemapImages(const std::vector<int>& Map) override;

 private:
  TGIFHeader* header_;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* ASubImage) : sub_image_(ASubImage) {}
  KV_CLASS_NAME(TGIFLocalColorMap)
  void Warning(int Severity, const AnsiString& Message) override;
  void Changed() override;

 protected:
  std::vector<uint64_t> BuildHistogram() override;
  void RemapImages(const std::vector<int>& Map) override;

 private:
  TGIFSubImage* sub_image_;
};

// ---- Header and trailer -------------------------------------------------------------------
class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* AImage);
  ~TGIFHeader() override;
  KV_CLASS_NAME(TGIFHeader)
  void Clear();
  void Assign(TPersistent* Source) override;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  TGIFVersion Version() const override;
  TColor BackgroundColor();
  BYTE BackgroundColorIndex() const { return background_index_; }
  void SetBackgroundColorIndex(BYTE Value) { background_index_ = Value; }
  BYTE AspectRatio() const { return aspect_ratio_; }
  void SetAspectRatio(BYTE Value) { aspect_ratio_ = Value; }
  int BitsPerPixel() const { return color_map_->BitsPerPixel(); }
  int ColorResolution() const { return color_map_->BitsPerPixel() - 1; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int Value) { width_ = static_cast<WORD>(Value); }
  void SetHeight(int Value) { height_ = static_cast<WORD>(Value); }
  BYTE PackedFields() const { return flags_; }
  // Recomputes the descriptor flags as saving does.
  void Prepare();
  TGIFColorMap* ColorMap() const { return color_map_.get(); }
  const std::array<BYTE, 6>& Signature() const { return signature_; }

 private:
  std::array<BYTE, 6> signature_{};
  WORD width_ = 0, height_ = 0;
  BYTE flags_ = 0, background_index_ = 0, aspect_ratio_ = 0;
  std::unique_ptr<TGIFGlobalColorMap> color_map_;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  KV_CLASS_NAME(TGIFTrailer)
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;
};

// ---- Extensions ------------------------------------------------------------------------------
class TGIFExtension;
// Makes an extension of one class for a frame.
using TGIFExtensionClass = TGIFExtension* (*)(TGIFSubImage* Owner);

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* ASubImage);
  // Leaves its frame's extension list.
  ~TGIFExtension() override;
  KV_CLASS_NAME(TGIFExtension)
  virtual BYTE ExtensionType() const = 0;
  // The class to read the block at the stream's position (the stream is restored).
  virtual TGIFExtensionClass FindSubExtension(TStream* Stream) const {
    (void)Stream;
    return nullptr;
  }
  TGIFVersion Version() const override { return gv89a; }
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;
  TGIFSubImage* SubImage() const { return sub_image_; }
  void Detach() { sub_image_ = nullptr; }

 protected:
  // The block after the label.
  virtual void SaveBlock(TStream* Stream) = 0;
  virtual void LoadBlock(TStream* Stream) = 0;
  TGIFSubImage* sub_image_;
};

// Written in the well-formed layout (size 4, the fields, terminator 0) whatever the file
// held; a size byte or terminator that is not so is warned about ("Invalid GIF data") at
// load, a block cut short with "Premature end of data".
class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  explicit TGIFGraphicControlExtension(TGIFSubImage* ASubImage);
  ~TGIFGraphicControlExtension() override;
  KV_CLASS_NAME(TGIFGraphicControlExtension)
  BYTE ExtensionType() const override { return 0xF9; }
  int Disposal() const { return (flags_ >> 2) & 7; }
  void SetDisposal(int Value) { flags_ = static_cast<BYTE>((flags_ & ~0x1C) | ((Value & 7) << 2)); }
  bool Transparent() const { return (flags_ & 1) != 0; }
  void SetTransparent(bool Value);
  bool UserInput() const { return (flags_ & 2) != 0; }
  void SetUserInput(bool Value) { flags_ = static_cast<BYTE>(Value ? flags_ | 2 : flags_ & ~2); }
  int Delay() const { return delay_; }
  void SetDelay(int Value) { delay_ = static_cast<WORD>(Value); }
  int TransparentColorIndex() const { return transparent_index_; }
  // An index not below the active table's count (when it has colours) warns "Invalid
  // color index" and stores 0.
  void SetTransparentColorIndex(int Value);

 protected:
  void SaveBlock(TStream* Stream) override;
  void LoadBlock(TStream* Stream) override;

 private:
  BYTE flags_ = 0;
  WORD delay_ = 0;
  BYTE transparent_index_ = 0;
};

class TGIFTextExtension : public TGIFExtension {
 public:
  explicit TGIFTextExtension(TGIFSubImage* ASubImage);
  ~TGIFTextExtension() override;
  KV_CLASS_NAME(TGIFTextExtension)
  BYTE ExtensionType() const override { return 0x01; }
  TStrings* Text() const { return text_.get(); }
  // The 13-byte block: size 12, grid left, top, width, height, cell width, cell height,
  // foreground index, background index. The size byte is always written as 12; another
  // one in a file is warned about ("Invalid GIF data") at load.
  std::array<BYTE, 13>& Block() { return block_; }

 protected:
  void SaveBlock(TStream* Stream) override;
  void LoadBlock(TStream* Stream) override;

 private:
  std::array<BYTE, 13> block_{};
  std::unique_ptr<TStringList> text_;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  explicit TGIFCommentExtension(TGIFSubImage* ASubImage);
  ~TGIFCommentExtension() override;
  KV_CLASS_NAME(TGIFCommentExtension)
  BYTE ExtensionType() const override { return 0xFE; }
  TStrings* Text() const { return text_.get(); }

 protected:
  void SaveBlock(TStream* Stream) override;
  void LoadBlock(TStream* Stream) override;

 private:
  std::unique_ptr<TStringList> text_;
};

using TGIFApplicationIdentifier = std::array<BYTE, 11>;

class TGIFApplicationExtension : public TGIFExtension {
 public:
  explicit TGIFApplicationExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {}
  KV_CLASS_NAME(TGIFApplicationExtension)
  BYTE ExtensionType() const override { return 0xFF; }
  TGIFExtensionClass FindSubExtension(TStream* Stream) const override;
  const TGIFApplicationIdentifier& Identifier() const { return identifier_; }
  void SetIdentifier(const TGIFApplicationIdentifier& Value) { identifier_ = Value; }

 protected:
  void SaveBlock(TStream* Stream) override;
  void LoadBlock(TStream* Stream) override;
  virtual void SaveData(TStream* Stream) = 0;
  virtual void LoadData(TStream* Stream) = 0;
  TGIFApplicationIdentifier identifier_{};
  // 11, or 10 for a block read with a 10-byte identifier, which is written back so.
  BYTE block_size_ = 11;
};

// One raw data sub-block.
struct TGIFBlock {
  std::vector<BYTE> Data;  // at most 255 bytes
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  KV_CLASS_NAME(TGIFUnknownAppExtension)
  std::vector<TGIFBlock>& Blocks() { return blocks_; }

 protected:
  void SaveData(TStream* Stream) override;
  void LoadData(TStream* Stream) override;

 private:
  std::vector<TGIFBlock> blocks_;
};

class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* ASubImage);
  KV_CLASS_NAME(TGIFAppExtNSLoop)
  int Loops() const { return loops_; }
  void SetLoops(int Value) { loops_ = static_cast<WORD>(Value); }
  DWORD BufferSize() const { return buffer_size_; }
  void SetBufferSize(DWORD Value) { buffer_size_ = Value; }

 protected:
  void SaveData(TStream* Stream) override;
  void LoadData(TStream* Stream) override;

 private:
  WORD loops_ = 0;
  DWORD buffer_size_ = 0;
};

// The process-wide registries (searched from the last registration backwards).
void RegisterExtension(BYTE Label, TGIFExtensionClass Class);
void RegisterAppExtension(const TGIFApplicationIdentifier& Identifier, TGIFExtensionClass Class);
TGIFExtensionClass FindExtension(BYTE Label);
TGIFExtensionClass FindAppExtension(const TGIFApplicationIdentifier& Identifier);

// ---- Frames ------------------------------------------------------------------------------------
class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* AImage);
  // Leaves the image's frame list.
  ~TGIFSubImage() override;
  KV_CLASS_NAME(TGIFSubImage)

  void Clear();
  bool Empty() const;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  TGIFVersion Version() const override;
  void Assign(TPersistent* Source) override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Bounds by index: 1 left, 2 top, 3 width, 4 height.
  int Bounds(int Index) const;
  void SetBounds(int Index, int Value);
  void SetBoundsRect(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Rect(left_, top_, left_ + width_, top_ + height_); }
  bool Interlaced() const { return (flags_ & 0x40) != 0; }
  void SetInterlaced(bool Value) { flags_ = static_cast<BYTE>(Value ? flags_ | 0x40 : flags_ & ~0x40); }
  BYTE PackedFields() const { return flags_; }
  int BitsPerPixel() const { return color_map_->BitsPerPixel(); }
  int ColorResolution() const { return color_map_->BitsPerPixel() - 1; }

  TGIFColorMap* ColorMap() const { return color_map_.get(); }
  // The local table, unless it is empty and the global one is not.
  TGIFColorMap* ActiveColorMap() const;
  TGIFExtensionList* Extensions() const { return extensions_.get(); }
  bool Transparent() const { return transparent_; }
  void SetTransparentFlag(bool Value) { transparent_ = Value; }
  TGIFGraphicControlExtension* GraphicControlExtension() const { return gce_; }
  void SetGraphicControlExtension(TGIFGraphicControlExtension* Value) { gce_ = Value; }
  // The transparent index of the graphic control extension (0 without one).
  int TransparentIndex() const;

  BYTE* Data() const { return data_.get(); }
  uint64_t DataSize() const { return data_size_; }
  BYTE Pixels(int X, int Y);
  void SetPixels(int X, int Y, BYTE Value);
  BYTE* ScanLine(int Y);

  HPALETTE Palette();
  void SetPalette(HPALETTE Value);
  // Renders on first use.
  TBitmap* Bitmap();
  HBITMAP Mask() const { return mask_; }
  bool HasBitmap() const { return bitmap_ != nullptr; }
  void FreeBitmap();
  void FreeMask();
  void Draw(TCanvas* ACanvas, const TRect& ARect, bool DoTransparent, bool DoTile);

  void Crop();
  void Merge(TGIFSubImage* Previous);

 protected:
  // Into a framework bitmap: the frame's rendered bitmap.
  void AssignTo(TPersistent* Dest) override;

 public:
  // Replaces the pixel buffer (Width x Height bytes) and drops the bitmap.
  void SetData(std::vector<BYTE> Pixels);

 private:
  friend class TGIFImage;
  friend class TGIFColorMap;
  friend class TGIFLocalColorMap;
  friend class TGIFGlobalColorMap;
  void AllocData(BYTE Fill);
  void FreeData();
  void Prepare();  // rebuilds the descriptor flags as saving does
  void RenderBitmap();
  void AssignFromBitmap(TBitmap* Source);
  void AddMask(TBitmap* Mask);
  void DrawTiles(TCanvas* ACanvas, const TRect& ARect, bool DoTransparent);
  void DrawPiece(HDC DC, const TRect& Target, bool DoTransparent);

  WORD left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  BYTE flags_ = 0;
  struct FreeDeleter {
    void operator()(BYTE* p) const { std::free(p); }
  };
  std::unique_ptr<BYTE[], FreeDeleter> data_;
  uint64_t data_size_ = 0;
  std::unique_ptr<TGIFLocalColorMap> color_map_;
  std::unique_ptr<TGIFExtensionList> extensions_;
  bool transparent_ = false;
  TGIFGraphicControlExtension* gce_ = nullptr;
  std::unique_ptr<TBitmap> bitmap_;
  HBITMAP mask_ = nullptr;
  bool need_mask_ = true;
  HPALETTE palette_ = nullptr;
};

// ---- The image ------------------------------------------------------------------------------------
class TGIFImage : public TGraphic {
 public:
  TGIFImage();  // CreateEmpty
  ~TGIFImage() override;
  KV_CLASS_NAME(TGIFImage)

  // TGraphic.
  bool Empty() const override { return images_->Count() == 0; }
  int Width() const override { return header_->Width(); }
  int Height() const override { return header_->Height(); }
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  HPALETTE Palette() override;
  void SetPalette(HPALETTE Value) override;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE APalette) override;
  void SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& APalette) override;
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override { PaintToCanvas(ACanvas, Rect); }
  void PaintToCanvas(TCanvas* ACanvas, const TRect& Rect);
  bool Equals(const TGIFImage* Other) const { return Other == this; }

  // Calls OnGIFWarning when assigned.
  virtual void ReportWarning(TObject* Sender, int Severity, const AnsiString& Message);

  void Clear() { ResetImage(); }
  void ResetImage();
  int AppendFrame(TPersistent* Source);
  void OptimizeImage(TGIFOptimizeOptions Options, TColorReduction Reduction, int Bits, TDitherMode Dither);

  TBitmap* ComposedBitmap();
  TBitmap* EnsureComposedBitmap();
  void DropComposedBitmap();
  void StopDrawPainter();
  void StopAllPainters();

  TGIFImageList* Images() const { return images_.get(); }
  TGIFHeader* Header() const { return header_.get(); }
  TGIFColorMap* GlobalColorMap() const { return header_->ColorMap(); }
  TGIFVersion Version() const;
  int ColorResolution() const;
  int BitsPerPixel() const;
  TColor BackgroundColor() { return header_->BackgroundColor(); }
  // Dithering is in force (DrawDithered, and DrawDitherAuto clear or auto-dither set).
  bool DoDither() const;
  TThreadList* Painters() const { return painters_.get(); }
  TGIFPainter* DrawPainter() const { return draw_painter_.load(); }

  // Settings.
  TGIFDrawOptions PaintFlags = kGIFDefaultPaintFlags;
  TColorReduction ReductionMethod = ReduceWebSafe;
  int OctreeBits = 8;
  TDitherMode DitherMethod = DitherNearest;
  TGIFEncoderKind EncoderKind = CompressLZW;
  TThreadPriority PainterPriority = tpNormal;
  int PlaySpeed = 100;
  int ForcedFrame = -1;
  TColor DrawBackgroundColor = clNone;
  TGIFWarning OnGIFWarning;
  TGIFPainterEvent OnAnimationStart, OnFrameDue, OnFramePainted, OnLoopPass, OnAnimationEnd;

  // Module-wide defaults that new images copy.
  static TGIFDrawOptions DefaultPaintFlags;
  static TColorReduction DefaultReductionMethod;
  static int DefaultOctreeBits;
  static TDitherMode DefaultDitherMethod;
  static TGIFEncoderKind DefaultEncoderKind;
  static TThreadPriority DefaultPainterPriority;
  // True when the screen has 8 bits per pixel or fewer.
  static bool AutoDither;
  // The "GIF Image" clipboard format.
  static WORD ClipboardFormat();
  void Changed(TObject* Sender) override { TGraphic::Changed(Sender); }
  void FireProgress(TProgressStage Stage, BYTE Percent, const AnsiString& Message) {
    Progress(this, Stage, Percent, false, Rect(0, 0, 0, 0), Message);
  }

 private:
  friend class TGIFPainter;
  friend class TGIFSubImage;

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  TGIFPainter* InternalPaint(std::atomic<TGIFPainter*>* Slot, TCanvas* ACanvas, const TRect& Rect,
                             TGIFDrawOptions Options);
  void DrawComposed(TCanvas* ACanvas, const TRect& Rect);
  void GrowScreen();
  void AssignFromImage(TGIFImage* Source);
  // The frame holding the first loop extension, or -1.
  int FirstLoopFrame() const;

  bool draw_busy_ = false;
  bool palette_busy_ = false;
  std::unique_ptr<TGIFImageList> images_;
  std::unique_ptr<TGIFHeader> header_;
  HPALETTE global_palette_ = nullptr;
  std::unique_ptr<TThreadList> painters_;
  std::unique_ptr<TBitmap> bitmap_;
  std::atomic<TGIFPainter*> draw_painter_{nullptr};
  // Pixel bytes held by all frames (bounded by kGIFMaxPixelBytes).
  uint64_t pixel_bytes_ = 0;
  // Guards lazy frame rendering against painter threads racing the main thread.
  std::recursive_mutex render_lock_;
};

// ---- The painter ------------------------------------------------------------------------------
class TGIFPainter : public TThread {
 public:
  TGIFPainter(std::atomic<TGIFPainter*>* Slot, TGIFImage* AImage, TCanvas* ACanvas, const TRect& ARect,
              TGIFDrawOptions Options);
  ~TGIFPainter() override;
  KV_CLASS_NAME(TGIFPainter)

  void BeginPlay();
  void HaltPlay();
  // Unthreaded: the whole play loop, then the end step.
  void RunInline();

  TGIFImage* Image() const { return image_.load(); }
  TCanvas* Canvas() const { return canvas_; }
  const TRect& Rect() const { return rect_; }
  TGIFDrawOptions DrawOptions() const { return options_; }
  int ActiveImage() const { return active_image_; }
  void SetActiveImage(int Value) { active_image_ = Value; }
  bool Started() const { return started_.load(); }
  // Thread-safe count of painter objects alive in the process.
  static int LiveCount() { return live_count_.load(); }
  // The exception that ended the play loop, or null.
  std::exception_ptr Captured() const { return captured_; }

  TGIFPainterEvent OnAnimationStart, OnFrameDue, OnFramePainted, OnLoopPass, OnAnimationEnd;

 protected:
  void Execute() override;
  void DoTerminate() override;

 private:
  friend class TGIFImage;
  void Detach() { image_.store(nullptr); }
  void Play();
  void Fire(const TGIFPainterEvent& Event);
  void DoSynchronize(const std::function<void()>& Method);
  void PaintFrame();       // plain paint
  void DoDisposalPaint();  // with the backup buffer
  void ClearBackup(TGIFSubImage* Frame);
  // With DrawCheckCanvas: true (and terminated) when the target's device context is gone.
  bool TargetGone();
  void EndStep();
  void HaltWait();
  // Unthreaded: dispatches the thread's pending messages; a quit message ends the play.
  void PumpMessages();
  // Still allowed to paint: attached, not terminated, and its composed target alive.
  bool CanPaint() const;
  bool Threaded() const { return (options_ & DrawThreaded) != 0; }

  std::atomic<TGIFImage*> image_;
  TCanvas* canvas_;
  TRect rect_;
  TGIFDrawOptions options_;
  int active_image_ = -1;
  std::atomic<bool> started_{false};
  std::atomic<bool> restart_{true};
  int disposal_ = 0, previous_disposal_ = 0;
  std::unique_ptr<TBitmap> background_, backup_, frame_buffer_;
  HANDLE event_ = nullptr;
  int speed_ = 100;
  TColor background_color_ = clNone;
  std::atomic<TGIFPainter*>* slot_;
  HDC dc_ = nullptr;
  std::exception_ptr captured_;
  bool targets_composed_ = false;
  bool ended_ = false;
  static std::atomic<int> live_count_;
};

// Registers TGIFImage with TPicture ("GIF", "GIF Image") and the "GIF Image" clipboard
// format; the first call does it, later calls nothing. Runs at module start-up.
void RegisterGIFImage();
void UnregisterGIFImage();
