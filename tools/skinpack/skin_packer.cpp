#include "tools/skinpack/skin_packer.h"

#include <algorithm>

#include "skin/lzh_tree.h"

namespace skinpack {

using namespace lzh;

namespace {

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++held_ == 8) {
        out_.push_back(acc_);
        acc_ = 0;
        held_ = 0;
      }
    }
  }
  Bytes Finish() {
    if (held_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - held_)));
    held_ = 0;
    return std::move(out_);
  }

 private:
  Bytes out_;
  uint8_t acc_ = 0;
  int held_ = 0;
};

void PutSymbol(Tree& tree, BitWriter& w, int c) {
  // The code is the path from the root: collect it leaf upwards, emit it root first.
  std::vector<int> path;
  for (int k = tree.prnt[c + T]; k != R; k = tree.prnt[k]) path.push_back(k - tree.son[tree.prnt[k]]);
  for (auto it = path.rbegin(); it != path.rend(); ++it) w.Put(static_cast<uint32_t>(*it), 1);
  tree.Update(c);
}

void PutPosition(BitWriter& w, int p) {
  const int upper = p >> 6;
  int first = 0;
  while (kPosition.code[first] != upper) ++first;
  const int len = kPosition.len[first];
  const uint32_t code = static_cast<uint32_t>(((first >> (8 - len)) << 6) | (p & 0x3F));
  w.Put(code, len + 6);
}

}  // namespace

Bytes LzhCompress(const Bytes& data) {
  // The history as the decoder's ring sees it: the pre-filled spaces, then the data.
  Bytes s(N - F, ' ');
  s.insert(s.end(), data.begin(), data.end());
  const size_t n = s.size();
  constexpr size_t kHashSize = 1 << 14;
  constexpr int kMaxChain = 128;
  std::vector<int64_t> head(kHashSize, -1), prev(n, -1);
  auto hash = [&](size_t i) { return ((s[i] << 10) ^ (s[i + 1] << 5) ^ s[i + 2]) & (kHashSize - 1); };
  auto insert = [&](size_t i) {
    if (i + 2 >= n) return;
    const size_t h = hash(i);
    prev[i] = head[h];
    head[h] = static_cast<int64_t>(i);
  };
  for (size_t i = 0; i < static_cast<size_t>(N - F); ++i) insert(i);

  Tree tree;
  tree.Start();
  BitWriter w;
  size_t pos = N - F;
  while (pos < n) {
    const size_t limit = std::min<size_t>(F, n - pos);
    size_t best_len = 0, best_j = 0;
    if (limit > THRESHOLD && pos + 2 < n) {
      int chain = 0;
      for (int64_t j = head[hash(pos)]; j >= 0 && chain < kMaxChain; j = prev[j], ++chain) {
        if (static_cast<int64_t>(pos) - j > N) break;  // beyond the ring
        size_t len = 0;
        while (len < limit && s[j + len] == s[pos + len]) ++len;
        if (len > best_len) {
          best_len = len;
          best_j = static_cast<size_t>(j);
        }
        if (len == limit) break;
      }
    }
    if (best_len > THRESHOLD) {
      PutSymbol(tree, w, static_cast<int>(255 - THRESHOLD + best_len));
      PutPosition(w, static_cast<int>(pos - best_j - 1));
    } else {
      best_len = 1;
      PutSymbol(tree, w, s[pos]);
    }
    for (size_t k = 0; k < best_len; ++k) insert(pos + k);
    pos += best_len;
  }
  return w.Finish();
}

void PutI32(Bytes& out, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

Bytes Container(const Bytes& body) {
  Bytes out;
  PutI32(out, static_cast<int32_t>(body.size()));
  const Bytes packed = LzhCompress(body);
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Body(uint32_t format, const std::vector<Entry>& entries, int block_size, const std::string& separator) {
  std::string directory;
  for (const Entry& e : entries) directory += e.name + separator;
  Bytes out;
  PutI32(out, static_cast<int32_t>(format));
  PutI32(out, static_cast<int32_t>(directory.size()));
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(0xA0 + i));
  for (int i = 0; i < block_size; ++i) out.push_back(static_cast<uint8_t>('B'));
  out.insert(out.end(), directory.begin(), directory.end());
  for (const Entry& e : entries) PutI32(out, static_cast<int32_t>(e.bytes.size()));
  for (const Entry& e : entries) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
  return out;
}

}  // namespace skinpack
