// The object model of a GIF stream: items, lists, colour tables, header, trailer,
// extensions and frames, with their reading and writing.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <numeric>

#include "gif/gif_image.h"
#include "gif/texts.h"
#include "platform/base/system.h"

namespace {

TColor ToColor(const TGIFRGB& c) { return static_cast<TColor>(c.Red | (c.Green << 8) | (c.Blue << 16)); }
TGIFRGB FromColor(TColor c) {
  COLORREF rgb = ColorToRGB(c);
  return {static_cast<BYTE>(rgb & 0xFF), static_cast<BYTE>((rgb >> 8) & 0xFF), static_cast<BYTE>((rgb >> 16) & 0xFF)};
}

void WriteWord(TStream* Stream, WORD Value) {
  BYTE b[2] = {static_cast<BYTE>(Value & 0xFF), static_cast<BYTE>(Value >> 8)};
  Stream->WriteBuffer(b, 2);
}

WORD GetWord(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

}  // namespace

// ---- Items -------------------------------------------------------------------------------

void TGIFItem::Warning(int Severity, const AnsiString& Message) {
  if (image_) image_->ReportWarning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const AnsiString& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

void TGIFItem::LoadFromFile(const AnsiString& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

// ---- Lists -------------------------------------------------------------------------------

TGIFList::~TGIFList() { Clear(); }

TGIFItem* TGIFList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return items_[static_cast<size_t>(Index)];
}

int TGIFList::Add(TGIFItem* Item) {
  items_.push_back(Item);
  return Count() - 1;
}

void TGIFList::Insert(int Index, TGIFItem* Item) {
  Index = std::clamp(Index, 0, Count());
  items_.insert(items_.begin() + Index, Item);
}

void TGIFList::Delete(int Index) {
  TGIFItem* item = Items(Index);
  items_.erase(items_.begin() + Index);
  delete item;
}

int TGIFList::Remove(TGIFItem* Item) {
  int index = IndexOf(Item);
  if (index >= 0) items_.erase(items_.begin() + index);
  return index;
}

int TGIFList::IndexOf(const TGIFItem* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TGIFList::Clear() {
  while (!items_.empty()) Delete(0);
}

void TGIFList::SaveToStream(TStream* Stream) {
  for (TGIFItem* item : items_) item->SaveToStream(Stream);
}

void TGIFList::Warning(int Severity, const AnsiString& Message) {
  if (image_) image_->ReportWarning(this, Severity, Message);
}

TGIFSubImage* TGIFImageList::SubImages(int Index) const { return static_cast<TGIFSubImage*>(Items(Index)); }

void TGIFImageList::SaveToStream(TStream* Stream) {
  int count = Count();
  for (int i = 0; i < count; ++i) {
    SubImages(i)->SaveToStream(Stream);
    if (image_) image_->FireProgress(psRunning, static_cast<BYTE>(MulDiv(i + 1, 100, count)), gif_texts::kSaving);
  }
}

void TGIFImageList::LoadFromStream(TStream* Stream, TGIFImage* Parent) {
  auto skip_zeros = [Stream]() -> int {
    int b;
    do {
      b = ReadByte(Stream);
    } while (b == 0);
    return b;
  };
  int b = skip_zeros();
  if (b < 0) return;
  while (b != ';') {
    Stream->Seek(-1, soCurrent);
    if (b != '!' && b != ',') {
      Warning(1, gif_texts::kUnknownBlock);
      Stream->Seek(-1, soCurrent);
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(Parent);
    frame->LoadFromStream(Stream);
    Add(frame.release());
    int64_t size = Stream->Size();
    if (Parent && size > 0)
      Parent->FireProgress(psRunning, static_cast<BYTE>(std::clamp<int64_t>(Stream->Position() * 100 / size, 0, 100)),
                           gif_texts::kLoading);
    b = skip_zeros();
    if (b < 0) return;
  }
  Stream->Seek(-1, soCurrent);
}

TGIFExtensionList::TGIFExtensionList(TGIFSubImage* ASubImage) : TGIFList(ASubImage->Image()) {}

TGIFExtension* TGIFExtensionList::Extensions(int Index) const { return static_cast<TGIFExtension*>(Items(Index)); }

void TGIFExtensionList::LoadFromStream(TStream* Stream, TGIFSubImage* Parent) {
  int b = ReadByte(Stream);
  if (b < 0) return;
  while (b != ',' && b != ';') {
    if (b != '!') {
      Warning(1, gif_texts::kInvalidIntroducer);
      break;
    }
    int64_t position = Stream->Position();
    int label = ReadByte(Stream);
    TGIFExtensionClass cls = label >= 0 ? FindExtension(static_cast<BYTE>(label)) : nullptr;
    if (cls) {
      // Let the class refine itself by peeking further (application identifiers).
      std::unique_ptr<TGIFExtension> probe(cls(nullptr));
      Stream->Seek(position - 1, soBeginning);
      TGIFExtensionClass sub = probe->FindSubExtension(Stream);
      if (sub) cls = sub;
    }
    Stream->Seek(position, soBeginning);
    if (!cls) GIFError(gif_texts::kUnknownExtension);
    Stream->Seek(-1, soCurrent);
    TGIFExtension* extension = cls(Parent);
    Add(extension);  // the list owns it at once; on failure it is freed with the frame
    try {
      extension->LoadFromStream(Stream);
    } catch (...) {
      Delete(IndexOf(extension));
      throw;
    }
    b = ReadByte(Stream);
    if (b < 0) return;
  }
  Stream->Seek(-1, soCurrent);
}

// ---- Colour tables -------------------------------------------------------------------------

void TGIFColorMap::Grow(int Needed) {
  if (Needed < capacity_) return;
  int capacity = Needed <= 16 ? 16 : ((Needed + 31) / 32) * 32;
  capacity_ = std::min(capacity, 256);
  colors_.reserve(static_cast<size_t>(capacity_));
}

TColor TGIFColorMap::Colors(int Index) {
  if (colors_.empty()) GIFError(gif_texts::kColorTableEmpty);
  if (Index < 0 || Index >= Count()) {
    Warning(1, gif_texts::kInvalidColorIndex);
    Index = 0;
  }
  return ToColor(colors_[static_cast<size_t>(Index)]);
}

void TGIFColorMap::SetColors(int Index, TColor Value) {
  if (Index < 0 || Index >= Count()) GIFError(gif_texts::kInvalidColorIndex);
  colors_[static_cast<size_t>(Index)] = FromColor(Value);
  sorted_ = false;
  Changed();
}

int TGIFColorMap::Add(TColor Color) {
  if (Count() >= 256) GIFError(gif_texts::kColorTableOverflow);
  Grow(Count() + 1);
  colors_.push_back(FromColor(Color));
  sorted_ = false;
  Changed();
  return Count() - 1;
}

int TGIFColorMap::AddUnique(TColor Color) {
  int index = IndexOf(Color);
  return index >= 0 ? index : Add(Color);
}

int TGIFColorMap::IndexOf(TColor Color) const {
  TGIFRGB c = FromColor(Color);
  if (sorted_) {
    for (int i = 0; i < Count(); ++i)
      if (colors_[static_cast<size_t>(i)] == c) return i;
  } else {
    for (int i = Count() - 1; i >= 0; --i)
      if (colors_[static_cast<size_t>(i)] == c) return i;
  }
  return -1;
}

void TGIFColorMap::Delete(int Index) {
  if (Index < 0 || Index >= Count()) GIFError(gif_texts::kInvalidColorIndex);
  colors_.erase(colors_.begin() + Index);
  sorted_ = false;
  Changed();
}

void TGIFColorMap::Clear() {
  bool had = !colors_.empty();
  colors_.clear();
  capacity_ = 0;
  sorted_ = false;
  if (had) Changed();
}

void TGIFColorMap::ImportPalette(HPALETTE Palette) {
  colors_ = PaletteColors(Palette);
  Grow(Count());
  sorted_ = false;
  Changed();
}

void TGIFColorMap::ImportRGB(const RGBQUAD* Colors, int Count) {
  colors_.clear();
  for (int i = 0; i < Count && i < 256; ++i)
    colors_.push_back({Colors[i].rgbRed, Colors[i].rgbGreen, Colors[i].rgbBlue});
  Grow(this->Count());
  sorted_ = false;
  Changed();
}

void TGIFColorMap::ImportDIBColors(HDC DC) {
  RGBQUAD quads[256];
  UINT n = GetDIBColorTable(DC, 0, 256, quads);
  ImportRGB(quads, static_cast<int>(n));
}

HPALETTE TGIFColorMap::ExportPalette() const { return MakePalette(colors_, PC_NOCOLLAPSE); }

void TGIFColorMap::SaveToStream(TStream* Stream) const {
  if (colors_.empty()) return;
  std::vector<BYTE> bytes;
  for (const TGIFRGB& c : colors_) bytes.insert(bytes.end(), {c.Red, c.Green, c.Blue});
  bytes.resize(static_cast<size_t>(3 << BitsPerPixel()), 0);
  Stream->WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

void TGIFColorMap::LoadFromStream(TStream* Stream, int Count) {
  colors_.clear();
  capacity_ = 0;
  sorted_ = false;
  Grow(Count);
  std::vector<BYTE> bytes(static_cast<size_t>(Count) * 3);
  ReadCheck(Stream, bytes.data(), static_cast<int>(bytes.size()));
  for (int i = 0; i < Count; ++i)
    colors_.push_back({bytes[3 * static_cast<size_t>(i)], bytes[3 * static_cast<size_t>(i) + 1],
                       bytes[3 * static_cast<size_t>(i) + 2]});
}

void TGIFColorMap::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TGIFColorMap*>(Source)) {
    colors_ = other->colors_;
    capacity_ = other->capacity_;
    sorted_ = other->sorted_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TGIFColorMap::Optimize() {
  if (Count() < 2) return;
  sorted_ = true;
  std::vector<uint64_t> uses = BuildHistogram();
  uses.resize(static_cast<size_t>(Count()), 0);
  std::vector<int> order(static_cast<size_t>(Count()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return uses[static_cast<size_t>(a)] > uses[static_cast<size_t>(b)]; });
  bool changed = false;
  for (size_t i = 0; i < order.size(); ++i) changed |= order[i] != static_cast<int>(i);
  if (!changed) return;
  std::vector<int> map(256);
  std::iota(map.begin(), map.end(), 0);
  for (size_t i = 0; i < order.size(); ++i) map[static_cast<size_t>(order[i])] = static_cast<int>(i);
  RemapImages(map);
  std::vector<TGIFRGB> colors;
  for (int old : order) {
    if (uses[static_cast<size_t>(old)] == 0) break;
    colors.push_back(colors_[static_cast<size_t>(old)]);
  }
  colors_ = std::move(colors);
  Changed();
  sorted_ = true;
}

namespace {

// Adds a frame's pixels (and its transparent index) to a histogram.
void CountFrame(TGIFSubImage* Frame, std::vector<uint64_t>& Uses) {
  const BYTE* data = Frame->Data();
  for (uint64_t i = 0; data && i < Frame->DataSize(); ++i) ++Uses[data[i]];
  if (Frame->Transparent()) ++Uses[static_cast<size_t>(Frame->TransparentIndex())];
}

void RemapFrame(TGIFSubImage* Frame, const std::vector<int>& Map) {
  BYTE* data = Frame->Data();
  for (uint64_t i = 0; data && i < Frame->DataSize(); ++i) data[i] = static_cast<BYTE>(Map[data[i]]);
  for (int e = 0; e < Frame->Extensions()->Count(); ++e)
    if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(Frame->Extensions()->Extensions(e))) {
      int index = gce->TransparentColorIndex();
      gce->SetTransparentColorIndex(
          Map[static_cast<size_t>(index)] < Frame->ActiveColorMap()->Count() ? Map[static_cast<size_t>(index)] : index);
    }
  Frame->FreeBitmap();
  Frame->FreeMask();
}

}  // namespace

void TGIFGlobalColorMap::Warning(int Severity, const AnsiString& Message) {
  if (header_ && header_->Image()) header_->Image()->ReportWarning(this, Severity, Message);
}

void TGIFGlobalColorMap::Changed() {
  if (header_ && header_->Image()) header_->Image()->SetPalette(nullptr);
}

std::vector<uint64_t> TGIFGlobalColorMap::BuildHistogram() {
  std::vector<uint64_t> uses(256, 0);
  TGIFImage* image = header_ ? header_->Image() : nullptr;
  if (!image) return uses;
  for (int i = 0; i < image->Images()->Count(); ++i) {
    TGIFSubImage* frame = image->Images()->SubImages(i);
    if (frame->ActiveColorMap() == this) CountFrame(frame, uses);
  }
  // The background colour must survive the trim.
  ++uses[header_->BackgroundColorIndex()];
  return uses;
}

void TGIFGlobalColorMap::RemapImages(const std::vector<int>& Map) {
  TGIFImage* image = header_ ? header_->Image() : nullptr;
  if (!image) return;
  for (int i = 0; i < image->Images()->Count(); ++i) {
    TGIFSubImage* frame = image->Images()->SubImages(i);
    if (frame->ActiveColorMap() == this) RemapFrame(frame, Map);
  }
  header_->SetBackgroundColorIndex(static_cast<BYTE>(Map[header_->BackgroundColorIndex()]));
}

void TGIFLocalColorMap::Warning(int Severity, const AnsiString& Message) {
  if (sub_image_ && sub_image_->Image()) sub_image_->Image()->ReportWarning(this, Severity, Message);
}

void TGIFLocalColorMap::Changed() {
  if (sub_image_) sub_image_->SetPalette(nullptr);
}

std::vector<uint64_t> TGIFLocalColorMap::BuildHistogram() {
  std::vector<uint64_t> uses(256, 0);
  if (sub_image_) CountFrame(sub_image_, uses);
  return uses;
}

void TGIFLocalColorMap::RemapImages(const std::vector<int>& Map) {
  if (sub_image_) RemapFrame(sub_image_, Map);
}

// ---- Header and trailer -----------------------------------------------------------------------

TGIFHeader::TGIFHeader(TGIFImage* AImage) : TGIFItem(AImage), color_map_(std::make_unique<TGIFGlobalColorMap>(this)) {}

TGIFHeader::~TGIFHeader() = default;

void TGIFHeader::Clear() {
  color_map_->Clear();
  width_ = height_ = 0;
  flags_ = background_index_ = aspect_ratio_ = 0;
}

void TGIFHeader::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TGIFHeader*>(Source)) {
    color_map_->Assign(other->color_map_.get());
    signature_ = other->signature_;
    width_ = other->width_;
    height_ = other->height_;
    flags_ = other->flags_;
    background_index_ = other->background_index_;
    aspect_ratio_ = other->aspect_ratio_;
    return;
  }
  if (auto* map = dynamic_cast<TGIFColorMap*>(Source)) {
    Clear();
    color_map_->Assign(map);
    return;
  }
  TGIFItem::Assign(Source);
}

void TGIFHeader::LoadFromStream(TStream* Stream) {
  int64_t position = Stream->Position();
  ReadCheck(Stream, signature_.data(), 6);
  auto is_gif = [this] {
    return toupper(signature_[0]) == 'G' && toupper(signature_[1]) == 'I' && toupper(signature_[2]) == 'F';
  };
  if (!is_gif()) {
    Stream->Seek(position + 4, soBeginning);
    ReadCheck(Stream, signature_.data(), 6);
    if (!is_gif()) GIFError(gif_texts::kInvalidSignature);
  }
  BYTE lsd[7];
  ReadCheck(Stream, lsd, 7);
  width_ = GetWord(lsd);
  height_ = GetWord(lsd + 2);
  flags_ = lsd[4];
  background_index_ = lsd[5];
  aspect_ratio_ = lsd[6];
  if (flags_ & 0x80) {
    color_map_->LoadFromStream(Stream, 2 << (flags_ & 7));
    color_map_->SetOptimized((flags_ & 0x08) != 0);
  } else {
    color_map_->Clear();
  }
}

TGIFVersion TGIFHeader::Version() const { return image_ ? image_->Version() : gvUnknown; }

TColor TGIFHeader::BackgroundColor() { return color_map_->Colors(background_index_); }

void TGIFHeader::Prepare() {
  BYTE flags = 0;
  if (color_map_->Count() > 0) {
    flags |= 0x80;
    if (color_map_->Optimized()) flags |= 0x08;
  }
  int resolution = image_ ? image_->ColorResolution() : ColorResolution();
  flags |= static_cast<BYTE>((resolution & 7) << 4);
  if (color_map_->Count() > 0)
    flags |= static_cast<BYTE>((color_map_->BitsPerPixel() - 1) & 7);
  else
    flags |= static_cast<BYTE>(((image_ ? image_->BitsPerPixel() : 1) - 1) & 7);
  flags_ = flags;
}

void TGIFHeader::SaveToStream(TStream* Stream) {
  TGIFVersion version = Version();
  if (version == gvUnknown) GIFError(gif_texts::kUnsupportedVersion);
  Prepare();
  Stream->WriteBuffer(version == gv87a ? "GIF87a" : "GIF89a", 6);
  WriteWord(Stream, width_);
  WriteWord(Stream, height_);
  BYTE rest[3] = {flags_, background_index_, aspect_ratio_};
  Stream->WriteBuffer(rest, 3);
  if (flags_ & 0x80) color_map_->SaveToStream(Stream);
}

void TGIFTrailer::SaveToStream(TStream* Stream) { ::WriteByte(Stream, ';'); }

void TGIFTrailer::LoadFromStream(TStream* Stream) {
  int b = ReadByte(Stream);
  if (b >= 0 && b != ';') Warning(1, gif_texts::kInvalidTrailer);
}

// ---- Extension registries -----------------------------------------------------------------

namespace {

template <class T>
TGIFExtension* Make(TGIFSubImage* Owner) {
  return new T(Owner);
}

// Extension label to class, and application identifier to class.
using TExtensionList = std::vector<std::pair<BYTE, TGIFExtensionClass>>;
using TAppExtensionList = std::vector<std::pair<TGIFApplicationIdentifier, TGIFExtensionClass>>;

struct Registries {
  std::mutex lock;
  TExtensionList extensions;
  TAppExtensionList app_extensions;
  Registries() {
    extensions = {{0x01, &Make<TGIFTextExtension>},
                  {0xF9, &Make<TGIFGraphicControlExtension>},
                  {0xFE, &Make<TGIFCommentExtension>},
                  {0xFF, &Make<TGIFUnknownAppExtension>}};
    auto id = [](const char* s) {
      TGIFApplicationIdentifier a{};
      std::memcpy(a.data(), s, 11);
      return a;
    };
    app_extensions = {{id("NETSCAPE2.0"), &Make<TGIFAppExtNSLoop>}, {id("ANIMEXTS1.0"), &Make<TGIFAppExtNSLoop>}};
  }
};

Registries& TheRegistries() {
  static Registries registries;
  return registries;
}

}  // namespace

void RegisterExtension(BYTE Label, TGIFExtensionClass Class) {
  std::lock_guard<std::mutex> guard(TheRegistries().lock);
  TheRegistries().extensions.emplace_back(Label, Class);
}

void RegisterAppExtension(const TGIFApplicationIdentifier& Identifier, TGIFExtensionClass Class) {
  std::lock_guard<std::mutex> guard(TheRegistries().lock);
  TheRegistries().app_extensions.emplace_back(Identifier, Class);
}

TGIFExtensionClass FindExtension(BYTE Label) {
  std::lock_guard<std::mutex> guard(TheRegistries().lock);
  auto& list = TheRegistries().extensions;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (it->first == Label) return it->second;
  return nullptr;
}

TGIFExtensionClass FindAppExtension(const TGIFApplicationIdentifier& Identifier) {
  std::lock_guard<std::mutex> guard(TheRegistries().lock);
  auto& list = TheRegistries().app_extensions;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (it->first == Identifier) return it->second;
  return nullptr;
}

// ---- Extensions ----------------------------------------------------------------------------

TGIFExtension::TGIFExtension(TGIFSubImage* ASubImage)
    : TGIFItem(ASubImage ? ASubImage->Image() : nullptr), sub_image_(ASubImage) {}

TGIFExtension::~TGIFExtension() {
  if (sub_image_) sub_image_->Extensions()->Remove(this);
}

void TGIFExtension::SaveToStream(TStream* Stream) {
  ::WriteByte(Stream, '!');
  ::WriteByte(Stream, ExtensionType());
  SaveBlock(Stream);
}

void TGIFExtension::LoadFromStream(TStream* Stream) {
  BYTE head[2];
  ReadCheck(Stream, head, 1);
  if (head[0] != '!') GIFError(gif_texts::kInvalidIntroducer);
  ReadCheck(Stream, head + 1, 1);
  if (head[1] != ExtensionType()) GIFError(gif_texts::kExtensionMismatch);
  LoadBlock(Stream);
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {
  if (sub_image_ && !sub_image_->GraphicControlExtension()) sub_image_->SetGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (sub_image_) {
    if (Transparent()) sub_image_->SetTransparentFlag(false);
    if (sub_image_->GraphicControlExtension() == this) sub_image_->SetGraphicControlExtension(nullptr);
  }
}

void TGIFGraphicControlExtension::SetTransparent(bool Value) {
  flags_ = static_cast<BYTE>(Value ? flags_ | 1 : flags_ & ~1);
  if (sub_image_) sub_image_->SetTransparentFlag(Value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int Value) {
  TGIFColorMap* map = sub_image_ ? sub_image_->ActiveColorMap() : nullptr;
  if (Value < 0 || Value > 255 || (map && map->Count() > 0 && Value >= map->Count())) {
    Warning(1, gif_texts::kInvalidColorIndex);
    Value = 0;
  }
  transparent_index_ = static_cast<BYTE>(Value);
}

void TGIFGraphicControlExtension::SaveBlock(TStream* Stream) {
  // Always the well-formed layout, whatever size byte or terminator the file had.
  BYTE block[6] = {4, flags_, static_cast<BYTE>(delay_ & 0xFF), static_cast<BYTE>(delay_ >> 8), transparent_index_, 0};
  Stream->WriteBuffer(block, 6);
}

void TGIFGraphicControlExtension::LoadBlock(TStream* Stream) {
  BYTE block[6] = {};
  int n = Stream->Read(block, 6);
  if (n < 6)
    Warning(1, gif_texts::kPrematureEnd);
  else if (block[0] != 4 || block[5] != 0)
    Warning(1, gif_texts::kInvalidData);
  flags_ = block[1];
  delay_ = GetWord(block + 2);
  transparent_index_ = block[4];
  if (Transparent() && sub_image_) sub_image_->SetTransparentFlag(true);
}

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* ASubImage)
    : TGIFExtension(ASubImage), text_(std::make_unique<TStringList>()) {
  block_[0] = 12;
}
TGIFTextExtension::~TGIFTextExtension() = default;

void TGIFTextExtension::SaveBlock(TStream* Stream) {
  ::WriteByte(Stream, 12);  // the block's size, whatever the file had
  Stream->WriteBuffer(block_.data() + 1, 12);
  WriteStrings(Stream, text_.get());
}

void TGIFTextExtension::LoadBlock(TStream* Stream) {
  ReadCheck(Stream, block_.data(), 13);
  if (block_[0] != 12) {
    Warning(1, gif_texts::kInvalidData);
    block_[0] = 12;
  }
  if (!ReadStrings(Stream, text_.get())) Warning(1, gif_texts::kPrematureEnd);
}

TGIFCommentExtension::TGIFCommentExtension(TGIFSubImage* ASubImage)
    : TGIFExtension(ASubImage), text_(std::make_unique<TStringList>()) {}
TGIFCommentExtension::~TGIFCommentExtension() = default;

void TGIFCommentExtension::SaveBlock(TStream* Stream) { WriteStrings(Stream, text_.get()); }
void TGIFCommentExtension::LoadBlock(TStream* Stream) {
  if (!ReadStrings(Stream, text_.get())) Warning(1, gif_texts::kPrematureEnd);
}

TGIFExtensionClass TGIFApplicationExtension::FindSubExtension(TStream* Stream) const {
  int64_t position = Stream->Position();
  BYTE head[3];
  TGIFExtensionClass result = &Make<TGIFUnknownAppExtension>;
  if (Stream->Read(head, 3) == 3 && head[2] >= 11) {
    TGIFApplicationIdentifier id{};
    if (Stream->Read(id.data(), 11) == 11)
      if (TGIFExtensionClass cls = FindAppExtension(id)) result = cls;
  }
  Stream->Seek(position, soBeginning);
  return result;
}

void TGIFApplicationExtension::SaveBlock(TStream* Stream) {
  ::WriteByte(Stream, block_size_);
  Stream->WriteBuffer(identifier_.data(), block_size_);
  SaveData(Stream);
}

void TGIFApplicationExtension::LoadBlock(TStream* Stream) {
  BYTE size;
  ReadCheck(Stream, &size, 1);
  block_size_ = 11;
  if (size == 10) {
    ReadCheck(Stream, identifier_.data(), 11);
    Stream->Seek(-1, soCurrent);
    block_size_ = 10;
  } else if (size < 11) {
    GIFError(gif_texts::kAppExtBlockSize);
  } else {
    ReadCheck(Stream, identifier_.data(), 11);
    if (size > 11) {
      std::vector<BYTE> extra(size - 11u);
      ReadCheck(Stream, extra.data(), static_cast<int>(extra.size()));
    }
  }
  LoadData(Stream);
}

void TGIFUnknownAppExtension::SaveData(TStream* Stream) {
  for (const TGIFBlock& block : blocks_) {
    if (block.Data.empty()) continue;
    ::WriteByte(Stream, static_cast<BYTE>(block.Data.size()));
    Stream->WriteBuffer(block.Data.data(), static_cast<int>(block.Data.size()));
  }
  ::WriteByte(Stream, 0);
}

void TGIFUnknownAppExtension::LoadData(TStream* Stream) {
  blocks_.clear();
  for (;;) {
    int n = ReadByte(Stream);
    if (n == 0) return;
    if (n < 0) break;
    TGIFBlock block;
    block.Data.resize(static_cast<size_t>(n));
    int got = Stream->Read(block.Data.data(), n);
    if (got < n) {
      block.Data.resize(static_cast<size_t>(std::max(got, 0)));
      if (!block.Data.empty()) blocks_.push_back(std::move(block));
      break;
    }
    blocks_.push_back(std::move(block));
  }
  Warning(1, gif_texts::kPrematureEnd);  // the stream ended before the zero-length block
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {
  std::memcpy(identifier_.data(), "NETSCAPE2.0", 11);
}

void TGIFAppExtNSLoop::SaveData(TStream* Stream) {
  BYTE loop[4] = {3, 1, static_cast<BYTE>(loops_ & 0xFF), static_cast<BYTE>(loops_ >> 8)};
  Stream->WriteBuffer(loop, 4);
  if (buffer_size_ != 0) {
    BYTE buffer[6] = {5,
                      2,
                      static_cast<BYTE>(buffer_size_),
                      static_cast<BYTE>(buffer_size_ >> 8),
                      static_cast<BYTE>(buffer_size_ >> 16),
                      static_cast<BYTE>(buffer_size_ >> 24)};
    Stream->WriteBuffer(buffer, 6);
  }
  ::WriteByte(Stream, 0);
}

void TGIFAppExtNSLoop::LoadData(TStream* Stream) {
  for (;;) {
    int n = ReadByte(Stream);
    if (n == 0) return;
    if (n < 0) {
      Warning(1, gif_texts::kPrematureEnd);
      return;
    }
    BYTE block[255];
    ReadCheck(Stream, block, n);
    switch (block[0] & 7) {
      case 1:
        if (n < 3) GIFError(gif_texts::kInvalidData);
        loops_ = GetWord(block + 1);
        break;
      case 2:
        if (n < 5) GIFError(gif_texts::kInvalidData);
        buffer_size_ = static_cast<DWORD>(block[1] | block[2] << 8 | block[3] << 16) | static_cast<DWORD>(block[4])
                                                                                           << 24;
        break;
      default: break;
    }
  }
}
