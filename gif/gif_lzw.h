// LZW decoding of GIF image data, and its two encoders: a true LZW encoder and a
// run-length encoder whose codes any LZW decoder expands to runs of one pixel value.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "gif/gif_stream.h"

// Receives the decoder's and encoders' warnings (severity 1 texts).
using TGIFWarningProc = std::function<void(const char* Message)>;

// Decodes one frame's image data (minimum code size byte, sub-blocks, terminator) from
// Stream into Pixels, Width x Height bytes that the caller has filled with the frame's
// fill index. Interlaced frames fill their rows in the four GIF passes. Pixels the data
// does not reach keep the fill. Leaves the stream after the block terminator. Returns the
// largest pixel index in Pixels afterwards (the fill counting where the data stopped
// short), -1 when the frame has no pixels; found without reading the buffer again.
int DecodeGIFData(TStream* Stream, BYTE* Pixels, int Width, int Height, bool Interlaced, const TGIFWarningProc& Warn);

// A stream that exists only to be written through its own methods; the TStream
// operations raise "Invalid stream operation".
class TGIFStream : public TStream {
 public:
  KV_CLASS_NAME(TGIFStream)
  int Read(void* Buffer, int Count) override;
  int Write(const void* Buffer, int Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
};

// Cuts bytes into data sub-blocks of at most 255 bytes on the target stream.
class TGIFWriter : public TGIFStream {
 public:
  explicit TGIFWriter(TStream* Target) : target_(Target) {}
  KV_CLASS_NAME(TGIFWriter)
  void WriteByte(BYTE Value) {
    buffer_[++buffer_[0]] = Value;
    if (buffer_[0] == 255) FlushBlock();
  }
  void FlushBlock();
  // Flushes what is held and writes the zero-length terminator.
  void Finish();

 private:
  TStream* target_;
  BYTE buffer_[256] = {};
};

// Common part of both encoders.
class TGIFEncoder {
 public:
  virtual ~TGIFEncoder() = default;
  // Writes the minimum code size byte, the compressed pixels and the terminator.
  // Pixels is Width x Height bytes in row order; every pixel must be below ColorCount
  // ("Color not in color table"). Interlaced frames are written in the four passes.
  void Encode(TStream* Stream, int BitsPerPixel, int ColorCount, int Width, int Height, bool Interlaced,
              const BYTE* Pixels);

 protected:
  virtual void Output(int Code);
  virtual void Clear() = 0;
  virtual void Compress() = 0;
  // The next pixel of the walk, -1 at the end.
  int NextPixel();
  // Calls Visit for every pixel in walk order (rows in the four passes when interlaced).
  template <class F>
  void WalkPixels(F Visit);
  void Flush();

  TGIFWriter* writer_ = nullptr;
  int color_count_ = 0;
  int width_ = 0, height_ = 0;
  bool interlaced_ = false;
  const BYTE* pixels_ = nullptr;
  int bits_per_pixel_ = 0;
  int init_bits_ = 0, bits_ = 0, max_code_ = 0;
  int clear_code_ = 0, eof_code_ = 0, first_free_ = 0;
  uint32_t bucket_ = 0;
  int bucket_bits_ = 0;
  // Pixel walk.
  int row_ = 0, col_ = 0, pass_ = 0, step_ = 8;
  bool walk_done_ = false;
  bool clear_flag_ = false;
};

// The LZW encoder's dictionary: open addressing over 8009 slots of 32 bits, an entry is
// key << 12 | code, and a slot at 0xFFFFF000 or above is empty.
class THashTable {
 public:
  static constexpr int kSize = 8009;
  void Clear() { std::memset(slots_, 0xFF, sizeof slots_); }
  // The code stored for Key, or -1 with Slot at the first empty slot of Key's probe
  // sequence (where Insert puts it).
  int Lookup(uint32_t Key, int& Slot) const {
    int slot = static_cast<int>((Key ^ (Key >> 4)) % kSize);
    const int step = slot == 0 ? 1 : kSize - slot;
    while (slots_[slot] < 0xFFFFF000u) {
      if ((slots_[slot] >> 12) == Key) return static_cast<int>(slots_[slot] & 0xFFF);
      slot -= step;
      if (slot < 0) slot += kSize;
    }
    Slot = slot;
    return -1;
  }
  void Insert(int Slot, uint32_t Key, int Code) { slots_[Slot] = (Key << 12) | static_cast<uint32_t>(Code); }

 private:
  uint32_t slots_[kSize];
};

class TLZWEncoder : public TGIFEncoder {
 protected:
  void Output(int Code) override;
  void Clear() override;
  void Compress() override;

 private:
  void Put(int Code);
  THashTable hash_;
  int next_free_ = 0;
};

class TRLEEncoder : public TGIFEncoder {
 protected:
  void Clear() override;
  void Compress() override;

 private:
  void Send(int Code);
  void FlushRun(int Pixel, int Count);
  void FlushFromClear(int Count);
  void FlushWithTable(int Count);
  void ResetOutClear();
  int Cost(int Count) const;

  int out_bump_init_ = 0, out_clear_init_ = 0, max_ocodes_ = 0;
  int out_bump_ = 0, out_clear_ = 0, out_count_ = 0;
  int rl_table_max_ = 0, rl_table_pixel_ = 0, rl_pixel_ = 0;
};
