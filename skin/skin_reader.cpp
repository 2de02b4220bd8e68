#include "skin/skin_reader.h"

#include <cstring>

#include "framework/controls/dialogs.h"
#include "framework/core/sysutils.h"
#include "skin/texts.h"

namespace {

int32_t ReadI32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

int TSkinReader::FormatBlockSize(uint32_t FormatCode) {
  switch (FormatCode) {
    case 20000: return 0;
    case 30000: return 256;
    case 40000: return 80;
    case 50000: return 48;
    case 60000: return 117;
    case 70000: return 69;
    default: return -1;
  }
}

bool TSkinReader::LoadFromStream(TStream* Container) {
  TMemoryStream body;
  TLZH lzh;
  lzh.Unpack(Container, &body);
  const auto* data = static_cast<const uint8_t*>(body.Memory());
  const int64_t size = body.Size();

  THeader header;
  if (size < 16) throw ElzhException(skin_texts::kBodyTruncated);
  header.FormatCode = static_cast<uint32_t>(ReadI32(data));
  header.DirectoryLength = ReadI32(data + 4);
  std::memcpy(header.Reserved, data + 8, sizeof header.Reserved);

  const int block = FormatBlockSize(header.FormatCode);
  if (block < 0) {
    ShowMessage(skin_texts::kOlderSkin);
    return false;
  }
  int64_t pos = 16 + block;
  if (header.DirectoryLength < 0) throw ElzhException(skin_texts::kBadDirectoryLength);
  if (size - pos < header.DirectoryLength) throw ElzhException(skin_texts::kBodyTruncated);

  TStringList names;
  names.SetText(
      LowerCase(AnsiString(reinterpret_cast<const char*>(data + pos), static_cast<size_t>(header.DirectoryLength))));
  pos += header.DirectoryLength;
  const int count = names.Count();
  if (count > kMaxEntries) throw ElzhException(skin_texts::kTooManyEntries);
  if (size - pos < 4 * static_cast<int64_t>(count)) throw ElzhException(skin_texts::kBodyTruncated);

  // Every entry must lie inside the entry area, so that lookups never read past it.
  const int64_t area = size - pos - 4 * static_cast<int64_t>(count);
  std::vector<int32_t> sizes(static_cast<size_t>(count));
  std::vector<int64_t> offsets(static_cast<size_t>(count));
  int64_t offset = 0;
  for (int i = 0; i < count; ++i) {
    sizes[i] = ReadI32(data + pos + 4 * i);
    if (sizes[i] < 0 || sizes[i] > area - offset) throw ElzhException(skin_texts::kBadEntrySize);
    offsets[i] = offset;
    offset += sizes[i];
  }
  pos += 4 * static_cast<int64_t>(count);

  entries_.Clear();
  if (area > 0) entries_.WriteBuffer(data + pos, static_cast<int>(area));
  entries_.SetPosition(0);
  names_.Assign(&names);
  sizes_ = std::move(sizes);
  offsets_ = std::move(offsets);
  header_ = header;
  return true;
}

int TSkinReader::EntrySize(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(sizes_.size()))
    throw EListError(Format("List index out of bounds (%d)", Index));
  return sizes_[static_cast<size_t>(Index)];
}

void TSkinReader::CopyEntry(int Index, TMemoryStream* Target) {
  const int32_t n = sizes_[static_cast<size_t>(Index)];
  if (n > 0) Target->WriteBuffer(static_cast<const char*>(entries_.Memory()) + offsets_[static_cast<size_t>(Index)], n);
  Target->SetPosition(0);
}

bool TSkinReader::FindEntry(const AnsiString& Name, TMemoryStream* Target) {
  Target->Clear();
  const AnsiString wanted = LowerCase(Name);
  for (int i = 0; i < names_.Count(); ++i) {
    if (names_[i] == wanted) {
      CopyEntry(i, Target);
      return true;
    }
  }
  return false;
}

bool TSkinReader::FindEntryContaining(const AnsiString& Text, TMemoryStream* Target, AnsiString& Name) {
  Target->Clear();
  for (int i = 0; i < names_.Count(); ++i) {
    if (Pos(Text, names_[i]) > 0) {
      CopyEntry(i, Target);
      Name = names_[i];
      return true;
    }
  }
  return false;
}
