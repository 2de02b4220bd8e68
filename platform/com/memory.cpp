// Task memory and BSTR allocation.
#include <cstdlib>
#include <cstring>

#include "platform/com/oleauto.h"

namespace {

constexpr size_t kPrefix = sizeof(DWORD);

// A BSTR block: [byte length][text][two-byte terminator].
BSTR AllocBytes(const void* data, UINT bytes) {
  if (bytes > 0x7FFFFFF0u) return nullptr;
  auto* block = static_cast<BYTE*>(malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  DWORD n = bytes;
  memcpy(block, &n, kPrefix);
  if (data) {
    memcpy(block + kPrefix, data, bytes);
  } else {
    memset(block + kPrefix, 0, bytes);
  }
  memset(block + kPrefix + bytes, 0, sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(block + kPrefix);
}

BYTE* Block(BSTR b) { return reinterpret_cast<BYTE*>(b) - kPrefix; }

}  // namespace

extern "C" {

LPVOID CoTaskMemAlloc(SIZE_T size) { return malloc(size ? size : 1); }
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) { return realloc(block, size ? size : 1); }
void CoTaskMemFree(LPVOID block) { free(block); }

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > 0x3FFFFFF0u) return nullptr;
  return AllocBytes(text, length * sizeof(OLECHAR));
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  UINT n = 0;
  while (text[n]) ++n;
  return SysAllocStringLen(text, n);
}

BSTR SysAllocStringByteLen(LPCSTR data, UINT length) { return AllocBytes(data, length); }

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
  if (!bstr) return FALSE;
  BSTR fresh = SysAllocStringLen(text, length);  // `text` may lie inside the old string
  if (!fresh) return FALSE;
  SysFreeString(*bstr);
  *bstr = fresh;
  return TRUE;
}

INT SysReAllocString(BSTR* bstr, const OLECHAR* text) {
  if (!bstr) return FALSE;
  UINT n = 0;
  if (text)
    while (text[n]) ++n;
  return SysReAllocStringLen(bstr, text, n);
}

void SysFreeString(BSTR bstr) {
  if (bstr) free(Block(bstr));
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  DWORD n;
  memcpy(&n, Block(bstr), kPrefix);
  return n;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

}  // extern "C"
