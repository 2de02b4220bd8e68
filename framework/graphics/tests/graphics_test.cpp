// Fonts, colours, canvases, bitmaps, JPEG images and pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/graphics/clipbrd.h"
#include "framework/graphics/graphics.h"
#include "framework/graphics/jpeg.h"
#include "platform/base/codepage.h"
#include "testsupport/temp_home.h"

namespace {

TEST(Font, SizeAndHeightThroughPixelsPerInch) {
  struct Case {
    int ppi, size, height;
  };
  const Case cases[] = {{96, 9, -12}, {96, 12, -16}, {600, 12, -100}, {600, 14, -117}, {300, 10, -42}, {600, 0, 0}};
  for (const Case& c : cases) {
    TFont f;
    f.SetPixelsPerInch(c.ppi);
    f.SetSize(c.size);
    EXPECT_EQ(f.Height(), c.height) << c.ppi << " " << c.size;
    TFont g;
    g.SetPixelsPerInch(c.ppi);
    g.SetHeight(c.height);
    EXPECT_EQ(g.Size(), c.size) << c.ppi << " " << c.height;
  }
}

TEST(Font, HandleFollowsChangesAndEventsFire) {
  TFont f;
  int changes = 0;
  f.OnChange = [&](TObject*) { ++changes; };
  f.SetStyle(TFontStyles{fsBold, fsItalic});
  f.SetSize(20);
  LOGFONTA lf{};
  ASSERT_EQ(GetObjectA(f.Handle(), sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_EQ(lf.lfHeight, -27);
  EXPECT_EQ(std::string(lf.lfFaceName), f.Name());
  EXPECT_EQ(changes, 2);
  f.SetSize(20);  // no change, no event
  EXPECT_EQ(changes, 2);
}

TEST(Colour, SystemColoursGoThroughTheSystemTable) {
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ColorToRGB(clWindowText), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(static_cast<uint32_t>(clBtnFace), 0x8000000Fu);
}

// ---- Bitmaps -----------------------------------------------------------------------------------

TEST(Bitmap, ScanLinesAreBottomUpRowsOfTheDib) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(5, 3);
  EXPECT_EQ(b.Stride(), 16);
  auto* top = static_cast<BYTE*>(b.ScanLine(0));
  auto* next = static_cast<BYTE*>(b.ScanLine(1));
  EXPECT_EQ(top - next, 16);  // row 0 sits at the highest address
  top[0] = 0x30;              // blue
  top[1] = 0x20;              // green
  top[2] = 0x10;              // red
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), static_cast<TColor>(RGB(0x10, 0x20, 0x30)));
  EXPECT_THROW(b.ScanLine(3), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmap, CanvasDrawsIntoThePixels) {
  TBitmap b;
  b.SetSize(40, 30);
  TCanvas* c = b.Canvas();
  EXPECT_EQ(c->Pixels(3, 3), clWhite);  // new bitmaps start white
  c->Brush()->SetColor(clBlue);
  c->FillRect(Rect(0, 0, 10, 10));
  EXPECT_EQ(c->Pixels(5, 5), clBlue);
  EXPECT_EQ(c->Pixels(10, 5), clWhite);  // right edge excluded
  c->Pen()->SetColor(clRed);
  c->MoveTo(0, 20);
  c->LineTo(30, 20);
  EXPECT_EQ(c->Pixels(15, 20), clRed);
  EXPECT_EQ(c->Pixels(30, 20), clWhite);  // end point excluded
  EXPECT_EQ(c->PenPos().x, 30);
  TRect clip = c->ClipRect();
  EXPECT_EQ(clip.right, 40);
  EXPECT_EQ(clip.bottom, 30);
  c->Lock();
  c->Lock();
  EXPECT_EQ(c->LockCount(), 2);
  c->Unlock();
  c->Unlock();
  EXPECT_EQ(c->LockCount(), 0);
  EXPECT_GT(c->TextWidth("Hi"), 0);
  EXPECT_GT(c->TextHeight("Hi"), 0);

  // A 2 x 1 source: Draw at its size, StretchDraw and CopyRect nearest-neighbour.
  TBitmap src;
  src.SetSize(2, 1);
  src.Canvas()->SetPixels(0, 0, clRed);
  src.Canvas()->SetPixels(1, 0, clLime);
  c->Draw(20, 0, &src);
  EXPECT_EQ(c->Pixels(20, 0), clRed);
  EXPECT_EQ(c->Pixels(21, 0), clLime);
  EXPECT_EQ(c->Pixels(22, 0), clWhite);
  c->StretchDraw(Rect(20, 2, 24, 4), &src);
  EXPECT_EQ(c->Pixels(21, 3), clRed);
  EXPECT_EQ(c->Pixels(22, 3), clLime);
  EXPECT_EQ(c->Pixels(24, 3), clWhite);
  c->SetCopyMode(cmNotSrcCopy);
  c->CopyRect(Rect(30, 0, 36, 3), src.Canvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(c->Pixels(30, 2), TColor(RGB(0, 255, 255)));  // not red
  EXPECT_EQ(c->Pixels(35, 0), TColor(RGB(255, 0, 255)));  // not lime
  EXPECT_EQ(c->Pixels(36, 0), clWhite);
  // FrameRect: the brush colour on the border only.
  c->Brush()->SetColor(clBlue);
  c->FrameRect(Rect(30, 10, 35, 15));
  EXPECT_EQ(c->Pixels(30, 10), clBlue);
  EXPECT_EQ(c->Pixels(34, 14), clBlue);
  EXPECT_EQ(c->Pixels(32, 12), clWhite);
  EXPECT_EQ(c->Pixels(35, 12), clWhite);
}

TEST(Canvas, EventsAroundDrawingAndTextRectClips) {
  TBitmap b;
  b.SetSize(60, 30);
  TCanvas* c = b.Canvas();
  std::vector<std::string> events;
  c->OnChanging = [&](TObject*) { events.push_back("changing"); };
  c->OnChange = [&](TObject*) { events.push_back("change"); };
  c->Brush()->SetColor(clBlack);
  c->Font()->SetColor(clWhite);
  c->TextRect(Rect(0, 0, 10, 10), 0, 0, "WWWWWWWW");
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"}));
  int painted = 0;  // the opaque black cell, with the text in it
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) painted += c->Pixels(x, y) != clWhite;
  EXPECT_GT(painted, 50);
  EXPECT_EQ(c->Pixels(12, 5), clWhite);  // outside the rectangle: untouched
  EXPECT_EQ(c->Pixels(40, 5), clWhite);
}

TEST(Bitmap, PaletteBecomesTheColourTableAndKeepsIndices) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(2, 1);
  static_cast<BYTE*>(b.ScanLine(0))[0] = 3;
  std::vector<BYTE> block(sizeof(LOGPALETTE) + 4 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 4;
  for (int i = 0; i < 4; ++i) lp->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(i * 80), 0, 0, 0};
  HPALETTE pal = CreatePalette(lp);
  b.SetPalette(pal);
  DeleteObject(pal);
  EXPECT_EQ(static_cast<BYTE*>(b.ScanLine(0))[0], 3);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), static_cast<TColor>(RGB(240, 0, 0)));
}

TEST(Bitmap, ResizeKeepsTheOverlapAndAssignIsDeep) {
  TBitmap a;
  a.SetSize(4, 4);
  a.Canvas()->SetPixels(1, 1, clRed);
  TBitmap b;
  b.Assign(&a);
  a.Canvas()->SetPixels(1, 1, clGreen);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  b.SetSize(8, 2);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(6, 1), clWhite);
}

// Fills the DIB with a pattern that uses every bit of each row's pixel bytes.
void Pattern(TBitmap& b) {
  int rowBytes = (b.Width() * b.BitsPerPixel() + 7) / 8;
  for (int y = 0; y < b.Height(); ++y) {
    auto* row = static_cast<BYTE*>(b.ScanLine(y));
    for (int i = 0; i < rowBytes; ++i) row[i] = static_cast<BYTE>(i * 37 + y * 11 + 5);
    if (b.BitsPerPixel() == 16 && b.PixelFormat() == pf15bit)
      for (int i = 1; i < rowBytes; i += 2) row[i] &= 0x7F;  // the top bit of 5-5-5 is unused
  }
}

TEST(Bitmap, BmpRoundTripForEveryDepth) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap b;
    b.SetPixelFormat(f);
    b.SetSize(13, 7);
    Pattern(b);
    TMemoryStream s;
    b.SaveToStream(&s);
    s.SetPosition(0);
    TBitmap c;
    c.LoadFromStream(&s);
    EXPECT_EQ(s.Position(), s.Size());
    ASSERT_EQ(c.PixelFormat(), f) << f;
    ASSERT_EQ(c.Width(), 13);
    ASSERT_EQ(c.Height(), 7);
    int rowBytes = (13 * b.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < 7; ++y) {
      int trailingBits = (13 * b.BitsPerPixel()) % 8;
      int full = trailingBits ? rowBytes - 1 : rowBytes;
      EXPECT_EQ(std::memcmp(b.ScanLine(y), c.ScanLine(y), static_cast<size_t>(full)), 0) << f << " row " << y;
    }
    if (b.BitsPerPixel() <= 8) {
      PALETTEENTRY pb[256], pc[256];
      UINT nb = GetPaletteEntries(b.Palette(), 0, 256, pb), nc = GetPaletteEntries(c.Palette(), 0, 256, pc);
      ASSERT_EQ(nb, nc);
      EXPECT_EQ(std::memcmp(pb, pc, nb * sizeof(PALETTEENTRY)), 0);
    }
  }
}

TEST(Bitmap, MalformedBmpIsInvalidGraphic) {
  TBitmap good;
  good.SetPixelFormat(pf8bit);
  good.SetSize(4, 4);
  TMemoryStream s;
  good.SaveToStream(&s);
  std::string bytes(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
  std::vector<std::string> bad = {"", "BM", "XX" + bytes.substr(2), bytes.substr(0, 30),
                                  bytes.substr(0, bytes.size() - 10)};
  std::string huge = bytes;
  int32_t w = 0x7FFFFFF;
  std::memcpy(huge.data() + 18, &w, 4);  // width far beyond the data
  bad.push_back(huge);
  for (const std::string& b : bad) {
    TStringStream in(b);
    TBitmap t;
    EXPECT_THROW(t.LoadFromStream(&in), EInvalidGraphic) << b.size();
    EXPECT_EQ(in.Position(), 0) << b.size();
  }
}

TEST(Bitmap, PixelFormatConversionKeepsColours) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(4, 4);
  b.Canvas()->SetPixels(0, 0, clBlack);
  b.Canvas()->SetPixels(1, 0, clRed);
  b.SetPixelFormat(pf8bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(2, 0), clWhite);
  b.SetPixelFormat(pf1bit);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b.Canvas()->Pixels(2, 0), clWhite);
}

TEST(Bitmap, TransparentColourAndMask) {
  TBitmap b;
  b.SetSize(3, 3);
  b.Canvas()->Brush()->SetColor(clFuchsia);
  b.Canvas()->FillRect(Rect(0, 0, 3, 3));
  b.Canvas()->SetPixels(1, 1, clBlue);
  EXPECT_EQ(b.TransparentColor() & 0xFFFFFF, clFuchsia);  // the bottom-left pixel
  b.SetTransparentColor(clBlue);
  EXPECT_EQ(b.TransparentMode(), tmFixed);
  b.Mask(clFuchsia);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clBlack);
}

TEST(Bitmap, DormantKeepsThePixels) {
  TBitmap b;
  b.SetSize(5, 5);
  b.Canvas()->SetPixels(2, 2, clRed);
  b.Dormant();
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Canvas()->Pixels(2, 2), clRed);
}

TEST(Bitmap, NoGdiObjectOutlivesItsOwner) {
  DWORD before = KvGdiObjectCount();
  {
    TFont f;
    f.Handle();
    ASSERT_EQ(KvGdiObjectCount(), before + 1);  // the count sees our objects
  }
  {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(20, 20);
    TCanvas* c = b.Canvas();
    for (int i = 0; i < 5; ++i) {
      c->Font()->SetSize(8 + i);
      c->Pen()->SetWidth(1 + i);
      c->Brush()->SetStyle(i % 2 ? bsCross : bsSolid);
      c->TextOut(1, 1, "x");
      c->Rectangle(0, 0, 10, 10);
    }
    b.Palette();
    b.SetPixelFormat(pf24bit);
    TBitmap copy;
    copy.Assign(&b);
    copy.Dormant();
    copy.Canvas()->Pixels(0, 0);
    WORD format;
    HANDLE data;
    HPALETTE pal;
    copy.SaveToClipboardFormat(format, data, pal);
    DeleteObject(data);
    if (pal) DeleteObject(pal);
    c->Brush()->SetBitmap(&copy);
    c->FillRect(Rect(0, 0, 5, 5));
  }
  EXPECT_EQ(KvGdiObjectCount(), before);
}

// ---- JPEG ----------------------------------------------------------------------------------------------

TBitmap* Gradient(int w, int h) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<BYTE*>(b->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<BYTE>(x * 255 / w);  // blue grows to the right
      row[3 * x + 1] = 128;
      row[3 * x + 2] = static_cast<BYTE>(y * 255 / h);  // red grows downwards
    }
  }
  return b;
}

TEST(Jpeg, EncodeDecodeWithQualityScaleAndGrayscale) {
  std::unique_ptr<TBitmap> src(Gradient(64, 48));
  TJPEGImage j;
  j.Assign(src.get());
  j.SetCompressionQuality(95);
  TMemoryStream s;
  j.SaveToStream(&s);
  ASSERT_GT(s.Size(), 100);
  EXPECT_EQ(static_cast<const BYTE*>(s.Memory())[0], 0xFF);

  TMemoryStream low;
  TJPEGImage rough;
  rough.Assign(src.get());
  rough.SetCompressionQuality(5);
  rough.SaveToStream(&low);
  EXPECT_LT(low.Size(), s.Size());

  s.SetPosition(0);
  TJPEGImage back;
  back.LoadFromStream(&s);
  EXPECT_EQ(back.Width(), 64);
  EXPECT_EQ(back.Height(), 48);
  TBitmap* d = back.Bitmap();
  auto* row = static_cast<const BYTE*>(d->ScanLine(40));
  EXPECT_NEAR(row[3 * 60], 60 * 255 / 64, 12);
  EXPECT_NEAR(row[3 * 60 + 2], 40 * 255 / 48, 12);

  TBitmap copy;  // any graphic can be assigned to a bitmap: drawn at its size
  copy.Assign(&back);
  EXPECT_EQ(copy.Width(), 64);
  EXPECT_EQ(copy.Canvas()->Pixels(60, 40), d->Canvas()->Pixels(60, 40));

  back.SetScale(jsHalf);
  EXPECT_EQ(back.Width(), 32);
  EXPECT_EQ(back.Bitmap()->Width(), 32);
  back.SetScale(jsFullSize);
  back.SetGrayscale(true);
  EXPECT_EQ(back.Bitmap()->PixelFormat(), pf8bit);
}

TEST(Jpeg, BrokenDataGivesTheLibrarysMessage) {
  for (std::string bytes : {std::string("not a jpeg at all"), std::string("\xFF\xD8\xFF\xE0\x00", 5)}) {
    TStringStream in(bytes);
    TJPEGImage j;
    try {
      j.LoadFromStream(&in);
      ADD_FAILURE() << "accepted";
    } catch (const EJPEG& e) {
      EXPECT_FALSE(e.Message().empty());
      EXPECT_STREQ(e.ClassName(), "EJPEG");
    }
    EXPECT_EQ(in.Position(), 0);
    EXPECT_TRUE(j.Empty());
  }
}

// ---- Pictures -------------------------------------------------------------------------------------------

class Dummy : public TBitmap {
 public:
  const char* ClassName() const override { return "TDummyGraphic"; }
};

TEST(Picture, LoadsByExtensionThroughTheRegistry) {
  kvtest::TempHome home;
  std::unique_ptr<TBitmap> src(Gradient(8, 8));
  std::string bmp = home / "a.BMP", jpg = home / "b.jpg", odd = home / "c.xyz";
  src->SaveToFile(bmp);
  TJPEGImage j;
  j.Assign(src.get());
  j.SaveToFile(jpg);
  { TFileStream f(odd, fmCreate); }
  TPicture p;
  p.LoadFromFile(bmp);
  EXPECT_STREQ(p.Graphic()->ClassName(), "TBitmap");
  p.LoadFromFile(jpg);
  EXPECT_STREQ(p.Graphic()->ClassName(), "TJPEGImage");
  EXPECT_EQ(p.Width(), 8);
  EXPECT_THROW(p.LoadFromFile(odd), EInvalidGraphic);

  TPicture::RegisterFileFormat("xyz", "Dummy", "TDummyGraphic", [] { return new Dummy; });
  EXPECT_NE(TPicture::GraphicFilter().find("*.xyz"), std::string::npos);
  src->SaveToFile(odd);
  p.LoadFromFile(odd);
  EXPECT_STREQ(p.Graphic()->ClassName(), "TDummyGraphic");
  TPicture copy;
  copy.Assign(&p);  // a copy of the same registered class
  EXPECT_STREQ(copy.Graphic()->ClassName(), "TDummyGraphic");
  TPicture::UnregisterGraphicClass("TDummyGraphic");
  EXPECT_THROW(p.LoadFromFile(odd), EInvalidGraphic);
  EXPECT_THROW(copy.Assign(&p), EInvalidGraphic);
  // Bitmap() turns any other graphic into a bitmap.
  p.LoadFromFile(jpg);
  EXPECT_STREQ(p.Bitmap()->ClassName(), "TBitmap");
}

TEST(Clipboard, TextAndBitmapsThroughTheClipboard) {
  TClipboard* c = Clipboard();
  c->SetAsText("hello");
  EXPECT_TRUE(c->HasFormat(CF_TEXT));
  EXPECT_EQ(c->AsText(), "hello");
  std::unique_ptr<TBitmap> src(Gradient(6, 4));
  c->Assign(src.get());
  EXPECT_TRUE(c->HasFormat(CF_BITMAP));
  EXPECT_FALSE(c->HasFormat(CF_TEXT));
  TPicture p;
  p.Assign(c);
  ASSERT_NE(p.Graphic(), nullptr);
  EXPECT_EQ(p.Width(), 6);
  EXPECT_EQ(p.Bitmap()->Canvas()->Pixels(5, 3), src->Canvas()->Pixels(5, 3));
  c->Clear();
  EXPECT_EQ(c->FormatCount(), 0);
}

}  // namespace
