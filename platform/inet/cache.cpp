// The URL cache: every http(s) response a bind receives is written (a file and a
// record in $KORVANE_HOME/inet/cache/), never read back; the find functions walk
// snapshots of content, cookie and history entries.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/internal.h"
#include "platform/base/kobject.h"
#include "platform/base/path.h"
#include "platform/inet/internal.h"

namespace kv::inet {
namespace {

class ContentStore final : public HomeStore {
 public:
  void Put(const Response& r, const std::string& body) {
    CacheEntry e;
    e.url = r.url;
    e.extension = Extension(r);
    e.type = NORMAL_CACHE_ENTRY;
    e.size = body.size();
    e.headers = r.RawCrlf();
    e.modified = e.accessed = e.synced = NowFileTime();
    e.use_count = 1;
    std::string name = std::to_string(++serial_) + "_" + std::to_string(getpid()) + "." + e.extension;
    e.local_file = Folder() + name;
    kv::base::MakeDirectories(Folder());
    if (!KvWriteFileAtomic(e.local_file.c_str(), body.data(), body.size())) return;
    Remove(e.url);
    entries_.push_back(e);
    Save();
  }

  std::vector<CacheEntry> Entries() const { return entries_; }

  bool Delete(const std::string& url) {
    if (!Remove(url)) return false;
    Save();
    return true;
  }

 private:
  static std::string Folder() { return StorePath("cache/"); }

  static std::string Extension(const Response& r) {
    UrlParts parts;
    if (ParseUrl(r.url, &parts) == 0) {
      size_t slash = parts.path.rfind('/');
      size_t dot = parts.path.rfind('.');
      if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string ext = Lower(parts.path.substr(dot + 1));
        bool ok = !ext.empty() && ext.size() <= 8 && std::all_of(ext.begin(), ext.end(), [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
        if (ok) return ext;
      }
    }
    std::string mime = r.MimeType();
    if (mime == "text/html" || mime.empty()) return "htm";
    if (mime == "image/gif") return "gif";
    if (mime == "image/jpeg") return "jpg";
    if (mime == "image/png") return "png";
    if (mime == "text/plain") return "txt";
    if (mime == "text/css") return "css";
    if (mime.find("javascript") != std::string::npos) return "js";
    return "bin";
  }

  bool Remove(const std::string& url) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const CacheEntry& e) { return e.url == url; });
    if (it == entries_.end()) return false;
    unlink(it->local_file.c_str());
    entries_.erase(it);
    return true;
  }

  void DropRecords() override { entries_.clear(); }
  void LoadRecords() override {
    for (const auto& f : ReadRecords(Folder() + "index")) {
      if (f.size() != 12 || f[0].empty()) continue;
      CacheEntry e;
      e.url = f[0];
      e.local_file = Folder() + f[1];
      e.type = static_cast<DWORD>(std::strtoul(f[2].c_str(), nullptr, 10));
      e.use_count = static_cast<DWORD>(std::strtoul(f[3].c_str(), nullptr, 10));
      e.hit_rate = static_cast<DWORD>(std::strtoul(f[4].c_str(), nullptr, 10));
      e.size = std::strtoull(f[5].c_str(), nullptr, 10);
      e.modified = std::strtoull(f[6].c_str(), nullptr, 10);
      e.expires = std::strtoull(f[7].c_str(), nullptr, 10);
      e.accessed = std::strtoull(f[8].c_str(), nullptr, 10);
      e.synced = std::strtoull(f[9].c_str(), nullptr, 10);
      e.headers = f[10];
      e.extension = f[11];
      if (f[1].find('/') != std::string::npos) continue;  // records name files of this folder only
      entries_.push_back(e);
    }
  }

  void Save() {
    std::string text;
    for (const auto& e : entries_) {
      std::string file = e.local_file.substr(e.local_file.rfind('/') + 1);
      text += EscapeField(e.url) + "\t" + EscapeField(file) + "\t" + std::to_string(e.type) + "\t" +
              std::to_string(e.use_count) + "\t" + std::to_string(e.hit_rate) + "\t" + std::to_string(e.size) + "\t" +
              std::to_string(e.modified) + "\t" + std::to_string(e.expires) + "\t" + std::to_string(e.accessed) + "\t" +
              std::to_string(e.synced) + "\t" + EscapeField(e.headers) + "\t" + EscapeField(e.extension) + "\n";
    }
    WriteStore(Folder() + "index", text);
  }

  std::vector<CacheEntry> entries_;
  unsigned long serial_ = 0;
};

ContentStore& Content() {
  static auto* store = new ContentStore;
  return *store;
}

// A find handle: a snapshot and a position.
class CacheFind final : public KObject {
 public:
  std::vector<CacheEntry> entries;
  size_t next = 0;
};

std::vector<CacheEntry> Snapshot(const char* pattern, DWORD filter) {
  std::vector<CacheEntry> all;
  auto add = [&](std::vector<CacheEntry> part) { all.insert(all.end(), part.begin(), part.end()); };
  if (!pattern) {
    add(ContentCacheEntries());
    add(CookieCacheEntries());
    add(HistoryCacheEntries());
  } else if (kv::base::EqualsNoCase(pattern, "Cookie:")) {
    add(CookieCacheEntries());
  } else if (kv::base::EqualsNoCase(pattern, "Visited:")) {
    add(HistoryCacheEntries());
  } else if (!*pattern) {
    add(ContentCacheEntries());
  } else {
    add(ContentCacheEntries());
    add(CookieCacheEntries());
    add(HistoryCacheEntries());
    std::string prefix = kv::AnsiToUtf8(pattern);
    all.erase(
        std::remove_if(all.begin(), all.end(), [&](const CacheEntry& e) { return !StartsWithNoCase(e.url, prefix); }),
        all.end());
  }
  all.erase(std::remove_if(all.begin(), all.end(), [&](const CacheEntry& e) { return (e.type & filter) == 0; }),
            all.end());
  return all;
}

// Copies one entry into the caller's record; false with the last error set.
bool Fill(const CacheEntry& e, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) {
  const std::string url = kv::Utf8ToAnsi(e.url), file = kv::Utf8ToAnsi(e.local_file), ext = e.extension;
  const size_t need =
      sizeof(INTERNET_CACHE_ENTRY_INFOA) + url.size() + 1 + file.size() + 1 + e.headers.size() + 1 + ext.size() + 1;
  if (!info || *size < need) {
    *size = static_cast<DWORD>(need);
    return kv::base::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memset(info, 0, sizeof *info);
  info->dwStructSize = sizeof *info;
  char* p = reinterpret_cast<char*>(info + 1);
  auto put = [&](const std::string& s) {
    char* start = p;
    std::memcpy(p, s.c_str(), s.size() + 1);
    p += s.size() + 1;
    return start;
  };
  info->lpszSourceUrlName = put(url);
  info->lpszLocalFileName = put(file);
  info->lpHeaderInfo = put(e.headers);
  info->dwHeaderInfoSize = static_cast<DWORD>(e.headers.size());
  info->lpszFileExtension = put(ext);
  info->CacheEntryType = e.type;
  info->dwUseCount = e.use_count;
  info->dwHitRate = e.hit_rate;
  info->dwSizeLow = static_cast<DWORD>(e.size);
  info->dwSizeHigh = static_cast<DWORD>(e.size >> 32);
  info->LastModifiedTime = ToFileTime(e.modified);
  info->ExpireTime = ToFileTime(e.expires);
  info->LastAccessTime = ToFileTime(e.accessed);
  info->LastSyncTime = ToFileTime(e.synced);
  *size = static_cast<DWORD>(need);
  return true;
}

CacheFind* FindOf(HANDLE handle) {
  KObject* o = KvHandleGet(handle);
  if (!o) return nullptr;
  auto* f = dynamic_cast<CacheFind*>(o);
  if (!f) {
    o->Release();
    SetLastError(ERROR_INVALID_HANDLE);
  }
  return f;
}

}  // namespace

void CacheResponse(const Response& response, const std::string& body) {
  Content().With([&] { Content().Put(response, body); });
}

std::vector<CacheEntry> ContentCacheEntries() {
  return Content().With([&] { return Content().Entries(); });
}

bool DeleteContentEntry(const std::string& url) {
  return Content().With([&] { return Content().Delete(url); });
}

void ResetCache() { Content().Reset(); }

}  // namespace kv::inet

using kv::inet::CacheFind;

extern "C" {

HANDLE FindFirstUrlCacheEntryExA(LPCSTR pattern, DWORD, DWORD filter, GROUPID group, INTERNET_CACHE_ENTRY_INFOA* info,
                                 LPDWORD size, LPVOID, LPDWORD, LPVOID) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<kv::inet::CacheEntry> entries;
  if (group == 0) entries = kv::inet::Snapshot(pattern, filter);
  if (entries.empty()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
  }
  if (!kv::inet::Fill(entries[0], info, size)) return nullptr;
  auto* find = new CacheFind;
  find->entries = std::move(entries);
  find->next = 1;
  return KvHandleInsert(find);
}

BOOL FindNextUrlCacheEntryExA(HANDLE handle, INTERNET_CACHE_ENTRY_INFOA* info, LPDWORD size, LPVOID, LPDWORD, LPVOID) {
  if (!size) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  CacheFind* find = kv::inet::FindOf(handle);
  if (!find) return FALSE;
  kv::KRef<CacheFind> hold(find);
  if (find->next >= find->entries.size()) return kv::base::Fail(ERROR_NO_MORE_ITEMS);
  if (!kv::inet::Fill(find->entries[find->next], info, size)) return FALSE;
  ++find->next;
  return TRUE;
}

BOOL FindCloseUrlCache(HANDLE handle) {
  if (!handle) return kv::base::Fail(ERROR_INVALID_HANDLE);
  CacheFind* find = kv::inet::FindOf(handle);
  if (!find) return FALSE;
  find->Release();
  return KvHandleClose(handle);
}

BOOL DeleteUrlCacheEntryA(LPCSTR url) {
  if (!url || !*url) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::string u = kv::AnsiToUtf8(url);
  bool done = kv::inet::StartsWithNoCase(u, "Cookie:")    ? kv::inet::DeleteCookieEntry(u)
              : kv::inet::StartsWithNoCase(u, "Visited:") ? kv::inet::DeleteHistoryEntry(u)
                                                          : kv::inet::DeleteContentEntry(u);
  return done ? TRUE : kv::base::Fail(ERROR_FILE_NOT_FOUND);
}

BOOL DeleteUrlCacheEntryW(LPCWSTR url) {
  if (!url) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::string a = kv::WideToAnsi(url);
  return DeleteUrlCacheEntryA(a.c_str());
}

BOOL DeleteUrlCacheEntry(LPCSTR url) { return DeleteUrlCacheEntryA(url); }

HANDLE FindFirstUrlCacheGroup(DWORD, DWORD, LPVOID, DWORD, GROUPID*, LPVOID) {
  SetLastError(ERROR_NO_MORE_ITEMS);
  return nullptr;
}

BOOL FindNextUrlCacheGroup(HANDLE, GROUPID*, LPVOID) { return kv::base::Fail(ERROR_NO_MORE_ITEMS); }

BOOL GetUrlCacheGroupAttributeA(GROUPID, DWORD, DWORD, LPVOID, LPDWORD, LPVOID) {
  return kv::base::Fail(ERROR_FILE_NOT_FOUND);
}

BOOL SetUrlCacheGroupAttributeA(GROUPID, DWORD, DWORD, LPVOID, LPVOID) { return kv::base::Fail(ERROR_FILE_NOT_FOUND); }

}  // extern "C"
