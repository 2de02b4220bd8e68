// The Reg* functions over the registry's trees.
#include "platform/registry/registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/registry/regfile.h"

namespace {

using kv::reg::Key;
using kv::reg::KeyPtr;
using kv::reg::kRootCount;
using kv::reg::Tree;
using kv::reg::Value;

constexpr DWORD kMaxKeyNameLength = 255;
constexpr DWORD kMaxValueNameLength = 16383;

struct Handle {
  int root = 0;
  std::vector<std::u16string> path;  // names from the root, as created
  KeyPtr key;
  uint64_t generation = 0;
  REGSAM access = 0;
};

// The store plus what lives only in this process: the handles and the mutex over both.
class Registry : public kv::reg::Store {
 public:
  std::mutex mutex;

  HKEY AddHandle(Handle h) {
    next_handle_ += 4;
    uintptr_t id = next_handle_;
    handles_[id] = std::move(h);
    return reinterpret_cast<HKEY>(id);
  }
  bool RemoveHandle(HKEY key) { return handles_.erase(reinterpret_cast<uintptr_t>(key)) > 0; }
  Handle* FindHandle(HKEY key) {
    auto it = handles_.find(reinterpret_cast<uintptr_t>(key));
    return it == handles_.end() ? nullptr : &it->second;
  }

 private:
  uintptr_t next_handle_ = 0x1000;
  std::unordered_map<uintptr_t, Handle> handles_;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // lives to the end of the process
  return *registry;
}

int PredefinedRoot(HKEY key) {
  auto v = reinterpret_cast<uintptr_t>(key);
  for (int i = 0; i < kRootCount; ++i) {
    if (v == static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(0x80000000u + i)))) return i;
  }
  return -1;
}

// The key a handle stands for (found again by path after the trees were reloaded).
LONG Resolve(Registry& reg, HKEY key, Handle& out) {
  int root = PredefinedRoot(key);
  if (root >= 0) {
    out.root = root;
    out.path.clear();
    out.key = reg.tree().roots[root];
    out.generation = reg.generation();
    out.access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  Handle* h = reg.FindHandle(key);
  if (!h) return ERROR_INVALID_HANDLE;
  if (h->generation != reg.generation()) {
    KeyPtr k = reg.tree().roots[h->root];
    for (const auto& name : h->path) {
      k = k->Find(name);
      if (!k) break;
    }
    h->key = k;
    h->generation = reg.generation();
  }
  if (!h->key || h->key->deleted) return ERROR_KEY_DELETED;
  out = *h;
  return ERROR_SUCCESS;
}

LONG SplitPath(const WCHAR* sub_key, std::vector<std::u16string>& parts) {
  parts.clear();
  if (!sub_key) return ERROR_SUCCESS;
  std::u16string_view s(sub_key);
  if (!s.empty() && s.front() == u'\\') return ERROR_BAD_PATHNAME;
  size_t start = 0;
  while (start < s.size()) {
    size_t end = s.find(u'\\', start);
    if (end == std::u16string_view::npos) end = s.size();
    if (end == start) return ERROR_BAD_PATHNAME;  // "a\\b"
    if (end - start > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    parts.emplace_back(s.substr(start, end - start));
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

std::u16string Widen(LPCSTR s) { return s ? kv::AnsiToWide(s) : std::u16string(); }

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Copies a result into a caller's buffer by the platform's size rules.
LONG GiveData(const std::vector<BYTE>& data, LPBYTE out, LPDWORD size) {
  if (!size) return out ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD need = static_cast<DWORD>(data.size());
  if (out && *size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (out && need) memcpy(out, data.data(), need);
  *size = need;
  return ERROR_SUCCESS;
}

template <class C>
LONG GiveName(const std::basic_string<C>& name, C* out, LPDWORD len) {
  if (!len || !out) return ERROR_INVALID_PARAMETER;
  if (*len <= name.size()) {
    *len = static_cast<DWORD>(name.size());
    return ERROR_MORE_DATA;
  }
  memcpy(out, name.data(), name.size() * sizeof(C));
  out[name.size()] = 0;
  *len = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// String data in the wide form, as the A functions hand it out.
std::vector<BYTE> NarrowData(DWORD type, const std::vector<BYTE>& data) {
  if (!IsStringType(type)) return data;
  std::u16string w(data.size() / 2, u'\0');
  if (!w.empty()) memcpy(w.data(), data.data(), w.size() * 2);
  std::string a = kv::WideToAnsi(w);
  return std::vector<BYTE>(a.begin(), a.end());
}

std::vector<BYTE> WidenData(DWORD type, const BYTE* data, DWORD size) {
  if (!data || size == 0) return {};
  if (!IsStringType(type)) return std::vector<BYTE>(data, data + size);
  std::u16string w = kv::AnsiToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<BYTE> out(w.size() * 2);
  if (!out.empty()) memcpy(out.data(), w.data(), out.size());
  return out;
}

bool Allowed(const Handle& h, REGSAM need) { return (h.access & need) == need; }

REGSAM Effective(REGSAM sam) {
  if (sam & MAXIMUM_ALLOWED) return KEY_ALL_ACCESS;
  // Generic rights as the platform maps them for keys.
  if (sam & 0x80000000u) sam |= KEY_READ;        // GENERIC_READ
  if (sam & 0x40000000u) sam |= KEY_WRITE;       // GENERIC_WRITE
  if (sam & 0x10000000u) sam |= KEY_ALL_ACCESS;  // GENERIC_ALL
  return sam;
}

LONG OpenOrCreate(HKEY key, const WCHAR* sub_key, DWORD options, REGSAM sam, bool create, PHKEY result,
                  LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (create && options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string> parts;
  LONG rc = SplitPath(sub_key, parts);
  if (rc != ERROR_SUCCESS) return rc;
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  Handle base;
  auto find = [&]() -> LONG {
    LONG r = reg.Refresh();
    if (r != ERROR_SUCCESS) return r;
    return Resolve(reg, key, base);
  };
  rc = find();
  if (rc != ERROR_SUCCESS) return rc;
  DWORD how = REG_OPENED_EXISTING_KEY;
  KeyPtr k = base.key;
  for (const auto& p : parts) {
    k = k->Find(p);
    if (!k) break;
  }
  if (!k) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    if (!Allowed(base, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (base.path.size() + parts.size() > kv::reg::kMaxDepth) return ERROR_INVALID_PARAMETER;
    rc = reg.Change([&](bool& changed) -> LONG {
      LONG r = Resolve(reg, key, base);
      if (r != ERROR_SUCCESS) return r;
      k = base.key;
      for (const auto& p : parts) {
        KeyPtr next = k->Find(p);
        if (!next) {
          next = k->Add(p);
          changed = true;
          how = REG_CREATED_NEW_KEY;
        }
        k = next;
      }
      return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
  }
  Handle h;
  h.root = base.root;
  h.path = base.path;
  // Keep the names as the keys have them.
  KeyPtr walk = base.key;
  for (const auto& p : parts) {
    walk = walk->Find(p);
    h.path.push_back(walk->name);
  }
  h.key = k;
  h.generation = reg.generation();
  h.access = Effective(sam);
  *result = reg.AddHandle(std::move(h));
  if (disposition) *disposition = how;
  return ERROR_SUCCESS;
}

LONG DeleteKey(HKEY key, const WCHAR* sub_key, bool tree) {
  std::vector<std::u16string> parts;
  LONG rc = SplitPath(sub_key, parts);
  if (rc != ERROR_SUCCESS) return rc;
  if (!tree && parts.empty()) return ERROR_BADKEY;
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  return reg.Change([&](bool& changed) -> LONG {
    Handle base;
    LONG r = Resolve(reg, key, base);
    if (r != ERROR_SUCCESS) return r;
    KeyPtr k = base.key;
    for (const auto& p : parts) {
      k = k->Find(p);
      if (!k) return ERROR_FILE_NOT_FOUND;
    }
    if (parts.empty()) {  // empty the key itself
      if (!Allowed(base, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
      for (auto& [name, child] : k->subkeys) kv::reg::MarkDeleted(*child);
      changed = !k->subkeys.empty() || !k->values.empty();
      k->subkeys.clear();
      k->values.clear();
      return ERROR_SUCCESS;
    }
    if (!tree && !k->subkeys.empty()) return ERROR_ACCESS_DENIED;
    KeyPtr parent = base.key;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parent = parent->Find(parts[i]);
    kv::reg::MarkDeleted(*k);
    parent->Remove(parts.back());
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG SetValue(HKEY key, const std::u16string& name, DWORD type, std::vector<BYTE> data) {
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  return reg.Change([&](bool& changed) -> LONG {
    Handle h;
    LONG r = Resolve(reg, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!Allowed(h, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Value* v = h.key->FindValue(name);
    if (v && v->type == type && v->data == data) return ERROR_SUCCESS;
    if (!v) {
      h.key->values.push_back(Value{name, type, {}});
      v = &h.key->values.back();
    }
    v->type = type;
    v->data = std::move(data);
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG GetValue(HKEY key, const std::u16string& name, DWORD& type, std::vector<BYTE>& data) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  LONG rc = reg.Refresh();
  if (rc != ERROR_SUCCESS) return rc;
  Handle h;
  rc = Resolve(reg, key, h);
  if (rc != ERROR_SUCCESS) return rc;
  if (!Allowed(h, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const Value* v = h.key->FindValue(name);
  if (!v) return ERROR_FILE_NOT_FOUND;
  type = v->type;
  data = v->data;
  return ERROR_SUCCESS;
}

LONG DeleteValue(HKEY key, const std::u16string& name) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  return reg.Change([&](bool& changed) -> LONG {
    Handle h;
    LONG r = Resolve(reg, key, h);
    if (r != ERROR_SUCCESS) return r;
    if (!Allowed(h, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!h.key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    changed = true;
    return ERROR_SUCCESS;
  });
}

// Reads under the lock: a copy of what enumeration needs.
LONG Snapshot(HKEY key, REGSAM need, Handle& h) {
  Registry& reg = TheRegistry();
  LONG rc = reg.Refresh();
  if (rc != ERROR_SUCCESS) return rc;
  rc = Resolve(reg, key, h);
  if (rc != ERROR_SUCCESS) return rc;
  if (!Allowed(h, need)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

LONG EnumKey(HKEY key, DWORD index, std::u16string& name) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  Handle h;
  LONG rc = Snapshot(key, KEY_ENUMERATE_SUB_KEYS, h);
  if (rc != ERROR_SUCCESS) return rc;
  if (index >= h.key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  auto it = h.key->subkeys.begin();
  std::advance(it, index);
  name = it->second->name;
  return ERROR_SUCCESS;
}

LONG EnumValue(HKEY key, DWORD index, Value& value) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  Handle h;
  LONG rc = Snapshot(key, KEY_QUERY_VALUE, h);
  if (rc != ERROR_SUCCESS) return rc;
  if (index >= h.key->values.size()) return ERROR_NO_MORE_ITEMS;
  value = h.key->values[index];
  return ERROR_SUCCESS;
}

struct KeyInfo {
  DWORD sub_keys = 0, max_sub_key_len = 0, values = 0, max_value_name_len = 0, max_value_len = 0;
};

LONG QueryInfo(HKEY key, bool ansi, KeyInfo& info) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  Handle h;
  LONG rc = Snapshot(key, KEY_QUERY_VALUE, h);
  if (rc != ERROR_SUCCESS) return rc;
  auto length = [&](const std::u16string& s) -> DWORD {
    return static_cast<DWORD>(ansi ? kv::WideToAnsi(s).size() : s.size());
  };
  info.sub_keys = static_cast<DWORD>(h.key->subkeys.size());
  for (const auto& [n, child] : h.key->subkeys)
    info.max_sub_key_len = std::max(info.max_sub_key_len, length(child->name));
  info.values = static_cast<DWORD>(h.key->values.size());
  for (const auto& v : h.key->values) {
    info.max_value_name_len = std::max(info.max_value_name_len, length(v.name));
    DWORD size = static_cast<DWORD>(ansi ? NarrowData(v.type, v.data).size() : v.data.size());
    info.max_value_len = std::max(info.max_value_len, size);
  }
  return ERROR_SUCCESS;
}

void GiveInfo(const KeyInfo& info, LPDWORD class_len, LPDWORD sub_keys, LPDWORD max_sub_key_len, LPDWORD max_class_len,
              LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len, LPDWORD security,
              FILETIME* last_write) {
  if (class_len) *class_len = 0;
  if (sub_keys) *sub_keys = info.sub_keys;
  if (max_sub_key_len) *max_sub_key_len = info.max_sub_key_len;
  if (max_class_len) *max_class_len = 0;
  if (values) *values = info.values;
  if (max_value_name_len) *max_value_name_len = info.max_value_name_len;
  if (max_value_len) *max_value_len = info.max_value_len;
  if (security) *security = 0;
  if (last_write) *last_write = FILETIME{0, 0};
}

// The A and W forms of the query and enumeration functions share one body: C is char for
// the A forms (names and string data in the ANSI code page) and WCHAR for the W forms.
template <class C>
constexpr bool kAnsi = std::is_same_v<C, char>;

template <class C>
std::u16string NameArg(const C* name) {
  if constexpr (kAnsi<C>)
    return Widen(name);
  else
    return name ? std::u16string(name) : std::u16string();
}

template <class C>
std::basic_string<C> NameResult(const std::u16string& name) {
  if constexpr (kAnsi<C>)
    return kv::WideToAnsi(name);
  else
    return name;
}

template <class C>
std::vector<BYTE> DataResult(DWORD type, const std::vector<BYTE>& data) {
  if constexpr (kAnsi<C>)
    return NarrowData(type, data);
  else
    return data;
}

template <class C>
LONG QueryValueOf(HKEY key, const C* value_name, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  DWORD t = 0;
  std::vector<BYTE> bytes;
  LONG rc = GetValue(key, NameArg(value_name), t, bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (type) *type = t;
  return GiveData(DataResult<C>(t, bytes), data, size);
}

// A key's default value, which must be a string; an unset one reads as the empty string.
template <class C>
LONG QueryDefaultValue(HKEY key, const C* sub_key, C* data, LONG* size) {
  HKEY sub = key;
  if (sub_key && *sub_key) {
    LONG rc = RegOpenKeyExW(key, NameArg(sub_key).c_str(), 0, KEY_QUERY_VALUE, &sub);
    if (rc != ERROR_SUCCESS) return rc;
  }
  DWORD t = 0;
  std::vector<BYTE> bytes;
  LONG rc = GetValue(sub, u"", t, bytes);
  if (sub != key) RegCloseKey(sub);
  if (rc == ERROR_FILE_NOT_FOUND) {
    bytes.assign(sizeof(C), 0);
  } else if (rc != ERROR_SUCCESS) {
    return rc;
  } else if (t != REG_SZ) {
    return ERROR_INVALID_DATA;
  } else {
    bytes = DataResult<C>(t, bytes);
  }
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD n = static_cast<DWORD>(*size);
  rc = GiveData(bytes, reinterpret_cast<LPBYTE>(data), &n);
  *size = static_cast<LONG>(n);
  return rc;
}

template <class C>
LONG EnumKeyOf(HKEY key, DWORD index, C* name, LPDWORD name_len, LPDWORD class_len, FILETIME* last_write) {
  std::u16string n;
  LONG rc = EnumKey(key, index, n);
  if (rc != ERROR_SUCCESS) return rc;
  if (class_len) *class_len = 0;
  if (last_write) *last_write = FILETIME{0, 0};
  return GiveName(NameResult<C>(n), name, name_len);
}

template <class C>
LONG EnumValueOf(HKEY key, DWORD index, C* name, LPDWORD name_len, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  Value v;
  LONG rc = EnumValue(key, index, v);
  if (rc != ERROR_SUCCESS) return rc;
  rc = GiveName(NameResult<C>(v.name), name, name_len);
  if (rc != ERROR_SUCCESS) return rc;
  if (type) *type = v.type;
  return GiveData(DataResult<C>(v.type, v.data), data, size);
}

template <class C>
LONG QueryInfoOf(HKEY key, C* class_name, LPDWORD class_len, LPDWORD sub_keys, LPDWORD max_sub_key_len,
                 LPDWORD max_class_len, LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len,
                 LPDWORD security, FILETIME* last_write) {
  KeyInfo info;
  LONG rc = QueryInfo(key, kAnsi<C>, info);
  if (rc != ERROR_SUCCESS) return rc;
  if (class_name && class_len && *class_len) class_name[0] = 0;
  GiveInfo(info, class_len, sub_keys, max_sub_key_len, max_class_len, values, max_value_name_len, max_value_len,
           security, last_write);
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD, LPWSTR, DWORD options, REGSAM sam, void*, PHKEY result,
                     LPDWORD disposition) {
  return OpenOrCreate(key, sub_key, options, sam, true, result, disposition);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD, LPSTR, DWORD options, REGSAM sam, void*, PHKEY result,
                     LPDWORD disposition) {
  std::u16string w = Widen(sub_key);
  return OpenOrCreate(key, sub_key ? w.c_str() : nullptr, options, sam, true, result, disposition);
}

LONG RegCreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) {
  return RegCreateKeyExW(key, sub_key, 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, result, nullptr);
}

LONG RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result) {
  return RegCreateKeyExA(key, sub_key, 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, result, nullptr);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD, REGSAM sam, PHKEY result) {
  return OpenOrCreate(key, sub_key, 0, sam, false, result, nullptr);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD, REGSAM sam, PHKEY result) {
  std::u16string w = Widen(sub_key);
  return OpenOrCreate(key, sub_key ? w.c_str() : nullptr, 0, sam, false, result, nullptr);
}

LONG RegOpenKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) {
  return RegOpenKeyExW(key, sub_key, 0, MAXIMUM_ALLOWED, result);
}

LONG RegOpenKeyA(HKEY key, LPCSTR sub_key, PHKEY result) {
  return RegOpenKeyExA(key, sub_key, 0, MAXIMUM_ALLOWED, result);
}

LONG RegCloseKey(HKEY key) {
  if (PredefinedRoot(key) >= 0) return ERROR_SUCCESS;
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  return reg.RemoveHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY key) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  LONG rc = reg.Refresh();
  if (rc != ERROR_SUCCESS) return rc;
  Handle h;
  return Resolve(reg, key, h);
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR sub_key) { return DeleteKey(key, sub_key, false); }
LONG RegDeleteKeyA(HKEY key, LPCSTR sub_key) {
  std::u16string w = Widen(sub_key);
  return DeleteKey(key, sub_key ? w.c_str() : nullptr, false);
}
LONG RegDeleteTreeW(HKEY key, LPCWSTR sub_key) { return DeleteKey(key, sub_key, true); }
LONG RegDeleteTreeA(HKEY key, LPCSTR sub_key) {
  std::u16string w = Widen(sub_key);
  return DeleteKey(key, sub_key ? w.c_str() : nullptr, true);
}
DWORD SHDeleteKeyW(HKEY key, LPCWSTR sub_key) {
  if (!sub_key || !*sub_key) return ERROR_BADKEY;
  return static_cast<DWORD>(DeleteKey(key, sub_key, true));
}
DWORD SHDeleteKeyA(HKEY key, LPCSTR sub_key) {
  if (!sub_key || !*sub_key) return ERROR_BADKEY;
  return static_cast<DWORD>(RegDeleteTreeA(key, sub_key));
}

LONG RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_NOACCESS;
  std::vector<BYTE> bytes = data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
  return SetValue(key, value_name ? value_name : u"", type, std::move(bytes));
}

LONG RegSetValueExA(HKEY key, LPCSTR value_name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_NOACCESS;
  return SetValue(key, Widen(value_name), type, WidenData(type, data, size));
}

LONG RegSetValueW(HKEY key, LPCWSTR sub_key, DWORD type, LPCWSTR data, DWORD) {
  if (type != REG_SZ || !data) return ERROR_INVALID_PARAMETER;
  HKEY sub = key;
  if (sub_key && *sub_key) {
    LONG rc = RegCreateKeyW(key, sub_key, &sub);
    if (rc != ERROR_SUCCESS) return rc;
  }
  std::u16string_view text(data);
  LONG rc = RegSetValueExW(sub, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                           static_cast<DWORD>((text.size() + 1) * 2));
  if (sub != key) RegCloseKey(sub);
  return rc;
}

LONG RegSetValueA(HKEY key, LPCSTR sub_key, DWORD type, LPCSTR data, DWORD size) {
  if (type != REG_SZ || !data) return ERROR_INVALID_PARAMETER;
  std::u16string w = Widen(sub_key);
  std::u16string d = Widen(data);
  return RegSetValueW(key, sub_key ? w.c_str() : nullptr, type, d.c_str(), size);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  return QueryValueOf(key, value_name, type, data, size);
}
LONG RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  return QueryValueOf(key, value_name, type, data, size);
}

LONG RegQueryValueW(HKEY key, LPCWSTR sub_key, LPWSTR data, LONG* size) {
  return QueryDefaultValue(key, sub_key, data, size);
}
LONG RegQueryValueA(HKEY key, LPCSTR sub_key, LPSTR data, LONG* size) {
  return QueryDefaultValue(key, sub_key, data, size);
}

LONG RegDeleteValueW(HKEY key, LPCWSTR value_name) { return DeleteValue(key, value_name ? value_name : u""); }
LONG RegDeleteValueA(HKEY key, LPCSTR value_name) { return DeleteValue(key, Widen(value_name)); }

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD, LPWSTR, LPDWORD class_len,
                   FILETIME* last_write) {
  return EnumKeyOf(key, index, name, name_len, class_len, last_write);
}
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD, LPSTR, LPDWORD class_len,
                   FILETIME* last_write) {
  return EnumKeyOf(key, index, name, name_len, class_len, last_write);
}

LONG RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD name_len) {
  return RegEnumKeyExW(key, index, name, &name_len, nullptr, nullptr, nullptr, nullptr);
}
LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_len) {
  return RegEnumKeyExA(key, index, name, &name_len, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD size) {
  return EnumValueOf(key, index, name, name_len, type, data, size);
}
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD size) {
  return EnumValueOf(key, index, name, name_len, type, data, size);
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_len, LPDWORD, LPDWORD sub_keys,
                      LPDWORD max_sub_key_len, LPDWORD max_class_len, LPDWORD values, LPDWORD max_value_name_len,
                      LPDWORD max_value_len, LPDWORD security, FILETIME* last_write) {
  return QueryInfoOf(key, class_name, class_len, sub_keys, max_sub_key_len, max_class_len, values, max_value_name_len,
                     max_value_len, security, last_write);
}
LONG RegQueryInfoKeyA(HKEY key, LPSTR class_name, LPDWORD class_len, LPDWORD, LPDWORD sub_keys, LPDWORD max_sub_key_len,
                      LPDWORD max_class_len, LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len,
                      LPDWORD security, FILETIME* last_write) {
  return QueryInfoOf(key, class_name, class_len, sub_keys, max_sub_key_len, max_class_len, values, max_value_name_len,
                     max_value_len, security, last_write);
}

void KvRegistryReload(void) {
  Registry& reg = TheRegistry();
  std::lock_guard lock(reg.mutex);
  reg.Forget();
}

size_t KvRegistryDump(char* out, size_t size) {
  Registry& reg = TheRegistry();
  std::string text;
  {
    std::lock_guard lock(reg.mutex);
    if (reg.Refresh() == ERROR_SUCCESS) text = kv::reg::Serialize(reg.tree());
  }
  if (out && size) {
    size_t n = std::min(size - 1, text.size());
    memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return text.size();
}

}  // extern "C"
