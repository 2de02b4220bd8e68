#include "gif/gif_lzw.h"

#include <algorithm>
#include <cstring>

#include "gif/texts.h"

// ---- Decoder -------------------------------------------------------------------------

namespace {

constexpr int kMaxCodes = 4096;

class TGIFDecoder {
 public:
  TGIFDecoder(TStream* Stream, const TGIFWarningProc& Warn) : stream_(Stream), warn_(Warn) {}

  // The largest pixel index in the frame afterwards, -1 for a frame without pixels.
  int Decode(BYTE* Pixels, int Width, int Height, bool Interlaced);

 private:
  void Warning(const char* Message) {
    if (warn_) warn_(Message);
  }
  // Reads the next sub-block into the block buffer; false when the data has ended.
  bool NextBlock();
  // Tops the bit buffer up to at least the code size, across sub-blocks (at 12 bits a code
  // may span several one-byte blocks); false when the data ended first.
  bool Refill();
  void ResetTable();
  // Fills Row with up to Width pixels, the rest of a string left over from the previous
  // row first; returns the count given out. Fewer than Width: the data stopped (data
  // ended, end code, or a code the table cannot have; warned about unless Quiet).
  int DecodeRow(BYTE* Row, int Width, bool Quiet);
  void SkipBlocks();

  TStream* stream_;
  const TGIFWarningProc& warn_;
  // The string table: prefix code, last pixel and length of every code's string.
  uint16_t prefix_[kMaxCodes] = {};
  BYTE suffix_[kMaxCodes] = {};
  uint16_t length_[kMaxCodes] = {};
  // A string that does not fit the rest of its row waits here, last pixel at the bottom.
  BYTE stack_[kMaxCodes + 1];
  int sp_ = 0;
  int min_size_ = 0, code_size_ = 0, clear_ = 0, end_ = 0, next_free_ = 0, max_code_ = 0;
  int old_code_ = -1, first_ = 0;
  // The largest first pixel of the strings given out. Every pixel given out is the first
  // pixel of a string given out (a suffix is the first pixel of the string decoded when
  // its entry was made), so this is the largest pixel given out.
  int highest_ = -1;
  bool need_first_ = true;
  bool end_seen_ = false;
  bool data_ended_ = false;
  bool warned_ = false;  // the data was already found short or invalid
  // One sub-block.
  BYTE block_[255] = {};
  int block_len_ = 0, block_pos_ = 0;
  uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;
};

bool TGIFDecoder::NextBlock() {
  if (data_ended_) return false;
  int len = ReadByte(stream_);
  if (len <= 0) {  // terminator, or the stream ended without one
    data_ended_ = true;
    return false;
  }
  int64_t remaining = stream_->Size() - stream_->Position();
  if (remaining < len) {
    Warning(gif_texts::kPrematureEnd);
    warned_ = true;
    len = remaining > 0 ? static_cast<int>(remaining) : 0;
    if (len == 0) {
      data_ended_ = true;
      return false;
    }
  }
  block_len_ = stream_->Read(block_, len);
  block_pos_ = 0;
  if (block_len_ <= 0) {
    block_len_ = 0;
    data_ended_ = true;
    return false;
  }
  return true;
}

bool TGIFDecoder::Refill() {
  while (bit_count_ < code_size_) {
    if (block_pos_ >= block_len_ && !NextBlock()) return false;
    bit_buffer_ |= static_cast<uint64_t>(block_[block_pos_++]) << bit_count_;
    bit_count_ += 8;
  }
  return true;
}

void TGIFDecoder::ResetTable() {
  // Codes at and above next free are refused, so the entries behind it need no reset.
  code_size_ = min_size_ + 1;
  max_code_ = 2 * clear_;
  next_free_ = clear_ + 2;
  need_first_ = true;
}

void TGIFDecoder::SkipBlocks() {
  while (!data_ended_) {
    int len = ReadByte(stream_);
    if (len <= 0) break;
    int64_t target = stream_->Position() + len;
    if (target > stream_->Size()) {
      stream_->Seek(0, soEnd);
      break;
    }
    stream_->Seek(target, soBeginning);
  }
  data_ended_ = true;
  block_len_ = block_pos_ = 0;
}

int TGIFDecoder::DecodeRow(BYTE* Row, int Width, bool Quiet) {
  int x = 0;
  while (sp_ > 0 && x < Width) Row[x++] = stack_[--sp_];
  // The hot state lives in locals while pixels are stored: a store through Row could
  // alias any member, which would force every member back to memory after each pixel.
  uint64_t bits = bit_buffer_;
  int count = bit_count_, pos = block_pos_, len = block_len_;
  int size = code_size_, next = next_free_, max_code = max_code_, old = old_code_, first = first_;
  int highest = highest_;
  bool need_first = need_first_;
  const int clear = clear_, end = end_;
  auto save = [&] {
    bit_buffer_ = bits;
    bit_count_ = count;
    block_pos_ = pos;
    code_size_ = size;
    next_free_ = next;
    max_code_ = max_code;
    old_code_ = old;
    first_ = first;
    highest_ = highest;
    need_first_ = need_first;
  };
  while (x < Width) {
    if (count < size) {
      if (len - pos >= 8) {
        // Eight bytes at once; the bytes not yet counted are loaded again next time, to
        // the same bit places.
        uint64_t word;
        std::memcpy(&word, block_ + pos, 8);
        bits |= word << count;
        pos += (63 - count) >> 3;
        count |= 56;
      } else {
        save();
        bool more = Refill();
        bits = bit_buffer_;
        count = bit_count_;
        pos = block_pos_;
        len = block_len_;
        if (!more) {
          if (!Quiet && count == 0) Warning(gif_texts::kBitBufferUnderrun);
          break;
        }
      }
    }
    const int code = static_cast<int>(bits & ((1u << size) - 1));
    bits >>= size;
    count -= size;
    if (code == clear) {  // further clears that follow directly change nothing more
      size = min_size_ + 1;
      max_code = 2 * clear;
      next = clear + 2;
      need_first = true;
      continue;
    }
    if (code == end) {
      save();
      end_seen_ = true;
      SkipBlocks();
      return x;
    }
    if (need_first) {
      if (code > clear) {  // no string to refer to yet
        Warning(gif_texts::kInvalidData);
        warned_ = true;
        break;
      }
      need_first = false;
      old = first = code;
      highest = std::max(highest, first);
      Row[x++] = static_cast<BYTE>(code);
      continue;
    }
    if (code > next || code >= kMaxCodes) {
      Warning(gif_texts::kInvalidData);
      warned_ = true;
      break;
    }
    // A code not yet in the table (next free) is the previous string and its first pixel.
    const int n = code < next ? length_[code] : length_[old] + 1;
    if (n <= Width - x) {
      // Straight into the row, last pixel first: the length bounds every store, and each
      // entry's prefix is an older entry one pixel shorter, so the walk ends at a root.
      BYTE* p = Row + x + n - 1;
      int c = code;
      if (code == next) {
        *p-- = static_cast<BYTE>(first);
        c = old;
      }
      while (p > Row + x) {
        *p-- = suffix_[c];
        c = prefix_[c];
      }
      *p = static_cast<BYTE>(c);
      first = c;
      x += n;
    } else {
      // The string runs past the row: onto the stack, whose size bounds the walk.
      int sp = 0, c = code;
      if (code == next) {
        stack_[sp++] = static_cast<BYTE>(first);
        c = old;
      }
      while (c >= clear) {
        if (sp >= kMaxCodes || prefix_[c] == c) GIFError(gif_texts::kCircularEntry);
        stack_[sp++] = suffix_[c];
        c = prefix_[c];
      }
      stack_[sp++] = static_cast<BYTE>(c);
      first = c;
      while (x < Width) Row[x++] = stack_[--sp];
      sp_ = sp;
    }
    highest = std::max(highest, first);
    if (next < kMaxCodes) {
      prefix_[next] = static_cast<uint16_t>(old);
      suffix_[next] = static_cast<BYTE>(first);
      length_[next] = static_cast<uint16_t>(length_[old] + 1);
      ++next;
      if (next >= max_code && max_code < kMaxCodes) {
        max_code *= 2;
        ++size;  // 12 bits at most: max_code stops at 4096
      }
    }
    old = code;
  }
  save();
  return x;
}

int TGIFDecoder::Decode(BYTE* Pixels, int Width, int Height, bool Interlaced) {
  const bool has_pixels = Width > 0 && Height > 0;
  int size = ReadByte(stream_);
  if (size < 0) {
    if (!has_pixels) return -1;
    Warning(gif_texts::kPrematureEnd);
    return Pixels[0];  // all fill
  }
  if (size > 8) size = 8;
  min_size_ = size;
  clear_ = 1 << size;
  end_ = clear_ + 1;
  for (int i = 0; i < clear_; ++i) {
    prefix_[i] = static_cast<uint16_t>(i);
    suffix_[i] = static_cast<BYTE>(i);
    length_[i] = 1;
  }
  ResetTable();  // as if a clear code came first

  static constexpr int kPassStart[4] = {0, 4, 2, 1};
  static constexpr int kPassStep[4] = {8, 8, 4, 2};
  int pass = 0;
  int row = 0;
  int step = Interlaced ? 8 : 1;
  bool stopped = false;
  int highest = -1;
  if (has_pixels) {
    while (row < Height) {
      BYTE* out = Pixels + static_cast<uint64_t>(row) * static_cast<uint64_t>(Width);
      const int x = DecodeRow(out, Width, false);
      if (x < Width) {
        stopped = true;
        highest = out[x];  // where the data stopped the fill begins
        break;
      }
      row += step;
      if (Interlaced) {
        while (row >= Height && pass < 3) {
          ++pass;
          row = kPassStart[pass];
          step = kPassStep[pass];
        }
      }
    }
  }
  // Pixels the data did not reach keep the fill; the caller learns that the picture is
  // not whole.
  if (stopped && !warned_) Warning(gif_texts::kPrematureEnd);
  highest = std::max(highest, highest_);
  // Consume the end code and whatever sub-blocks remain up to the terminator.
  if (!end_seen_ && !data_ended_) {
    BYTE scratch;
    sp_ = 0;
    DecodeRow(&scratch, 1, true);
  }
  if (!data_ended_) SkipBlocks();
  return highest;
}

}  // namespace

int DecodeGIFData(TStream* Stream, BYTE* Pixels, int Width, int Height, bool Interlaced, const TGIFWarningProc& Warn) {
  auto decoder = std::make_unique<TGIFDecoder>(Stream, Warn);
  return decoder->Decode(Pixels, Width, Height, Interlaced);
}

// ---- Sub-block writer ----------------------------------------------------------------

int TGIFStream::Read(void*, int) { GIFError(gif_texts::kInvalidStreamOp); }
int TGIFStream::Write(const void*, int) { GIFError(gif_texts::kInvalidStreamOp); }
int64_t TGIFStream::Seek(int64_t, TSeekOrigin) { GIFError(gif_texts::kInvalidStreamOp); }

void TGIFWriter::FlushBlock() {
  if (buffer_[0] == 0) return;
  target_->WriteBuffer(buffer_, buffer_[0] + 1);
  buffer_[0] = 0;
}

void TGIFWriter::Finish() {
  FlushBlock();
  ::WriteByte(target_, 0);
}

// ---- Encoders ------------------------------------------------------------------------

void TGIFEncoder::Encode(TStream* Stream, int BitsPerPixel, int ColorCount, int Width, int Height, bool Interlaced,
                         const BYTE* Pixels) {
  bits_per_pixel_ = BitsPerPixel;
  color_count_ = ColorCount;
  width_ = Width;
  height_ = Height;
  interlaced_ = Interlaced;
  pixels_ = Pixels;
  int min_size = BitsPerPixel < 2 ? 2 : BitsPerPixel;
  if (min_size > 8) min_size = 8;
  ::WriteByte(Stream, static_cast<BYTE>(min_size));
  init_bits_ = min_size + 1;
  bits_ = init_bits_;
  clear_code_ = 1 << min_size;
  eof_code_ = clear_code_ + 1;
  first_free_ = clear_code_ + 2;
  max_code_ = (1 << bits_) - 1;
  bucket_ = 0;
  bucket_bits_ = 0;
  row_ = col_ = pass_ = 0;
  step_ = interlaced_ ? 8 : 1;
  walk_done_ = Pixels == nullptr || Width <= 0 || Height <= 0;
  TGIFWriter writer(Stream);
  writer_ = &writer;
  if (walk_done_) {
    TGIFEncoder::Output(eof_code_);
  } else {
    Compress();
  }
  Flush();
  writer.Finish();
  writer_ = nullptr;
}

int TGIFEncoder::NextPixel() {
  if (walk_done_) return -1;
  int pixel = pixels_[static_cast<uint64_t>(row_) * static_cast<uint64_t>(width_) + static_cast<uint64_t>(col_)];
  if (pixel >= color_count_) GIFError(gif_texts::kColorNotInTable);
  if (++col_ >= width_) {
    col_ = 0;
    row_ += step_;
    if (interlaced_) {
      static constexpr int kPassStart[4] = {0, 4, 2, 1};
      static constexpr int kPassStep[4] = {8, 8, 4, 2};
      while (row_ >= height_ && pass_ < 3) {
        ++pass_;
        row_ = kPassStart[pass_];
        step_ = kPassStep[pass_];
      }
    }
    if (row_ >= height_) walk_done_ = true;
  }
  return pixel;
}

void TGIFEncoder::Output(int Code) {
  bucket_ |= static_cast<uint32_t>(Code) << bucket_bits_;
  bucket_bits_ += bits_;
  while (bucket_bits_ >= 8) {
    writer_->WriteByte(static_cast<BYTE>(bucket_ & 0xFF));
    bucket_ >>= 8;
    bucket_bits_ -= 8;
  }
}

void TGIFEncoder::Flush() {
  if (bucket_bits_ > 0) writer_->WriteByte(static_cast<BYTE>(bucket_ & 0xFF));
  bucket_ = 0;
  bucket_bits_ = 0;
}

// LZW -----------------------------------------------------------------------------------

template <class F>
void TGIFEncoder::WalkPixels(F Visit) {
  static constexpr int kPassStart[4] = {0, 4, 2, 1};
  static constexpr int kPassStep[4] = {8, 8, 4, 2};
  const int passes = interlaced_ ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = interlaced_ ? kPassStep[pass] : 1;
    for (int row = interlaced_ ? kPassStart[pass] : 0; row < height_; row += step) {
      const BYTE* p = pixels_ + static_cast<uint64_t>(row) * static_cast<uint64_t>(width_);
      if (color_count_ < 256) {
        BYTE highest = 0;
        for (int x = 0; x < width_; ++x) highest = std::max(highest, p[x]);
        if (highest >= color_count_) GIFError(gif_texts::kColorNotInTable);
      }
      for (int x = 0; x < width_; ++x) Visit(p[x]);
    }
  }
}

inline void TLZWEncoder::Put(int Code) {
  bucket_ |= static_cast<uint32_t>(Code) << bucket_bits_;
  bucket_bits_ += bits_;
  while (bucket_bits_ >= 8) {
    writer_->WriteByte(static_cast<BYTE>(bucket_ & 0xFF));
    bucket_ >>= 8;
    bucket_bits_ -= 8;
  }
  if (next_free_ > max_code_ || clear_flag_) {
    if (clear_flag_) {
      bits_ = init_bits_;
      max_code_ = (1 << bits_) - 1;
      clear_flag_ = false;
    } else {
      ++bits_;
      max_code_ = bits_ == 12 ? 4096 : (1 << bits_) - 1;
    }
  }
}

void TLZWEncoder::Output(int Code) { Put(Code); }

void TLZWEncoder::Clear() {
  hash_.Clear();
  next_free_ = first_free_;
  clear_flag_ = true;
  Put(clear_code_);
}

void TLZWEncoder::Compress() {
  next_free_ = first_free_;
  Clear();
  int prefix = -1;
  WalkPixels([this, &prefix](int pixel) {
    if (prefix < 0) {
      prefix = pixel;
      return;
    }
    const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(pixel);
    int slot = 0;
    const int code = hash_.Lookup(key, slot);
    if (code >= 0) {
      prefix = code;
      return;
    }
    Put(prefix);
    prefix = pixel;
    if (next_free_ > 4094) {
      Clear();
    } else {
      hash_.Insert(slot, key, next_free_);
      ++next_free_;
    }
  });
  Put(prefix);
  Put(eof_code_);
}

// RLE -----------------------------------------------------------------------------------

void TRLEEncoder::Send(int Code) {
  TGIFEncoder::Output(Code);
  clear_flag_ = false;
  ++out_count_;
  if (out_count_ >= out_bump_) {
    out_bump_ += 1 << bits_;
    ++bits_;
  }
  if (out_count_ >= out_clear_) Clear();
}

void TRLEEncoder::Clear() {
  out_bump_ = out_bump_init_;
  out_clear_ = out_clear_init_;
  out_count_ = 0;
  rl_table_max_ = 0;
  TGIFEncoder::Output(clear_code_);
  bits_ = init_bits_;
  clear_flag_ = true;
}

void TRLEEncoder::ResetOutClear() {
  out_clear_ = out_clear_init_;
  if (out_count_ >= out_clear_) Clear();
}

int TRLEEncoder::Cost(int Count) const {
  int m = max_ocodes_;
  int per = m * (m + 1) / 2;
  int cost = 0;
  while (Count >= per) {
    Count -= per;
    cost += m;
  }
  if (Count > 0) {
    // The smallest j with j * (j + 1) >= 2 * Count.
    int j = 0;
    while ((j + 1) * (j + 1) <= Count) ++j;  // integer square root
    while (j > 0 && (j - 1) * j >= 2 * Count) --j;
    while (j * (j + 1) < 2 * Count) ++j;
    cost += j;
  }
  return cost;
}

void TRLEEncoder::FlushFromClear(int Count) {
  out_clear_ = max_ocodes_;
  rl_table_pixel_ = rl_pixel_;
  int k = 1;
  while (Count > 0) {
    if (k == 1) {
      rl_table_max_ = 1;
      Send(rl_pixel_);
      --Count;
    } else if (Count < k) {
      ++rl_table_max_;
      Send(Count == 1 ? rl_pixel_ : first_free_ + Count - 2);
      Count = 0;
      break;
    } else {
      rl_table_max_ = k;
      Send(first_free_ + k - 2);
      Count -= k;
    }
    k = out_count_ == 0 ? 1 : k + 1;
  }
  ResetOutClear();
}

void TRLEEncoder::FlushWithTable(int Count) {
  int r = rl_table_max_;
  int full = Count / r;
  int rest = Count % r;
  int extra = rest > 0 ? 1 : 0;
  if (full + out_count_ + extra > max_ocodes_) {
    full = max_ocodes_ - out_count_;
    rest = Count - r * full;
    extra = Cost(rest) + 1;
  }
  if (Cost(Count) + 1 < full + extra) {
    Clear();
    FlushFromClear(Count);
    return;
  }
  out_clear_ = max_ocodes_;
  for (int i = 0; i < full; ++i) Send(first_free_ + r - 2);
  if (rest > 0) {
    if (clear_flag_) {
      FlushFromClear(rest);
      return;
    }
    Send(rest == 1 ? rl_pixel_ : first_free_ + rest - 2);
  }
  ResetOutClear();
}

void TRLEEncoder::FlushRun(int Pixel, int Count) {
  rl_pixel_ = Pixel;
  if (Count == 1) {
    Send(Pixel);
  } else if (clear_flag_) {
    FlushFromClear(Count);
  } else if (rl_table_max_ > 1 && rl_table_pixel_ == Pixel) {
    FlushWithTable(Count);
  } else if (Cost(Count) + 1 < Count) {
    Clear();
    FlushFromClear(Count);
  } else {
    for (int i = 0; i < Count; ++i) Send(Pixel);
  }
}

void TRLEEncoder::Compress() {
  out_bump_init_ = clear_code_ - 1;
  out_clear_init_ = bits_per_pixel_ > 3 ? clear_code_ - 2 : 9;
  max_ocodes_ = 4095 - first_free_;
  Clear();
  int run_pixel = NextPixel();
  int run_count = 1;
  for (int pixel = NextPixel(); pixel >= 0; pixel = NextPixel()) {
    if (pixel == run_pixel) {
      ++run_count;
      continue;
    }
    FlushRun(run_pixel, run_count);
    run_pixel = pixel;
    run_count = 1;
  }
  FlushRun(run_pixel, run_count);
  TGIFEncoder::Output(eof_code_);
}
