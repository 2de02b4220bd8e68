// The PNG of a printed page (the virtual printer's page rasters).
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "platform/print/print_internal.h"

namespace kv::print {

namespace {

// PNG of the sheet: 8-bit RGB, filter "none" on every row, deflate at its fastest level
// (on printed pages both quicker and smaller than the run-length strategy). The printable
// area's raster is placed on the sheet at the printable offset; the margins are white.
//
// A 600 dpi sheet is some 50 MB of samples, so the rows are cut into horizontal strips that
// are deflated side by side. Each strip is a raw deflate stream ended on a byte boundary by a
// sync flush (the last one by the final block), and none refers back past its own start, so
// the strips laid end to end are one valid stream; the checksums combine.
class PngWriter {
 public:
  PngWriter(std::string* out, const kv::gdi::SurfaceView& r, const Geometry& g) : out_(out), r_(r), g_(g) {}

  bool Write() {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out_->append(reinterpret_cast<const char*>(kSignature), 8);
    unsigned char ihdr[13];
    Be32(ihdr, static_cast<uint32_t>(g_.physWidth));
    Be32(ihdr + 4, static_cast<uint32_t>(g_.physHeight));
    ihdr[8] = 8;   // bits per channel
    ihdr[9] = 2;   // RGB
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // adaptive filtering (each row says "none")
    ihdr[12] = 0;  // not interlaced
    Chunk("IHDR", ihdr, sizeof ihdr);

    std::vector<Strip> strips(StripCount());
    int rows = g_.physHeight / static_cast<int>(strips.size());
    for (size_t i = 0; i < strips.size(); ++i) {
      strips[i].y0 = static_cast<int>(i) * rows;
      strips[i].y1 = i + 1 == strips.size() ? g_.physHeight : strips[i].y0 + rows;
      strips[i].last = i + 1 == strips.size();
    }
    std::vector<std::thread> workers;
    for (size_t i = 1; i < strips.size(); ++i) {
      try {
        workers.emplace_back([this, &s = strips[i]] { Deflate(s); });
      } catch (const std::system_error&) {
        Deflate(strips[i]);  // no thread to be had: this one does it
      }
    }
    Deflate(strips[0]);
    for (std::thread& t : workers) t.join();

    std::string z = {'\x78', '\x01'};  // deflate, 32 KB window, fastest level
    uLong adler = adler32(0, nullptr, 0);
    for (const Strip& s : strips) {
      if (!s.ok) return false;
      z += s.out;
      adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.length));
    }
    unsigned char tail[4];
    Be32(tail, static_cast<uint32_t>(adler));
    z.append(reinterpret_cast<const char*>(tail), 4);
    for (size_t at = 0; at < z.size(); at += kIdatSize)
      Chunk("IDAT", reinterpret_cast<const unsigned char*>(z.data()) + at, std::min(kIdatSize, z.size() - at));
    Chunk("IEND", nullptr, 0);
    return true;
  }

 private:
  static constexpr size_t kIdatSize = 1 << 18;

  struct Strip {
    int y0 = 0, y1 = 0;
    bool last = false;
    std::string out;  // raw deflate
    uLong adler = 1;  // over the strip's uncompressed rows
    size_t length = 0;
    bool ok = false;
  };

  // One strip per core, at most eight, none under 256 rows.
  size_t StripCount() const {
    size_t cores = std::max(1u, std::thread::hardware_concurrency());
    size_t byRows = static_cast<size_t>(std::max(1, g_.physHeight / 256));
    return std::min({cores, byRows, size_t{8}});
  }

  // Row y of the sheet: filter byte, then R, G, B per pixel.
  void FillRow(std::vector<unsigned char>& row, int y) const {
    row[0] = 0;
    std::memset(row.data() + 1, 0xFF, row.size() - 1);
    int ry = y - g_.offsetY;
    if (ry < 0 || ry >= r_.height) return;
    const uint32_t* src = reinterpret_cast<const uint32_t*>(reinterpret_cast<const unsigned char*>(r_.pixels) +
                                                            static_cast<size_t>(ry) * r_.stride);
    int w = std::min(r_.width, g_.physWidth - g_.offsetX);
    unsigned char* d = row.data() + 1 + static_cast<size_t>(g_.offsetX) * 3;
    for (int x = 0; x < w; ++x) {
      uint32_t p = src[x];
      d[0] = static_cast<unsigned char>(p >> 16);
      d[1] = static_cast<unsigned char>(p >> 8);
      d[2] = static_cast<unsigned char>(p);
      d += 3;
    }
  }

  // Runs on a worker thread: nothing may escape it.
  void Deflate(Strip& s) const noexcept {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
    try {
      std::vector<unsigned char> row(1 + static_cast<size_t>(g_.physWidth) * 3);
      std::vector<unsigned char> buf(1 << 16);
      bool ok = true;
      for (int y = s.y0; y < s.y1 && ok; ++y) {
        FillRow(row, y);
        s.adler = adler32(s.adler, row.data(), static_cast<uInt>(row.size()));
        s.length += row.size();
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        int flush = y + 1 < s.y1 ? Z_NO_FLUSH : s.last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
          z.next_out = buf.data();
          z.avail_out = static_cast<uInt>(buf.size());
          int rc = deflate(&z, flush);
          if (rc == Z_STREAM_ERROR) {
            ok = false;
            break;
          }
          s.out.append(reinterpret_cast<const char*>(buf.data()), buf.size() - z.avail_out);
          if (flush == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0) break;
        }
      }
      s.ok = ok;
    } catch (const std::bad_alloc&) {
      s.ok = false;
    }
    deflateEnd(&z);
  }

  static void Be32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
  }

  void Chunk(const char* type, const unsigned char* data, size_t size) {
    unsigned char head[8];
    Be32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    out_->append(reinterpret_cast<const char*>(head), 8);
    if (size) out_->append(reinterpret_cast<const char*>(data), size);
    uLong crc = crc32(0, head + 4, 4);
    if (size) crc = crc32(crc, data, static_cast<uInt>(size));
    unsigned char tail[4];
    Be32(tail, static_cast<uint32_t>(crc));
    out_->append(reinterpret_cast<const char*>(tail), 4);
  }

  std::string* out_;
  const kv::gdi::SurfaceView& r_;
  const Geometry& g_;
};

}  // namespace

bool EncodePagePng(const kv::gdi::SurfaceView& raster, const Geometry& g, std::string* out) {
  bool ok = false;
  try {
    ok = PngWriter(out, raster, g).Write();
  } catch (const std::bad_alloc&) {
  }
  if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return ok;
}

}  // namespace kv::print
