// Global memory blocks over the C heap, with a handle table so that bad handles are
// refused instead of dereferenced.
#include "platform/base/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/base/error.h"

#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif

namespace {

struct Block {
  void* data = nullptr;
  SIZE_T size = 0;
  UINT flags = 0;
  UINT locks = 0;
};

// A moveable block's handle is the address of its record; a fixed block's handle is its
// data pointer. Both are keys of one table.
struct Table {
  std::mutex lock;
  std::unordered_map<HGLOBAL, Block*> blocks;
};

Table& table() {
  static Table* t = new Table;  // lives to process exit; blocks may be freed late
  return *t;
}

// Data is never null, even for a zero-size block, so a fixed handle is always valid.
void* allocate(SIZE_T bytes, bool zero) {
  SIZE_T n = bytes ? bytes : 1;
  return zero ? std::calloc(1, n) : std::malloc(n);
}

Block* find(HGLOBAL h) {
  auto& t = table();
  auto it = t.blocks.find(h);
  return it == t.blocks.end() ? nullptr : it->second;
}

// Runs f on the record of h under the table's lock; an unknown handle sets
// ERROR_INVALID_HANDLE and gives `failure`.
template <class R, class F>
R WithBlock(HGLOBAL h, R failure, F f) {
  auto& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  Block* b = find(h);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return failure;
  }
  return f(b);
}

}  // namespace

extern "C" {

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  if (dwBytes > (SIZE_T(1) << 40)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* b = new (std::nothrow) Block;
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->data = allocate(dwBytes, uFlags & GMEM_ZEROINIT);
  if (!b->data) {
    delete b;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->size = dwBytes;
  b->flags = uFlags & (GMEM_MOVEABLE | GMEM_DDESHARE);
  HGLOBAL h = (uFlags & GMEM_MOVEABLE) ? static_cast<HGLOBAL>(b) : b->data;
  auto& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  t.blocks[h] = b;
  return h;
}

LPVOID GlobalLock(HGLOBAL hMem) {
  return WithBlock<LPVOID>(hMem, nullptr, [&](Block* b) -> LPVOID {
    if ((b->flags & GMEM_MOVEABLE) && b->locks < GMEM_LOCKCOUNT) ++b->locks;
    return b->data;
  });
}

BOOL GlobalUnlock(HGLOBAL hMem) {
  return WithBlock<BOOL>(hMem, FALSE, [&](Block* b) -> BOOL {
    if (!(b->flags & GMEM_MOVEABLE) || b->locks == 0) {
      SetLastError(ERROR_NOT_LOCKED);
      return FALSE;
    }
    if (--b->locks == 0) {
      SetLastError(NO_ERROR);
      return FALSE;
    }
    return TRUE;
  });
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  if (!hMem) return nullptr;
  Block* b;
  {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    b = find(hMem);
    if (!b) {
      SetLastError(ERROR_INVALID_HANDLE);
      return hMem;
    }
    t.blocks.erase(hMem);
  }
  std::free(b->data);
  delete b;
  return nullptr;
}

SIZE_T GlobalSize(HGLOBAL hMem) {
  return WithBlock<SIZE_T>(hMem, 0, [&](Block* b) -> SIZE_T { return b->size; });
}

HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
  return WithBlock<HGLOBAL>(hMem, nullptr, [&](Block* b) -> HGLOBAL {
    auto& t = table();
    if (uFlags & GMEM_MODIFY) {  // only the attributes change
      return hMem;
    }
    bool moveable = b->flags & GMEM_MOVEABLE;
    // A locked moveable block, or a fixed block without GMEM_MOVEABLE, may not move.
    if ((moveable && b->locks > 0) || (!moveable && !(uFlags & GMEM_MOVEABLE))) {
      if (dwBytes > b->size) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      b->size = dwBytes;  // shrinking in place keeps the address
      return hMem;
    }
    void* data = allocate(dwBytes, false);
    if (!data) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    std::memcpy(data, b->data, b->size < dwBytes ? b->size : dwBytes);
    if ((uFlags & GMEM_ZEROINIT) && dwBytes > b->size)
      std::memset(static_cast<char*>(data) + b->size, 0, dwBytes - b->size);
    std::free(b->data);
    b->data = data;
    b->size = dwBytes;
    if (moveable) return hMem;
    t.blocks.erase(hMem);  // a fixed block's handle is its address, which moved
    t.blocks[data] = b;
    return data;
  });
}

UINT GlobalFlags(HGLOBAL hMem) {
  return WithBlock<UINT>(hMem, GMEM_INVALID_HANDLE,
                         [&](Block* b) { return (b->flags & GMEM_DDESHARE) | (b->locks & GMEM_LOCKCOUNT); });
}

HGLOBAL GlobalHandle(LPCVOID pMem) {
  auto& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  for (auto& [h, b] : t.blocks)
    if (b->data == pMem) return h;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

DWORD KvGlobalBlockCount(void) {
  auto& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  return static_cast<DWORD>(t.blocks.size());
}

}  // extern "C"
