#include "skin/skin_lzh.h"

#include <cstring>
#include <new>

#include "skin/texts.h"

using namespace lzh;

TLZH::TLZH() = default;
TLZH::~TLZH() = default;

void TLZH::Fill() {
  // Keeps at least 9 bits in the buffer, taking input bytes in below the held bits.
  while (getlen_ <= 8) {
    uint8_t byte = 0;
    if (!input_ended_) {
      if ((*read_)(&byte, 1) == 1) {
        bits_in_ += 8;
      } else {
        input_ended_ = true;
        byte = 0;
      }
    }
    getbuf_ = static_cast<uint16_t>(getbuf_ | (byte << (8 - getlen_)));
    getlen_ += 8;
  }
}

int TLZH::GetBit() {
  Fill();
  const int bit = getbuf_ >> 15;
  getbuf_ = static_cast<uint16_t>(getbuf_ << 1);
  --getlen_;
  ++bits_used_;
  return bit;
}

int TLZH::GetByte() {
  Fill();
  const int byte = getbuf_ >> 8;
  getbuf_ = static_cast<uint16_t>(getbuf_ << 8);
  getlen_ -= 8;
  bits_used_ += 8;
  return byte;
}

int TLZH::DecodeChar() {
  const Tree& t = *tree_;
  int c = t.son[R];
  // The tree is always well formed, so the walk ends at a leaf within T steps.
  while (c < T) c = t.son[c + GetBit()];
  c -= T;
  tree_->Update(c);
  return c;
}

int TLZH::DecodePosition() {
  int i = GetByte();
  const int upper = kPosition.code[i] << 6;
  for (int j = kPosition.len[i] - 2; j > 0; --j) i = (i << 1) + GetBit();
  return upper | (i & 0x3F);
}

void TLZH::Decode(uint32_t RawSize, const TReadProc& Read, const TWriteProc& Write) {
  if (RawSize > kMaxRawSize) throw ElzhException(skin_texts::kRawSizeTooLarge);
  tree_.reset(new (std::nothrow) Tree);
  if (!tree_) throw ElzhException(skin_texts::kNoTableMemory);
  // The tables go on every exit, the exceptional ones included.
  struct Release {
    TLZH* self;
    ~Release() {
      self->tree_.reset();
      self->read_ = nullptr;
    }
  } release{this};

  read_ = &Read;
  input_ended_ = false;
  bits_in_ = bits_used_ = 0;
  getbuf_ = 0;
  getlen_ = 0;
  std::memset(text_buf_, ' ', N - F);
  std::memset(text_buf_ + (N - F), 0, sizeof text_buf_ - (N - F));
  int r = N - F;
  tree_->Start();

  uint32_t count = 0;
  while (count < RawSize) {
    const int c = DecodeChar();
    if (c < 256) {
      Write(static_cast<uint8_t>(c));
      text_buf_[r] = static_cast<uint8_t>(c);
      r = (r + 1) & (N - 1);
      ++count;
    } else {
      const int start = (r - DecodePosition() - 1) & (N - 1);
      const int length = c - 255 + THRESHOLD;
      for (int k = 0; k < length; ++k) {
        const uint8_t byte = text_buf_[(start + k) & (N - 1)];
        Write(byte);
        text_buf_[r] = byte;
        r = (r + 1) & (N - 1);
        ++count;
      }
    }
    // A complete stream ends within its last byte; the encoder pads that byte with zero
    // bits. One more byte of zeros is tolerated, anything beyond is a cut-off stream.
    if (input_ended_ && bits_used_ > bits_in_ + 8) throw ElzhException(skin_texts::kTruncated);
  }
}

void TLZH::Unpack(TStream* Input, TStream* Output) {
  in_stream_ = Input;
  out_stream_ = Output;
  struct Unbind {
    TLZH* self;
    ~Unbind() { self->in_stream_ = self->out_stream_ = nullptr; }
  } unbind{this};

  Input->SetPosition(0);
  Output->SetPosition(0);
  uint8_t size_bytes[4];
  if (Input->Read(size_bytes, 4) != 4) throw ElzhException(skin_texts::kTruncated);
  const uint32_t raw_size = static_cast<uint32_t>(size_bytes[0]) | static_cast<uint32_t>(size_bytes[1]) << 8 |
                            static_cast<uint32_t>(size_bytes[2]) << 16 | static_cast<uint32_t>(size_bytes[3]) << 24;

  // Output goes through a small buffer: one stream write per byte would dominate.
  uint8_t out[4096];
  int held = 0;
  auto flush = [&] {
    out_stream_->WriteBuffer(out, held);
    held = 0;
  };
  Decode(
      raw_size, [this](void* Buffer, int Count) { return in_stream_->Read(Buffer, Count); },
      [&](uint8_t Byte) {
        out[held++] = Byte;
        if (held == static_cast<int>(sizeof out)) flush();
      });
  if (held > 0) flush();
}
