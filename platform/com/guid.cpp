// GUID text forms and the ProgID lookups.
#include <cstring>

#include "platform/com/com.h"
#include "platform/registry/registry.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// "{8-4-4-4-12}" exactly.
bool ParseBraced(LPCOLESTR s, GUID& g) {
  if (!s) return false;
  static const int kGroups[] = {8, 4, 4, 4, 12};
  if (s[0] != u'{') return false;
  size_t pos = 1;
  uint64_t groups[5] = {};
  BYTE tail[6] = {};
  for (int gi = 0; gi < 5; ++gi) {
    for (int k = 0; k < kGroups[gi]; ++k, ++pos) {
      int d = HexValue(s[pos]);
      if (d < 0) return false;
      if (gi < 4) {
        groups[gi] = groups[gi] * 16 + static_cast<unsigned>(d);
      } else {
        tail[k / 2] = static_cast<BYTE>(tail[k / 2] * 16 + d);
      }
    }
    if (gi < 4 && s[pos++] != u'-') return false;
  }
  if (s[pos] != u'}' || s[pos + 1] != 0) return false;
  g.Data1 = static_cast<uint32_t>(groups[0]);
  g.Data2 = static_cast<uint16_t>(groups[1]);
  g.Data3 = static_cast<uint16_t>(groups[2]);
  g.Data4[0] = static_cast<BYTE>(groups[3] >> 8);
  g.Data4[1] = static_cast<BYTE>(groups[3]);
  memcpy(g.Data4 + 2, tail, 6);
  return true;
}

LPOLESTR TaskCopy(const std::u16string& s) {
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
  if (!out) return nullptr;
  memcpy(out, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
  return out;
}

// The default value of HKEY_CLASSES_ROOT\<path> as text.
bool ReadClassesText(const std::u16string& path, std::u16string& text) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  OLECHAR buf[1024];
  DWORD size = sizeof buf - sizeof(OLECHAR), type = 0;
  LONG rc = RegQueryValueExW(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  text.assign(buf, size / sizeof(OLECHAR));
  while (!text.empty() && text.back() == 0) text.pop_back();
  return true;
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID g, LPOLESTR out, int max) {
  if (!out || max < 39) return 0;
  char text[39];
  int p = 0;
  auto hex = [&](uint64_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) text[p++] = kHex[(v >> (i * 4)) & 0xF];
  };
  text[p++] = '{';
  hex(g.Data1, 8);
  text[p++] = '-';
  hex(g.Data2, 4);
  text[p++] = '-';
  hex(g.Data3, 4);
  text[p++] = '-';
  hex(g.Data4[0], 2);
  hex(g.Data4[1], 2);
  text[p++] = '-';
  for (int i = 2; i < 8; ++i) hex(g.Data4[i], 2);
  text[p++] = '}';
  for (int i = 0; i < 38; ++i) out[i] = static_cast<OLECHAR>(text[i]);
  out[38] = 0;
  return 39;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* out) {
  if (!out) return E_INVALIDARG;
  *out = TaskCopy(kv::GuidToString(clsid));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT StringFromIID(REFIID iid, LPOLESTR* out) { return StringFromCLSID(iid, out); }

HRESULT IIDFromString(LPCOLESTR text, IID* out) {
  if (!out) return E_INVALIDARG;
  if (!text) {
    *out = GUID_NULL;
    return S_OK;
  }
  return ParseBraced(text, *out) ? S_OK : E_INVALIDARG;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out) {
  if (!out) return E_INVALIDARG;
  if (!text) {
    *out = GUID_NULL;
    return S_OK;
  }
  if (text[0] == u'{') return ParseBraced(text, *out) ? S_OK : CO_E_CLASSSTRING;
  return CLSIDFromProgID(text, out);
}

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* out) {
  if (!prog_id || !out) return E_INVALIDARG;
  std::u16string text;
  if (!*prog_id || !ReadClassesText(std::u16string(prog_id) + u"\\CLSID", text)) return CO_E_CLASSSTRING;
  return ParseBraced(text.c_str(), *out) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::u16string text;
  if (!ReadClassesText(u"CLSID\\" + kv::GuidToString(clsid) + u"\\ProgID", text) || text.empty())
    return REGDB_E_CLASSNOTREG;
  *out = TaskCopy(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // extern "C"
