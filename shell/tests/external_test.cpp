// The page's external object, reached by a page's script as window.external on a browser
// hosted in a stand-in main window: what each member asks of the window, the conversions
// that fail before anything changes, files, registry values and page pictures; its dual
// interface's own methods; the type library and the internal class factory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/core/inifiles.h"
#include "framework/core/registry.h"
#include "framework/graphics/graphics.h"
#include "framework/graphics/jpeg.h"
#include "platform/base/codepage.h"
#include "platform/gdi/gdi.h"
#include "platform/registry/registry.h"
#include "shell/tests/shell_page.h"
#include "testsupport/type_text.h"

namespace {

using shelltest::ShellPageTest;

const char kRunner[] =
    "<script>function run(code) {"
    "  try { return String(eval(code)); } catch (e) { return 'error: ' + e.message; }"
    "}</script><p>external</p>";

class ExternalTest : public ShellPageTest {
 protected:
  void SetUp() override {
    ShellPageTest::SetUp();
    ASSERT_TRUE(Show("external.html", kRunner));
  }
  void TearDown() override {
    KvScreenSetSize(1024, 768);
    ShellPageTest::TearDown();
  }
  // The script's value of `code` as text, or "error: " and the exception's message.
  std::string Run(const std::string& code) {
    OleVariant result;
    Browser().InvokeScript("run", {code.c_str()}, result);
    return kv::WideToUtf8(result.AsWideString());
  }
};

TEST_F(ExternalTest, MembersReachTheMainWindow) {
  KvScreenSetSize(1280, 1024);
  struct Case {
    const char* code;
    const char* result;
    std::vector<std::string> calls;
  } cases[] = {
      // The two screen sizes come crossed.
      {"window.external.ScreenWidth", "1024", {}},
      {"window.external.ScreenHeight", "1280", {}},
      {"window.external.SetCloseHandler('onClosing')", "undefined", {"SetCloseHandler onClosing"}},
      {"window.external.SetNavigateErrorHandler('')", "undefined", {"SetNavigateErrorHandler "}},
      {"window.external.SetDocumentCompleteHandler('loaded')", "undefined", {"SetDocumentCompleteHandler loaded"}},
      {"window.external.ClearUrlHistory()", "undefined", {"ClearUrlHistory"}},
      {"window.external.ClearIECache()", "undefined", {"ClearIECache"}},
      {"window.external.ApplicationExit()", "undefined", {"ApplicationExit"}},
      {"window.external.WindowResize('800', 600, '030111')", "undefined", {"WindowResize 800 600 030111"}},
      // The window's own failure reaches the script as an exception.
      {"window.external.WindowResize(800, 600, '03x')",
       "error: '03x' is not a valid integer value",
       {"WindowResize 800 600 03x"}},
      {"window.external.WindowResize('wide', 600, '030111')",
       "error: Could not convert variant of type (OleStr) into type (Integer)",
       {}},
      {"window.external.SetCloseHandler(null)",
       "error: Could not convert variant of type (Null) into type (OleStr)",
       {}},
  };
  for (const Case& c : cases) {
    window_->Calls.clear();
    EXPECT_EQ(Run(c.code), c.result) << c.code;
    EXPECT_EQ(window_->Calls, c.calls) << c.code;
  }
}

TEST_F(ExternalTest, SizeAndPositionConvertBothValuesBeforeChangingEither) {
  Form().SetBounds(5, 6, 420, 340);
  struct Case {
    const char* code;
    bool ok;
    int left, top, width, height;  // afterwards
  } cases[] = {
      {"window.external.ChangeWindowSize('800', 600)", true, 5, 6, 800, 600},
      {"window.external.ChangeWindowSize('abc', 500)", false, 5, 6, 800, 600},
      {"window.external.ChangeWindowSize(500, 'abc')", false, 5, 6, 800, 600},
      {"window.external.MoveWindow(10, '20')", true, 10, 20, 800, 600},
      {"window.external.MoveWindow('x', 30)", false, 10, 20, 800, 600},
      {"window.external.MoveWindow(30, 'y')", false, 10, 20, 800, 600},
  };
  for (const Case& c : cases) {
    const std::string result = Run(c.code);
    EXPECT_EQ(result == "undefined", c.ok) << c.code << ": " << result;
    EXPECT_EQ(Form().Left(), c.left) << c.code;
    EXPECT_EQ(Form().Top(), c.top) << c.code;
    EXPECT_EQ(Form().Width(), c.width) << c.code;
    EXPECT_EQ(Form().Height(), c.height) << c.code;
  }
}

TEST_F(ExternalTest, WindowTitlePutThenGetAndMessageBox) {
  EXPECT_EQ(Run("window.external.WindowTitle = '\\u53d1\\u7968 7'; window.external.WindowTitle"), "发票 7");
  EXPECT_EQ(kv::AnsiToUtf8(Form().Caption()), "发票 7");
  EXPECT_EQ(Run("window.external.WindowTitle = 12; typeof window.external.WindowTitle"), "string");
  EXPECT_EQ(Form().Caption(), "12");
  EXPECT_EQ(Run("window.external.MessageBox('\\u4f60\\u597d')"), "undefined");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"你好"});
}

TEST_F(ExternalTest, ConfigFilesAndTheProgramFolder) {
  const std::string app_path = Run("window.external.GetAppPath()");
  EXPECT_EQ(app_path, program_dir_.substr(0, program_dir_.size() - 1) + "\\");
  kvtest::WriteFile(program_dir_ + "Korvane.ini", "[general]\n");

  // Without a "#" the call succeeds and writes nothing.
  EXPECT_EQ(Run("window.external.SaveConfig('a.ini', 'general,ServerPort=8081', 1)"), "undefined");
  EXPECT_FALSE(std::filesystem::exists(program_dir_ + "a.ini"));

  EXPECT_EQ(Run("window.external.SaveConfig('a.ini', '#general,ServerPort=8081#general,skin=a.skn', '1')"),
            "undefined");
  TIniFile ini(program_dir_ + "a.ini");
  EXPECT_EQ(ini.ReadString("general", "ServerPort", ""), "ODA4MQ");
  EXPECT_EQ(ini.ReadString("general", "skin", ""), "YS5za24==");
  EXPECT_EQ(Run("window.external.LoadConfig('a.ini', 1)"), "#general,ServerPort=8081#general,skin=a.skn");
  // The folder GetAppPath gives names the same file.
  EXPECT_EQ(Run("window.external.LoadConfig(window.external.GetAppPath() + 'a.ini', 0)"),
            "#general,ServerPort=ODA4MQ#general,skin=YS5za24==");
  EXPECT_EQ(Run("window.external.LoadConfig('missing.ini', 1)"), "");
  EXPECT_EQ(Run("window.external.LoadConfig('a.ini', 'no')"),
            "error: Could not convert variant of type (OleStr) into type (Integer)");
}

TEST_F(ExternalTest, RegistryWrites) {
  const std::string domains = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\";
  struct Case {
    const char* code;
    std::string key;
    const char* value;
    TRegDataType type;
    std::string data;  // as text: the string, the integer or the double
  } cases[] = {
      {"window.external.AddToTrustedSiteList('https://billing.example.cn/app/login.html')",
       domains + "billing.example.cn/app/login.html", "https", rdInteger, "2"},
      {"window.external.AddToTrustedSiteList('intranet-host')", domains + "intranet-host", "http", rdInteger, "2"},
      {"window.external.AddToTrustedSiteList('HTTPS://Upper.example.cn')", domains + "Upper.example.cn", "https",
       rdInteger, "2"},
      {"window.external.AddRegistryString('Software\\\\Quabo', 'print', 'printer', '\\u53d1\\u7968\\u673a')",
       "\\Software\\Quabo\\print", "printer", rdString, "发票机"},
      {"window.external.AddRegistryInteger('Software\\\\Quabo', 'print', 'copies', '3')", "\\Software\\Quabo\\print",
       "copies", rdInteger, "3"},
      {"window.external.AddRegistryFloat('Software\\\\Quabo', 'print', 'scale', 1.25)", "\\Software\\Quabo\\print",
       "scale", rdBinary, "1.25"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Run(c.code), "undefined") << c.code;
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKeyReadOnly(c.key)) << c.code;
    EXPECT_EQ(reg.GetDataType(c.value), c.type) << c.code;
    switch (c.type) {
      case rdString: EXPECT_EQ(kv::AnsiToUtf8(reg.ReadString(c.value)), c.data); break;
      case rdInteger: EXPECT_EQ(std::to_string(reg.ReadInteger(c.value)), c.data); break;
      default: {
        EXPECT_EQ(reg.GetDataSize(c.value), 8) << c.code;
        double d = 0;
        reg.ReadBinaryData(c.value, &d, sizeof d);
        EXPECT_EQ(FloatToStr(d), c.data);
      }
    }
  }
  // A value that does not convert writes nothing.
  EXPECT_EQ(Run("window.external.AddRegistryInteger('Software\\\\Quabo', 'print', 'pages', 'many')"),
            "error: Could not convert variant of type (OleStr) into type (Integer)");
  TRegistry reg(KEY_READ);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Quabo\\print"));
  EXPECT_FALSE(reg.ValueExists("pages"));
}

TEST_F(ExternalTest, PagePictures) {
  const std::string bmp = home_ / "page.bmp", jpg = home_ / "thumb.jpg";
  EXPECT_EQ(Run("window.external.GetBmpFromBrowser('" + bmp + "')"), "undefined");
  TBitmap b;
  b.LoadFromFile(bmp);
  EXPECT_EQ(b.Width(), 400);
  EXPECT_EQ(b.Height(), 300);
  // Width 200 and height 100 make a picture 100 wide and 200 high: the sizes go over
  // crossed, as the pages written for the program expect.
  EXPECT_EQ(Run("window.external.GetJpegFromBrowser('" + jpg + "', 200, '100')"), "undefined");
  TJPEGImage j;
  j.LoadFromFile(jpg);
  EXPECT_EQ(j.Width(), 100);
  EXPECT_EQ(j.Height(), 200);
  EXPECT_EQ(kvtest::ReadFile(jpg).substr(0, 2), "\xFF\xD8");
}

TEST_F(ExternalTest, NavigateLoadsThePage) {
  const std::string next = home_ / "next.html";
  kvtest::WriteFile(next, "<html><head><title>next</title></head><body>next</body></html>");
  EXPECT_EQ(Run("window.external.Navigate('" + next + "')"), "undefined");
  ASSERT_TRUE(Browser().WaitWhileBusy(5000));
  BSTR url = nullptr;
  Browser().DefaultInterface()->get_LocationURL(&url);
  EXPECT_EQ(kv::WideToUtf8(kv::BstrText(url)), "file://" + next);
  SysFreeString(url);
}

TEST_F(ExternalTest, WithoutTheMainWindowEveryMemberFails) {
  korvane::SetShellWindow(nullptr);
  for (const char* code :
       {"window.external.ScreenWidth", "window.external.ChangeWindowSize(800, 600)", "window.external.GetAppPath()",
        "window.external.WindowTitle = 'x'", "window.external.AddToTrustedSiteList('http://a.cn')"}) {
    EXPECT_EQ(Run(code), "error: The program's main window is not there") << code;
  }
  TRegistry reg(KEY_READ);
  EXPECT_FALSE(
      reg.KeyExists("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\a.cn"));
}

TEST_F(ExternalTest, TheDualInterfaceActsAlike) {
  KvScreenSetSize(1280, 1024);
  IDispatch* external = korvane::NewBrowserToHost();
  korvane::IBrowserToHost* host = nullptr;
  ASSERT_EQ(external->QueryInterface(korvane::IID_IBrowserToHost, reinterpret_cast<void**>(&host)), S_OK);
  external->Release();

  VARIANT value;
  ASSERT_EQ(host->get_ScreenWidth(&value), S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(value.lVal, 1024);

  OleVariant width(u"800"), height(600), bad(u"abc");
  EXPECT_EQ(host->ChangeWindowSize(width.Var(), height.Var()), S_OK);
  EXPECT_EQ(Form().Width(), 800);
  EXPECT_EQ(Form().Height(), 600);
  EXPECT_TRUE(FAILED(host->ChangeWindowSize(bad.Var(), height.Var())));
  IErrorInfo* error = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
  BSTR text = nullptr;
  error->GetDescription(&text);
  EXPECT_EQ(kv::WideToUtf8(kv::BstrText(text)), "Could not convert variant of type (OleStr) into type (Integer)");
  SysFreeString(text);
  error->GetSource(&text);
  EXPECT_EQ(kv::WideToUtf8(kv::BstrText(text)), "Korvane.BrowserToHost");
  SysFreeString(text);
  error->Release();
  EXPECT_EQ(Form().Width(), 800);

  ASSERT_EQ(host->get_WindowTitle(&value), S_OK);
  EXPECT_EQ(value.vt, VT_BSTR);
  VariantClear(&value);
  EXPECT_EQ(host->get_ScreenHeight(nullptr), E_POINTER);
  host->Release();
}

TEST(BrowserToHostServer, TypeLibraryAndTheInternalFactory) {
  kvtest::TempHome home;
  KvRegistryReload();
  const TTypeLibRecord& lib = korvane::KorvaneTypeLib();
  EXPECT_EQ(lib.Name, "Korvane");
  EXPECT_EQ(lib.HelpString, "Korvane Library");
  EXPECT_EQ(lib.VersionText(), "1.0");

  ITypeLib* info = CreateTypeLibInfo(lib);
  ITypeInfo* intf = nullptr;
  ASSERT_EQ(info->GetTypeInfoOfGuid(korvane::IID_IBrowserToHost, &intf), S_OK);
  const std::string four = "(in variant RegPath, in variant Section, in variant ident, in variant Value) hresult";
  const std::vector<std::string> slots = {
      "ChangeWindowSize func 201 (in variant width, in variant height) hresult",
      "MessageBox func 202 (in variant message) hresult",
      "MoveWindow func 204 (in variant xpos, in variant ypos) hresult",
      "ApplicationExit func 205 () hresult",
      "ScreenWidth get 203 (out retval *variant Value) hresult",
      "ScreenHeight get 206 (out retval *variant Value) hresult",
      "WindowResize func 207 (in variant width, in variant height, in variant winState) hresult",
      "Navigate func 208 (in variant url) hresult",
      "LoadConfig func 209 (in variant FileName, in variant isEncoded, out retval *variant ConfigString) hresult",
      "SaveConfig func 210 (in variant FileName, in variant ConfigItems, in variant isEncode) hresult",
      "GetAppPath func 211 (out retval *variant AppPath) hresult",
      "SetCloseHandler func 212 (in variant functionName) hresult",
      "ClearUrlHistory func 213 () hresult",
      "ClearIECache func 214 () hresult",
      "WindowTitle get 215 (out retval *variant Value) hresult",
      "WindowTitle put 215 (in variant Value) hresult",
      "SetNavigateErrorHandler func 216 (in variant functionName) hresult",
      "SetDocumentCompleteHandler func 217 (in variant functionName) hresult",
      "AddToRestrictedSiteList func 218 (in variant url) hresult",
      "AddToTrustedSiteList func 219 (in variant url) hresult",
      "AddToFavorites func 220 (in variant url, in variant Title) hresult",
      "ExploreFolder func 221 (in variant Path) hresult",
      "GetBmpFromBrowser func 222 (in variant FileName) hresult",
      "GetJpegFromBrowser func 223 (in variant FileName, in variant width, in variant height) hresult",
      "AddRegistryString func 224 " + four,
      "AddRegistryInteger func 225 " + four,
      "AddRegistryFloat func 226 " + four,
  };
  EXPECT_EQ(kvtest::MemberLines(intf), slots);
  intf->Release();
  info->Release();

  // The class is known to the program's server, but no one outside can make it.
  korvane::RegisterBrowserToHostFactory();
  korvane::RegisterBrowserToHostFactory();
  TComObjectFactory* factory = ComServer().FindFactory(korvane::CLSID_BrowserToHost);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->Instancing(), ciInternal);
  EXPECT_EQ(factory->ThreadingModel(), tmApartment);
  void* object = nullptr;
  EXPECT_EQ(ComServer().GetClassObject(korvane::CLSID_BrowserToHost, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  ComServer().SetTypeLib(&lib);
  ComServer().UpdateRegistry(true);
  const std::string dump = kv::RegistryDump();
  EXPECT_NE(dump.find("{A8CB1F2C-AF56-4C5F-9E5F-DA5D72FDF80C}"), std::string::npos);
  EXPECT_EQ(dump.find("{7102E8A9-A787-4BD8-9BCB-C7DB4AE1D440}"), std::string::npos);
  ComServer().SetTypeLib(nullptr);
  KvRegistryReload();
}

}  // namespace
