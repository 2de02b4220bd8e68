// The URL history store (IUrlHistoryStg2), a built-in COM class.
#include <algorithm>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/path.h"
#include "platform/com/builtin.h"
#include "platform/com/unknown.h"
#include "platform/inet/internal.h"
#include "platform/inet/urlhist.h"

namespace kv::inet {
namespace {

constexpr ULONGLONG kKeepTicks = 20ull * 86400 * 10000000;  // an entry is kept 20 days

struct Visit {
  std::string url, title;
  ULONGLONG visited = 0, updated = 0, expires = 0;
  DWORD flags = 0;
};

class History final : public HomeStore {
 public:
  void Add(const std::string& url, const std::string& title, DWORD flags) {
    const ULONGLONG now = NowFileTime();
    auto it = Find(url);
    if (it == visits_.end()) {
      visits_.push_back(Visit{url, title, now, now, now + kKeepTicks, flags});
    } else {
      if (!title.empty()) it->title = title;
      it->visited = it->updated = now;
      it->expires = now + kKeepTicks;
      it->flags |= flags;
    }
    Save();
  }
  bool Delete(const std::string& url) {
    auto it = Find(url);
    if (it == visits_.end()) return false;
    visits_.erase(it);
    Save();
    return true;
  }
  bool Query(const std::string& url, Visit* out) {
    auto it = Find(url);
    if (it == visits_.end()) return false;
    *out = *it;
    return true;
  }
  std::vector<Visit> All() const { return visits_; }
  void Clear() {
    visits_.clear();
    Save();
  }

 private:
  std::vector<Visit>::iterator Find(const std::string& url) {
    return std::find_if(visits_.begin(), visits_.end(), [&](const Visit& v) { return v.url == url; });
  }
  void DropRecords() override { visits_.clear(); }
  void LoadRecords() override {
    for (const auto& f : ReadRecords(StorePath("history"))) {
      if (f.size() != 6 || f[0].empty()) continue;
      visits_.push_back(Visit{f[0], f[1], std::strtoull(f[2].c_str(), nullptr, 10),
                              std::strtoull(f[3].c_str(), nullptr, 10), std::strtoull(f[4].c_str(), nullptr, 10),
                              static_cast<DWORD>(std::strtoul(f[5].c_str(), nullptr, 10))});
    }
  }
  void Save() {
    std::string text;
    for (const auto& v : visits_)
      text += EscapeField(v.url) + "\t" + EscapeField(v.title) + "\t" + std::to_string(v.visited) + "\t" +
              std::to_string(v.updated) + "\t" + std::to_string(v.expires) + "\t" + std::to_string(v.flags) + "\n";
    WriteStore(StorePath("history"), text);
  }

  std::vector<Visit> visits_;
};

History& TheHistory() {
  static auto* h = new History;
  return *h;
}

LPWSTR TaskCopy(const std::string& utf8) {
  std::u16string w = kv::Utf8ToWide(utf8);
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((w.size() + 1) * sizeof(WCHAR)));
  if (!p) return nullptr;
  std::memcpy(p, w.data(), w.size() * sizeof(WCHAR));
  p[w.size()] = 0;
  return p;
}

void FillStat(const Visit& v, DWORD query_flags, STATURL* s) {
  s->cbSize = sizeof *s;
  s->pwcsUrl = (query_flags & STATURL_QUERYFLAG_NOURL) ? nullptr : TaskCopy(v.url);
  s->pwcsTitle = (query_flags & STATURL_QUERYFLAG_NOTITLE) || v.title.empty() ? nullptr : TaskCopy(v.title);
  s->ftLastVisited = ToFileTime(v.visited);
  s->ftLastUpdated = ToFileTime(v.updated);
  s->ftExpires = ToFileTime(v.expires);
  s->dwFlags = v.flags;
}

class EnumVisits final : public kv::RefCounted<IEnumSTATURL> {
 public:
  explicit EnumVisits(std::vector<Visit> visits) : all_(std::move(visits)) {}
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IEnumSTATURL); }
  HRESULT Next(ULONG count, STATURL* items, ULONG* fetched) override {
    if (!items) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && Advance()) FillStat(all_[pos_++], 0, &items[n++]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    while (count && Advance()) {
      ++pos_;
      --count;
    }
    return count ? S_FALSE : S_OK;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumSTATURL** out) override {
    if (!out) return E_INVALIDARG;
    auto* e = new EnumVisits(all_);
    e->pos_ = pos_;
    e->prefix_ = prefix_;
    *out = e;
    return S_OK;
  }
  HRESULT SetFilter(LPCOLESTR prefix, DWORD) override {
    prefix_ = prefix ? kv::WideToUtf8(prefix) : std::string();
    return S_OK;
  }

 private:
  // Moves to the next entry the filter lets through.
  bool Advance() {
    while (pos_ < all_.size() && !prefix_.empty() && !StartsWithNoCase(all_[pos_].url, prefix_)) ++pos_;
    return pos_ < all_.size();
  }
  std::vector<Visit> all_;
  size_t pos_ = 0;
  std::string prefix_;
};

class HistoryStg final : public kv::RefCounted<IUrlHistoryStg2> {
 public:
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IUrlHistoryStg) || IsEqualIID(riid, IID_IUrlHistoryStg2);
  }
  HRESULT AddUrl(LPCOLESTR url, LPCOLESTR title, DWORD flags) override {
    if (!url || !*url) return E_INVALIDARG;
    AddVisit(kv::WideToUtf8(url), title ? kv::WideToUtf8(title) : std::string(),
             (flags & ADDURL_ADDTOCACHE) ? 0 : STATURLFLAG_ISTOPLEVEL);
    return S_OK;
  }
  HRESULT DeleteUrl(LPCOLESTR url, DWORD) override {
    if (!url) return E_INVALIDARG;
    std::string u = kv::WideToUtf8(url);
    return TheHistory().With([&] { return TheHistory().Delete(u); }) ? S_OK : E_FAIL;
  }
  HRESULT QueryUrl(LPCOLESTR url, DWORD flags, STATURL* stat) override {
    if (!url) return E_INVALIDARG;
    std::string u = kv::WideToUtf8(url);
    Visit v;
    if (!TheHistory().With([&] { return TheHistory().Query(u, &v); })) return E_FAIL;
    if (stat) FillStat(v, flags, stat);
    return S_OK;
  }
  HRESULT BindToObject(LPCOLESTR, REFIID, void** object) override {
    if (object) *object = nullptr;
    return E_NOTIMPL;
  }
  HRESULT EnumUrls(IEnumSTATURL** out) override {
    if (!out) return E_INVALIDARG;
    *out = new EnumVisits(TheHistory().With([&] { return TheHistory().All(); }));
    return S_OK;
  }
  HRESULT AddUrlAndNotify(LPCOLESTR url, LPCOLESTR title, DWORD flags, BOOL write_history, IUnknown*,
                          IUnknown*) override {
    if (!write_history) return url ? S_OK : E_INVALIDARG;
    return AddUrl(url, title, flags);
  }
  HRESULT ClearHistory() override {
    TheHistory().With([&] { TheHistory().Clear(); });
    return S_OK;
  }
};

}  // namespace

std::vector<CacheEntry> HistoryCacheEntries() {
  std::vector<Visit> all = TheHistory().With([&] { return TheHistory().All(); });
  const std::string user = CacheUser();
  std::vector<CacheEntry> out;
  for (const auto& v : all) {
    CacheEntry e;
    e.url = "Visited: " + user + "@" + v.url;
    e.local_file = StorePath("history");
    e.type = URLHISTORY_CACHE_ENTRY;
    e.use_count = 1;
    e.modified = e.accessed = e.synced = v.visited;
    e.expires = v.expires;
    out.push_back(e);
  }
  return out;
}

bool DeleteHistoryEntry(const std::string& name) {
  const std::string prefix = "Visited: " + CacheUser() + "@";
  if (!StartsWithNoCase(name, prefix)) return false;
  std::string url = name.substr(prefix.size());
  return TheHistory().With([&] { return TheHistory().Delete(url); });
}

void AddVisit(const std::string& url, const std::string& title, DWORD flags) {
  TheHistory().With([&] { TheHistory().Add(url, title, flags); });
}

void ResetHistory() { TheHistory().Reset(); }

void RegisterHistoryClass() { RegisterBuiltinClass<HistoryStg, CLSID_CUrlHistory>(); }

}  // namespace kv::inet
