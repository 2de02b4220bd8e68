// Icons from ICO files: 32-bit images with alpha, palette and 24-bit images with their AND
// masks, the image nearest the wanted size scaled to it, and the files refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/gdi/gdi.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"
#include "testsupport/temp_home.h"

namespace {

constexpr COLORREF kBackground = RGB(10, 20, 30);

void Put16(std::string& s, int v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<int>(v & 0xFFFF));
  Put16(s, static_cast<int>(v >> 16));
}

// One BMP-in-ICO image of side x side: the left half red, the right half blue; the top
// row transparent (by alpha at 32 bits, by the AND mask otherwise).
std::string Image(int side, int bits) {
  std::string s;
  Put32(s, 40);
  Put32(s, static_cast<uint32_t>(side));
  Put32(s, static_cast<uint32_t>(side * 2));
  Put16(s, 1);
  Put16(s, bits);
  for (int i = 0; i < 6; ++i) Put32(s, 0);
  if (bits == 8) {
    Put32(s, 0x0000FF00);  // index 0: green (unused)
    Put32(s, 0x00FF0000);  // index 1: red (BGRA in the table: R is the third byte)
    Put32(s, 0x000000FF);  // index 2: blue
    s.append(253 * 4, '\0');
  }
  const int stride = ((side * bits + 31) / 32) * 4;
  for (int y = side - 1; y >= 0; --y) {  // bottom-up
    std::string row;
    for (int x = 0; x < side; ++x) {
      const bool red = x < side / 2;
      if (bits == 32) {
        row += red ? std::string("\x00\x00\xFF", 3) : std::string("\xFF\x00\x00", 3);
        row += static_cast<char>(y == 0 ? 0 : 255);
      } else if (bits == 24) {
        row += red ? std::string("\x00\x00\xFF", 3) : std::string("\xFF\x00\x00", 3);
      } else {
        row += static_cast<char>(red ? 1 : 2);
      }
    }
    row.resize(static_cast<size_t>(stride), '\0');
    s += row;
  }
  const int mask_stride = ((side + 31) / 32) * 4;
  for (int y = side - 1; y >= 0; --y) s += std::string(static_cast<size_t>(mask_stride), y == 0 ? '\xFF' : '\0');
  return s;
}

std::string File(const std::vector<std::pair<int, std::string>>& images) {
  std::string s;
  Put16(s, 0);
  Put16(s, 1);
  Put16(s, static_cast<int>(images.size()));
  size_t offset = 6 + 16 * images.size();
  for (const auto& [side, data] : images) {
    s += static_cast<char>(side >= 256 ? 0 : side);
    s += static_cast<char>(side >= 256 ? 0 : side);
    s += '\0';
    s += '\0';
    Put16(s, 1);
    Put16(s, 32);
    Put32(s, static_cast<uint32_t>(data.size()));
    Put32(s, static_cast<uint32_t>(offset));
    offset += data.size();
  }
  for (const auto& image : images) s += image.second;
  return s;
}

// Draws the icon at 16 x 16 over the background; the pixels at (x, y).
COLORREF Drawn(HICON icon, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(16, 16, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all{0, 0, 16, 16};
  HBRUSH brush = CreateSolidBrush(kBackground);
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
  const COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  return c;
}

TEST(IconFile, ImagesOfEachDepthWithTheirTransparency) {
  const struct {
    const char* name;
    std::string file;
  } cases[] = {
      {"32-bit alpha", File({{16, Image(16, 32)}})},
      {"24-bit mask", File({{16, Image(16, 24)}})},
      {"8-bit palette", File({{16, Image(16, 8)}})},
      {"32 scaled to 16", File({{32, Image(32, 32)}})},
      {"the nearest of three", File({{48, Image(48, 24)}, {16, Image(16, 32)}, {32, Image(32, 8)}})},
  };
  for (const auto& c : cases) {
    HICON icon = KvIconFromIcoFile(c.file.data(), c.file.size(), 16, 16);
    ASSERT_TRUE(icon) << c.name;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 16) << c.name;
    EXPECT_EQ(bm.bmHeight, 16) << c.name;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(Drawn(icon, 3, 8), RGB(255, 0, 0)) << c.name;
    EXPECT_EQ(Drawn(icon, 12, 8), RGB(0, 0, 255)) << c.name;
    EXPECT_EQ(Drawn(icon, 3, 0), kBackground) << c.name << ": the transparent row";
    DestroyIcon(icon);
  }
}

TEST(IconFile, BadFilesGiveNoIcon) {
  const std::string good = File({{16, Image(16, 32)}});
  std::string png = File({{16, "\x89PNG\r\n\x1a\n" + std::string(64, 'x')}});
  std::string out_of_range = good;
  out_of_range[21] = '\x7F';  // the image's offset far past the end
  std::string cursor = good;
  cursor[2] = 2;
  std::string wide = File({{16, Image(16, 32)}});
  wide[6 + 16 + 4] = '\x01';  // the header's width 257
  wide[6 + 16 + 5] = '\x01';
  std::string rle = File({{16, Image(16, 8)}});
  rle[6 + 16 + 16] = 1;  // BI_RLE8
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"empty", ""},
      {"truncated", good.substr(0, good.size() / 2)},
      {"no images", good.substr(0, 4) + std::string("\0\0", 2)},
      {"PNG only", png},
      {"offset out of range", out_of_range},
      {"a cursor file", cursor},
      {"too wide", wide},
      {"compressed", rle},
      {"header only", good.substr(0, 6 + 16 + 40)},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(KvIconFromIcoFile(c.data.data(), c.data.size(), 16, 16)) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << c.name;
  }
}

TEST(IconFile, LoadImageFromAFileAndOneImageAsAResource) {
  kvtest::TempHome home;
  const std::string path = std::string(home.path()) + "/site.ico";
  const std::string image = Image(16, 32);
  {
    std::ofstream out(path, std::ios::binary);
    out << File({{16, image}});
  }
  auto icon = static_cast<HICON>(LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
  ASSERT_TRUE(icon);
  EXPECT_EQ(Drawn(icon, 12, 8), RGB(0, 0, 255));
  DestroyIcon(icon);
  EXPECT_FALSE(LoadImageA(nullptr, (path + ".missing").c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
  SetLastError(0);
  EXPECT_FALSE(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  std::string bytes = image;
  icon = CreateIconFromResourceEx(reinterpret_cast<LPBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()), TRUE,
                                  0x00030000, 16, 16, 0);
  ASSERT_TRUE(icon);
  EXPECT_EQ(Drawn(icon, 3, 8), RGB(255, 0, 0));
  DestroyIcon(icon);
  EXPECT_FALSE(CreateIconFromResourceEx(reinterpret_cast<LPBYTE>(bytes.data()), 20, TRUE, 0x00030000, 16, 16, 0));
}

}  // namespace
