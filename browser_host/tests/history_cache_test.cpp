// History, cache and the UI-less host over the internet layer's real stores.
#include <gtest/gtest.h>

#include "browser_host/history_cache.h"
#include "platform/base/time.h"
#include "platform/inet/inet.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"
#include "testsupport/temp_home.h"

namespace {

class HistoryCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvRegistryReload();
    KvInetResetProcessState();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg2,
                               reinterpret_cast<void**>(&store_)),
              S_OK);
  }
  void TearDown() override {
    store_->Release();
    KvInetResetProcessState();
    CoUninitialize();
    KvRegistryReload();
  }
  void Visit(const char16_t* url) { ASSERT_EQ(store_->AddUrl(url, u"page", ADDURL_ADDTOHISTORYANDCACHE), S_OK); }
  bool Known(const char16_t* url) { return store_->QueryUrl(url, 0, nullptr) == S_OK; }

  kvtest::TempHome home_;
  IUrlHistoryStg2* store_ = nullptr;
};

TEST_F(HistoryCacheTest, ClearHistoryEmptiesTheStore) {
  Visit(u"http://127.0.0.1/a");
  TUrlHistory history(nullptr);
  EXPECT_EQ(history.ClearHistory(), E_UNEXPECTED) << "not loaded yet";
  history.Loaded();
  EXPECT_EQ(history.ClearHistory(), S_OK);
  EXPECT_FALSE(Known(u"http://127.0.0.1/a"));
}

TEST_F(HistoryCacheTest, FilterWords) {
  TIECache cache(nullptr);
  EXPECT_EQ(cache.Filter(), 0u) << "made in code: no filter until the options are set";
  cache.SetFilterOptions(cache.FilterOptions());
  EXPECT_EQ(cache.Filter(), 0x300035u);
  cache.SetFilterOptions({});
  EXPECT_EQ(cache.Filter(), 0u);
  cache.SetFilterOptions({SPARSE_ENTRY, OCX_ENTRY, STABLE_ENTRY});
  EXPECT_EQ(cache.Filter(), 0x30002u);
}

TEST_F(HistoryCacheTest, WalkOnAnEmptyCache) {
  ASSERT_TRUE(TIECache::LibraryFound());
  TIECache cache(nullptr);
  cache.SetFilterOptions(cache.FilterOptions());
  EXPECT_EQ(cache.FindFirstEntry(0), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_FALSE(cache.ClearAllEntries()) << "nothing deleted; closing the empty walk fails";
  EXPECT_EQ(cache.DeleteEntry("http://127.0.0.1/none"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(HistoryCacheTest, ClearAllEntriesDeletesTheHistoryEntries) {
  Visit(u"http://127.0.0.1/a");
  Visit(u"http://127.0.0.1/b");
  TIECache cache(nullptr);
  cache.SetFilterOptions(cache.FilterOptions());
  cache.SearchPattern = spHistory;
  ASSERT_EQ(cache.FindFirstEntry(0), 0u);
  EXPECT_EQ(cache.Entry().EntryType & 0x200000u, 0x200000u);
  EXPECT_NE(cache.Entry().SourceUrlName.find("Visited: "), AnsiString::npos);
  EXPECT_GT(cache.Entry().LastAccessTime, 0.0);
  EXPECT_TRUE(cache.ClearAllEntries());
  EXPECT_FALSE(Known(u"http://127.0.0.1/a"));
  EXPECT_FALSE(Known(u"http://127.0.0.1/b"));
}

TEST_F(HistoryCacheTest, UILessAnswers) {
  TUILess host(nullptr);
  VARIANT v;
  VariantInit(&v);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  int events = 0;
  host.OnInvoke = [&](DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    ++events;
    return E_FAIL;  // not used
  };
  EXPECT_EQ(host.Invoke(-5512, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 0xF80);
  EXPECT_EQ(events, 1);
  EXPECT_EQ(host.Invoke(-709, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  IMoniker* moniker = reinterpret_cast<IMoniker*>(1);
  EXPECT_EQ(host.GetMoniker(0, 0, &moniker), E_NOTIMPL);
  EXPECT_EQ(moniker, nullptr);

  IHTMLDocument2* doc = nullptr;
  ASSERT_EQ(KvBrowserNewDocument(&doc), S_OK);
  IPersistStreamInit* persist = nullptr;
  ASSERT_EQ(doc->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
  const char html[] = "<p>loaded</p>";
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(html), sizeof html - 1);
  ASSERT_EQ(persist->Load(stream), S_OK);
  stream->Release();
  persist->Release();
  while (KvPumpMessages() > 0) {
  }
  host.SetDocument(doc);
  doc->Release();
  MSG m;
  while (PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE)) {
  }
  EXPECT_EQ(host.OnChanged(DISPID_READYSTATE), E_FAIL);
  EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE)) << "a complete document is told";
  host.Enabled = false;
  EXPECT_EQ(host.Invoke(-5512, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), E_FAIL);
  EXPECT_EQ(host.OnChanged(DISPID_READYSTATE), E_FAIL);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE));
}

}  // namespace
