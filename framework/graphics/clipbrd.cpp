// TClipboard.
#include "framework/graphics/clipbrd.h"

#include <cstring>
#include <memory>

#include "framework/core/sysutils.h"
#include "platform/base/global_memory.h"

TClipboard::~TClipboard() {
  while (open_count_ > 0) Close();
}

void TClipboard::Open() {
  if (open_count_ == 0 && !OpenClipboard(nullptr)) throw EInvalidOperation("Cannot open clipboard");
  ++open_count_;
}

void TClipboard::Close() {
  if (open_count_ == 0) return;
  if (--open_count_ == 0) CloseClipboard();
}

namespace {
// Opens for the duration of one call.
class Session {
 public:
  explicit Session(TClipboard* c) : c_(c) { c_->Open(); }
  ~Session() { c_->Close(); }

 private:
  TClipboard* c_;
};
}  // namespace

void TClipboard::Clear() {
  Session s(this);
  EmptyClipboard();
}

bool TClipboard::HasFormat(WORD Format) { return IsClipboardFormatAvailable(Format) != FALSE; }

int TClipboard::FormatCount() { return CountClipboardFormats(); }

WORD TClipboard::Formats(int Index) {
  Session s(this);
  UINT f = 0;
  for (int i = 0; i <= Index; ++i) {
    f = EnumClipboardFormats(f);
    if (!f) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  }
  return static_cast<WORD>(f);
}

AnsiString TClipboard::AsText() {
  Session s(this);
  HANDLE h = GetClipboardData(CF_TEXT);
  if (!h) return {};
  SIZE_T size = GlobalSize(h);
  const char* p = static_cast<const char*>(GlobalLock(h));
  if (!p) return {};
  AnsiString text(p, strnlen(p, size));
  GlobalUnlock(h);
  return text;
}

void TClipboard::SetBuffer(WORD Format, const void* Buffer, int Size) {
  if (Size < 0) throw EInvalidOperation("Invalid clipboard data size");
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, static_cast<SIZE_T>(Size));
  if (!h) throw EOutOfMemory("Out of memory");
  std::memcpy(GlobalLock(h), Buffer, static_cast<size_t>(Size));
  GlobalUnlock(h);
  try {
    SetAsHandle(Format, h);
  } catch (...) {
    GlobalFree(h);
    throw;
  }
}

void TClipboard::SetAsText(const AnsiString& Value) {
  SetBuffer(CF_TEXT, Value.c_str(), static_cast<int>(Value.size() + 1));
}

HANDLE TClipboard::GetAsHandle(WORD Format) {
  Session s(this);
  return GetClipboardData(Format);
}

void TClipboard::SetAsHandle(WORD Format, HANDLE Value) {
  Session s(this);
  EmptyClipboard();
  if (!SetClipboardData(Format, Value)) throw EInvalidOperation("Cannot set clipboard data");
}

void TClipboard::Assign(TPersistent* Source) {
  TGraphic* g = nullptr;
  if (auto* p = dynamic_cast<TPicture*>(Source))
    g = p->Graphic();
  else
    g = dynamic_cast<TGraphic*>(Source);
  if (!g) {
    TPersistent::Assign(Source);
    return;
  }
  Session s(this);
  EmptyClipboard();
  WORD format = 0;
  HANDLE data = nullptr;
  HPALETTE palette = nullptr;
  g->SaveToClipboardFormat(format, data, palette);
  SetClipboardData(format, data);
  if (palette) SetClipboardData(CF_PALETTE, palette);
}

void TClipboard::AssignTo(TPersistent* Dest) {
  Session s(this);
  HPALETTE palette = static_cast<HPALETTE>(GetClipboardData(CF_PALETTE));
  if (auto* p = dynamic_cast<TPicture*>(Dest)) {
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f))
      if (TPicture::SupportsClipboardFormat(static_cast<WORD>(f))) {
        p->LoadFromClipboardFormat(static_cast<WORD>(f), GetClipboardData(f), palette);
        return;
      }
    throw EInvalidGraphic("Unsupported clipboard format");
  }
  if (auto* b = dynamic_cast<TBitmap*>(Dest)) {
    b->LoadFromClipboardFormat(CF_BITMAP, GetClipboardData(CF_BITMAP), palette);
    return;
  }
  TPersistent::AssignTo(Dest);
}

TClipboard* Clipboard() {
  static std::unique_ptr<TClipboard> c = std::make_unique<TClipboard>();
  return c.get();
}
