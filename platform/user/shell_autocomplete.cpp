// "Shlwapi.dll", the auto-complete object and the URL history source (shell_autocomplete.h).
#include "platform/user/shell_autocomplete.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/internal.h"
#include "platform/base/module.h"
#include "platform/com/builtin.h"
#include "platform/com/unknown.h"
#include "platform/inet/urlhist.h"
#include "platform/registry/registry.h"
#include "platform/user/edit.h"
#include "platform/user/listbox.h"

namespace {

constexpr int kSuggestRows = 8;

bool IsEdit(HWND hwnd) {
  char name[16] = {};
  return IsWindow(hwnd) && GetClassNameA(hwnd, name, sizeof name) > 0 && kv::base::EqualsNoCase(name, "Edit");
}

std::u16string WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::u16string text(static_cast<size_t>(std::max(n, 0)) + 1, u'\0');
  n = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(n, 0)));
  return text;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithNoCase(const std::u16string& s, const std::u16string& prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(s[i]) != Lower(prefix[i])) return false;
  return true;
}

LPOLESTR TaskCopy(const std::u16string& s) {
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (out) std::copy(s.c_str(), s.c_str() + s.size() + 1, out);
  return out;
}

// ---- The URL history source ----------------------------------------------------------------------

std::vector<std::u16string> TypedAndVisitedUrls() {
  std::vector<std::u16string> urls;
  auto add = [&urls](const std::u16string& url) {
    if (!url.empty() && std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(url);
  };
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\TypedURLs", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    for (int i = 1; i <= 25; ++i) {
      char value[2048];
      DWORD size = sizeof value - 1, type = 0;
      const std::string name = "Url" + std::to_string(i);
      if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
          (type != REG_SZ && type != REG_EXPAND_SZ))
        continue;
      value[std::min<DWORD>(size, sizeof value - 1)] = '\0';
      add(kv::AnsiToWide(value));
    }
    RegCloseKey(key);
  }
  IUrlHistoryStg* history = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg,
                                 reinterpret_cast<void**>(&history)))) {
    IEnumSTATURL* visits = nullptr;
    if (SUCCEEDED(history->EnumUrls(&visits))) {
      STATURL stat{};
      stat.cbSize = sizeof stat;
      ULONG got = 0;
      while (visits->Next(1, &stat, &got) == S_OK && got == 1) {
        if (stat.pwcsUrl) add(stat.pwcsUrl);
        CoTaskMemFree(stat.pwcsUrl);
        CoTaskMemFree(stat.pwcsTitle);
        stat = STATURL{};
        stat.cbSize = sizeof stat;
      }
      visits->Release();
    }
    history->Release();
  }
  return urls;
}

class HistorySource final : public kv::RefCounted<IEnumString> {
 public:
  HistorySource() : urls_(TypedAndVisitedUrls()) {}
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IEnumString); }
  HRESULT Next(ULONG count, LPOLESTR* items, ULONG* fetched) override {
    if (!items || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && at_ < urls_.size()) items[n++] = TaskCopy(urls_[at_++]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const size_t left = urls_.size() - at_;
    at_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    urls_ = TypedAndVisitedUrls();
    at_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumString** out) override {
    if (!out) return E_POINTER;
    auto* copy = new HistorySource(urls_);
    copy->at_ = at_;
    *out = copy;
    return S_OK;
  }

 private:
  explicit HistorySource(std::vector<std::u16string> urls) : urls_(std::move(urls)) {}
  std::vector<std::u16string> urls_;
  size_t at_ = 0;
};

// ---- The auto-complete object ----------------------------------------------------------------------

class AutoComplete;
std::map<HWND, AutoComplete*>& Completers() {
  static auto* map = new std::map<HWND, AutoComplete*>;  // GUI thread only
  return *map;
}

class AutoComplete final : public kv::RefCounted<IAutoComplete2> {
 public:
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IAutoComplete) || IsEqualIID(riid, IID_IAutoComplete2);
  }
  HRESULT Init(HWND edit, IUnknown* source, LPCOLESTR, LPCOLESTR) override {
    if (edit_) return E_UNEXPECTED;
    if (!IsEdit(edit) || !source || Completers().count(edit)) return E_INVALIDARG;
    IEnumString* strings = nullptr;
    if (FAILED(source->QueryInterface(IID_IEnumString, reinterpret_cast<void**>(&strings)))) return E_INVALIDARG;
    source_ = strings;
    edit_ = edit;
    Completers()[edit] = this;
    AddRef();  // the edit keeps the object until it is destroyed
    previous_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc)));
    return S_OK;
  }
  HRESULT Enable(BOOL enable) override {
    enabled_ = enable != FALSE;
    if (!enabled_) HideList();
    return S_OK;
  }
  HRESULT SetOptions(DWORD flags) override {
    options_ = flags;
    if (!(flags & ACO_AUTOSUGGEST)) HideList();
    return S_OK;
  }
  HRESULT GetOptions(DWORD* flags) override {
    if (!flags) return E_POINTER;
    *flags = options_;
    return S_OK;
  }

  static AutoComplete* Of(HWND edit) {
    auto it = Completers().find(edit);
    return it == Completers().end() ? nullptr : it->second;
  }

 private:
  ~AutoComplete() override {
    if (list_) DestroyWindow(list_);
    if (source_) source_->Release();
  }

  static LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    AutoComplete* self = Of(hwnd);
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
  }

  LRESULT Pass(UINT msg, WPARAM wp, LPARAM lp) { return CallWindowProcA(previous_, edit_, msg, wp, lp); }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_KEYDOWN:
        if (ListShown() && ListKey(static_cast<int>(wp))) return 0;
        break;
      case WM_CHAR: {
        if (wp == VK_RETURN || wp == VK_ESCAPE) break;
        const LRESULT result = Pass(msg, wp, lp);
        if (enabled_) Complete(wp != VK_BACK && wp >= 0x20);
        return result;
      }
      case WM_KILLFOCUS: HideList(); break;
      case WM_NCDESTROY: {
        const LRESULT result = Pass(msg, wp, lp);
        Detach();
        return result;
      }
      default: break;
    }
    return Pass(msg, wp, lp);
  }

  void Detach() {
    HWND edit = edit_;
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    Completers().erase(edit);
    HideList();
    Release();
  }

  // The source's entries that begin with `typed` (longer than it), in source order.
  std::vector<std::u16string> Matches(const std::u16string& typed) {
    std::vector<std::u16string> found;
    if (typed.empty() || !source_) return found;
    source_->Reset();
    LPOLESTR item = nullptr;
    ULONG got = 0;
    while (source_->Next(1, &item, &got) == S_OK && got == 1) {
      if (item) {
        std::u16string entry(item);
        CoTaskMemFree(item);
        if (entry.size() > typed.size() && StartsWithNoCase(entry, typed) &&
            std::find(found.begin(), found.end(), entry) == found.end())
          found.push_back(std::move(entry));
      }
      item = nullptr;
    }
    return found;
  }

  void Complete(bool typed_char) {
    const std::u16string text = WindowText(edit_);
    DWORD start = 0, end = 0;
    SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool at_end = start == end && end == text.size();
    const std::vector<std::u16string> found = Matches(text);
    typed_ = text;
    if ((options_ & ACO_AUTOAPPEND) && typed_char && at_end && !found.empty()) {
      SetWindowTextW(edit_, found.front().c_str());
      SendMessageA(edit_, EM_SETSEL, text.size(), found.front().size());
    }
    if (options_ & ACO_AUTOSUGGEST) ShowList(found);
  }

  bool ListShown() const { return list_ && IsWindowVisible(list_); }

  void ShowList(const std::vector<std::u16string>& found) {
    if (found.empty()) {
      HideList();
      return;
    }
    RECT r{};
    GetWindowRect(edit_, &r);
    const int rows = std::min<int>(static_cast<int>(found.size()), kSuggestRows);
    if (!list_) {
      list_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "ListBox", "",
                              WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                              GetAncestor(edit_, GA_ROOT), nullptr, nullptr, nullptr);
      if (!list_) return;
      Lists()[list_] = this;
      list_previous_ =
          reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
    }
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
    for (const std::u16string& entry : found) SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    const int row = std::max(1, static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, 0, 0)));
    SetWindowPos(list_, HWND_TOPMOST, r.left, r.bottom, r.right - r.left, rows * row + 2,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }

  void HideList() {
    if (list_) ShowWindow(list_, SW_HIDE);
  }

  // Puts entry `index` of the list into the edit, all of it selected after the caret.
  void Take(int index) {
    const int n = static_cast<int>(SendMessageA(list_, LB_GETTEXTLEN, index, 0));
    if (n < 0) return;
    std::u16string entry(static_cast<size_t>(n) + 1, u'\0');
    SendMessageW(list_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(static_cast<size_t>(n));
    SetWindowTextW(edit_, entry.c_str());
    SendMessageA(edit_, EM_SETSEL, entry.size(), entry.size());
  }

  // The keys of the shown list; true when the key is used up.
  bool ListKey(int key) {
    const int count = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
    const int at = static_cast<int>(SendMessageA(list_, LB_GETCURSEL, 0, 0));
    switch (key) {
      case VK_DOWN:
      case VK_UP: {
        int next = key == VK_DOWN ? at + 1 : (at < 0 ? count - 1 : at - 1);
        if (next >= count || next < 0) {
          // Past either end: back to what was typed.
          SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
          SetWindowTextW(edit_, typed_.c_str());
          SendMessageA(edit_, EM_SETSEL, typed_.size(), typed_.size());
          return true;
        }
        SendMessageA(list_, LB_SETCURSEL, next, 0);
        Take(next);
        return true;
      }
      case VK_RETURN:
        if (at >= 0) Take(at);
        HideList();
        return false;  // the edit's owner still sees Enter
      case VK_ESCAPE:
        HideList();
        SetWindowTextW(edit_, typed_.c_str());
        SendMessageA(edit_, EM_SETSEL, typed_.size(), typed_.size());
        return true;
      default: return false;
    }
  }

  // The suggestion lists, never destroyed (windows may go during exit).
  static std::map<HWND, AutoComplete*>& Lists() {
    static auto* lists = new std::map<HWND, AutoComplete*>;
    return *lists;
  }

  static LRESULT ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto it = Lists().find(hwnd);
    if (it == Lists().end()) return DefWindowProcA(hwnd, msg, wp, lp);
    AutoComplete* self = it->second;
    WNDPROC previous = self->list_previous_;
    if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;  // the edit keeps the focus
    if (msg == WM_NCDESTROY) {
      Lists().erase(it);
      self->list_ = nullptr;
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      return CallWindowProcA(previous, hwnd, msg, wp, lp);
    }
    const LRESULT result = CallWindowProcA(previous, hwnd, msg, wp, lp);
    if (msg == WM_LBUTTONDOWN) {
      // The entry under the press is taken at once; the edit keeps (or gets back) the focus.
      if (GetCapture() == hwnd) ReleaseCapture();
      const int at = static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
      if (GetFocus() != self->edit_) SetFocus(self->edit_);
      if (at >= 0) self->Take(at);
      self->HideList();
    }
    return result;
  }

  HWND edit_ = nullptr;
  WNDPROC previous_ = nullptr;
  IEnumString* source_ = nullptr;
  DWORD options_ = ACO_AUTOAPPEND;
  bool enabled_ = true;
  std::u16string typed_;  // the text as typed, before anything was appended or taken
  HWND list_ = nullptr;
  WNDPROC list_previous_ = nullptr;
};

}  // namespace

extern "C" {

HRESULT DllGetVersion(DLLVERSIONINFO* info) {
  if (!info || info->cbSize != sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 2900;
  info->dwPlatformID = DLLVER_PLATFORM_NT;
  return S_OK;
}

HRESULT SHAutoComplete(HWND edit, DWORD flags) {
  if (!IsEdit(edit)) return E_INVALIDARG;
  DWORD options = ACO_AUTOSUGGEST;
  if (flags & SHACF_AUTOSUGGEST_FORCE_OFF) options &= ~static_cast<DWORD>(ACO_AUTOSUGGEST);
  if (flags & SHACF_AUTOAPPEND_FORCE_ON) options |= ACO_AUTOAPPEND;
  if (flags & SHACF_AUTOSUGGEST_FORCE_ON) options |= ACO_AUTOSUGGEST;
  if (flags & SHACF_USETAB) options |= ACO_USETAB;
  if (AutoComplete* existing = AutoComplete::Of(edit)) return existing->SetOptions(options);
  IAutoComplete2* complete = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER, IID_IAutoComplete2,
                                reinterpret_cast<void**>(&complete));
  if (FAILED(hr)) {
    // Without COM on this thread the object is made directly.
    complete = new AutoComplete;
  }
  complete->SetOptions(options);
  IEnumString* source = new HistorySource;
  hr = complete->Init(edit, source, nullptr, nullptr);
  source->Release();
  complete->Release();
  return hr;
}

}  // extern "C"

namespace {

#define KV_EXPORT(name) \
  { #name, reinterpret_cast < void*>(&name) }

const KvExport kShlwapi[] = {KV_EXPORT(DllGetVersion), KV_EXPORT(SHAutoComplete)};

struct Registration {
  Registration() {
    KvRegisterBuiltinModule("Shlwapi.dll", kShlwapi, sizeof(kShlwapi) / sizeof(kShlwapi[0]));
    kv::RegisterBuiltinClass<AutoComplete, CLSID_AutoComplete>();
    kv::RegisterBuiltinClass<HistorySource, CLSID_ACLHistory>();
  }
} g_registration;

}  // namespace
