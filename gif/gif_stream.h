// The GIF codec's exception and error raiser, its pixel-size bound, and the byte, bit-depth
// and text sub-block helpers its reader and writer share.
#pragma once

#include <cstdint>

#include "framework/core/classes.h"
#include "framework/core/strings.h"
#include "framework/graphics/graphics.h"

// The one exception class of the GIF codec.
KV_EXCEPTION(GIFException, EInvalidGraphic);

// Raises GIFException with Message.
[[noreturn]] void GIFError(const char* Message);

// Largest pixel buffer a frame or bitmap may ask for (bytes); above it EOutOfMemory.
constexpr uint64_t kGIFMaxPixelBytes = uint64_t{1} << 28;
// width x height in 64 bits; EOutOfMemory when it passes kGIFMaxPixelBytes.
uint64_t GIFCheckedArea(uint64_t Width, uint64_t Height);

// Stream helpers.
void WriteByte(TStream* Stream, BYTE Value);
// -1 at the end of the stream.
int ReadByte(TStream* Stream);
// Exactly Count bytes, or GIFException "Premature end of data".
void ReadCheck(TStream* Stream, void* Buffer, int Count);
// 0 for 0, else the smallest n >= 1 with 2^n >= Count.
int BitsPerPixelOf(int Count);
void SetPixelFormat(TBitmap* Bitmap, TPixelFormat Format);

// Text of comment and plain-text extensions as data sub-blocks: every string cut into
// blocks of at most 255 bytes (empty strings write nothing), then one zero-length block.
// Reading takes one string per sub-block up to the zero-length block or the stream end;
// it returns false when the stream ended first (in a block or where a block was due).
void WriteStrings(TStream* Stream, TStrings* Strings);
bool ReadStrings(TStream* Stream, TStrings* Strings);
