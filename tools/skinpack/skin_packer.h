// The skin container packer: the compression of the container (LZHUF, as the reader
// decodes it) and a builder of container bodies. Used by tools/skinpack and by tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skinpack {

using Bytes = std::vector<uint8_t>;

// The compressed stream alone (no size field), greedy matches of 3..60 bytes.
Bytes LzhCompress(const Bytes& data);
// A container: u32 little-endian raw size, then the compressed stream.
Bytes Container(const Bytes& body);

struct Entry {
  std::string name;
  Bytes bytes;
};

// A body: format code, directory length, 8 filler bytes, a format block of BlockSize
// bytes, the directory (names joined by Separator, each followed by it), the sizes and the
// entries' bytes.
Bytes Body(uint32_t format, const std::vector<Entry>& entries, int block_size = 0,
           const std::string& separator = "\r\n");

Bytes ToBytes(const std::string& s);
void PutI32(Bytes& out, int32_t v);

}  // namespace skinpack
