#include "platform/user/shell.h"

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/internal.h"
#include "platform/base/path.h"
#include "platform/base/trace.h"
#include "platform/com/builtin.h"
#include "platform/com/unknown.h"
#include "platform/user/user.h"

namespace {

struct ShellLog {
  std::mutex lock;
  std::vector<std::string> lines;
};

ShellLog& TheLog() {
  static auto* log = new ShellLog;  // never destroyed: callers may run during exit
  return *log;
}

bool IsFolder(const std::string& ansi_path) {
  DWORD attributes = GetFileAttributesA(ansi_path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HINSTANCE Execute(const std::string& verb, const std::string& file) {
  const bool explore = kv::base::EqualsNoCase(verb, "explore");
  const bool open = verb.empty() || kv::base::EqualsNoCase(verb, "open");
  if (!explore && !open) return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(SE_ERR_NOASSOC));
  if (!IsFolder(file)) {
    return reinterpret_cast<HINSTANCE>(
        static_cast<intptr_t>(open ? SE_ERR_NOASSOC : static_cast<int>(ERROR_FILE_NOT_FOUND)));
  }
  std::string line = "explore " + file;
  KvTrace("shell", "%s", line.c_str());
  ShellLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  log.lines.push_back(line);
  return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}

// ---- The shell UI helper ----------------------------------------------------------------------------

constexpr DISPID kDispAddFavorite = 4;

std::u16string FileNameOf(std::u16string title) {
  for (char16_t& c : title) {
    if (c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
        c == u'>' || c == u'|')
      c = u'_';
  }
  return title;
}

class ShellUIHelper final : public kv::RefCounted<IShellUIHelper> {
 public:
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IShellUIHelper);
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    if (kv::base::EqualsNoCase(kv::WideToUtf8(names[0]), "AddFavorite")) {
      ids[0] = kDispAddFavorite;
      return S_OK;
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != kDispAddFavorite) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs < 1 || params->cArgs > 2) return DISP_E_BADPARAMCOUNT;
    VARIANT* url = &params->rgvarg[params->cArgs - 1];
    if (url->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    return AddFavorite(url->bstrVal, params->cArgs == 2 ? &params->rgvarg[0] : nullptr);
  }

  HRESULT AddFavorite(BSTR url, VARIANT* title) override {
    std::u16string u = kv::BstrText(url);
    std::u16string t = title && title->vt == VT_BSTR ? kv::BstrText(title->bstrVal) : u;
    if (u.empty()) return E_INVALIDARG;
    std::u16string name = FileNameOf(t);
    if (name.find_first_not_of(u". ") == std::u16string::npos) return E_INVALIDARG;
    std::u16string question = u"Add this page to your Favorites?\n\n" + t + u"\n" + u;
    if (MessageBoxW(nullptr, question.c_str(), u"Add Favorite", MB_OKCANCEL | MB_DEFBUTTON2) != IDOK) return S_FALSE;
    std::string folder = std::string(KvHomeDirectory()) + "/Favorites";
    if (!kv::base::MakeDirectories(folder)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::string path = folder + "/" + kv::WideToUtf8(name) + ".url";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[InternetShortcut]\r\nURL=" << kv::WideToUtf8(u) << "\r\n";
    out.close();
    if (!out) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    KvTrace("shell", "favourite %s", path.c_str());
    return S_OK;
  }
};

struct Registration {
  Registration() { kv::RegisterBuiltinClass<ShellUIHelper, CLSID_ShellUIHelper>(); }
} registration;

}  // namespace

extern "C" {

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
  return Execute(verb ? verb : "", file ? file : "");
}

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
  return Execute(verb ? kv::WideToAnsi(verb) : "", file ? kv::WideToAnsi(file) : "");
}

DWORD KvShellExecuteLog(char* buffer, DWORD size) {
  std::string all;
  {
    ShellLog& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    for (const auto& l : log.lines) all += l + "\n";
  }
  return kv::base::CopyOut(all, buffer, size);
}

void KvShellExecuteLogClear(void) {
  ShellLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  log.lines.clear();
}

}  // extern "C"
