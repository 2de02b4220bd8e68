// Characters of the ANSI code page, stepped without a terminator (CharNextA steps the same
// way up to one).
#pragma once

#include <cstddef>
#include <string_view>

namespace kv {

// The bytes of the ANSI code page's character that opens `rest` (0 for an empty one): a
// double-byte lead takes the byte after it when that can be a trail byte, a GB18030
// character its two or four bytes, a UTF-8 sequence its continuation bytes. A character
// cut by the end of `rest` is one byte.
size_t AnsiCharLength(std::string_view rest);

}  // namespace kv
