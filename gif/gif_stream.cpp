#include "gif/gif_stream.h"

#include <algorithm>

#include "gif/texts.h"

void GIFError(const char* Message) { throw GIFException(Message); }

uint64_t GIFCheckedArea(uint64_t Width, uint64_t Height) {
  uint64_t area = Width * Height;  // both at most 32 bits wide: no overflow
  if (area > kGIFMaxPixelBytes) throw EOutOfMemory(gif_texts::kOutOfMemory);
  return area;
}

void WriteByte(TStream* Stream, BYTE Value) { Stream->WriteBuffer(&Value, 1); }

int ReadByte(TStream* Stream) {
  BYTE b;
  return Stream->Read(&b, 1) == 1 ? b : -1;
}

void ReadCheck(TStream* Stream, void* Buffer, int Count) {
  if (Count <= 0) return;
  if (Stream->Read(Buffer, Count) != Count) GIFError(gif_texts::kPrematureEnd);
}

int BitsPerPixelOf(int Count) {
  if (Count <= 0) return 0;
  int n = 1;
  while ((1 << n) < Count) ++n;
  return n;
}

void SetPixelFormat(TBitmap* Bitmap, TPixelFormat Format) { Bitmap->SetPixelFormat(Format); }

void WriteStrings(TStream* Stream, TStrings* Strings) {
  for (int i = 0; i < Strings->Count(); ++i) {
    const AnsiString s = Strings->Strings(i);
    size_t pos = 0;
    while (pos < s.size()) {
      size_t n = std::min<size_t>(255, s.size() - pos);
      WriteByte(Stream, static_cast<BYTE>(n));
      Stream->WriteBuffer(s.data() + pos, static_cast<int>(n));
      pos += n;
    }
  }
  WriteByte(Stream, 0);
}

bool ReadStrings(TStream* Stream, TStrings* Strings) {
  Strings->Clear();
  for (;;) {
    int n = ReadByte(Stream);
    if (n <= 0) return n == 0;
    AnsiString s(static_cast<size_t>(n), '\0');
    int got = Stream->Read(s.data(), n);
    s.resize(static_cast<size_t>(std::max(got, 0)));
    Strings->Add(s);
    if (got < n) return false;
  }
}
