// The skin container reader: unpacks a container (u32 raw size + compressed body) into
// memory and hands out its entries (the skin's bitmaps and its description) by name.
//
// Body: u32 format code, i32 directory length L, 8 bytes not interpreted, a format block
// whose size depends on the format code, L bytes of directory (names, one a line), one
// i32 size for each name, then the entries' bytes in directory order.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/strings.h"
#include "skin/skin_lzh.h"

class TSkinReader : public TObject {
 public:
  // The size table's limit: a container lists at most this many entries.
  static constexpr int kMaxEntries = 1001;

  struct THeader {
    uint32_t FormatCode = 0;
    int32_t DirectoryLength = 0;
    uint8_t Reserved[8] = {};
  };

  TSkinReader() = default;
  KV_CLASS_NAME(TSkinReader)

  // Decompresses Container and reads its body. True for a known format code; an unknown
  // one shows "This is Older Skin File..." and returns false. A damaged container raises
  // ElzhException. On false or an exception the previous contents stay as they were.
  bool LoadFromStream(TStream* Container);

  // Target is cleared; the first entry named Name (compared in lower case) is written to
  // it and Target rewound. No such entry leaves Target empty. True when found.
  bool FindEntry(const AnsiString& Name, TMemoryStream* Target);
  // Target is cleared; the first entry whose name contains Text (as given, against the
  // lower-case names) is written to Target, Target rewound and its name stored in Name.
  // No match leaves Target empty and Name unchanged. True when found.
  bool FindEntryContaining(const AnsiString& Text, TMemoryStream* Target, AnsiString& Name);

  const TStringList& Names() const { return names_; }
  int Count() const { return names_.Count(); }
  // Size of entry Index (0 .. Count() - 1); EListError for any other index.
  int EntrySize(int Index) const;
  const THeader& Header() const { return header_; }

  // Size of the block between the header and the directory for a format code; -1 for a
  // code this reader does not know.
  static int FormatBlockSize(uint32_t FormatCode);

 private:
  void CopyEntry(int Index, TMemoryStream* Target);

  TStringList names_;
  std::vector<int32_t> sizes_;
  std::vector<int64_t> offsets_;  // start of each entry in the entry area
  TMemoryStream entries_;
  THeader header_;
};
