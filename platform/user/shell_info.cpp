#include "platform/user/shell_info.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/base/error.h"
#include "platform/registry/registry.h"

namespace {

constexpr UINT kKnownFlags = SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_TYPENAME;

// The default value of HKEY_CLASSES_ROOT\<key>, "" when there is none.
std::string ClassText(const std::string& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "";
  char buffer[256] = {};
  DWORD type = 0, size = sizeof buffer - 1;
  LONG r = RegQueryValueExA(k, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS || type != REG_SZ) return "";
  return std::string(buffer, strnlen(buffer, size));
}

// The extension of the path's last name, without the dot ("" without one).
std::string ExtensionOf(const std::string& path) {
  const size_t name = path.find_last_of("\\/");
  const std::string last = name == std::string::npos ? path : path.substr(name + 1);
  const size_t dot = last.rfind('.');
  return dot == std::string::npos ? "" : last.substr(dot + 1);
}

std::string TypeName(const std::string& path, bool folder) {
  if (folder) return "File Folder";
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return "File";
  const std::string cls = ClassText("." + ext);
  if (!cls.empty()) {
    const std::string name = ClassText(cls);
    if (!name.empty()) return name;
  }
  std::string upper = ext;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper + " File";
}

void Fill(HDC dc, int l, int t, int r, int b, COLORREF colour) {
  RECT rc{l, t, r, b};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

// A page with a folded corner and lines of text, or a folder with its tab, on a
// transparent ground; s is the side (16 or 32).
HICON MakeIcon(bool folder, int s) {
  auto at = [s](int v) { return v * s / 32; };
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP colour = CreateBitmap(s, s, 1, 32, nullptr), mask = CreateBitmap(s, s, 1, 1, nullptr);
  if (!dc || !colour || !mask) {
    if (dc) DeleteDC(dc);
    if (colour) DeleteObject(colour);
    if (mask) DeleteObject(mask);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255), edge = RGB(96, 96, 96);
  HGDIOBJ old = SelectObject(dc, colour);
  Fill(dc, 0, 0, s, s, black);
  if (folder) {
    Fill(dc, at(2), at(6), at(14), at(10), edge);  // tab
    Fill(dc, at(2), at(9), at(30), at(28), edge);  // body
    Fill(dc, at(3), at(10), at(29), at(27), RGB(240, 200, 80));
  } else {
    Fill(dc, at(6), at(2), at(26), at(30), edge);
    Fill(dc, at(7), at(3), at(25), at(29), white);
    Fill(dc, at(19), at(3), at(25), at(9), RGB(208, 208, 208));  // folded corner
    for (int y = 12; y <= 24; y += 4) Fill(dc, at(10), at(y), at(22), at(y) + 1, RGB(128, 128, 160));
  }
  // Mask: 1 where the ground shows through, 0 under the picture.
  SelectObject(dc, mask);
  Fill(dc, 0, 0, s, s, white);
  if (folder) {
    Fill(dc, at(2), at(6), at(14), at(10), black);
    Fill(dc, at(2), at(9), at(30), at(28), black);
  } else {
    Fill(dc, at(6), at(2), at(26), at(30), black);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colour);
  return icon;
}

}  // namespace

extern "C" {

DWORD_PTR SHGetFileInfoA(LPCSTR path, DWORD file_attributes, SHFILEINFOA* info, UINT info_size, UINT flags) {
  if (flags & ~kKnownFlags) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (!path || !info || info_size < sizeof(SHFILEINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD attributes = file_attributes;
  if (!(flags & SHGFI_USEFILEATTRIBUTES)) {
    attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  }
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (flags & SHGFI_TYPENAME) {
    const std::string name = TypeName(path, folder);
    const size_t n = std::min(name.size(), sizeof info->szTypeName - 1);
    std::memcpy(info->szTypeName, name.data(), n);
    info->szTypeName[n] = '\0';
  }
  if (flags & SHGFI_ICON) {
    info->hIcon = MakeIcon(folder, (flags & SHGFI_SMALLICON) ? 16 : 32);
    info->iIcon = 0;
    if (!info->hIcon) return 0;
  }
  return 1;
}

}  // extern "C"
