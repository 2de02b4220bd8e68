// The decoder of the skin container's compression: LZSS over a 4096-byte ring buffer with
// adaptive Huffman coding of literals and match lengths (the tree is in lzh_tree.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "framework/core/classes.h"
#include "framework/core/exception.h"
#include "skin/lzh_tree.h"

KV_EXCEPTION(ElzhException, Exception);

class TLZH : public TObject {
 public:
  // Asked for Count bytes (always 1); returns how many it delivered (0 at the end).
  using TReadProc = std::function<int(void* Buffer, int Count)>;
  // Receives each decoded byte.
  using TWriteProc = std::function<void(uint8_t Byte)>;

  // The largest raw size accepted: far above any skin (the shipped one is about 650 KB),
  // so that a damaged size field cannot make a load allocate or run without bound.
  static constexpr uint32_t kMaxRawSize = 64u << 20;

  TLZH();
  ~TLZH() override;
  KV_CLASS_NAME(TLZH)

  // Decodes until RawSize bytes were produced (the last match is emitted whole, so a
  // damaged stream may give up to 59 bytes more). Input past its end reads as zero bits,
  // since the final code may end inside the look-ahead; a stream that needs more than
  // one byte beyond its end is cut short and raises ElzhException, as does a RawSize
  // above kMaxRawSize.
  void Decode(uint32_t RawSize, const TReadProc& Read, const TWriteProc& Write);

  // Decodes a whole container: Input from position 0 holds the u32 little-endian raw
  // size and the compressed body; the body is written to Output from position 0.
  void Unpack(TStream* Input, TStream* Output);

 private:
  int GetBit();
  int GetByte();
  void Fill();
  int DecodeChar();
  int DecodePosition();

  uint16_t getbuf_ = 0;
  int getlen_ = 0;
  uint8_t text_buf_[lzh::N + lzh::F - 1] = {};
  std::unique_ptr<lzh::Tree> tree_;  // held only while decoding
  TStream* in_stream_ = nullptr;
  TStream* out_stream_ = nullptr;
  // Input bookkeeping of the running decode.
  const TReadProc* read_ = nullptr;
  bool input_ended_ = false;
  uint64_t bits_in_ = 0;    // bits delivered by the input
  uint64_t bits_used_ = 0;  // bits taken by the decoder
};
