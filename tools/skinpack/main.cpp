// skinpack: writes a skin container from a skin description and its bitmaps.
//
//   skinpack OUTPUT DESCRIPTION [FILE...]
//
// The entries are named by their file names (lower-cased by the reader), the description
// first; the container is format 20000.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/skinpack/skin_packer.h"

namespace {

bool ReadFile(const std::string& path, skinpack::Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: skinpack OUTPUT DESCRIPTION [FILE...]\n");
    return 2;
  }
  std::vector<skinpack::Entry> entries;
  for (int i = 2; i < argc; ++i) {
    skinpack::Entry e;
    e.name = BaseName(argv[i]);
    if (!ReadFile(argv[i], e.bytes)) {
      std::fprintf(stderr, "skinpack: cannot read %s\n", argv[i]);
      return 1;
    }
    entries.push_back(std::move(e));
  }
  const skinpack::Bytes container = skinpack::Container(skinpack::Body(20000, entries));
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));
  if (!out) {
    std::fprintf(stderr, "skinpack: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
