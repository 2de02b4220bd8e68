// Fonts: LOGFONT resolution (faces mapped to an installed font, or the fixed-cell test
// font "KvTestFont"), the resolved font data and its metrics, the shaping cache, and the
// font calls (CreateFont*, GetTextMetrics, GetTextFace).
#include <cairo.h>
#include <hb-ot.h>
#include <hb.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <type_traits>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/gdi/internal.h"

namespace kv::gdi {

namespace {

constexpr char kTestFace[] = "kvtestfont";

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

struct FaceMap {
  std::map<std::string, std::string> faces;  // lower-case UTF-8 face -> family
  std::string fallback = "WenQuanYi Zen Hei";
};

FaceMap& faceMap() {
  static FaceMap* m = new FaceMap;
  return *m;
}

struct Pango {
  PangoFontMap* map = nullptr;
  PangoContext* ctx = nullptr;
};

Pango& pango() {
  static Pango* p = [] {
    auto* q = new Pango;
    q->map = pango_cairo_font_map_new();
    q->ctx = pango_font_map_create_context(q->map);
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(q->ctx, o);
    cairo_font_options_destroy(o);
    pango_context_set_language(q->ctx, pango_language_from_string("zh-cn"));
    return q;
  }();
  return *p;
}

}  // namespace

ShapedText::~ShapedText() {
  for (Run& r : runs) pango_glyph_item_free(r.glyphs);
}

FontData::~FontData() {
  if (desc) pango_font_description_free(desc);
}

void ReleaseFontData(FontData* d) { delete d; }

Font::~Font() {
  ReleaseFontData(data);
  for (auto& [dpi, d] : byDpi) ReleaseFontData(d);
}

namespace {

// Characters of a string in cells: wide ones count two, zero-width ones none.
int textCells(const char* utf8) {
  int n = 0;
  for (const char* p = utf8; *p; p = g_utf8_next_char(p)) {
    gunichar c = g_utf8_get_char(p);
    if (!g_unichar_iszerowidth(c)) n += g_unichar_iswide(c) ? 2 : 1;
  }
  return n;
}

// A font's metrics as fractions of the em, for a description at 1000 pixels: the same
// values as the context's metrics (ascent and descent the largest among the fonts that
// draw the language's sample text, the average width that text's advance per cell, the
// lines from the first font), taken from the font tables directly. The context's own
// metrics read the whole glyph-name table and the outlines of the sample text, which
// then stay resident for a figure that needs a few header fields.
struct EmMetrics {
  double ascent = 0.8, descent = 0.2, aveWidth = 0.5;
  double ulPos = -0.001, ulThick = 0.001, stPos = 0.4, stThick = 0.001;
};

EmMetrics emMetrics(PangoFontDescription* desc) {
  constexpr double kUnit = 1000.0 * PANGO_SCALE;
  EmMetrics m;
  PangoFont* font = pango_context_load_font(pango().ctx, desc);
  if (!font) return m;
  hb_font_t* hb = pango_font_get_hb_font(font);
  hb_font_extents_t e{};
  hb_font_get_extents_for_direction(hb, HB_DIRECTION_LTR, &e);
  m.ascent = e.ascender / kUnit;
  m.descent = -e.descender / kUnit;
  m.stPos = m.ascent / 2;
  // The underline from the glyph-name table's header alone, scaled as the font scales.
  hb_face_t* face = hb_font_get_face(hb);
  hb_blob_t* post = hb_face_reference_table(face, HB_TAG('p', 'o', 's', 't'));
  unsigned len = 0;
  const char* p = hb_blob_get_data(post, &len);
  int yScale = 0;
  hb_font_get_scale(hb, nullptr, &yScale);
  const double perUnit = double(yScale) / std::max(1u, hb_face_get_upem(face));
  if (p && len >= 12) {
    auto be16 = [&](unsigned at) { return int16_t((uint8_t(p[at]) << 8) | uint8_t(p[at + 1])); };
    if (int16_t pos = be16(8)) m.ulPos = std::lround(pos * perUnit) / kUnit;
    if (int16_t thick = be16(10)) m.ulThick = std::lround(thick * perUnit) / kUnit;
  }
  hb_blob_destroy(post);
  hb_position_t v = 0;
  if (hb_ot_metrics_get_position(hb, HB_OT_METRICS_TAG_STRIKEOUT_SIZE, &v) && v) m.stThick = v / kUnit;
  if (hb_ot_metrics_get_position(hb, HB_OT_METRICS_TAG_STRIKEOUT_OFFSET, &v) && v) m.stPos = v / kUnit;
  g_object_unref(font);
  // The sample text's advances: shaping reads the advance table, not the outlines.
  const char* sample = pango_language_get_sample_string(pango_context_get_language(pango().ctx));
  const int len8 = int(std::strlen(sample));
  PangoAttrList* attrs = pango_attr_list_new();
  pango_attr_list_insert(attrs, pango_attr_font_desc_new(desc));
  GList* items = pango_itemize(pango().ctx, sample, 0, len8, attrs, nullptr);
  pango_attr_list_unref(attrs);
  PangoGlyphString* glyphs = pango_glyph_string_new();
  int64_t width = 0;
  for (GList* l = items; l; l = l->next) {
    auto* item = static_cast<PangoItem*>(l->data);
    pango_shape_full(sample + item->offset, item->length, sample, len8, &item->analysis, glyphs);
    width += pango_glyph_string_get_width(glyphs);
    hb_font_extents_t fe{};
    hb_font_get_extents_for_direction(pango_font_get_hb_font(item->analysis.font), HB_DIRECTION_LTR, &fe);
    m.ascent = std::max(m.ascent, fe.ascender / kUnit);
    m.descent = std::max(m.descent, -fe.descender / kUnit);
    pango_item_free(item);
  }
  g_list_free(items);
  pango_glyph_string_free(glyphs);
  m.aveWidth = double(width / std::max(1, textCells(sample))) / kUnit;
  return m;
}

// dpiY: the device resolution that a zero height (the device's default) scales with.
FontData* resolve(Font& f, int dpiY = 96) {
  {
    std::u16string face;
    for (int i = 0; i < LF_FACESIZE && f.lf.lfFaceName[i]; ++i) face.push_back(f.lf.lfFaceName[i]);
    if (lower(kv::WideToUtf8(face)) == kTestFace) dpiY = 96;  // the test font ignores the device
  }
  if (f.lf.lfHeight == 0 && dpiY != 96) {
    for (auto& [dpi, d] : f.byDpi)
      if (dpi == dpiY) return d;
  } else if (f.data) {
    return f.data;
  }
  auto* d = new FontData;
  const LOGFONTW& lf = f.lf;
  std::u16string face;
  for (int i = 0; i < LF_FACESIZE && lf.lfFaceName[i]; ++i) face.push_back(lf.lfFaceName[i]);
  d->face = kv::WideToUtf8(face);
  d->weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<int>(lf.lfWeight, 100, 1000);
  d->italic = lf.lfItalic != 0;
  d->underline = lf.lfUnderline != 0;
  d->strikeout = lf.lfStrikeOut != 0;
  d->escapement = lf.lfEscapement;
  int h = lf.lfHeight;
  if (lower(d->face) == kTestFace) {
    d->test = true;
    int H = h == 0 ? 16 : std::min(std::abs(h), 4096);
    d->em = d->height = H;
    d->ascent = H - H / 4;
    d->descent = H - d->ascent;
    d->cellWidth = lf.lfWidth > 0 ? std::min<int>(lf.lfWidth, 4096) : std::max(1, H / 2);
    d->aveWidth = d->maxWidth = d->cellWidth;
    d->ulPos = 0;
    d->ulThick = 1;
    d->stPos = -d->ascent / 2;
    f.data = d;
    return d;
  }
  auto& fm = faceMap();
  auto it = fm.faces.find(lower(d->face));
  d->family = it != fm.faces.end() ? it->second : fm.fallback;
  d->desc = pango_font_description_new();
  pango_font_description_set_family(d->desc, d->family.c_str());
  pango_font_description_set_weight(d->desc, PangoWeight(d->weight));
  pango_font_description_set_style(d->desc, d->italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // Metrics at a reference size give the ratio of cell height to em.
  pango_font_description_set_absolute_size(d->desc, 1000.0 * PANGO_SCALE);
  const EmMetrics m = emMetrics(d->desc);
  double asc = m.ascent, desc = m.descent, ave = m.aveWidth;
  double ulp = m.ulPos, ult = m.ulThick, stp = m.stPos, stt = m.stThick;
  if (asc + desc <= 0) {
    asc = 0.8;
    desc = 0.2;
  }
  double em;
  if (h < 0)
    em = -h;
  else if (h > 0)
    em = h / (asc + desc);
  else
    em = 12.0 * dpiY / 96.0;  // the device default: 12 pixels at 96 dpi
  em = std::min(em, 8192.0);
  d->em = std::max(1, int(std::lround(em)));
  d->ascent = int(std::lround(asc * d->em));
  d->descent = int(std::lround(desc * d->em));
  d->height = d->ascent + d->descent;
  d->aveWidth = std::max(1, int(std::lround(ave * d->em)));
  d->maxWidth = d->em;
  d->ulPos = std::max(1, int(std::lround(-ulp * d->em)));
  d->ulThick = std::max(1, int(std::lround(ult * d->em)));
  d->stPos = -std::max(1, int(std::lround(stp * d->em)));
  d->stThick = std::max(1, int(std::lround(stt * d->em)));
  pango_font_description_set_absolute_size(d->desc, double(d->em) * PANGO_SCALE);
  char* key = pango_font_description_to_string(d->desc);
  d->shapeKey = key;
  g_free(key);
  if (h == 0 && dpiY != 96)
    f.byDpi.push_back({dpiY, d});
  else
    f.data = d;
  return d;
}

}  // namespace

FontData* FontFor(DC& dc) { return resolve(*dc.st.font, dc.caps.logPixelsY); }

std::string SanitizedUtf8(std::u16string_view s) {
  std::u16string t(s);
  for (auto& c : t)
    if (c < 0x20) c = u' ';
  return kv::WideToUtf8(t);
}

PangoLayout* LayoutFor(const FontData& d, const std::string& utf8) {
  PangoLayout* l = pango_layout_new(pango().ctx);
  pango_layout_set_font_description(l, d.desc);
  pango_layout_set_text(l, utf8.data(), int(utf8.size()));
  return l;
}

namespace {

// Shaped strings, most recently used first: measuring a string and drawing it (and the
// replay of its page) shape it once.
class ShapeCache {
 public:
  std::shared_ptr<const ShapedText> Get(const FontData& d, const std::string& utf8) {
    std::string key = d.shapeKey;
    key.push_back('\0');
    key += utf8;
    if (auto it = index_.find(key); it != index_.end()) {
      order_.splice(order_.begin(), order_, it->second);
      return it->second->second;
    }
    std::shared_ptr<const ShapedText> t = Shape(d, utf8);
    order_.emplace_front(key, t);
    index_.emplace(std::move(key), order_.begin());
    if (order_.size() > kEntries) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
    return t;
  }

 private:
  static constexpr size_t kEntries = 512;

  static std::shared_ptr<const ShapedText> Shape(const FontData& d, const std::string& utf8) {
    auto t = std::make_shared<ShapedText>();
    t->utf8 = utf8;
    if (!ShapeInOneFont(d, *t)) ShapeOnLine(d, *t);
    return t;
  }

  // Text that the description's first font draws whole: its items shaped as a line does,
  // in visual order, each after the previous one's advance. This leaves out the line's
  // metrics (the whole glyph-name table and the sample text's outlines read once per
  // font); text with fallback fonts takes the line, which aligns their baselines.
  static bool ShapeInOneFont(const FontData& d, ShapedText& t) {
    const char* text = t.utf8.c_str();
    const int len = int(t.utf8.size());
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_font_desc_new(d.desc));
    GList* items = pango_itemize(pango().ctx, text, 0, len, attrs, nullptr);
    pango_attr_list_unref(attrs);
    PangoFont* first = pango_context_load_font(pango().ctx, d.desc);
    bool oneFont = first != nullptr;
    for (GList* l = items; l && oneFont; l = l->next)
      oneFont = static_cast<PangoItem*>(l->data)->analysis.font == first;
    if (first) g_object_unref(first);
    if (!oneFont) {
      g_list_free_full(items, [](void* item) { pango_item_free(static_cast<PangoItem*>(item)); });
      return false;
    }
    const int chars = int(g_utf8_strlen(text, len));
    std::vector<PangoLogAttr> logAttrs(size_t(chars) + 1);
    pango_get_log_attrs(text, len, -1, pango_context_get_language(pango().ctx), logAttrs.data(), chars + 1);
    GList* visual = pango_reorder_items(items);
    g_list_free(items);
    int x = 0;
    for (GList* l = visual; l; l = l->next) {
      auto* item = static_cast<PangoItem*>(l->data);
      PangoGlyphString* glyphs = pango_glyph_string_new();
      const int at = int(g_utf8_pointer_to_offset(text, text + item->offset));
      pango_shape_item(item, text, len, logAttrs.data() + at, glyphs, PANGO_SHAPE_ROUND_POSITIONS);
      PangoGlyphItem run{item, glyphs, 0, 0, 0};
      t.runs.push_back({pango_glyph_item_copy(&run), x, 0});
      x += pango_glyph_string_get_width(glyphs);
      pango_glyph_string_free(glyphs);
      pango_item_free(item);
    }
    g_list_free(visual);
    t.width = x;
    return true;
  }

  // The runs as pango's renderer places them on the line: each after the previous one's
  // advance, shifted by its own start and end offsets.
  static void ShapeOnLine(const FontData& d, ShapedText& t) {
    PangoLayout* l = LayoutFor(d, t.utf8);
    PangoRectangle logical;
    pango_layout_get_extents(l, nullptr, &logical);
    t.width = logical.width;
    PangoLayoutIter* it = pango_layout_get_iter(l);
    PangoRectangle line;
    pango_layout_iter_get_line_extents(it, nullptr, &line);
    pango_layout_iter_free(it);
    int x = line.x;
    PangoLayoutLine* first = pango_layout_get_line_readonly(l, 0);
    for (GSList* r = first ? first->runs : nullptr; r; r = r->next) {
      auto* run = static_cast<PangoGlyphItem*>(r->data);
      x += run->start_x_offset;
      t.runs.push_back({pango_glyph_item_copy(run), x, run->y_offset});
      x += pango_glyph_string_get_width(run->glyphs) + run->end_x_offset;
    }
    g_object_unref(l);
  }

  using Entry = std::pair<std::string, std::shared_ptr<const ShapedText>>;
  std::list<Entry> order_;
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace

std::shared_ptr<const ShapedText> Shaped(const FontData& d, const std::string& utf8) {
  static ShapeCache* cache = new ShapeCache;
  return cache->Get(d, utf8);
}

FontInfo DescribeFont(const FontData& d) {
  FontInfo f;
  f.face = d.face;
  f.family = d.test ? std::string() : d.family;
  f.emHeight = d.em;
  f.cellHeight = d.height;
  f.ascent = d.ascent;
  f.weight = d.weight;
  f.italic = d.italic;
  f.underline = d.underline;
  f.strikeout = d.strikeout;
  f.escapement = d.escapement;
  return f;
}

// The font data behind a recorded FontInfo (for replay onto other cairo contexts).
FontData* FontDataForInfo(const FontInfo& fi) {
  static std::map<std::string, std::unique_ptr<Font>>* cache = new std::map<std::string, std::unique_ptr<Font>>;
  std::string key = fi.face + "\x01" + std::to_string(fi.emHeight) + "\x01" + std::to_string(fi.weight) +
                    (fi.italic ? "i" : "") + (fi.underline ? "u" : "") + (fi.strikeout ? "s" : "") + "\x01" +
                    std::to_string(fi.escapement);
  auto& slot = (*cache)[key];
  if (!slot) {
    slot = std::make_unique<Font>();
    std::u16string face = kv::Utf8ToWide(fi.face);
    for (size_t i = 0; i < face.size() && i < LF_FACESIZE - 1; ++i) slot->lf.lfFaceName[i] = face[i];
    slot->lf.lfHeight = -fi.emHeight;
    slot->lf.lfWeight = fi.weight;
    slot->lf.lfItalic = fi.italic;
    slot->lf.lfUnderline = fi.underline;
    slot->lf.lfStrikeOut = fi.strikeout;
    slot->lf.lfEscapement = fi.escapement;
    resolve(*slot);
  }
  return slot->data;
}

namespace {

template <class TM>
void fillMetrics(const FontData& d, const LOGFONTW& lf, TM* tm) {
  std::memset(tm, 0, sizeof *tm);
  tm->tmHeight = d.height;
  tm->tmAscent = d.ascent;
  tm->tmDescent = d.descent;
  tm->tmInternalLeading = d.height - d.em;
  tm->tmExternalLeading = 0;
  tm->tmAveCharWidth = d.aveWidth;
  tm->tmMaxCharWidth = d.maxWidth;
  tm->tmWeight = d.weight;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = sizeof(tm->tmLastChar) == 1 ? 0xFF : 0xFFFF;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = d.italic;
  tm->tmUnderlined = d.underline;
  tm->tmStruckOut = d.strikeout;
  tm->tmPitchAndFamily =
      BYTE(d.test ? 0 : (TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE)) | (lf.lfPitchAndFamily & 0xF0);
  tm->tmCharSet = lf.lfCharSet == DEFAULT_CHARSET ? GB2312_CHARSET : lf.lfCharSet;
}

template <class TM>
BOOL textMetrics(HDC hdc, TM* tm) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (!tm) return Fail(ERROR_INVALID_PARAMETER);
  fillMetrics(*FontFor(*dc), dc->st.font->lf, tm);
  return TRUE;
}

// GetTextFace in both forms: the count copied with the terminator, or the whole face's
// without a buffer.
template <class C>
int textFace(HDC hdc, int c, C* face) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return 0;
  std::u16string f;
  for (int i = 0; i < LF_FACESIZE && dc->st.font->lf.lfFaceName[i]; ++i) f.push_back(dc->st.font->lf.lfFaceName[i]);
  std::basic_string<C> text;
  if constexpr (std::is_same_v<C, char>)
    text = kv::WideToAnsi(f);
  else
    text = f;
  if (!face) return int(text.size()) + 1;
  if (c <= 0) return Fail(ERROR_INVALID_PARAMETER);
  size_t n = text.copy(face, size_t(c - 1));
  face[n] = 0;
  return int(n) + 1;
}

}  // namespace

}  // namespace kv::gdi

using namespace kv::gdi;

extern "C" {

BOOL KvGdiMapFace(const char* faceUtf8, const char* familyUtf8) {
  KV_GDI_LOCK;
  if (!faceUtf8 || !*faceUtf8) return Fail(ERROR_INVALID_PARAMETER);
  std::string key = lower(faceUtf8);
  if (key == kTestFace) return Fail(ERROR_INVALID_PARAMETER);
  if (familyUtf8)
    faceMap().faces[key] = familyUtf8;
  else
    faceMap().faces.erase(key);
  return TRUE;
}

void KvGdiSetDefaultFamily(const char* familyUtf8) {
  KV_GDI_LOCK;
  if (familyUtf8 && *familyUtf8) faceMap().fallback = familyUtf8;
}

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
  KV_GDI_LOCK;
  if (!lf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_shared<Font>();
  f->lf = *lf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(Register(f));
}

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
  if (!lf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LOGFONTW w{};
  std::memcpy(&w, lf, offsetof(LOGFONTA, lfFaceName));
  size_t n = strnlen(lf->lfFaceName, LF_FACESIZE);
  std::u16string face = kv::AnsiToWide(std::string_view(lf->lfFaceName, n));
  for (size_t i = 0; i < face.size() && i < LF_FACESIZE - 1; ++i) w.lfFaceName[i] = face[i];
  return CreateFontIndirectW(&w);
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCWSTR face) {
  LOGFONTW lf{height,
              width,
              escapement,
              orientation,
              weight,
              BYTE(italic),
              BYTE(underline),
              BYTE(strikeOut),
              BYTE(charSet),
              BYTE(outPrecision),
              BYTE(clipPrecision),
              BYTE(quality),
              BYTE(pitchAndFamily),
              {}};
  for (int i = 0; face && face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
  return CreateFontIndirectW(&lf);
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR face) {
  std::u16string w = face ? kv::AnsiToWide(std::string_view(face, strnlen(face, LF_FACESIZE - 1))) : u"";
  return CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet, outPrecision,
                     clipPrecision, quality, pitchAndFamily, w.c_str());
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* tm) { return textMetrics(hdc, tm); }

BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* tm) { return textMetrics(hdc, tm); }

int GetTextFaceW(HDC hdc, int c, LPWSTR face) { return textFace(hdc, c, face); }

int GetTextFaceA(HDC hdc, int c, LPSTR face) { return textFace(hdc, c, face); }

}  // extern "C"
