// Modules over dlopen, and built-in modules with tables of named functions.
#include "platform/base/module.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/internal.h"
#include "platform/base/path.h"
#include "platform/base/trace.h"

namespace {

struct Builtin {
  std::string key;   // lower-case file name with extension
  std::string name;  // as registered
  const KvExport* exports;
  size_t count;
};

struct Loaded {
  void* dl;
  std::string path;
  long count;
};

std::mutex g_lock;
std::vector<Builtin*>& Builtins() {
  static auto* v = new std::vector<Builtin*>;  // records are handles: never freed
  return *v;
}
std::unordered_map<uintptr_t, Loaded>& LoadedModules() {
  static auto* m = new std::unordered_map<uintptr_t, Loaded>;
  return *m;
}

std::string ExecutablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// A loaded object of the process: its module handle value and file.
struct ObjectInfo {
  uintptr_t base = 0;
  std::string path;
};

uintptr_t BaseOf(const dl_phdr_info* info) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type == PT_LOAD) return (info->dlpi_addr + info->dlpi_phdr[i].p_vaddr) & ~(page - 1);
  }
  return info->dlpi_addr;
}

bool Contains(const dl_phdr_info* info, uintptr_t address) {
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (address >= start && address < start + ph.p_memsz) return true;
  }
  return false;
}

struct Search {
  enum Mode { kByAddress, kByBase, kByLoadBias, kFirst };
  explicit Search(Mode m) : mode(m) {}
  Mode mode;
  uintptr_t value = 0;
  const char* name = nullptr;
  bool first_seen = false;
  bool found = false;
  ObjectInfo result;
};

int SearchCallback(dl_phdr_info* info, size_t, void* data) {
  auto* s = static_cast<Search*>(data);
  const bool is_exe = !s->first_seen;
  s->first_seen = true;
  bool match = false;
  switch (s->mode) {
    case Search::kFirst: match = true; break;
    case Search::kByAddress: match = Contains(info, s->value); break;
    case Search::kByBase: match = BaseOf(info) == s->value; break;
    case Search::kByLoadBias:
      match = info->dlpi_addr == s->value && info->dlpi_name && s->name && std::strcmp(info->dlpi_name, s->name) == 0;
      break;
  }
  if (!match) return 0;
  s->found = true;
  s->result.base = BaseOf(info);
  s->result.path = is_exe || !info->dlpi_name || !*info->dlpi_name ? ExecutablePath() : info->dlpi_name;
  return 1;
}

bool FindObject(Search* s) {
  dl_iterate_phdr(SearchCallback, s);
  return s->found;
}

uintptr_t ExecutableBase() {
  Search s(Search::kFirst);
  return FindObject(&s) ? s.result.base : 0;
}

std::string Lower(std::string s) {
  for (char& c : s) c = kv::base::LowerAscii(c);
  return s;
}

// The platform's default extension: a file name without "." gets ".dll"; a trailing "."
// means "no extension".
std::string WithDefaultExtension(std::string name) {
  size_t sep = name.find_last_of("/\\");
  std::string file = sep == std::string::npos ? name : name.substr(sep + 1);
  if (!file.empty() && file.back() == '.') {
    name.pop_back();
  } else if (file.find('.') == std::string::npos) {
    name += ".dll";
  }
  return name;
}

std::string FileKey(const std::string& name) {
  std::string n = WithDefaultExtension(name);
  size_t sep = n.find_last_of("/\\");
  return Lower(sep == std::string::npos ? n : n.substr(sep + 1));
}

Builtin* FindBuiltinLocked(const std::string& key) {
  for (Builtin* b : Builtins()) {
    if (b->key == key) return b;
  }
  return nullptr;
}

Builtin* AsBuiltinLocked(HMODULE module) {
  for (Builtin* b : Builtins()) {
    if (reinterpret_cast<HMODULE>(b) == module) return b;
  }
  return nullptr;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// `dir/file`, matching the file name without letter case when no exact match exists.
std::string FindInFolder(const std::string& dir, const std::string& file) {
  if (dir.empty()) return {};
  std::string exact = dir + (dir.back() == '/' ? "" : "/") + file;
  if (IsFile(exact)) return exact;
  DIR* d = opendir(dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = readdir(d)) {
    if (kv::base::EqualsNoCase(e->d_name, file)) {
      std::string candidate = dir + (dir.back() == '/' ? "" : "/") + e->d_name;
      if (IsFile(candidate)) {
        found = candidate;
        break;
      }
    }
  }
  closedir(d);
  return found;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string SystemFolder() {
  char buf[4096];
  UINT n = GetSystemDirectoryA(buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return {};
  return kv::base::AnsiToUtf8(std::string(buf, n));
}

// A file given by a relative path is opened by its absolute path, so that the module's
// recorded file name (GetModuleFileName) stays valid when the current folder changes.
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/' || path.find('/') == std::string::npos) return path;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return (std::filesystem::path(cwd) / path).lexically_normal().string();
}

HMODULE OpenFile(const std::string& given_path, bool search_by_dlopen) {
  const std::string path = Absolute(given_path);
  dlerror();
  void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    const char* why = dlerror();
    KvTrace("module", "dlopen %s: %s", path.c_str(), why ? why : "?");
    bool missing_file = search_by_dlopen || !IsFile(path);
    SetLastError(missing_file || (why && std::strstr(why, "cannot open shared object")) ? ERROR_MOD_NOT_FOUND
                                                                                        : ERROR_BAD_FORMAT);
    return nullptr;
  }
  link_map* lm = nullptr;
  Search s(Search::kByLoadBias);
  if (dlinfo(dl, RTLD_DI_LINKMAP, &lm) == 0 && lm) {
    s.value = lm->l_addr;
    s.name = lm->l_name;
  }
  if (!lm || !FindObject(&s)) {
    dlclose(dl);
    SetLastError(ERROR_BAD_FORMAT);
    return nullptr;
  }
  std::lock_guard<std::mutex> lk(g_lock);
  auto& rec = LoadedModules()[s.result.base];
  rec.dl = dl;
  rec.path = s.result.path;
  ++rec.count;
  KvTrace("module", "loaded %s (count %ld)", rec.path.c_str(), rec.count);
  return reinterpret_cast<HMODULE>(s.result.base);
}

HMODULE Load(const std::string& utf8_name, DWORD flags, const void* caller) {
  if (utf8_name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (flags & ~static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lk(g_lock);
    if (Builtin* b = FindBuiltinLocked(FileKey(utf8_name))) return reinterpret_cast<HMODULE>(b);
  }
  std::string name = WithDefaultExtension(utf8_name);
  if (name.find_first_of("/\\") != std::string::npos) {
    std::string mapped = kv::base::MapUtf8Path(name);
    if (mapped.empty()) return nullptr;
    std::string found = IsFile(mapped) ? mapped : FindInFolder(FolderOf(mapped), FileKey(name));
    if (found.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    return OpenFile(found, false);
  }
  std::vector<std::string> folders;
  Search caller_search(Search::kByAddress);
  caller_search.value = reinterpret_cast<uintptr_t>(caller);
  if (FindObject(&caller_search)) folders.push_back(FolderOf(caller_search.result.path));
  folders.push_back(FolderOf(ExecutablePath()));
  folders.push_back(SystemFolder());
  for (const auto& folder : folders) {
    std::string found = FindInFolder(folder, name);
    if (!found.empty()) return OpenFile(found, false);
  }
  return OpenFile(name, true);
}

// Path of a module handle: a loaded object or a built-in record.
bool ModulePath(HMODULE module, std::string* path) {
  uintptr_t base = module ? reinterpret_cast<uintptr_t>(module) : ExecutableBase();
  {
    std::lock_guard<std::mutex> lk(g_lock);
    if (Builtin* b = AsBuiltinLocked(module)) {
      *path = SystemFolder() + "/" + b->name;
      return true;
    }
    auto it = LoadedModules().find(base);
    if (it != LoadedModules().end()) {
      *path = it->second.path;
      return true;
    }
  }
  Search s(Search::kByBase);
  s.value = base;
  if (!FindObject(&s)) return false;
  *path = s.result.path;
  return true;
}

FARPROC Symbol(void* dl, uintptr_t base, const char* name) {
  dlerror();
  void* p = dlsym(dl, name);
  if (!p) return nullptr;
  // dlsym also searches the object's dependencies; the platform's lookup does not.
  Search s(Search::kByAddress);
  s.value = reinterpret_cast<uintptr_t>(p);
  if (!FindObject(&s) || s.result.base != base) return nullptr;
  return reinterpret_cast<FARPROC>(p);
}

template <class Char>
DWORD CopyTruncated(const std::basic_string<Char>& s, Char* buffer, DWORD size) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (s.size() + 1 > size) {
    std::memcpy(buffer, s.data(), (size - 1) * sizeof(Char));
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, s.data(), s.size() * sizeof(Char));
  buffer[s.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(s.size());
}

HMODULE HandleByName(const std::string& utf8_name) {
  if (utf8_name.empty()) return reinterpret_cast<HMODULE>(ExecutableBase());
  std::string key = FileKey(utf8_name);
  std::lock_guard<std::mutex> lk(g_lock);
  if (Builtin* b = FindBuiltinLocked(key)) return reinterpret_cast<HMODULE>(b);
  for (const auto& [base, rec] : LoadedModules()) {
    if (FileKey(rec.path) == key) return reinterpret_cast<HMODULE>(base);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace

extern "C" {

HMODULE LoadLibraryA(LPCSTR file_name) {
  if (!file_name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  return Load(kv::base::AnsiToUtf8(file_name), 0, __builtin_return_address(0));
}

HMODULE LoadLibraryW(LPCWSTR file_name) {
  if (!file_name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  return Load(kv::base::WideToUtf8(file_name), 0, __builtin_return_address(0));
}

HMODULE LoadLibraryExA(LPCSTR file_name, HANDLE, DWORD flags) {
  if (!file_name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  return Load(kv::base::AnsiToUtf8(file_name), flags, __builtin_return_address(0));
}

HMODULE LoadLibraryExW(LPCWSTR file_name, HANDLE, DWORD flags) {
  if (!file_name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  return Load(kv::base::WideToUtf8(file_name), flags, __builtin_return_address(0));
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) return kv::base::Fail(ERROR_INVALID_HANDLE);
  void* to_close = nullptr;
  {
    std::lock_guard<std::mutex> lk(g_lock);
    if (AsBuiltinLocked(module)) return TRUE;
    auto it = LoadedModules().find(reinterpret_cast<uintptr_t>(module));
    if (it != LoadedModules().end()) {
      to_close = it->second.dl;
      if (--it->second.count == 0) LoadedModules().erase(it);
    }
  }
  if (to_close) {
    dlclose(to_close);
    return TRUE;
  }
  // Objects the process loaded by itself (the executable, linked libraries) stay.
  Search s(Search::kByBase);
  s.value = reinterpret_cast<uintptr_t>(module);
  return FindObject(&s) ? TRUE : kv::base::Fail(ERROR_INVALID_HANDLE);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name) {
  if (!proc_name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  if (reinterpret_cast<uintptr_t>(proc_name) < 0x10000) {
    // Ordinals: modules here export by name only.
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  uintptr_t base = module ? reinterpret_cast<uintptr_t>(module) : ExecutableBase();
  void* dl = nullptr;
  {
    std::lock_guard<std::mutex> lk(g_lock);
    if (Builtin* b = AsBuiltinLocked(module)) {
      for (size_t i = 0; i < b->count; ++i) {
        if (b->exports[i].name && std::strcmp(b->exports[i].name, proc_name) == 0)
          return reinterpret_cast<FARPROC>(b->exports[i].proc);
      }
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    auto it = LoadedModules().find(base);
    if (it != LoadedModules().end()) dl = it->second.dl;
  }
  if (dl) {
    FARPROC p = Symbol(dl, base, proc_name);
    if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
    return p;
  }
  Search s(Search::kByBase);
  s.value = base;
  if (!FindObject(&s)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const bool is_exe = base == ExecutableBase();
  void* h = dlopen(is_exe ? nullptr : s.result.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  FARPROC p = Symbol(h, base, proc_name);
  dlclose(h);
  if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
  return p;
}

HMODULE GetModuleHandleA(LPCSTR module_name) {
  return HandleByName(module_name ? kv::base::AnsiToUtf8(module_name) : std::string());
}

HMODULE GetModuleHandleW(LPCWSTR module_name) {
  return HandleByName(module_name ? kv::base::WideToUtf8(module_name) : std::string());
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size) {
  std::string path;
  if (!ModulePath(module, &path)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return CopyTruncated(kv::base::Utf8ToAnsi(path), file_name, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR file_name, DWORD size) {
  std::string path;
  if (!ModulePath(module, &path)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return CopyTruncated(kv::base::Utf8ToWide(path), file_name, size);
}

void KvRegisterBuiltinModule(const char* name, const KvExport* exports, size_t count) {
  if (!name || !*name) return;
  std::lock_guard<std::mutex> lk(g_lock);
  std::string key = FileKey(name);
  if (Builtin* b = FindBuiltinLocked(key)) {
    b->exports = exports;
    b->count = exports ? count : 0;
    return;
  }
  Builtins().push_back(new Builtin{key, name, exports, exports ? count : 0});
}

HMODULE KvModuleOfAddress(const void* address) {
  Search s(Search::kByAddress);
  s.value = reinterpret_cast<uintptr_t>(address);
  if (!FindObject(&s)) return nullptr;
  return reinterpret_cast<HMODULE>(s.result.base);
}

}  // extern "C"
