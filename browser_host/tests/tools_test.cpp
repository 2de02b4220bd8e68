// The string helpers and the tools: table cases for the string functions, the zone, the
// script call and the browser's version; snapshots, favourites, proxy, sound and explore
// against the platform's stand-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "browser_host/browser_libs.h"
#include "browser_host/ewb_strings.h"
#include "browser_host/ewb_tools.h"
#include "framework/core/registry.h"
#include "framework/graphics/graphics.h"
#include "framework/graphics/jpeg.h"
#include "platform/base/global_memory.h"
#include "platform/base/time.h"
#include "platform/base/version.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"
#include "platform/registry/registry.h"
#include "platform/user/shell.h"
#include "platform/user/testing.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

TEST(EwbStrings, LastTextPos) {
  struct Case {
    const char* sub;
    const char* s;
    int start;
    int expected;
  } cases[] = {
      {"/", "a/b/c", -1, 4}, {"/", "a/b/c", 3, 2},  {"/", "a/b/c", 0, 0}, {"/", "a/b/c", 99, 4},
      {"B", "abcab", -1, 5}, {"bc", "abcabc", 4, 2}, {"x", "abc", -1, 0}, {"abcd", "abc", -1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LastTextPos(c.sub, c.s, c.start), c.expected) << c.sub << " in " << c.s;
}

TEST(EwbStrings, SplitAtSeparator) {
  struct Case {
    AnsiString source, sep;
    bool del;
    AnsiString before, rest;
  } cases[] = {
      {"key:value", ":", true, "key", "value"},
      {"key:value", ":", false, "key", "key:value"},
      {"no separator", ":", true, "no separator", ""},
      {"no separator", ":", false, "no separator", "no separator"},
      {"a::b::c", "::", true, "a", "b::c"},
      {AnsiString("one\0two", 7), AnsiString(1, '\0'), true, "one", "two"},
      // The trail byte of a double-byte character is no separator.
      {"\x81\x5C" "a\\b", "\\", true, "\x81\x5C" "a", "b"},
  };
  for (Case& c : cases) {
    AnsiString before;
    SplitAtSeparator(c.source, c.sep, c.del, before);
    EXPECT_EQ(before, c.before);
    EXPECT_EQ(c.source, c.rest);
  }
}

TEST(EwbStrings, BackslashToSlashStepsOverDoubleByteCharacters) {
  AnsiString s = "c:\\dir\\\x81\x5C\\file";
  BackslashToSlash(s);
  EXPECT_EQ(s, "c:/dir/\x81\x5C/file");
  EXPECT_EQ(CharPos('/', s), 3);
  EXPECT_EQ(CharPos('#', s), 0);
}

TEST(EwbStrings, TaskMemoryCopiesAreTerminated) {
  LPOLESTR w = AnsiToTaskMemWide("abc");
  ASSERT_TRUE(w);
  EXPECT_EQ(std::u16string(w), u"abc");
  CoTaskMemFree(w);
  w = WideToTaskMem(u"");
  ASSERT_TRUE(w);
  EXPECT_EQ(w[0], u'\0');
  CoTaskMemFree(w);
}

class ToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvRegistryReload();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    KvClockSetVirtual(TRUE);
    KvResetFileVersions();
    KvShellExecuteLogClear();
    KvMessageBoxScriptClear();
    reg_.SetRootKey(HKEY_CURRENT_USER);
  }
  void TearDown() override {
    KvResetFileVersions();
    KvInetResetProcessState();
    KvClockSetVirtual(FALSE);
    CoUninitialize();
    KvRegistryReload();
  }
  kvtest::TempHome home_;
  TRegistry reg_;
};

TEST_F(ToolsTest, RestrictedZoneDropsOnlyALeadingWww) {
  struct Case {
    const char* url;
    const char* key;
  } cases[] = {
      {"http://www.example.com:8080/path", "example.com:8080/path"},
      {"http://evilwww.com", "evilwww.com"},
      {"https://wwwx.org", "wwwx.org"},
      {"www.plain.net", "plain.net"},
      {"ftp://host.cn", "host.cn"},
  };
  const AnsiString domains = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\";
  for (const Case& c : cases) {
    AddHostToRestrictedZone(c.url);
    ASSERT_TRUE(reg_.OpenKeyReadOnly(domains + c.key)) << c.url;
    EXPECT_EQ(reg_.ReadInteger("*"), 4);
    reg_.CloseKey();
  }
  EXPECT_FALSE(reg_.KeyExists(domains + "lwww.com"));
}

// A script object: records the arguments of the last call and answers with its own value.
class FakeScript final : public IDispatch {
 public:
  std::vector<VARIANT> args;
  int calls = 0;
  HRESULT answer = S_OK;
  ~FakeScript() { Clear(); }
  void Clear() {
    for (auto& v : args) VariantClear(&v);
    args.clear();
  }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    if (std::u16string(names[0]) != u"sum") return DISP_E_UNKNOWNNAME;
    ids[0] = 7;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT*) override {
    ++calls;
    EXPECT_EQ(id, 7);
    EXPECT_EQ(flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    Clear();
    for (UINT i = 0; i < params->cArgs; ++i) {
      VARIANT v;
      VariantInit(&v);
      VariantCopy(&v, &params->rgvarg[i]);
      args.push_back(v);
    }
    if (answer != S_OK) {
      info->bstrDescription = SysAllocString(u"no such thing");
      info->bstrSource = SysAllocString(u"page");
      return answer;
    }
    result->vt = VT_I4;
    result->lVal = 42;
    return S_OK;
  }
};

TEST_F(ToolsTest, CallScriptFunctionHandsTheArgumentsOverReversed) {
  FakeScript script;
  OleVariant result;
  CallScriptFunction(&script, "sum", {7, true, "ansi", WideString(u"wide"), 2.5}, result);
  ASSERT_EQ(script.args.size(), 5u);
  const VARTYPE expected[] = {VT_R8, VT_BSTR, VT_BSTR, VT_BOOL, VT_I4};  // last argument first
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(script.args[i].vt, expected[i]) << i;
  EXPECT_EQ(script.args[0].dblVal, 2.5);
  EXPECT_EQ(kv::BstrText(script.args[1].bstrVal), u"wide");
  EXPECT_EQ(kv::BstrText(script.args[2].bstrVal), u"ansi");
  EXPECT_EQ(script.args[3].boolVal, VARIANT_TRUE);
  EXPECT_EQ(script.args[4].lVal, 7);
  EXPECT_EQ(result.AsInteger(), 42);
}

TEST_F(ToolsTest, CallScriptFunctionErrors) {
  FakeScript script;
  OleVariant result = 5;
  TObject object;
  struct Case {
    const char* what;
    AnsiString name;
    std::vector<TVarRec> args;
    HRESULT answer;
    const char* message;
  } cases[] = {
      {"unknown name", "nope", {}, S_OK, "This object does not support this method"},
      {"an object argument", "sum", {&object, 1}, S_OK, "Unsupported type for Parameter with Index 1"},
      {"a pointer argument", "sum", {1, static_cast<const void*>(&object)}, S_OK,
       "Unsupported type for Parameter with Index 0"},
      {"a failing call", "sum", {1}, DISP_E_EXCEPTION, "Method call unsuccessful. no such thing (page)."},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    script.calls = 0;
    script.answer = c.answer;
    try {
      CallScriptFunction(&script, c.name, c.args, result);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(script.calls, c.answer == S_OK ? 0 : 1) << "the object argument raises before the call";
    EXPECT_EQ(result.VarType(), VT_BOOL);
  }
}

TEST_F(ToolsTest, BrowserVersionComesFromTheVersionRecords) {
  EXPECT_EQ(GetBrowserFileVersion(), "6.00.2900.2180");
  EXPECT_EQ(GetBrowserMajorVersion(), "6");
  // A file "ieframe.dll" in the system folder is asked first.
  std::ofstream(home_.path() + "/system/ieframe.dll") << "";
  KvSetFileVersion("ieframe.dll", "7.00.6000.16386");
  EXPECT_EQ(GetBrowserMajorVersion(), "7");
  KvSetFileVersion("ieframe.dll", nullptr);
  EXPECT_EQ(GetBrowserFileVersion(), "");
}

TEST_F(ToolsTest, NavigationSoundByRenamingTheKeyOrByTheFeature) {
  const AnsiString current = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current";
  const AnsiString old = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\Old_Current";
  ASSERT_TRUE(reg_.OpenKey(current, true));
  reg_.WriteString("", "navigating.wav");
  reg_.CloseKey();
  DisableNavigationSound(true);
  EXPECT_FALSE(reg_.KeyExists(current));
  ASSERT_TRUE(reg_.OpenKeyReadOnly(old));
  EXPECT_EQ(reg_.ReadString(""), "navigating.wav");
  reg_.CloseKey();
  DisableNavigationSound(false);
  EXPECT_TRUE(reg_.KeyExists(current));
  EXPECT_FALSE(reg_.KeyExists(old));

  KvSetFileVersion("shdocvw.dll", "7.00.5730.13");
  DisableNavigationSound(true);
  EXPECT_TRUE(reg_.KeyExists(current)) << "a version 7 browser takes the feature control";
  EXPECT_EQ(IsBrowserFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS), S_OK);
  DisableNavigationSound(false);
  EXPECT_EQ(IsBrowserFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS), S_FALSE);
}

AnsiString ProxyServer() {
  INTERNET_PER_CONN_OPTIONA option[1];
  option[0].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  INTERNET_PER_CONN_OPTION_LISTA list{20, nullptr, 1, 0, option};
  DWORD size = 20;
  if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return "?";
  AnsiString s = option[0].Value.pszValue ? option[0].Value.pszValue : "";
  if (option[0].Value.pszValue) GlobalFree(option[0].Value.pszValue);
  return s;
}

TEST_F(ToolsTest, ProcessProxyIsSetAndReset) {
  EXPECT_TRUE(SetProcessProxy("Korvane", "10.0.0.1:3128"));
  EXPECT_EQ(ProxyServer(), "10.0.0.1:3128");
  EXPECT_TRUE(SetProcessProxyWithLogin("Korvane", "10.0.0.2", 8080, "clerk", "secret"));
  EXPECT_EQ(ProxyServer(), "10.0.0.2");
  EXPECT_TRUE(ResetProcessProxy());
  EXPECT_EQ(ProxyServer(), "");
}

TEST_F(ToolsTest, ShellExploreRecordsTheFolder) {
  ShellExplore(nullptr, home_.path());
  ShellExplore(nullptr, home_.path() + "/missing");
  char log[1024];
  KvShellExecuteLog(log, sizeof log);
  EXPECT_EQ(std::string(log), "explore " + home_.path() + "\n");
}

TEST_F(ToolsTest, FavouriteIsWrittenAfterTheDialogsOk) {
  const std::string folder = home_.path() + "/Favorites";
  AddFavoriteEntry("http://127.0.0.1/a", "  ");  // blank title: nothing asked
  AddFavoriteEntry("http://127.0.0.1/a", "Cancelled");  // no scripted answer: cancelled
  EXPECT_EQ(KvMessageBoxLogCount(), 1u) << "one question, for the second title";
  EXPECT_FALSE(std::filesystem::exists(folder + "/Cancelled.url"));
  KvMessageBoxScriptPush(IDOK);
  AddFavoriteEntry("http://127.0.0.1/invoice", "Invoice: 1/2");
  std::ifstream in(folder + "/Invoice_ 1_2.url", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "[InternetShortcut]\r\nURL=http://127.0.0.1/invoice\r\n");
}

// The colour of a pixel of a bitmap file, or of a JPEG file drawn into a bitmap.
TColor PixelOf(TGraphic& picture, int x, int y) {
  TBitmap b;
  b.SetSize(picture.Width(), picture.Height());
  b.Canvas()->Draw(0, 0, &picture);
  return ColorToRGB(b.Canvas()->Pixels(x, y));
}

bool Near(TColor c, int r, int g, int b) {
  return std::abs(GetRValue(c) - r) < 24 && std::abs(GetGValue(c) - g) < 24 && std::abs(GetBValue(c) - b) < 24;
}

const char kPage[] = "<html><body><img width=300 height=200 alt=''></body></html>";

TEST_F(ToolsTest, PageSnapshotAsBitmapShowsTheLayout) {
  IHTMLDocument2* doc = nullptr;
  ASSERT_EQ(KvBrowserNewDocument(&doc), S_OK);
  IPersistStreamInit* persist = nullptr;
  ASSERT_EQ(doc->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(kPage), sizeof kPage - 1);
  ASSERT_EQ(persist->Load(stream), S_OK);
  stream->Release();
  persist->Release();
  const AnsiString file = home_.path() + "/page.bmp";
  ASSERT_TRUE(SaveViewAsBitmap(doc, 400, 300, file));
  doc->Release();
  TBitmap bmp;
  bmp.LoadFromFile(file);
  ASSERT_EQ(bmp.Width(), 400);
  ASSERT_EQ(bmp.Height(), 300);
  EXPECT_TRUE(Near(PixelOf(bmp, 150, 100), 0xC0, 0xC0, 0xC0)) << "the image box";
  EXPECT_TRUE(Near(PixelOf(bmp, 390, 290), 0xFF, 0xFF, 0xFF)) << "the page";
  EXPECT_FALSE(SaveViewAsBitmap(nullptr, 10, 10, file));
}

TEST_F(ToolsTest, ThumbnailAsJpegShowsTheLayoutScaled) {
  const std::string page = home_.path() + "/page.html";
  std::ofstream(page) << kPage;
  kvtest::HostedBrowser host(400, 300);
  ASSERT_EQ(host.Navigate(page), S_OK);
  host.Run();
  const AnsiString file = home_.path() + "/thumb.jpg";
  ASSERT_TRUE(SaveViewAsJpeg(host.browser, file, 200, 150, 400, 300));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(file);
  ASSERT_EQ(jpeg.Width(), 200);
  ASSERT_EQ(jpeg.Height(), 150);
  EXPECT_TRUE(Near(PixelOf(jpeg, 75, 50), 0xC0, 0xC0, 0xC0)) << "the image box, halved";
  EXPECT_TRUE(Near(PixelOf(jpeg, 190, 140), 0xFF, 0xFF, 0xFF));
  EXPECT_FALSE(SaveViewAsJpeg(nullptr, file, 1, 1, 1, 1));
}

}  // namespace
