// Backends of device contexts: the raster, the page record, or both (see internal.h).
#include <cairo.h>

#include "platform/gdi/internal.h"

namespace kv::gdi {

namespace {

class RasterOnly final : public Backend {
 public:
  Bitmap* Raster(const DC& dc) const override {
    return dc.kind == DCKind::Memory ? dc.st.bitmap.get() : dc.surface.get();
  }
  bool Records() const override { return false; }
  bool Paint(DC&, const Drawing& d) const override { return d.raster(); }
  Bitmap* Pixels(DC& dc) const override {
    Bitmap* t = dc.Target();
    if (!t) SetLastError(ERROR_INVALID_HANDLE);
    return t;
  }
};

class PageWithRaster final : public Backend {
 public:
  Bitmap* Raster(const DC& dc) const override { return dc.surface.get(); }
  bool Records() const override { return true; }
  bool Paint(DC& dc, const Drawing& d) const override {
    if (!d.raster()) return false;
    if (d.record)
      d.record();
    else
      RecordPatch(dc, d.patch);
    return true;
  }
  Bitmap* Pixels(DC& dc) const override { return dc.surface.get(); }
};

// A raster for the open page, white, with the record so far painted onto it; from here
// the page draws onto both.
bool MakePageRaster(DC& dc) {
  auto raster = NewBitmap(dc.caps.horzRes, dc.caps.vertRes, DeviceFormat(), true);
  if (!raster) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  cairo_surface_t* s = cairo_image_surface_create_for_data(raster->bits, CAIRO_FORMAT_RGB24, raster->width,
                                                           raster->height, raster->stride);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (dc.painter) dc.painter(cr, dc.page.ops);
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_finish(s);
  cairo_surface_destroy(s);
  if (!ok) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  // cairo leaves the unused top byte as it likes; the device format keeps it 0.
  for (int y = 0; y < raster->height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(raster->Row(y));
    for (int x = 0; x < raster->width; ++x) row[x] &= 0x00FFFFFF;
  }
  dc.surface = std::move(raster);
  dc.page.raster = {reinterpret_cast<uint32_t*>(dc.surface->bits), dc.surface->width, dc.surface->height,
                    dc.surface->stride};
  dc.backend = &PageRasterBackend();
  return true;
}

class PageOnly final : public Backend {
 public:
  Bitmap* Raster(const DC&) const override { return nullptr; }
  bool Records() const override { return true; }
  bool Paint(DC& dc, const Drawing& d) const override {
    if (d.record) {
      d.record();
      return true;
    }
    if (!MakePageRaster(dc)) return false;
    return dc.backend->Paint(dc, d);
  }
  Bitmap* Pixels(DC& dc) const override {
    if (!dc.pageOpen) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return MakePageRaster(dc) ? dc.surface.get() : nullptr;
  }
};

}  // namespace

const Backend& RasterBackend() {
  static const RasterOnly b;
  return b;
}

const Backend& PageBackend() {
  static const PageOnly b;
  return b;
}

const Backend& PageRasterBackend() {
  static const PageWithRaster b;
  return b;
}

}  // namespace kv::gdi
