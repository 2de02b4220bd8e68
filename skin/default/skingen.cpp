// skingen: draws the bitmaps of the built-in skin into a folder, or the skin module's own
// bitmap resources into a C++ source.
//
//   skingen OUTPUT_DIR [blue|green]
//   skingen --resources OUTPUT.cpp
//
// Every image is a 24-bit BMP; states are equal frames side by side (window borders top
// and bottom: stacked); pure magenta is transparent. The variant picks the palette ("green"
// draws the second skin the tests use). The resources are the media-player glyphs, 16 x 16
// on olive (their transparent colour), named look "_" button.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
  int r, g, b;
};
constexpr Rgb kMagenta{255, 0, 255};

Rgb Mix(Rgb a, Rgb b, double t) {
  return Rgb{static_cast<int>(std::lround(a.r + (b.r - a.r) * t)), static_cast<int>(std::lround(a.g + (b.g - a.g) * t)),
             static_cast<int>(std::lround(a.b + (b.b - a.b) * t))};
}

class Image {
 public:
  Image(int w, int h, Rgb fill = kMagenta) : w_(w), h_(h), px_(static_cast<size_t>(w * h), fill) {}
  int W() const { return w_; }
  int H() const { return h_; }
  void Set(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y * w_ + x)] = c;
  }
  void Fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Set(x, y, c);
  }
  // Top-to-bottom gradient.
  void Gradient(int x0, int y0, int x1, int y1, Rgb a, Rgb b) {
    for (int y = y0; y < y1; ++y) Fill(x0, y, x1, y + 1, Mix(a, b, y1 - y0 > 1 ? double(y - y0) / (y1 - y0 - 1) : 0));
  }
  void Frame(int x0, int y0, int x1, int y1, Rgb c) {
    Fill(x0, y0, x1, y0 + 1, c);
    Fill(x0, y1 - 1, x1, y1, c);
    Fill(x0, y0, x0 + 1, y1, c);
    Fill(x1 - 1, y0, x1, y1, c);
  }
  // A round-cornered box: the corner pixels outside stay as they were (magenta).
  void RoundBox(int x0, int y0, int x1, int y1, Rgb border, Rgb top, Rgb bottom) {
    Gradient(x0 + 1, y0 + 1, x1 - 1, y1 - 1, top, bottom);
    Frame(x0, y0, x1, y1, border);
    for (int dx : {0, 1})
      for (int dy : {0, 1})
        if (dx + dy < 2) {
          Set(x0 + dx, y0 + dy, kMagenta);
          Set(x1 - 1 - dx, y0 + dy, kMagenta);
          Set(x0 + dx, y1 - 1 - dy, kMagenta);
          Set(x1 - 1 - dx, y1 - 1 - dy, kMagenta);
        }
  }
  void Disc(int cx, int cy, double r, Rgb c) {
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
  }
  bool Save(const std::string& path) const {
    const std::vector<uint8_t> out = Bytes();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(f);
  }
  // The image as a BMP file's bytes.
  std::vector<uint8_t> Bytes() const {
    const int stride = (3 * w_ + 3) & ~3;
    const uint32_t size = 54 + static_cast<uint32_t>(stride * h_);
    std::vector<uint8_t> out(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w_));
    put32(22, static_cast<uint32_t>(h_));
    out[26] = 1;
    out[28] = 24;
    put32(34, static_cast<uint32_t>(stride * h_));
    for (int y = 0; y < h_; ++y) {
      uint8_t* row = &out[54 + static_cast<size_t>((h_ - 1 - y) * stride)];
      for (int x = 0; x < w_; ++x) {
        const Rgb& c = px_[static_cast<size_t>(y * w_ + x)];
        row[3 * x] = static_cast<uint8_t>(c.b);
        row[3 * x + 1] = static_cast<uint8_t>(c.g);
        row[3 * x + 2] = static_cast<uint8_t>(c.r);
      }
    }
    return out;
  }

 private:
  int w_, h_;
  std::vector<Rgb> px_;
};

struct Palette {
  Rgb capTop, capBottom, capInTop, capInBottom, border, borderIn, face, light, shadow, dark, accent, menu;
};

const Palette kBlue{{74, 120, 190},  {40, 79, 140},   {176, 182, 192}, {140, 146, 158},
                    {36, 70, 126},   {128, 134, 146}, {236, 236, 232}, {255, 255, 255},
                    {160, 160, 156}, {96, 96, 92},    {58, 104, 176},  {248, 248, 246}};
const Palette kGreen{{86, 170, 104},  {37, 112, 60},   {192, 176, 176}, {160, 140, 140},
                     {30, 96, 50},    {150, 128, 128}, {232, 238, 228}, {255, 255, 255},
                     {150, 164, 146}, {80, 96, 76},    {52, 150, 80},   {244, 250, 242}};

// A caption button glyph drawn into frame f (0 normal, 1 pressed, 2 hot) of an 18 x 16 cell.
void CaptionButton(Image& img, int f, const Palette& p, char glyph) {
  const int x0 = 18 * f;
  const Rgb top = f == 1 ? p.capBottom : f == 2 ? Mix(p.capTop, p.light, 0.35) : p.capTop;
  const Rgb bottom = f == 1 ? p.capTop : p.capBottom;
  img.RoundBox(x0, 0, x0 + 18, 16, p.dark, top, bottom);
  const Rgb g = p.light;
  switch (glyph) {
    case 'x':
      for (int i = 0; i < 7; ++i) {
        img.Set(x0 + 5 + i, 4 + i, g);
        img.Set(x0 + 6 + i, 4 + i, g);
        img.Set(x0 + 11 - i, 4 + i, g);
        img.Set(x0 + 12 - i, 4 + i, g);
      }
      break;
    case 'M':
      img.Frame(x0 + 5, 4, x0 + 13, 12, g);
      img.Fill(x0 + 5, 5, x0 + 13, 6, g);
      break;
    case 'R':
      img.Frame(x0 + 7, 3, x0 + 13, 9, g);
      img.Fill(x0 + 5, 6, x0 + 11, 12, top);
      img.Frame(x0 + 5, 6, x0 + 11, 12, g);
      break;
    case '_': img.Fill(x0 + 5, 10, x0 + 12, 12, g); break;
    default: break;
  }
}

bool Draw(const std::string& dir, const Palette& p) {
  bool ok = true;
  auto save = [&](const Image& img, const char* name) { ok = img.Save(dir + "/" + name) && ok; };

  // Window borders: caption 24 rows (active frame over inactive), sides and bottom 4 pixels.
  Image top(60, 48);
  for (int f = 0; f < 2; ++f) {
    const Rgb a = f ? p.capInTop : p.capTop, b = f ? p.capInBottom : p.capBottom;
    top.Gradient(0, 24 * f, 60, 24 * f + 24, a, b);
    top.Fill(0, 24 * f, 60, 24 * f + 1, f ? p.borderIn : p.border);
    // Rounded top corners: transparent, cut out of the window region.
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3 - y; ++x) {
        top.Set(x, 24 * f + y, kMagenta);
        top.Set(59 - x, 24 * f + y, kMagenta);
      }
  }
  save(top, "top.bmp");
  Image left(8, 30), right(8, 30), bottom(30, 8);
  for (int f = 0; f < 2; ++f) {
    const Rgb c = f ? p.borderIn : p.border;
    left.Fill(4 * f, 0, 4 * f + 4, 30, Mix(c, p.light, 0.25));
    left.Fill(4 * f, 0, 4 * f + 1, 30, c);
    right.Fill(4 * f, 0, 4 * f + 4, 30, Mix(c, p.light, 0.25));
    right.Fill(4 * f + 3, 0, 4 * f + 4, 30, c);
    bottom.Fill(0, 4 * f, 30, 4 * f + 4, Mix(c, p.light, 0.25));
    bottom.Fill(0, 4 * f + 3, 30, 4 * f + 4, c);
  }
  save(left, "left.bmp");
  save(right, "right.bmp");
  save(bottom, "bottom.bmp");

  const char glyphs[] = {'x', 'M', 'R', '_'};
  const char* names[] = {"close.bmp", "max.bmp", "restore.bmp", "min.bmp"};
  for (int i = 0; i < 4; ++i) {
    Image b(54, 16);
    for (int f = 0; f < 3; ++f) CaptionButton(b, f, p, glyphs[i]);
    save(b, names[i]);
  }

  // The buttons of a maximised MDI child on the frame's menu bar: minimise, restore and
  // close, each in four 16 x 14 frames (normal, pressed, hot, hot).
  Image mdi(192, 14);
  const char mdiGlyphs[] = {'_', 'R', 'x'};
  for (int i = 0; i < 3; ++i)
    for (int f = 0; f < 4; ++f) {
      const int x0 = 16 * (4 * i + f);
      const Rgb face = f == 1 ? p.shadow : f >= 2 ? Mix(p.face, p.accent, 0.3) : p.face;
      mdi.RoundBox(x0, 0, x0 + 16, 14, p.dark, p.light, face);
      switch (mdiGlyphs[i]) {
        case '_': mdi.Fill(x0 + 4, 9, x0 + 11, 11, p.dark); break;
        case 'R':
          mdi.Frame(x0 + 6, 3, x0 + 12, 8, p.dark);
          mdi.Fill(x0 + 4, 6, x0 + 10, 11, face);
          mdi.Frame(x0 + 4, 6, x0 + 10, 11, p.dark);
          break;
        default:
          for (int k = 0; k < 6; ++k) {
            mdi.Set(x0 + 5 + k, 4 + k, p.dark);
            mdi.Set(x0 + 10 - k, 4 + k, p.dark);
          }
          break;
      }
    }
  save(mdi, "mdicontrols.bmp");

  // Menu bar (active, inactive), menu items (normal, -, -, selected, -) and the popup frame.
  Image bar(40, 20);
  bar.Gradient(0, 0, 20, 20, p.light, p.face);
  bar.Gradient(20, 0, 40, 20, p.face, p.face);
  bar.Fill(0, 19, 40, 20, p.shadow);
  save(bar, "menubar.bmp");
  Image item(100, 20);
  item.RoundBox(20, 0, 40, 20, p.accent, Mix(p.accent, p.light, 0.5), Mix(p.accent, p.light, 0.3));
  item.RoundBox(60, 0, 80, 20, p.accent, Mix(p.accent, p.light, 0.35), p.accent);
  save(item, "menuitem.bmp");
  Image menubg(30, 30, p.menu);
  menubg.Frame(0, 0, 30, 30, p.dark);
  menubg.Frame(1, 1, 29, 29, p.light);
  menubg.Fill(2, 2, 3, 28, Mix(p.accent, p.light, 0.6));
  save(menubg, "menubg.bmp");

  // Push buttons: normal, pressed, disabled, hot, focused.
  Image buttons(100, 22);
  const Rgb btop[] = {p.light, p.shadow, p.face, Mix(p.accent, p.light, 0.8), p.light};
  const Rgb bbot[] = {p.face, p.face, p.face, Mix(p.accent, p.light, 0.55), p.face};
  for (int f = 0; f < 5; ++f)
    buttons.RoundBox(20 * f, 0, 20 * f + 20, 22, f == 2 ? p.shadow : f == 4 ? p.accent : p.dark, btop[f], bbot[f]);
  save(buttons, "buttons.bmp");
  // Check boxes: 12 frames of 16 x 16 (unchecked, checked, grey; each normal, hot, pressed,
  // disabled). Radio buttons: 8 frames (unchecked, then checked).
  Image check(192, 16), radio(128, 16);
  auto boxFill = [&](int f) { return (f % 4) == 3 ? p.face : (f % 4) == 1 ? Mix(p.accent, p.light, 0.85) : p.light; };
  for (int f = 0; f < 12; ++f) {
    const int x = 16 * f;
    const Rgb mark = (f % 4) == 3 ? p.shadow : p.accent;
    check.Fill(x + 1, 1, x + 14, 14, boxFill(f));
    check.Frame(x + 1, 1, x + 14, 14, (f % 4) == 3 ? p.shadow : p.dark);
    if (f >= 4 && f < 8) {
      for (int i = 0; i < 4; ++i) {
        check.Set(x + 4 + i, 6 + i, mark);
        check.Set(x + 4 + i, 7 + i, mark);
      }
      for (int i = 0; i < 5; ++i) {
        check.Set(x + 8 + i, 9 - i, mark);
        check.Set(x + 8 + i, 10 - i, mark);
      }
    }
    if (f >= 8) check.Fill(x + 4, 4, x + 11, 11, mark);
  }
  for (int f = 0; f < 8; ++f) {
    const int x = 16 * f;
    radio.Disc(x + 7, 7, 6.5, p.dark);
    radio.Disc(x + 7, 7, 5.5, boxFill(f));
    if (f >= 4) radio.Disc(x + 7, 7, 2.5, p.accent);
  }
  save(check, "check.bmp");
  save(radio, "radio.bmp");

  // Status panel edges (lowered, raised, none), column headers (normal, hot), the combo box's
  // drop button and edge (normal, pressed, disabled, hot) and the small glyphs (the drop
  // arrow in four states, the size grip).
  Image edges(36, 12);
  edges.Frame(0, 0, 12, 12, p.shadow);
  edges.Fill(1, 11, 12, 12, p.light);
  edges.Fill(11, 1, 12, 12, p.light);
  edges.Frame(12, 0, 24, 12, p.light);
  edges.Fill(13, 11, 24, 12, p.shadow);
  edges.Fill(23, 1, 24, 12, p.shadow);
  save(edges, "statusedges.bmp");
  Image header(40, 20);
  header.Gradient(0, 0, 20, 20, p.light, p.face);
  header.Gradient(20, 0, 40, 20, Mix(p.accent, p.light, 0.8), Mix(p.accent, p.light, 0.6));
  for (int f = 0; f < 2; ++f) {
    header.Fill(20 * f, 19, 20 * f + 20, 20, p.shadow);
    header.Fill(20 * f + 19, 2, 20 * f + 20, 18, p.shadow);
  }
  save(header, "headerbar.bmp");
  Image combo(68, 20), sunk(80, 20);
  const Rgb ctop[] = {p.light, p.shadow, p.face, Mix(p.accent, p.light, 0.8)};
  const Rgb cedge[] = {p.shadow, p.dark, p.shadow, p.accent};
  for (int f = 0; f < 4; ++f) {
    combo.RoundBox(17 * f, 0, 17 * f + 17, 20, f == 2 ? p.shadow : p.dark, ctop[f], p.face);
    sunk.Frame(20 * f, 0, 20 * f + 20, 20, cedge[f]);
    sunk.Frame(20 * f + 1, 1, 20 * f + 19, 19, p.light);
  }
  save(combo, "combobutton.bmp");
  save(sunk, "sunkedge.bmp");
  Image extra(45, 9);
  for (int f = 0; f < 4; ++f)
    for (int i = 0; i < 4; ++i) extra.Fill(9 * f + 1 + i, 3 + i, 9 * f + 8 - i, 4 + i, f == 2 ? p.shadow : p.dark);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j) extra.Fill(36 + 6 - 2 * j, 2 + 2 * i, 36 + 7 - 2 * j, 3 + 2 * i, p.shadow);
  save(extra, "extraimages.bmp");

  Image label(40, 18);
  label.RoundBox(0, 0, 40, 18, p.accent, Mix(p.accent, p.light, 0.6), Mix(p.accent, p.light, 0.4));
  save(label, "groupbox.bmp");
  Image edge(24, 12);
  for (int f = 0; f < 2; ++f) {
    edge.Frame(12 * f, 0, 12 * f + 12, 12, f ? p.shadow : p.accent);
    edge.Fill(12 * f + 1, 1, 12 * f + 11, 11, kMagenta);
  }
  save(edge, "groupedge.bmp");

  Image tabs(100, 22);
  for (int f = 0; f < 5; ++f) {
    const bool active = f == 1;
    tabs.Gradient(20 * f + 1, active ? 0 : 2, 20 * f + 19, 22, active ? p.light : p.face, p.face);
    tabs.Frame(20 * f, active ? 0 : 2, 20 * f + 20, 23, f == 3 ? p.accent : p.shadow);
  }
  save(tabs, "tabs.bmp");
  Image pane(12, 12, p.face);
  pane.Frame(0, 0, 12, 12, p.shadow);
  save(pane, "tabpane.bmp");

  Image progress(40, 14);
  // Track, then the filled bar.
  for (int f = 0; f < 2; ++f) {
    progress.Fill(20 * f + 1, 1, 20 * f + 19, 13, f ? Mix(p.accent, p.light, 0.3) : p.light);
    progress.Frame(20 * f, 0, 20 * f + 20, 14, p.shadow);
  }
  save(progress, "progress.bmp");
  Image chunk(8, 12);
  chunk.Gradient(0, 0, 8, 12, Mix(p.accent, p.light, 0.4), p.accent);
  save(chunk, "chunk.bmp");

  // Scroll bars: 23 frames of 17 x 17: the left, right, up and down arrows in four states each
  // (normal, pressed, unused, hot), then the thumb grips, horizontal and vertical (normal,
  // pressed, hot), and one unused frame.
  Image scroll(23 * 17, 17);
  const Rgb hot = Mix(p.accent, p.light, 0.7);
  for (int f = 0; f < 23; ++f) {
    const int x = 17 * f;
    const int state = f < 16 ? f % 4 : (f - 16) % 3;
    const bool pressed = state == 1, lit = f < 16 ? state == 3 : state == 2;
    const Rgb fill = pressed ? p.face : lit ? hot : p.light;
    if (f < 16) scroll.RoundBox(x, 0, x + 17, 17, p.shadow, fill, fill);
    if (f < 16) {
      const int dir = (f / 4) % 4;  // left, right, up, down
      for (int i = 0; i < 4; ++i)
        for (int j = -i; j <= i; ++j) {
          const int a = 6 + i, b = 8 + j;
          if (dir == 0) scroll.Set(x + a, b, p.dark);
          if (dir == 1) scroll.Set(x + 16 - a, b, p.dark);
          if (dir == 2) scroll.Set(x + b, a, p.dark);
          if (dir == 3) scroll.Set(x + b, 16 - a, p.dark);
        }
    } else if (f < 22) {
      // Three ridges across the thumb, on magenta so that the thumb shows between them.
      const bool vertical = f >= 19;
      const Rgb ridge = pressed ? p.shadow : lit ? p.accent : p.dark;
      for (int k = 0; k < 3; ++k)
        for (int t = 5; t < 12; ++t) vertical ? scroll.Set(x + t, 6 + 2 * k, ridge) : scroll.Set(x + 6 + 2 * k, t, ridge);
    }
  }
  save(scroll, "scrollbar.bmp");
  Image hscroll(80, 17), vscroll(68, 20), hthumb(60, 17), vthumb(51, 20);
  for (int f = 0; f < 4; ++f) {
    hscroll.Fill(20 * f, 0, 20 * f + 20, 17, Mix(p.face, p.shadow, 0.25 + 0.2 * f));
    vscroll.Fill(17 * f, 0, 17 * f + 17, 20, Mix(p.face, p.shadow, 0.25 + 0.2 * f));
  }
  for (int f = 0; f < 3; ++f) {
    hthumb.RoundBox(20 * f, 0, 20 * f + 20, 17, p.dark, f == 2 ? Mix(p.accent, p.light, 0.7) : p.light, p.face);
    vthumb.RoundBox(17 * f, 0, 17 * f + 17, 20, p.dark, f == 2 ? Mix(p.accent, p.light, 0.7) : p.light, p.face);
  }
  save(hscroll, "hscroll.bmp");
  save(vscroll, "vscroll.bmp");
  save(hthumb, "hthumb.bmp");
  save(vthumb, "vthumb.bmp");

  // Track bars: the channel (horizontal and vertical) and the thumb's 5 states.
  Image track(20, 6), trackvert(6, 20), thumb(55, 20);
  track.Fill(0, 0, 20, 6, p.shadow);
  track.Fill(1, 1, 19, 5, p.light);
  trackvert.Fill(0, 0, 6, 20, p.shadow);
  trackvert.Fill(1, 1, 5, 19, p.light);
  for (int f = 0; f < 5; ++f)
    thumb.RoundBox(11 * f, 0, 11 * f + 11, 20, f == 2 ? p.shadow : p.dark,
                   f == 3 ? Mix(p.accent, p.light, 0.6) : p.light, f == 1 ? p.shadow : p.face);
  save(track, "track.bmp");
  save(trackvert, "trackvert.bmp");
  save(thumb, "thumb.bmp");
  return ok;
}

// A media-player glyph: button b (play, pause, stop, next, prev, step, back, record, eject)
// in colour c on olive.
Image MediaGlyph(int b, Rgb c) {
  Image g(16, 16, Rgb{128, 128, 0});
  // A triangle pointing right (dir 1) or left (-1) whose base column is x, n columns long.
  auto triangle = [&](int x, int n, int top, int bottom, int dir) {
    for (int i = 0; i < n; ++i) g.Fill(x + dir * i, top + i, x + dir * i + 1, bottom - i, c);
  };
  switch (b) {
    case 0: triangle(5, 6, 3, 13, 1); break;
    case 1:
      g.Fill(4, 3, 7, 13, c);
      g.Fill(9, 3, 12, 13, c);
      break;
    case 2: g.Fill(4, 4, 12, 12, c); break;
    case 3:
      triangle(3, 5, 3, 13, 1);
      g.Fill(10, 3, 12, 13, c);
      break;
    case 4:
      g.Fill(4, 3, 6, 13, c);
      triangle(12, 5, 3, 13, -1);
      break;
    case 5:
      triangle(5, 3, 5, 11, 1);
      g.Fill(9, 4, 11, 12, c);
      break;
    case 6:
      g.Fill(5, 4, 7, 12, c);
      triangle(11, 3, 5, 11, -1);
      break;
    case 7: g.Disc(8, 8, 4, c); break;
    default:
      for (int i = 0; i < 5; ++i) g.Fill(7 - i, 3 + i, 9 + i, 4 + i, c);
      g.Fill(3, 10, 13, 12, c);
      break;
  }
  return g;
}

// The 27 glyphs as a C++ source: SkinResource (name) gives a glyph's BMP bytes.
bool WriteResources(const std::string& path) {
  const char* buttons[] = {"MPPLAY", "MPPAUSE", "MPSTOP", "MPNEXT", "MPPREV", "MPSTEP", "MPBACK", "MPRECORD", "MPEJECT"};
  const Rgb coloured[] = {{0, 160, 0},  {200, 150, 0}, {200, 0, 0},  {0, 0, 200}, {0, 0, 200},
                          {0, 120, 160}, {0, 120, 160}, {220, 0, 0}, {90, 0, 160}};
  const struct {
    const char* name;
    int kind;  // 0 enabled, 1 disabled, 2 coloured
  } looks[] = {{"EN", 0}, {"DI", 1}, {"CL", 2}};
  std::string table, data;
  int n = 0;
  for (const auto& look : looks)
    for (int b = 0; b < 9; ++b) {
      const Rgb c = look.kind == 0 ? Rgb{0, 0, 0} : look.kind == 1 ? Rgb{160, 160, 160} : coloured[b];
      const std::vector<uint8_t> bytes = MediaGlyph(b, c).Bytes();
      data += "const uint8_t kR" + std::to_string(n) + "[] = {";
      for (size_t i = 0; i < bytes.size(); ++i) data += (i % 24 ? "" : "\n") + std::to_string(bytes[i]) + ",";
      data += "\n};\n";
      table += "    {\"" + std::string(look.name) + "_" + buttons[b] + "\", kR" + std::to_string(n) + ", sizeof kR" +
               std::to_string(n) + "},\n";
      ++n;
    }
  std::ofstream f(path, std::ios::trunc);
  f << "// Generated by skingen --resources: the skin module's bitmap resources; do not edit.\n"
       "#include <cstddef>\n#include <cstdint>\n#include <cstring>\n\nnamespace {\n"
    << data
    << "struct Resource {\n  const char* name;\n  const uint8_t* bytes;\n  size_t size;\n};\n"
       "const Resource kResources[] = {\n"
    << table
    << "};\n}  // namespace\n\n"
       "const uint8_t* SkinResource(const char* Name, size_t* Size) {\n"
       "  for (const Resource& r : kResources)\n"
       "    if (Name && std::strcmp(r.name, Name) == 0) {\n"
       "      if (Size) *Size = r.size;\n"
       "      return r.bytes;\n"
       "    }\n"
       "  return nullptr;\n"
       "}\n";
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || (std::string(argv[1]) == "--resources" && argc < 3)) {
    std::fprintf(stderr, "usage: skingen OUTPUT_DIR [blue|green] | skingen --resources OUTPUT.cpp\n");
    return 2;
  }
  if (std::string(argv[1]) == "--resources") {
    if (WriteResources(argv[2])) return 0;
    std::fprintf(stderr, "skingen: cannot write %s\n", argv[2]);
    return 1;
  }
  const std::string variant = argc > 2 ? argv[2] : "blue";
  if (!Draw(argv[1], variant == "green" ? kGreen : kBlue)) {
    std::fprintf(stderr, "skingen: cannot write the bitmaps into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
