// Auto-completion: the shell module's entries, the URL history source over the typed URLs
// and the history store, appending the rest of a match as characters are typed, and the
// suggestion list with its keys and clicks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "platform/inet/urlhist.h"
#include "platform/registry/registry.h"
#include "platform/user/edit.h"
#include "platform/user/listbox.h"
#include "platform/user/shell_autocomplete.h"
#include "platform/user/testing.h"
#include "testsupport/temp_home.h"

namespace {

class AutoCompleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvUserReset();
    KvRegistryReload();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    top_ = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 100, 100, 300, 60, nullptr, nullptr, nullptr,
                           nullptr);
    edit_ = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE, 5, 5, 200, 20, top_, nullptr, nullptr, nullptr);
    SetFocus(edit_);
  }
  void TearDown() override {
    DestroyWindow(top_);
    CoUninitialize();
    KvUserReset();
    KvRegistryReload();
  }
  static void Typed(const std::vector<const char*>& urls) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\TypedURLs", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (size_t i = 0; i < urls.size(); ++i) {
      const std::string name = "Url" + std::to_string(i + 1);
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(urls[i]),
                     static_cast<DWORD>(strlen(urls[i]) + 1));
    }
    RegCloseKey(key);
  }
  static std::vector<std::string> All(IEnumString* source) {
    std::vector<std::string> out;
    LPOLESTR item = nullptr;
    ULONG got = 0;
    while (source->Next(1, &item, &got) == S_OK) {
      out.push_back(kv::WideToUtf8(item));
      CoTaskMemFree(item);
    }
    return out;
  }
  IAutoComplete2* Attach(DWORD options) {
    IAutoComplete2* complete = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER, IID_IAutoComplete2,
                               reinterpret_cast<void**>(&complete)),
              S_OK);
    IUnknown* source = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ACLHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&source)),
              S_OK);
    EXPECT_EQ(complete->SetOptions(options), S_OK);
    EXPECT_EQ(complete->Init(edit_, source, nullptr, nullptr), S_OK);
    source->Release();
    return complete;
  }
  void Type(const char* text) {
    for (const char* c = text; *c; ++c) KvInjectChar(static_cast<WCHAR>(*c));
    KvPumpMessages();
  }
  void Key(int vkey) {
    KvInjectKey(vkey, TRUE);
    KvInjectKey(vkey, FALSE);
    KvPumpMessages();
  }
  std::string Text() const {
    char buffer[512] = {};
    GetWindowTextA(edit_, buffer, sizeof buffer);
    return buffer;
  }
  std::pair<DWORD, DWORD> Selection() const {
    DWORD start = 0, end = 0;
    SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  // The shown suggestion list (a popup list box), or null.
  static HWND SuggestionList() {
    struct Found {
      HWND list = nullptr;
    } found;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
          char name[16] = {};
          GetClassNameA(hwnd, name, sizeof name);
          if (std::string(name) == "ListBox" && IsWindowVisible(hwnd)) reinterpret_cast<Found*>(lp)->list = hwnd;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.list;
  }

  kvtest::TempHome home_;
  HWND top_ = nullptr, edit_ = nullptr;
};

TEST_F(AutoCompleteTest, TheShellModuleAnswersItsVersionInTheTwentyByteRecord) {
  HMODULE shlwapi = LoadLibraryA("Shlwapi.dll");
  ASSERT_TRUE(shlwapi);
  auto get = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(shlwapi, "DllGetVersion")));
  ASSERT_TRUE(get);
  EXPECT_TRUE(GetProcAddress(shlwapi, "SHAutoComplete"));
  DLLVERSIONINFO info{};
  static_assert(sizeof info == 20);
  EXPECT_EQ(get(&info), E_INVALIDARG) << "cbSize unset";
  info.cbSize = sizeof info;
  ASSERT_EQ(get(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_EQ(get(nullptr), E_INVALIDARG);
  FreeLibrary(shlwapi);
}

TEST_F(AutoCompleteTest, HistorySourceListsTypedUrlsThenVisitsEachOnce) {
  Typed({"http://typed.example/", "http://both.example/"});
  IUrlHistoryStg2* history = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg2,
                             reinterpret_cast<void**>(&history)),
            S_OK);
  history->AddUrl(u"http://both.example/", u"Both", 0);
  history->AddUrl(u"http://visited.example/", u"Visited", 0);
  IEnumString* source = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ACLHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IEnumString,
                             reinterpret_cast<void**>(&source)),
            S_OK);
  EXPECT_EQ(All(source), (std::vector<std::string>{"http://typed.example/", "http://both.example/",
                                                   "http://visited.example/"}));
  EXPECT_EQ(source->Next(1, nullptr, nullptr), E_POINTER);
  history->AddUrl(u"http://later.example/", nullptr, 0);
  ASSERT_EQ(source->Reset(), S_OK);
  EXPECT_EQ(source->Skip(3), S_OK);
  EXPECT_EQ(All(source), std::vector<std::string>{"http://later.example/"}) << "Reset takes a fresh list";
  EXPECT_EQ(source->Skip(1), S_FALSE);
  history->ClearHistory();
  history->Release();
  source->Release();
}

TEST_F(AutoCompleteTest, AppendingSelectsTheRestOfTheFirstMatch) {
  Typed({"http://www.alpha.example/", "http://www.alps.example/"});
  IAutoComplete2* complete = Attach(ACO_AUTOAPPEND);
  DWORD options = 0;
  ASSERT_EQ(complete->GetOptions(&options), S_OK);
  EXPECT_EQ(options, static_cast<DWORD>(ACO_AUTOAPPEND));
  Type("HTTP://www.alp");
  EXPECT_EQ(Text(), "http://www.alpha.example/") << "the first match, letter case ignored";
  EXPECT_EQ(Selection(), std::make_pair(14u, 25u)) << "the appended part is selected";
  Type("s");  // replaces the selection
  EXPECT_EQ(Text(), "http://www.alps.example/");
  KvInjectChar(8);  // Backspace takes the selection away and appends nothing
  KvPumpMessages();
  EXPECT_EQ(Text(), "http://www.alps");
  Type("x");
  EXPECT_EQ(Text(), "http://www.alpsx") << "no match, nothing appended";
  EXPECT_FALSE(SuggestionList()) << "no suggestions without ACO_AUTOSUGGEST";
  EXPECT_EQ(complete->Init(edit_, complete, nullptr, nullptr), E_UNEXPECTED);
  complete->Release();
}

TEST_F(AutoCompleteTest, SuggestionListWithItsKeysAndClicks) {
  Typed({"http://one.example/", "http://two.example/", "http://other.example/"});
  IAutoComplete2* complete = Attach(ACO_AUTOSUGGEST);
  Type("http://o");
  HWND list = SuggestionList();
  ASSERT_TRUE(list);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
  RECT edit{}, below{};
  GetWindowRect(edit_, &edit);
  GetWindowRect(list, &below);
  EXPECT_EQ(below.top, edit.bottom);
  EXPECT_EQ(below.left, edit.left);
  EXPECT_EQ(Text(), "http://o") << "nothing appended without ACO_AUTOAPPEND";
  Key(VK_DOWN);
  EXPECT_EQ(Text(), "http://one.example/");
  Key(VK_DOWN);
  EXPECT_EQ(Text(), "http://other.example/");
  Key(VK_ESCAPE);
  EXPECT_EQ(Text(), "http://o") << "Escape gives back what was typed";
  EXPECT_FALSE(SuggestionList());
  Type("t");
  list = SuggestionList();
  ASSERT_TRUE(list);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
  Key(VK_DOWN);
  Key(VK_RETURN);
  EXPECT_EQ(Text(), "http://other.example/");
  EXPECT_FALSE(SuggestionList()) << "Enter takes the entry and closes the list";
  SetWindowTextA(edit_, "");
  Type("http://t");
  list = SuggestionList();
  ASSERT_TRUE(list);
  RECT row{};
  SendMessageA(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  POINT at{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
  ClientToScreen(list, &at);
  KvInjectClick(at.x, at.y);
  KvPumpMessages();
  EXPECT_EQ(Text(), "http://two.example/") << "a click takes the entry";
  EXPECT_FALSE(SuggestionList());
  EXPECT_EQ(GetFocus(), edit_);
  complete->Release();
}

TEST_F(AutoCompleteTest, ShellAutoCompleteForcesAppendAndSuggestion) {
  Typed({"http://force.example/"});
  HWND button = CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 10, 10, top_, nullptr, nullptr, nullptr);
  EXPECT_EQ(SHAutoComplete(button, SHACF_DEFAULT), E_INVALIDARG);
  ASSERT_EQ(SHAutoComplete(edit_, SHACF_URLALL | SHACF_AUTOAPPEND_FORCE_ON | SHACF_AUTOSUGGEST_FORCE_OFF), S_OK);
  Type("http://f");
  EXPECT_EQ(Text(), "http://force.example/");
  EXPECT_FALSE(SuggestionList());
  // Again on the same edit: only the options change.
  ASSERT_EQ(SHAutoComplete(edit_, SHACF_URLALL | SHACF_AUTOAPPEND_FORCE_OFF), S_OK);
  SetWindowTextA(edit_, "");
  Type("http://f");
  EXPECT_EQ(Text(), "http://f");
  EXPECT_TRUE(SuggestionList()) << "suggestion is on unless forced off";
}

}  // namespace
