// The glyph layouts of speed and bit buttons, and the glyph chosen by the button's state.
#include <gtest/gtest.h>

#include "framework/controls/buttons.h"
#include "framework/controls/forms.h"
#include "framework/controls/tests/fixture.h"
#include "framework/controls/typinfo.h"
#include "platform/user/testing.h"

namespace {

class ButtonsTest : public kvtest::FreshUiTest {
 protected:
  // A strip of `n` 8 x 8 glyphs, glyph i filled with colours[i], with a white corner pixel
  // at the bottom left (the transparent colour).
  static void FillStrip(TBitmap* b, int n, const COLORREF* colours) {
    b->SetWidth(8 * n);
    b->SetHeight(8);
    for (int i = 0; i < n; ++i) {
      b->Canvas()->Brush()->SetColor(static_cast<TColor>(colours[i]));
      b->Canvas()->FillRect(Rect(8 * i, 0, 8 * i + 8, 8));
      b->Canvas()->SetPixels(8 * i, 7, clWhite);
    }
    b->Canvas()->SetPixels(0, 7, clWhite);
  }
};

TEST_F(ButtonsTest, GlyphLayoutsPlaceGlyphAndCaptionByLayoutMarginAndSpacing) {
  HDC dc = CreateCompatibleDC(nullptr);
  TButtonGlyph g;
  COLORREF red = RGB(255, 0, 0);
  FillStrip(g.Glyph(), 1, &red);
  const TRect client = Rect(0, 0, 100, 60);
  SIZE text{};
  GetTextExtentPoint32A(dc, "Print", 5, &text);
  struct Case {
    TButtonLayout layout;
    int margin, spacing;
    int gx, gy;  // the glyph's top-left corner; -1: centred across
    int tx, ty;  // the caption's top-left corner; -1: centred across, -2: computed below
  } cases[] = {
      {blGlyphLeft, 5, 4, 5, -1, 17, -1},
      {blGlyphRight, 5, 4, 87, -1, -2, -1},
      {blGlyphTop, 3, 2, -1, 3, -1, 13},
      {blGlyphBottom, 3, 2, -1, 49, -1, -2},
      // Margin -1 centres glyph and caption together; Spacing -1 as well shares the rest in three.
      {blGlyphLeft, -1, 4, (100 - 8 - 4 - static_cast<int>(text.cx) + 1) / 2, -1, -2, -1},
      {blGlyphLeft, -1, -1, (100 - 8 - static_cast<int>(text.cx)) / 3, -1, -2, -1},
  };
  for (const Case& c : cases) {
    g.Layout = c.layout;
    g.Margin = c.margin;
    g.Spacing = c.spacing;
    TPoint gp;
    TRect tr;
    g.CalcLayout(dc, client, "Print", &gp, &tr);
    int gx = c.gx == -1 ? (100 - 8 + 1) / 2 : c.gx, gy = c.gy == -1 ? (60 - 8 + 1) / 2 : c.gy;
    EXPECT_EQ(gp.x, gx) << c.layout << " " << c.margin;
    EXPECT_EQ(gp.y, gy) << c.layout << " " << c.margin;
    int tx = c.tx == -1 ? (100 - text.cx + 1) / 2 : c.tx, ty = c.ty == -1 ? (60 - text.cy + 1) / 2 : c.ty;
    if (c.tx == -2)
      tx = c.layout == blGlyphRight ? gx - c.spacing - text.cx : gx + 8 + (c.spacing == -1 ? gx : c.spacing);
    if (c.ty == -2) ty = gy - c.spacing - text.cy;
    EXPECT_EQ(tr.left, tx) << c.layout << " " << c.margin;
    EXPECT_EQ(tr.top, ty) << c.layout << " " << c.margin;
  }
  // Without a caption there is no spacing: the glyph alone is centred.
  g.Layout = blGlyphLeft;
  g.Margin = -1;
  g.Spacing = 4;
  TPoint gp;
  TRect tr;
  g.CalcLayout(dc, client, "", &gp, &tr);
  EXPECT_EQ(gp.x, (100 - 8 + 1) / 2);
  g.SetNumGlyphs(0);  // below 1 counts as 1
  EXPECT_EQ(g.NumGlyphs(), 1);
  DeleteDC(dc);
}

TEST_F(ButtonsTest, TheButtonsStateChoosesItsGlyph) {
  TForm form(nullptr);
  form.SetBounds(40, 40, 200, 100);
  auto* sb = new TSpeedButton(&form);
  sb->SetParent(&form);
  sb->SetBounds(10, 10, 40, 30);
  sb->SetGroupIndex(1);
  sb->AllowAllUp = true;
  const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)};
  FillStrip(sb->Glyph(), 4, colours);
  sb->SetNumGlyphs(4);
  auto* bb = new TBitBtn(&form);
  bb->SetParent(&form);
  bb->SetBounds(60, 10, 80, 30);
  bb->SetCaption("");
  FillStrip(bb->Glyph(), 4, colours);
  SetOrdProp(bb, "NumGlyphs", 4);
  form.Show();
  KvPumpMessages();
  // The glyph sits in the middle of each button: (40 - 8 + 1) / 2 = 16, (30 - 8 + 1) / 2 = 11.
  HWND f = form.Handle();
  POINT origin{0, 0};
  ClientToScreen(f, &origin);
  RECT wr;
  GetWindowRect(f, &wr);
  int ox = origin.x - wr.left, oy = origin.y - wr.top;  // client origin in window coordinates
  auto at = [&](int x, int y) { return KvWindowGetPixel(f, ox + x, oy + y); };
  EXPECT_EQ(at(10 + 16 + 3, 10 + 11 + 2), colours[0]);
  sb->SetDown(true);  // held down: the fourth glyph, one pixel right and down
  KvPumpMessages();
  EXPECT_EQ(at(10 + 16 + 4, 10 + 11 + 3), colours[3]);
  sb->SetDown(false);
  sb->SetEnabled(false);
  KvPumpMessages();
  EXPECT_EQ(at(10 + 16 + 3, 10 + 11 + 2), colours[1]);
  // The bit button: up, then disabled.
  int bx = 60 + 2 + (76 - 8 + 1) / 2, by = 10 + 2 + (26 - 8 + 1) / 2;
  EXPECT_EQ(at(bx + 3, by + 2), colours[0]);
  bb->SetEnabled(false);
  KvPumpMessages();
  EXPECT_EQ(at(bx + 3, by + 2), colours[1]);
  EXPECT_EQ(GetPropValue(bb, "Layout"), "blglyphleft");
}

}  // namespace
