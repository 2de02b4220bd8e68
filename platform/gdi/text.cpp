// Text output and measuring: TextOut / ExtTextOut, DrawText and GetTextExtent*.
//
// Glyphs are rendered into an 8-bit coverage mask with cairo (pango for real fonts,
// filled boxes for the test font) and composited onto the DC's pixels in the text
// colour, so every target depth and the clip behave alike.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "platform/base/codepage.h"
#include "platform/gdi/internal.h"
#include "platform/gdi/raster.h"

namespace kv::gdi {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Draws shaped glyphs with the line's left end on the baseline at (x, baseline).
void showShaped(cairo_t* cr, const ShapedText& t, double x, double baseline) {
  for (const ShapedText::Run& r : t.runs) {
    cairo_move_to(cr, x + r.x / double(PANGO_SCALE), baseline - r.y / double(PANGO_SCALE));
    pango_cairo_show_glyph_item(cr, t.utf8.c_str(), r.glyphs);
  }
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }

// Natural advance of each UTF-16 unit (0 for the second unit of a pair).
std::vector<int> advances(const FontData& d, std::u16string_view s) {
  std::vector<int> out(s.size(), 0);
  if (d.test) {
    for (size_t i = 0; i < s.size(); ++i) out[i] = (i > 0 && isHighSurrogate(s[i - 1])) ? 0 : d.cellWidth;
    return out;
  }
  std::string utf8 = SanitizedUtf8(s);
  PangoLayout* l = LayoutFor(d, utf8);
  // Positions of each character's start, from the UTF-8 byte offsets.
  std::vector<int> starts;
  size_t byte = 0;
  std::vector<size_t> unitToByte(s.size() + 1, 0);
  for (size_t i = 0; i < s.size(); ++i) {
    unitToByte[i] = byte;
    char32_t cp = s[i];
    if (isHighSurrogate(s[i]) && i + 1 < s.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      unitToByte[i + 1] = byte;
      ++i;
    }
    byte += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  }
  unitToByte[s.size()] = utf8.size();
  PangoRectangle logical;
  pango_layout_get_extents(l, nullptr, &logical);
  auto xAt = [&](size_t b) -> double {
    if (b >= utf8.size()) return logical.width / double(PANGO_SCALE);
    PangoRectangle pos;
    pango_layout_index_to_pos(l, int(b), &pos);
    return pos.x / double(PANGO_SCALE);
  };
  int acc = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && isHighSurrogate(s[i - 1])) continue;
    size_t next = i + (isHighSurrogate(s[i]) && i + 1 < s.size() ? 2 : 1);
    double x = xAt(unitToByte[next]);
    int end = int(std::lround(x));
    out[i] = end - acc;
    acc = end;
  }
  g_object_unref(l);
  return out;
}

int extentOf(const FontData& d, std::u16string_view s, int extra) {
  if (s.empty()) return 0;
  int64_t w = 0;
  if (d.test) {
    for (size_t i = 0; i < s.size(); ++i)
      if (!(i > 0 && isHighSurrogate(s[i - 1]))) w += d.cellWidth + extra;
    return ClampCoord(w);
  }
  w = std::lround(Shaped(d, SanitizedUtf8(s))->width / double(PANGO_SCALE));
  if (extra) {
    for (size_t i = 0; i < s.size(); ++i)
      if (!(i > 0 && isHighSurrogate(s[i - 1]))) w += extra;
  }
  return ClampCoord(w);
}

// Draws the glyphs of a text op (no background) with the current source of cr. User space:
// device pixels.
void paintGlyphs(cairo_t* cr, const TextInfo& ti, const FontData& d) {
  cairo_save(cr);
  double ox = ti.x, oy = ti.baseline;
  if (d.escapement) {
    // Rotation about the reference point: the cell's left end on the baseline.
    cairo_translate(cr, ox, oy);
    cairo_rotate(cr, -d.escapement * kPi / 1800.0);
    cairo_translate(cr, -ox, -oy);
  }
  const std::u16string& s = ti.text;
  std::vector<int> adv = ti.dx.empty() ? std::vector<int>() : ti.dx;
  bool perChar = !adv.empty() || ti.charExtra != 0;
  if (perChar && adv.empty()) {
    adv = advances(d, s);
    for (size_t i = 0; i < adv.size(); ++i)
      if (!(i > 0 && isHighSurrogate(s[i - 1]))) adv[i] += ti.charExtra;
  }
  double total = 0;
  if (d.test) {
    double x = ox;
    for (size_t i = 0; i < s.size(); ++i) {
      if (i > 0 && isHighSurrogate(s[i - 1])) continue;
      if (s[i] != u' ') cairo_rectangle(cr, x, oy - d.ascent, d.cellWidth, d.height);
      x += perChar ? adv[i] : d.cellWidth;
    }
    cairo_fill(cr);
    total = x - ox;
  } else if (!perChar) {
    std::shared_ptr<const ShapedText> shaped = ti.shaped ? ti.shaped : Shaped(d, SanitizedUtf8(s));
    showShaped(cr, *shaped, ox, oy);
    total = shaped->width / double(PANGO_SCALE);
  } else {
    double x = ox;
    for (size_t i = 0; i < s.size(); ++i) {
      if (i > 0 && isHighSurrogate(s[i - 1])) continue;
      size_t n = isHighSurrogate(s[i]) && i + 1 < s.size() ? 2 : 1;
      showShaped(cr, *Shaped(d, SanitizedUtf8(std::u16string_view(s).substr(i, n))), x, oy);
      x += adv[i];
    }
    total = x - ox;
  }
  if (d.underline) {
    cairo_rectangle(cr, ox, oy + d.ulPos, total, d.ulThick);
    cairo_fill(cr);
  }
  if (d.strikeout) {
    cairo_rectangle(cr, ox, oy + d.stPos, total, d.stThick);
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

// Rasterises a text op's glyphs onto a DC in the text colour; `width` is the run's advance
// (its cell's width), which bounds the area the glyphs are drawn in.
void rasterGlyphs(DC& dc, const TextInfo& ti, const FontData& d, int width, const Rgn* extraClip) {
  int margin = d.em / 2 + 2;
  double w = width;
  double x0 = ti.x - margin, x1 = ti.x + std::abs(w) + margin;
  double y0 = ti.baseline - d.ascent - margin, y1 = ti.baseline + d.descent + margin;
  if (d.escapement) {
    double r = std::hypot(std::max(std::abs(x0 - ti.x), std::abs(x1 - ti.x)),
                          std::max(std::abs(y0 - ti.baseline), std::abs(y1 - ti.baseline)));
    x0 = ti.x - r;
    x1 = ti.x + r;
    y0 = ti.baseline - r;
    y1 = ti.baseline + r;
  }
  Rgn area = dc.ClipInTarget();
  int ox = dc.surfaceOrigin.x, oy = dc.surfaceOrigin.y;
  area.IntersectRect({ClampCoord(std::floor(x0) + ox), ClampCoord(std::floor(y0) + oy), ClampCoord(std::ceil(x1) + ox),
                      ClampCoord(std::ceil(y1) + oy)});
  if (extraClip) area.Intersect(*extraClip);
  RECT box = area.Box();
  int bw = box.right - box.left, bh = box.bottom - box.top;
  if (bw <= 0 || bh <= 0) return;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, bw, bh);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return;
  }
  cairo_t* cr = cairo_create(s);
  cairo_translate(cr, -(box.left - ox), -(box.top - oy));
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  if (d.test) cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  paintGlyphs(cr, ti, d);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  BlendMask(dc, box.left, box.top, bw, bh, cairo_image_surface_get_data(s), cairo_image_surface_get_stride(s), ti.color,
            &area);
  cairo_surface_destroy(s);
}

struct Run {
  std::u16string text;
  std::vector<int> dx;
};

// Draws a run at logical (x, y) with the DC's alignment, colours and font.
bool drawRun(DC& dc, int x, int y, UINT options, const RECT* rc, const Run& run) {
  FontData* d = FontFor(dc);
  bool updateCp = (dc.st.textAlign & TA_UPDATECP) != 0;
  if (updateCp) {
    x = dc.st.cur.x;
    y = dc.st.cur.y;
  }
  POINT p = dc.ToDevice(x, y);
  int width = 0;
  if (!run.dx.empty()) {
    int64_t sum = 0;
    for (int v : run.dx) sum += v;
    width = ClampCoord(sum);
  } else {
    width = extentOf(*d, run.text, dc.st.charExtra);
  }
  UINT h = dc.st.textAlign & (TA_CENTER | TA_RIGHT);
  double left = p.x;
  if (h == TA_CENTER)
    left = p.x - width / 2;
  else if (h == TA_RIGHT)
    left = p.x - width;
  UINT v = dc.st.textAlign & TA_BASELINE;
  double baseline;
  if (v == TA_BASELINE)
    baseline = p.y;
  else if (v == TA_BOTTOM)
    baseline = p.y - d->descent;
  else
    baseline = p.y + d->ascent;
  TextInfo ti;
  ti.text = run.text;
  ti.utf8 = kv::WideToUtf8(run.text);
  ti.font = DescribeFont(*d);
  ti.x = left;
  ti.baseline = baseline;
  ti.dx = run.dx;
  ti.charExtra = run.dx.empty() ? dc.st.charExtra : 0;
  if (!d->test && run.dx.empty() && ti.charExtra == 0 && !run.text.empty())
    ti.shaped = Shaped(*d, SanitizedUtf8(run.text));
  ti.color = dc.Resolve(dc.st.textColor);
  ti.bkColor = dc.Resolve(dc.st.bkColor);
  ti.opaque = dc.st.bkMode == OPAQUE;
  ti.cell = {LONG(std::lround(left)), LONG(std::lround(baseline)) - d->ascent, LONG(std::lround(left)) + width,
             LONG(std::lround(baseline)) + d->descent};
  std::optional<Rgn> clipRect;
  if (rc) {
    RECT r{rc->left, rc->top, rc->right, rc->bottom};
    POINT a = dc.ToDevice(r.left, r.top), z = dc.ToDevice(r.right, r.bottom);
    RECT dr{std::min(a.x, z.x), std::min(a.y, z.y), std::max(a.x, z.x), std::max(a.y, z.y)};
    if (options & ETO_OPAQUE) {
      ti.hasOpaqueRect = true;
      ti.opaqueRect = dr;
    }
    if (options & ETO_CLIPPED) {
      ti.hasClipRect = true;
      ti.clipRect = dr;
      Rgn c(dr);
      c.Translate(dc.surfaceOrigin.x, dc.surfaceOrigin.y);
      clipRect = c;
    }
  }
  auto raster = [&] {
    if (ti.hasOpaqueRect) FillDeviceRgn(dc, Rgn(ti.opaqueRect), SolidSource(dc, dc.st.bkColor), R2_COPYPEN);
    if (ti.opaque && !run.text.empty()) {
      Rgn cell(ti.cell);
      if (d->escapement) {
        double a = -d->escapement * kPi / 1800.0;
        auto rot = [&](double px, double py) {
          double dx = px - ti.x, dy = py - ti.baseline;
          return std::pair<double, double>{ti.x + dx * std::cos(a) - dy * std::sin(a),
                                           ti.baseline + dx * std::sin(a) + dy * std::cos(a)};
        };
        SpanList sl;
        PolygonSpans({{rot(ti.cell.left, ti.cell.top), rot(ti.cell.right, ti.cell.top),
                       rot(ti.cell.right, ti.cell.bottom), rot(ti.cell.left, ti.cell.bottom)}},
                     ALTERNATE, &sl);
        cell = sl.ToRgn();
      }
      if (clipRect) {
        Rgn c = *clipRect;
        c.Translate(-dc.surfaceOrigin.x, -dc.surfaceOrigin.y);
        cell.Intersect(c);
      }
      FillDeviceRgn(dc, cell, SolidSource(dc, dc.st.bkColor), R2_COPYPEN);
    }
    if (!run.text.empty()) rasterGlyphs(dc, ti, *d, width, clipRect ? &*clipRect : nullptr);
    return true;
  };
  bool ok = Paint(dc, raster, [&] {
    PageOp op;
    op.kind = PageOp::Kind::Text;
    op.text = std::move(ti);
    Record(dc, std::move(op));
  });
  if (updateCp) {
    if (h == TA_LEFT)
      dc.st.cur.x = x + width;
    else if (h == TA_RIGHT)
      dc.st.cur.x = x - width;
  }
  return ok;
}

// ANSI text with per-byte advances: grouped into characters.
Run ansiRun(LPCSTR s, int c, const INT* dx) {
  Run r;
  if (!s || c <= 0) return r;
  std::string_view all(s, size_t(c));
  if (!dx) {
    r.text = kv::AnsiToWide(all);
    return r;
  }
  const char* p = s;
  const char* end = s + c;
  while (p < end) {
    const char* n = CharNextA(p);
    if (n <= p || n > end) n = p + 1;
    std::u16string w = kv::AnsiToWide(std::string_view(p, size_t(n - p)));
    int adv = 0;
    for (const char* q = p; q < n; ++q) adv += dx[q - s];
    for (size_t k = 0; k < w.size(); ++k) {
      r.text.push_back(w[k]);
      r.dx.push_back(k == 0 ? adv : 0);
    }
    p = n;
  }
  return r;
}

// ---- DrawText -----------------------------------------------------------------------------------
struct Line {
  std::u16string text;
  int prefixAt = -1;  // index of the underlined (& prefixed) character
};

bool breakable(char16_t c) { return c == u' ' || c == u'\t' || c >= 0x2E80; }

}  // namespace

}  // namespace kv::gdi

using namespace kv::gdi;

namespace {

struct TextMeasure {
  FontData* d;
  int extra;
  int tabWidth;
  bool expandTabs;
  int Width(const std::u16string& s) const {
    if (!expandTabs || s.find(u'\t') == std::u16string::npos) return extentOf(*d, s, extra);
    int x = 0;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
      if (i == s.size() || s[i] == u'\t') {
        x += extentOf(*d, std::u16string_view(s).substr(start, i - start), extra);
        if (i < s.size()) x = (x / tabWidth + 1) * tabWidth;
        start = i + 1;
      }
    }
    return x;
  }
};

// Strips & prefixes: "&&" is "&", "&x" underlines x (the last such character wins).
Line stripPrefix(const std::u16string& s, UINT format) {
  Line l;
  if (format & DT_NOPREFIX) {
    l.text = s;
    return l;
  }
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') {
        l.text.push_back(u'&');
        ++i;
        continue;
      }
      if (i + 1 < s.size()) l.prefixAt = int(l.text.size());
      continue;
    }
    l.text.push_back(s[i]);
  }
  if (format & DT_HIDEPREFIX) l.prefixAt = -1;
  return l;
}

std::u16string ellipsize(const TextMeasure& m, const std::u16string& s, int maxW, UINT format) {
  const std::u16string dots = u"...";
  if (m.Width(s) <= maxW) return s;
  if (format & DT_PATH_ELLIPSIS) {
    size_t slash = s.find_last_of(u"\\/");
    if (slash != std::u16string::npos) {
      std::u16string tail = s.substr(slash);
      std::u16string head = s.substr(0, slash);
      while (!head.empty() && m.Width(head + dots + tail) > maxW) head.pop_back();
      if (m.Width(head + dots + tail) <= maxW) return head + dots + tail;
    }
  }
  std::u16string cut = s;
  while (!cut.empty() && m.Width(cut + dots) > maxW) cut.pop_back();
  return cut + dots;
}

int drawTextW(DC& dc, std::u16string text, LPRECT caller, UINT format) {
  // Work on a copy kept inside the coordinate range, so no sum below can overflow.
  RECT box{ClampCoord(int64_t(caller->left)), ClampCoord(int64_t(caller->top)), ClampCoord(int64_t(caller->right)),
           ClampCoord(int64_t(caller->bottom))};
  RECT* rc = &box;
  FontData* d = FontFor(dc);
  int tabChars = (format & DT_TABSTOP) ? int((format >> 8) & 0xFF) : 8;
  if (tabChars <= 0) tabChars = 8;
  TextMeasure m{d, dc.st.charExtra, std::max(1, tabChars * d->aveWidth), (format & DT_EXPANDTABS) != 0};
  int lineH = d->height;
  int maxW = ClampCoord(int64_t(rc->right) - rc->left);
  bool single = (format & DT_SINGLELINE) != 0;
  // Split into paragraphs at CR/LF, then into lines by word breaking.
  std::vector<std::u16string> paras;
  if (single) {
    paras.push_back(text);
  } else {
    std::u16string cur;
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (c == u'\r' || c == u'\n') {
        paras.push_back(cur);
        cur.clear();
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      } else {
        cur.push_back(c);
      }
    }
    paras.push_back(cur);
  }
  std::vector<Line> lines;
  for (auto& p : paras) {
    Line full = stripPrefix(p, format);
    if (!(format & DT_WORDBREAK) || single || m.Width(full.text) <= maxW) {
      lines.push_back(full);
      continue;
    }
    // Word breaking on the stripped text; the prefix mark follows its character.
    const std::u16string& s = full.text;
    size_t start = 0;
    while (start < s.size()) {
      size_t end = start, lastBreak = std::u16string::npos;
      while (end < s.size()) {
        if (m.Width(s.substr(start, end - start + 1)) > maxW && end > start) break;
        if (breakable(s[end])) lastBreak = end;
        ++end;
      }
      size_t cut = end;
      if (end < s.size() && lastBreak != std::u16string::npos && lastBreak >= start) {
        cut = s[lastBreak] == u' ' || s[lastBreak] == u'\t' ? lastBreak : lastBreak + 1;
        if (cut == start) cut = lastBreak + 1;
      } else if (end < s.size()) {
        // A word wider than the line: it stays whole up to the next break.
        size_t next = end;
        while (next < s.size() && !breakable(s[next])) ++next;
        cut = next;
      }
      Line l;
      l.text = s.substr(start, cut - start);
      while (!l.text.empty() && l.text.back() == u' ') l.text.pop_back();
      if (full.prefixAt >= int(start) && full.prefixAt < int(cut)) l.prefixAt = full.prefixAt - int(start);
      lines.push_back(l);
      start = cut;
      while (start < s.size() && s[start] == u' ') ++start;
    }
  }
  if (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
    for (auto& l : lines) {
      std::u16string e = ellipsize(m, l.text, maxW, format);
      if (e != l.text) {
        l.text = e;
        if (l.prefixAt >= int(e.size()) - 3) l.prefixAt = -1;
      }
    }
  }
  int total = ClampCoord(int64_t(lineH) * int64_t(lines.size()));
  int widest = 0;
  for (auto& l : lines) widest = std::max(widest, m.Width(l.text));
  if (format & DT_CALCRECT) {
    caller->right = ClampCoord(int64_t(rc->left) + widest);
    caller->bottom = ClampCoord(int64_t(rc->top) + total);
    return total;
  }
  int y = rc->top;
  if (single) {
    if (format & DT_VCENTER)
      y = rc->top + (rc->bottom - rc->top - lineH) / 2;
    else if (format & DT_BOTTOM)
      y = rc->bottom - lineH;
  }
  UINT savedAlign = dc.st.textAlign;
  dc.st.textAlign = TA_LEFT | TA_TOP;
  UINT opts = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
  for (auto& l : lines) {
    int w = m.Width(l.text);
    int x = rc->left;
    if (format & DT_CENTER)
      x = rc->left + (maxW - w) / 2;
    else if (format & DT_RIGHT)
      x = rc->right - w;
    Run run;
    if (m.expandTabs && l.text.find(u'\t') != std::u16string::npos) {
      // Tabs become advances to the next stop.
      auto adv = advances(*d, l.text);
      int pos = 0;
      for (size_t i = 0; i < l.text.size(); ++i) {
        int a = adv[i] + (adv[i] ? dc.st.charExtra : 0);
        if (l.text[i] == u'\t') {
          int next = (pos / m.tabWidth + 1) * m.tabWidth;
          a = next - pos;
          run.text.push_back(u' ');
        } else {
          run.text.push_back(l.text[i]);
        }
        run.dx.push_back(a);
        pos += a;
      }
    } else {
      run.text = l.text;
    }
    if (!(format & DT_PREFIXONLY)) drawRun(dc, x, y, opts, rc, run);
    if (l.prefixAt >= 0 && l.prefixAt < int(l.text.size())) {
      int px = x + m.Width(l.text.substr(0, size_t(l.prefixAt)));
      int pw = m.Width(l.text.substr(size_t(l.prefixAt), 1));
      POINT a = dc.ToDevice(px, y + d->ascent + 1);
      RECT ul{a.x, a.y, a.x + pw, a.y + 1};
      Rgn r(ul);
      if (opts) {
        POINT c0 = dc.ToDevice(rc->left, rc->top), c1 = dc.ToDevice(rc->right, rc->bottom);
        r.IntersectRect({c0.x, c0.y, c1.x, c1.y});
      }
      Paint(
          dc,
          [&] {
            FillDeviceRgn(dc, r, SolidSource(dc, dc.st.textColor), R2_COPYPEN);
            return true;
          },
          [&] {
            PageOp op;
            op.kind = PageOp::Kind::Path;
            op.rop = PATCOPY;
            op.path.fill = true;
            op.path.brush.color = dc.Resolve(dc.st.textColor);
            op.path.subpaths.push_back({{double(ul.left), double(ul.top)},
                                        {double(ul.right), double(ul.top)},
                                        {double(ul.right), double(ul.bottom)},
                                        {double(ul.left), double(ul.bottom)}});
            op.path.closed.push_back(true);
            Record(dc, std::move(op));
          });
    }
    y = ClampCoord(int64_t(y) + lineH);
  }
  dc.st.textAlign = savedAlign;
  if (single && (format & (DT_VCENTER | DT_BOTTOM))) return ClampCoord(int64_t(y) - rc->top);
  return total;
}

DC* textDC(HDC hdc) {
  DC* dc = FindDC(hdc);
  if (!dc || !PageReady(*dc)) return nullptr;
  return dc;
}

// ExtTextOut in both forms; ANSI advances are per byte and grouped into characters.
template <class C>
BOOL extTextOut(HDC hdc, int x, int y, UINT options, const RECT* rc, const C* s, UINT c, const INT* dx) {
  KV_GDI_LOCK;
  DC* dc = textDC(hdc);
  if (!dc) return FALSE;
  // Glyph indices need a font file's own tables; vertical advances are not laid out.
  if (options & (ETO_GLYPH_INDEX | ETO_PDY)) return Fail(ERROR_NOT_SUPPORTED);
  if ((c && !s) || c > 0x100000) return Fail(ERROR_INVALID_PARAMETER);
  if constexpr (std::is_same_v<C, char>) {
    return drawRun(*dc, x, y, options, rc, ansiRun(s, int(c), dx)) ? TRUE : FALSE;
  } else {
    Run run;
    if (c) run.text.assign(s, c);
    if (dx && c) run.dx.assign(dx, dx + c);
    return drawRun(*dc, x, y, options, rc, run) ? TRUE : FALSE;
  }
}

}  // namespace

namespace kv::gdi {

void DrawTextOnCairo(cairo_t* cr, const TextInfo& text) {
  KV_GDI_LOCK;
  FontData* d = FontDataForInfo(text.font);
  cairo_save(cr);
  if (text.hasOpaqueRect) {
    cairo_set_source_rgb(cr, GetRValue(text.bkColor) / 255.0, GetGValue(text.bkColor) / 255.0,
                         GetBValue(text.bkColor) / 255.0);
    cairo_rectangle(cr, text.opaqueRect.left, text.opaqueRect.top, text.opaqueRect.right - text.opaqueRect.left,
                    text.opaqueRect.bottom - text.opaqueRect.top);
    cairo_fill(cr);
  }
  if (text.hasClipRect) {
    cairo_rectangle(cr, text.clipRect.left, text.clipRect.top, text.clipRect.right - text.clipRect.left,
                    text.clipRect.bottom - text.clipRect.top);
    cairo_clip(cr);
  }
  if (text.opaque && !text.text.empty()) {
    cairo_save(cr);
    if (d->escapement) {
      cairo_translate(cr, text.x, text.baseline);
      cairo_rotate(cr, -d->escapement * kPi / 1800.0);
      cairo_translate(cr, -text.x, -text.baseline);
    }
    cairo_set_source_rgb(cr, GetRValue(text.bkColor) / 255.0, GetGValue(text.bkColor) / 255.0,
                         GetBValue(text.bkColor) / 255.0);
    cairo_rectangle(cr, text.cell.left, text.cell.top, text.cell.right - text.cell.left,
                    text.cell.bottom - text.cell.top);
    cairo_fill(cr);
    cairo_restore(cr);
  }
  cairo_set_source_rgb(cr, GetRValue(text.color) / 255.0, GetGValue(text.color) / 255.0, GetBValue(text.color) / 255.0);
  paintGlyphs(cr, text, *d);
  cairo_restore(cr);
}

}  // namespace kv::gdi

extern "C" {

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCWSTR s, UINT c, const INT* dx) {
  return extTextOut(hdc, x, y, options, rc, s, c, dx);
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCSTR s, UINT c, const INT* dx) {
  return extTextOut(hdc, x, y, options, rc, s, c, dx);
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR s, int c) {
  if (c < 0) return Fail(ERROR_INVALID_PARAMETER);
  return ExtTextOutW(hdc, x, y, 0, nullptr, s, UINT(c), nullptr);
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR s, int c) {
  if (c < 0) return Fail(ERROR_INVALID_PARAMETER);
  return ExtTextOutA(hdc, x, y, 0, nullptr, s, UINT(c), nullptr);
}

int DrawTextW(HDC hdc, LPCWSTR s, int c, LPRECT rc, UINT format) {
  KV_GDI_LOCK;
  DC* dc = (format & DT_CALCRECT) ? FindDC(hdc) : textDC(hdc);
  if (!dc) return 0;
  if (!rc || (!s && c != 0)) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string text;
  if (c < 0) {
    for (const WCHAR* p = s; *p; ++p) text.push_back(*p);
  } else if (c > 0) {
    text.assign(s, size_t(c));
  }
  return drawTextW(*dc, text, rc, format);
}

int DrawTextA(HDC hdc, LPCSTR s, int c, LPRECT rc, UINT format) {
  KV_GDI_LOCK;
  if (!s && c != 0) return Fail(ERROR_INVALID_PARAMETER);
  std::string_view v = c < 0 ? std::string_view(s) : std::string_view(s ? s : "", size_t(std::max(c, 0)));
  std::u16string w = kv::AnsiToWide(v);
  return DrawTextW(hdc, w.data(), int(w.size()), rc, format);
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR s, int c, LPSIZE size) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (!size || c < 0 || (c && !s)) return Fail(ERROR_INVALID_PARAMETER);
  FontData* d = FontFor(*dc);
  size->cx = extentOf(*d, std::u16string_view(s ? s : u"", size_t(c)), dc->st.charExtra);
  size->cy = d->height;
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR s, int c, LPSIZE size) {
  if (c < 0 || (c && !s)) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string w = kv::AnsiToWide(std::string_view(s ? s : "", size_t(c)));
  return GetTextExtentPoint32W(hdc, w.data(), int(w.size()), size);
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR s, int c, int maxExtent, INT* fit, INT* dx, LPSIZE size) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (!size || c < 0 || (c && !s)) return Fail(ERROR_INVALID_PARAMETER);
  FontData* d = FontFor(*dc);
  std::u16string_view v(s ? s : u"", size_t(c));
  auto adv = advances(*d, v);
  int x = 0, n = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    x = ClampCoord(int64_t(x) + adv[i] + (adv[i] ? dc->st.charExtra : 0));
    if (dx) dx[i] = x;
    if (maxExtent < 0 || x <= maxExtent) n = int(i) + 1;
  }
  if (fit) *fit = n;
  size->cx = x;
  size->cy = d->height;
  return TRUE;
}

}  // extern "C"
