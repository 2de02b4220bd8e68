// Replay of a printed page's record onto cairo: the PDF of the page, and the raster of a
// page that needs its pixels mid-page.
#include <cairo.h>

#include <algorithm>

#include "platform/print/print_internal.h"

namespace kv::print {

namespace {

void SetColor(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void ClipTo(cairo_t* cr, const std::vector<RECT>& clip) {
  if (clip.empty()) return;
  cairo_new_path(cr);
  for (const RECT& r : clip) cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
  cairo_clip(cr);
}

bool SetBrushSource(cairo_t* cr, const kv::gdi::BrushInfo& b) {
  switch (b.style) {
    case BS_SOLID: SetColor(cr, b.color); return true;
    case BS_HATCHED: {
      cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
      cairo_t* c = cairo_create(s);
      if (b.bkOpaque) {
        SetColor(c, b.bkColor);
        cairo_paint(c);
      }
      SetColor(c, b.color);
      for (int i = 0; i < 8; ++i) {
        auto dot = [&](int x, int y) { cairo_rectangle(c, x, y, 1, 1); };
        switch (b.hatch) {
          case HS_HORIZONTAL: dot(i, 7); break;
          case HS_VERTICAL: dot(7, i); break;
          case HS_FDIAGONAL: dot(i, i); break;
          case HS_BDIAGONAL: dot(7 - i, i); break;
          case HS_CROSS:
            dot(i, 7);
            dot(7, i);
            break;
          default:
            dot(i, i);
            dot(7 - i, i);
            break;
        }
      }
      cairo_fill(c);
      cairo_destroy(c);
      cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
      cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
      cairo_set_source(cr, pat);
      cairo_pattern_destroy(pat);
      cairo_surface_destroy(s);
      return true;
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: {
      if (b.patternWidth <= 0 || b.patternHeight <= 0 ||
          b.pattern.size() < static_cast<size_t>(b.patternWidth) * b.patternHeight)
        return false;
      cairo_surface_t* s =
          cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(b.pattern.data())),
                                              CAIRO_FORMAT_RGB24, b.patternWidth, b.patternHeight, b.patternWidth * 4);
      cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
      cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
      cairo_matrix_t m;
      cairo_matrix_init_translate(&m, -b.origin.x, -b.origin.y);
      cairo_pattern_set_matrix(pat, &m);
      cairo_set_source(cr, pat);
      cairo_pattern_destroy(pat);
      cairo_surface_destroy(s);  // the pattern keeps a reference; the PDF copies at fill
      return true;
    }
    default: return false;
  }
}

void BuildPath(cairo_t* cr, const kv::gdi::PathInfo& p) {
  cairo_new_path(cr);
  for (size_t i = 0; i < p.subpaths.size(); ++i) {
    const auto& sp = p.subpaths[i];
    if (sp.empty()) continue;
    cairo_move_to(cr, sp[0].first, sp[0].second);
    for (size_t k = 1; k < sp.size(); ++k) cairo_line_to(cr, sp[k].first, sp[k].second);
    if (i < p.closed.size() && p.closed[i]) cairo_close_path(cr);
  }
}

void ReplayPath(cairo_t* cr, const kv::gdi::PageOp& op) {
  const kv::gdi::PathInfo& p = op.path;
  if (p.fill && p.brush.style != BS_NULL && SetBrushSource(cr, p.brush)) {
    BuildPath(cr, p);
    cairo_set_fill_rule(cr, p.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr);
  }
  if (p.stroke && p.pen.style != PS_NULL) {
    BuildPath(cr, p);
    SetColor(cr, p.pen.color);
    cairo_set_line_width(cr, std::max(1, p.pen.width));
    if (!p.pen.dashes.empty()) {
      std::vector<double> d(p.pen.dashes.begin(), p.pen.dashes.end());
      cairo_set_dash(cr, d.data(), static_cast<int>(d.size()), 0);
    }
    if (p.pen.geometric) {
      // The raster engine draws each dash of a styled pen as a flat segment, so the
      // pen's end cap applies to solid lines only.
      const bool flat = p.pen.endCap == PS_ENDCAP_FLAT || !p.pen.dashes.empty();
      cairo_set_line_cap(cr, flat                               ? CAIRO_LINE_CAP_BUTT
                             : p.pen.endCap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                                : CAIRO_LINE_CAP_ROUND);
      cairo_set_line_join(cr, p.pen.join == PS_JOIN_BEVEL   ? CAIRO_LINE_JOIN_BEVEL
                              : p.pen.join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                            : CAIRO_LINE_JOIN_ROUND);
    } else {
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    }
    cairo_stroke(cr);
  }
}

void ReplayImage(cairo_t* cr, const kv::gdi::ImageInfo& im) {
  if (im.width <= 0 || im.height <= 0 || im.pixels.size() < static_cast<size_t>(im.width) * im.height) return;
  double w = im.dst.right - im.dst.left, h = im.dst.bottom - im.dst.top;
  if (w == 0 || h == 0) return;
  cairo_surface_t* s =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(im.pixels.data())),
                                          CAIRO_FORMAT_RGB24, im.width, im.height, im.width * 4);
  cairo_save(cr);
  cairo_translate(cr, im.dst.left, im.dst.top);
  cairo_scale(cr, w / im.width, h / im.height);
  cairo_set_source_surface(cr, s, 0, 0);
  // Nearest neighbour, as the raster engine stretches (COLORONCOLOR).
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, 0, 0, im.width, im.height);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_finish(s);  // the PDF has taken its copy; the pixels stay the record's
  cairo_surface_destroy(s);
}

}  // namespace

// Paths and text as vectors, images as images; what the raster engine could not
// express as vectors arrives as raster patches (Image ops of final page pixels).
void ReplayOps(cairo_t* cr, const std::vector<kv::gdi::PageOp>& ops) {
  for (const kv::gdi::PageOp& op : ops) {
    cairo_save(cr);
    ClipTo(cr, op.clip);
    switch (op.kind) {
      case kv::gdi::PageOp::Kind::Path:
        if (!op.isRop2 && (op.rop == BLACKNESS || op.rop == WHITENESS)) {
          kv::gdi::PageOp copy = op;
          copy.path.brush.style = BS_SOLID;
          copy.path.brush.color = op.rop == WHITENESS ? 0xFFFFFF : 0;
          ReplayPath(cr, copy);
        } else {
          ReplayPath(cr, op);
        }
        break;
      case kv::gdi::PageOp::Kind::Text: kv::gdi::DrawTextOnCairo(cr, op.text); break;
      case kv::gdi::PageOp::Kind::Image: ReplayImage(cr, op.image); break;
    }
    cairo_restore(cr);
  }
}

}  // namespace kv::print
