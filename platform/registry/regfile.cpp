// The registry's trees, their text form and the store that loads, saves and locks the file.
#include "platform/registry/regfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/base/file.h"
#include "platform/base/path.h"

namespace kv::reg {

const char* const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                            "HKEY_USERS"};

namespace {

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

bool CaseLess::operator()(const std::u16string& a, const std::u16string& b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

KeyPtr Key::Find(const std::u16string& n) const {
  auto it = subkeys.find(n);
  return it == subkeys.end() ? nullptr : it->second;
}

KeyPtr Key::Add(const std::u16string& n) {
  auto k = std::make_shared<Key>();
  k->name = n;
  subkeys[n] = k;
  return k;
}

void Key::Remove(const std::u16string& n) { subkeys.erase(n); }

Value* Key::FindValue(const std::u16string& n) {
  for (auto& v : values)
    if (SameName(v.name, n)) return &v;
  return nullptr;
}

bool Key::RemoveValue(const std::u16string& n) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameName(it->name, n)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

Tree::Tree() {
  for (auto& r : roots) r = std::make_shared<Key>();
}

void MarkDeleted(Key& key) {
  key.deleted = true;
  for (auto& [n, child] : key.subkeys) MarkDeleted(*child);
}

// ---------------------------------------------------------------------------------------
// Writing.

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Walks UTF-16 text, giving code points; a lone surrogate comes as itself with `lone` set.
template <class F>
void ForEachCodePoint(std::u16string_view s, F&& f) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      f(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00), false);
      ++i;
    } else {
      f(static_cast<char32_t>(c), c >= 0xD800 && c <= 0xDFFF);
    }
  }
}

void AppendQuoted(std::string& out, std::u16string_view s) {
  out += '"';
  ForEachCodePoint(s, [&](char32_t c, bool lone) {
    char buf[8];
    if (lone || (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != 0) || c == 0x7F) {
      snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
      return;
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0: out += "\\0"; break;
      default: AppendUtf8(out, c);
    }
  });
  out += '"';
}

void AppendKeyName(std::string& out, std::u16string_view s) {
  ForEachCodePoint(s, [&](char32_t c, bool lone) {
    char buf[8];
    if (lone) {
      snprintf(buf, sizeof buf, "%%u%04X", static_cast<unsigned>(c));
      out += buf;
    } else if (c < 0x20 || c == 0x7F || c == '%' || c == '[' || c == ']') {
      snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned>(c));
      out += buf;
    } else {
      AppendUtf8(out, c);
    }
  });
}

std::u16string Chars(const std::vector<BYTE>& data) {
  std::u16string s(data.size() / 2, u'\0');
  if (!s.empty()) memcpy(s.data(), data.data(), s.size() * 2);
  return s;
}

void AppendHex(std::string& out, const std::vector<BYTE>& data) {
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", data[i]);
    out += buf;
  }
}

void AppendData(std::string& out, DWORD type, const std::vector<BYTE>& data) {
  char buf[32];
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.size() >= 2 && data.size() % 2 == 0) {
    std::u16string s = Chars(data);
    if (s.back() == 0 && s.find(u'\0') == s.size() - 1) {
      if (type == REG_EXPAND_SZ) out += "expand:";
      s.pop_back();
      AppendQuoted(out, s);
      return;
    }
  }
  if (type == REG_MULTI_SZ && data.size() >= 2 && data.size() % 2 == 0) {
    std::u16string s = Chars(data);
    bool fits = false;
    std::vector<std::u16string> items;
    if (s == std::u16string(1, u'\0')) {
      fits = true;
    } else if (s.size() >= 3 && s[s.size() - 1] == 0 && s[s.size() - 2] == 0) {
      fits = true;
      size_t start = 0;
      while (start < s.size() - 1) {
        size_t end = s.find(u'\0', start);
        if (end == start) {
          fits = false;
          break;
        }
        items.push_back(s.substr(start, end - start));
        start = end + 1;
      }
    }
    if (fits) {
      out += "multi:";
      for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        AppendQuoted(out, items[i]);
      }
      return;
    }
  }
  if (type == REG_DWORD && data.size() == 4) {
    DWORD v;
    memcpy(&v, data.data(), 4);
    snprintf(buf, sizeof buf, "dword:%08x", v);
    out += buf;
    return;
  }
  if (type == REG_QWORD && data.size() == 8) {
    ULONGLONG v;
    memcpy(&v, data.data(), 8);
    snprintf(buf, sizeof buf, "qword:%016llx", static_cast<unsigned long long>(v));
    out += buf;
    return;
  }
  if (type == REG_BINARY) {
    out += "hex:";
  } else {
    snprintf(buf, sizeof buf, "hex(%x):", type);
    out += buf;
  }
  AppendHex(out, data);
}

void WriteKey(std::string& out, const std::string& path, const Key& key, bool is_root) {
  if (!is_root || !key.values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
    for (const auto& v : key.values) {
      if (v.name.empty()) {
        out += '@';
      } else {
        AppendQuoted(out, v.name);
      }
      out += '=';
      AppendData(out, v.type, v.data);
      out += '\n';
    }
    out += '\n';
  }
  for (const auto& [n, child] : key.subkeys) {
    std::string sub = path;
    sub += '\\';
    AppendKeyName(sub, child->name);
    WriteKey(out, sub, *child, false);
  }
}

}  // namespace

std::string Serialize(const Tree& tree) {
  std::string out = "KORVANE REGISTRY 1\n\n";
  for (int i = 0; i < kRootCount; ++i) WriteKey(out, kRootNames[i], *tree.roots[i], true);
  return out;
}

// ---------------------------------------------------------------------------------------
// Reading.

namespace {

class Reader {
 public:
  Reader(std::string_view line) : s_(line) {}

  bool AtEnd() const { return i_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i_;
    return true;
  }
  bool EatWord(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  // One UTF-8 code point as UTF-16.
  bool Utf8(std::u16string& out) {
    auto b = static_cast<unsigned char>(s_[i_]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0) return false;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k <= extra; ++k) {
      if (i_ + k >= s_.size()) return false;
      auto t = static_cast<unsigned char>(s_[i_ + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    i_ += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    return true;
  }

  bool Hex(size_t digits, uint64_t& v) {
    v = 0;
    for (size_t k = 0; k < digits; ++k) {
      int d = HexDigit(Peek());
      if (d < 0) return false;
      v = v * 16 + static_cast<unsigned>(d);
      ++i_;
    }
    return true;
  }

  bool Quoted(std::u16string& out) {
    if (!Eat('"')) return false;
    while (!AtEnd()) {
      char c = s_[i_];
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c == '\\') {
        ++i_;
        char e = Peek();
        ++i_;
        switch (e) {
          case '\\': out += u'\\'; break;
          case '"': out += u'"'; break;
          case 'n': out += u'\n'; break;
          case 'r': out += u'\r'; break;
          case 't': out += u'\t'; break;
          case '0': out += u'\0'; break;
          case 'u': {
            uint64_t v;
            if (!Hex(4, v)) return false;
            out += static_cast<char16_t>(v);
            break;
          }
          default: return false;
        }
        continue;
      }
      if (!Utf8(out)) return false;
    }
    return false;
  }

  bool HexBytes(std::vector<BYTE>& out) {
    while (!AtEnd()) {
      uint64_t v;
      if (!Hex(2, v)) return false;
      out.push_back(static_cast<BYTE>(v));
      if (AtEnd()) break;
      if (!Eat(',')) return false;
    }
    return true;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

std::vector<BYTE> Bytes(const std::u16string& s) {
  std::vector<BYTE> out(s.size() * 2);
  if (!out.empty()) memcpy(out.data(), s.data(), out.size());
  return out;
}

bool ParseData(Reader& r, DWORD& type, std::vector<BYTE>& data) {
  std::u16string s;
  if (r.Peek() == '"') {
    type = REG_SZ;
    if (!r.Quoted(s)) return false;
    s += u'\0';
    data = Bytes(s);
    return r.AtEnd();
  }
  if (r.EatWord("expand:")) {
    type = REG_EXPAND_SZ;
    if (!r.Quoted(s)) return false;
    s += u'\0';
    data = Bytes(s);
    return r.AtEnd();
  }
  if (r.EatWord("multi:")) {
    type = REG_MULTI_SZ;
    bool any = false;
    while (!r.AtEnd()) {
      if (any && !r.Eat(',')) return false;
      std::u16string item;
      if (!r.Quoted(item) || item.empty()) return false;
      s += item;
      s += u'\0';
      any = true;
    }
    s += u'\0';
    data = Bytes(s);
    return true;
  }
  uint64_t v;
  if (r.EatWord("dword:")) {
    type = REG_DWORD;
    if (!r.Hex(8, v) || !r.AtEnd()) return false;
    auto d = static_cast<DWORD>(v);
    data.resize(4);
    memcpy(data.data(), &d, 4);
    return true;
  }
  if (r.EatWord("qword:")) {
    type = REG_QWORD;
    if (!r.Hex(16, v) || !r.AtEnd()) return false;
    data.resize(8);
    memcpy(data.data(), &v, 8);
    return true;
  }
  if (r.EatWord("hex:")) {
    type = REG_BINARY;
    return r.HexBytes(data);
  }
  if (r.EatWord("hex(")) {
    uint64_t t = 0;
    int digits = 0;
    while (Reader::HexDigit(r.Peek()) >= 0 && digits < 8) {
      uint64_t d;
      r.Hex(1, d);
      t = t * 16 + d;
      ++digits;
    }
    if (digits == 0 || !r.EatWord("):")) return false;
    type = static_cast<DWORD>(t);
    return r.HexBytes(data);
  }
  return false;
}

bool ParseKeyName(std::string_view text, std::u16string& out) {
  Reader r(text);
  while (!r.AtEnd()) {
    if (r.Eat('%')) {
      uint64_t v;
      if (r.Eat('u')) {
        if (!r.Hex(4, v)) return false;
      } else if (!r.Hex(2, v)) {
        return false;
      }
      if (v == u'\\') return false;  // a separator, never part of a name
      out += static_cast<char16_t>(v);
    } else if (!r.Utf8(out)) {
      return false;
    }
  }
  return !out.empty();
}

}  // namespace

bool Parse(const std::string& text, Tree& tree, std::string& error) {
  tree = Tree();
  size_t pos = 0;
  int line_no = 0;
  Key* current = nullptr;
  bool header = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      // Every line of a complete file ends in a newline.
      error = "line " + std::to_string(line_no + 1) + ": unterminated";
      return false;
    }
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    ++line_no;
    auto fail = [&](const char* what) {
      error = "line " + std::to_string(line_no) + ": " + what;
      return false;
    };
    if (!header) {
      if (line != "KORVANE REGISTRY 1") return fail("not a registry file");
      header = true;
      continue;
    }
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("bad key line");
      std::string_view path = line.substr(1, line.size() - 2);
      size_t cut = path.find('\\');
      std::string_view root_name = path.substr(0, cut);
      int root = -1;
      for (int i = 0; i < kRootCount; ++i)
        if (root_name == kRootNames[i]) root = i;
      if (root < 0) return fail("unknown root key");
      Key* k = tree.roots[root].get();
      size_t depth = 0;
      while (cut != std::string_view::npos) {
        if (++depth > kMaxDepth) return fail("key too deep");
        size_t next = path.find('\\', cut + 1);
        std::string_view part = path.substr(cut + 1, next == std::string_view::npos ? next : next - cut - 1);
        std::u16string name;
        if (!ParseKeyName(part, name)) return fail("bad key name");
        KeyPtr child = k->Find(name);
        if (!child) child = k->Add(name);
        k = child.get();
        cut = next;
      }
      current = k;
      continue;
    }
    if (!current) return fail("value outside a key");
    Reader r(line);
    Value v;
    if (!r.Eat('@')) {
      if (!r.Quoted(v.name) || v.name.empty()) return fail("bad value name");
    }
    if (!r.Eat('=')) return fail("missing '='");
    if (!ParseData(r, v.type, v.data)) return fail("bad value data");
    if (current->FindValue(v.name)) return fail("value given twice");
    current->values.push_back(std::move(v));
  }
  if (!header && !text.empty()) {
    error = "not a registry file";
    return false;
  }
  return true;
}

// ---- The store -------------------------------------------------------------------------

LONG Store::Refresh() {
  if (!loaded_) {
    std::string home = KvHomeDirectory();
    if (home.empty()) return ERROR_REGISTRY_IO_FAILED;  // no folder to keep the file in
    file_ = home + "/registry.txt";
    lock_file_ = home + "/registry.lock";
    loaded_ = true;
    Reread();  // force the first read
  }
  FileIdentity now = Identify();
  if (now == seen_ && !corrupt_) return ERROR_SUCCESS;
  return Load(now);
}

void Store::Forget() {
  loaded_ = false;
  corrupt_ = false;
  for (auto& root : tree_.roots) root = std::make_shared<Key>();
  ++generation_;
}

void Store::Reread() {
  seen_ = FileIdentity{};
  seen_.exists = true;
}

LONG Store::Lock(int& fd) {
  fd = open(lock_file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return ERROR_CANTWRITE;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return ERROR_CANTWRITE;
    }
  }
  return ERROR_SUCCESS;
}

void Store::Unlock(int fd) {
  flock(fd, LOCK_UN);
  close(fd);
}

FileIdentity Store::Identify() const {
  struct stat st;
  FileIdentity id;
  if (stat(file_.c_str(), &st) != 0) return id;
  id.exists = true;
  id.dev = st.st_dev;
  id.ino = st.st_ino;
  id.size = st.st_size;
  id.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

namespace {

bool ReadWhole(const std::string& path, std::string& text) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

}  // namespace

LONG Store::Load(const FileIdentity& now) {
  Tree fresh;
  if (now.exists) {
    std::string text;
    if (!ReadWhole(file_, text)) {
      corrupt_ = true;
      return ERROR_REGISTRY_CORRUPT;
    }
    std::string error;
    if (!Parse(text, fresh, error)) {
      if (!corrupt_) fprintf(stderr, "registry: %s: %s\n", file_.c_str(), error.c_str());
      corrupt_ = true;
      return ERROR_REGISTRY_CORRUPT;
    }
  }
  for (auto& root : tree_.roots) MarkDeleted(*root);
  tree_ = std::move(fresh);
  corrupt_ = false;
  seen_ = now;
  ++generation_;
  return ERROR_SUCCESS;
}

bool Store::Save() {
  std::string text = Serialize(tree_);
  // The file is the user's own: a new one is readable by its owner only.
  if (!KvWriteFileAtomicMode(file_.c_str(), text.data(), text.size(), 0600)) return false;
  seen_ = Identify();
  return true;
}

}  // namespace kv::reg
