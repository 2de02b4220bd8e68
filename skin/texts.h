// Message texts of the skin engine, written once.
#pragma once

namespace skin_texts {

// Decoder of the compressed container (ElzhException).
inline constexpr const char* kNoTableMemory = "LZH : Cannot get memory for dictionary tables";
inline constexpr const char* kRawSizeTooLarge = "LZH : Uncompressed size is too large";
inline constexpr const char* kTruncated = "LZH : Compressed data ends too early";

// Reader of the decompressed body (ElzhException).
inline constexpr const char* kBodyTruncated = "Skin container: the data ends inside its header or directory";
inline constexpr const char* kBadDirectoryLength = "Skin container: invalid directory length";
inline constexpr const char* kTooManyEntries = "Skin container: more than 1001 entries";
inline constexpr const char* kBadEntrySize = "Skin container: an entry lies outside the data";

// Shown when the container's format code is not one this reader knows.
inline constexpr const char* kOlderSkin = "This is Older Skin File\rPlease update to new version !";

}  // namespace skin_texts
