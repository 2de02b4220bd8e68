#include "browser_host/ewb_tools.h"

#include <cstring>
#include <memory>

#include "browser_host/browser_libs.h"
#include "framework/automation/comobj.h"
#include "framework/automation/dispatch.h"
#include "framework/core/registry.h"
#include "framework/graphics/graphics.h"
#include "framework/graphics/jpeg.h"
#include "platform/base/codepage.h"
#include "platform/base/path.h"
#include "platform/base/sync.h"
#include "platform/base/version.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"
#include "platform/user/shell.h"

bool IsVersion51SP2OrLater() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  if (info.dwMajorVersion != 5) return info.dwMajorVersion > 5;
  if (info.dwMinorVersion != 1) return info.dwMinorVersion > 1;
  const AnsiString pack = info.szCSDVersion;
  const AnsiString prefix = "Service Pack ";
  if (pack.compare(0, prefix.size(), prefix) != 0) return false;
  return StrToIntDef(pack.substr(prefix.size()), 0) >= 2;
}

bool HasHtmlDocument(IUnknown* Obj) {
  if (!Obj) return false;
  IHTMLDocument2* doc = nullptr;
  if (FAILED(Obj->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc))) || !doc) return false;
  doc->Release();
  return true;
}

void PostWhenDocumentComplete(IDispatch* Document) {
  if (!Document) return;
  VARIANT state;
  VariantInit(&state);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (SUCCEEDED(
          Document->Invoke(DISPID_READYSTATE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &state, nullptr, nullptr)) &&
      state.vt == VT_I4 && state.lVal == READYSTATE_COMPLETE)
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0);
  VariantClear(&state);
}

void GetCookieByDispatch(const OleVariant& Browser, AnsiString& Cookie) {
  Cookie.clear();
  IDispatch* browser = Browser.AsDispatch();
  if (!browser) return;
  OleVariant document = DispatchInvoke(browser, u"Document", DISPATCH_PROPERTYGET, {});
  if (document.VarType() != VT_DISPATCH || !HasHtmlDocument(document.AsDispatch())) return;
  try {
    OleVariant again = DispatchInvoke(browser, u"Document", DISPATCH_PROPERTYGET, {});
    Cookie = DispatchInvoke(again.AsDispatch(), u"Cookie", DISPATCH_PROPERTYGET, {}).AsString();
  } catch (...) {
    Cookie.clear();
  }
}

namespace {

constexpr LCID kLocaleNeutral = 0;

// Draws a view object's content into a fresh bitmap of the given size.
std::unique_ptr<TBitmap> DrawView(IViewObject* view, int width, int height) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(width, height);
  RECTL bounds{0, 0, width, height};
  OleCheck(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, bitmap->Canvas()->Handle(), &bounds, nullptr,
                      nullptr, 0));
  return bitmap;
}

IViewObject* ViewOf(IUnknown* object) {
  IViewObject* view = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) return nullptr;
  return view;
}

}  // namespace

bool SaveViewAsBitmap(IUnknown* Document, int Width, int Height, const AnsiString& FileName) {
  if (!HasHtmlDocument(Document)) return false;
  IViewObject* view = ViewOf(Document);
  if (!view) return false;
  bool ok = false;
  try {
    DrawView(view, Width, Height)->SaveToFile(FileName);
    ok = true;
  } catch (...) {
  }
  view->Release();
  return ok;
}

bool SaveViewAsJpeg(IWebBrowser2* Browser, const AnsiString& FileName, int ThumbWidth, int ThumbHeight,
                    int SourceWidth, int SourceHeight) {
  IViewObject* view = ViewOf(Browser);
  if (!view) return false;
  bool ok = false;
  try {
    std::unique_ptr<TBitmap> source = DrawView(view, SourceWidth, SourceHeight);
    TBitmap thumb;
    thumb.SetSize(ThumbWidth, ThumbHeight);
    thumb.Canvas()->StretchDraw(Rect(0, 0, ThumbWidth, ThumbHeight), source.get());
    TJPEGImage jpeg;
    jpeg.Assign(&thumb);
    jpeg.SaveToFile(FileName);
    ok = true;
  } catch (...) {
  }
  view->Release();
  return ok;
}

void ShellExplore(HWND OwnerWnd, const AnsiString& Path) {
  ShellExecuteA(OwnerWnd, "explore", Path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void AddFavoriteEntry(const AnsiString& URL, const AnsiString& Title) {
  if (Trim(URL).empty() || Trim(Title).empty()) return;
  IShellUIHelper* helper = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellUIHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IShellUIHelper,
                              reinterpret_cast<void**>(&helper))) ||
      !helper)
    return;
  try {
    OleVariant title(Title);
    WideString url = kv::AnsiToWide(URL);
    BSTR b = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANT t = title.Var();
    helper->AddFavorite(b, &t);
    SysFreeString(b);
  } catch (...) {
  }
  helper->Release();
}

void AddHostToRestrictedZone(const AnsiString& URL) {
  try {
    AnsiString host = URL;
    size_t scheme = host.find("://");
    if (scheme != AnsiString::npos) host.erase(0, scheme + 3);
    if (host.compare(0, 4, "www.") == 0) host.erase(0, 4);
    TRegistry zones;
    zones.SetRootKey(HKEY_CURRENT_USER);
    if (zones.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\" + host, true))
      zones.WriteInteger("*", 4);
  } catch (...) {
  }
}

namespace {

// Sets the process proxy on an open internet handle, then refreshes.
bool SetProxyOn(HINTERNET handle, const AnsiString& server) {
  AnsiString bypass = "<local>";
  INTERNET_PER_CONN_OPTIONA options[3];
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[0].Value.dwValue = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[1].Value.pszValue = const_cast<char*>(server.c_str());
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[2].Value.pszValue = bypass.data();
  INTERNET_PER_CONN_OPTION_LISTA list{};
  list.dwSize = 20;
  list.pszConnection = nullptr;
  list.dwOptionCount = 3;
  list.pOptions = options;
  if (!InternetSetOptionA(handle, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, 20)) return false;
  return InternetSetOptionA(handle, INTERNET_OPTION_REFRESH, nullptr, 0) != FALSE;
}

}  // namespace

bool SetProcessProxy(const AnsiString& Agent, const AnsiString& Server) {
  HINTERNET handle = InternetOpenA(Agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!handle) return false;
  bool ok = SetProxyOn(handle, Server);
  InternetCloseHandle(handle);
  return ok;
}

bool SetProcessProxyWithLogin(const AnsiString& Agent, const AnsiString& Address, int Port,
                              const AnsiString& UserName, const AnsiString& Password) {
  HINTERNET handle = InternetOpenA(Agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!handle) return false;
  bool ok = false;
  HINTERNET connection = InternetConnectA(handle, Address.c_str(), static_cast<INTERNET_PORT>(Port),
                                          UserName.c_str(), Password.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
  if (connection) {
    ok = SetProxyOn(handle, Address);
    InternetCloseHandle(connection);
  }
  InternetCloseHandle(handle);
  return ok;
}

bool ResetProcessProxy() {
  HINTERNET handle = InternetOpenA("", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!handle) return false;
  SetProxyOn(handle, "");
  InternetCloseHandle(handle);
  return true;
}

void SwitchNavigationSound(bool Off) {
  const AnsiString folder = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\";
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  const AnsiString from = Off ? ".Current" : "Old_Current";
  const AnsiString to = Off ? "Old_Current" : ".Current";
  if (!reg.KeyExists(folder + from)) return;
  if (reg.OpenKey(folder, false)) reg.MoveKey(from, to, true);
}

void DisableNavigationSound(bool Off) {
  int major = StrToIntDef(GetBrowserMajorVersion(), -1);
  if (major < 7)
    SwitchNavigationSound(Off);
  else
    SetBrowserFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, Off);
}

void CallScriptFunction(IDispatch* Script, const AnsiString& Name, const std::vector<TVarRec>& Args,
                        OleVariant& Result) {
  Result = false;
  WideString wide = kv::AnsiToWide(Name);
  LPOLESTR names[1] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  if (!Script || FAILED(Script->GetIDsOfNames(IID_NULL, names, 1, kLocaleNeutral, &id)))
    throw Exception("This object does not support this method");
  // Converted last argument first, as DISPPARAMS holds them.
  std::vector<OleVariant> reversed;
  reversed.reserve(Args.size());
  for (size_t i = Args.size(); i-- > 0;) {
    const TVarRec& a = Args[i];
    switch (a.kind()) {
      case TVarRec::vtInteger: reversed.emplace_back(static_cast<int>(a.AsInteger())); break;
      case TVarRec::vtInt64: reversed.emplace_back(a.AsInteger()); break;
      case TVarRec::vtBoolean: reversed.emplace_back(a.AsInteger() != 0); break;
      case TVarRec::vtChar:
      case TVarRec::vtString: reversed.emplace_back(kv::AnsiToWide(a.AsString())); break;
      case TVarRec::vtWideString: reversed.emplace_back(a.AsWide()); break;
      case TVarRec::vtExtended: reversed.emplace_back(a.AsFloat()); break;
      case TVarRec::vtVariant: {
        auto* v = static_cast<const OleVariant*>(a.AsPointer());
        reversed.push_back(OleVariant::ByRef(VT_VARIANT, const_cast<VARIANT*>(&v->Var())));
        break;
      }
      default:
        throw Exception(Format("Unsupported type for Parameter with Index %d", {static_cast<int>(reversed.size())}));
    }
  }
  std::vector<VARIANT> args(reversed.size());
  for (size_t i = 0; i < reversed.size(); ++i) args[i] = reversed[i].Var();
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  HRESULT hr = Script->Invoke(id, IID_NULL, kLocaleNeutral, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result,
                              &info, nullptr);
  if (FAILED(hr)) {
    AnsiString description = kv::WideToAnsi(kv::BstrText(info.bstrDescription));
    AnsiString source = kv::WideToAnsi(kv::BstrText(info.bstrSource));
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    throw Exception(Format("Method call unsuccessful. %s (%s).", {description, source}));
  }
  Result = OleVariant(result);
  VariantClear(&result);
}

AnsiString GetBrowserFileVersion() {
  char dir[261];
  UINT n = GetSystemDirectoryA(dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) return AnsiString();
  AnsiString file = AnsiString(dir) + "\\ieframe.dll";
  if (!FileExists(file)) file = AnsiString(dir) + "\\shdocvw.dll";
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
  if (size == 0) return AnsiString();
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoA(file.c_str(), handle, size, block.data())) return AnsiString();
  void* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) || length < 4)
    return AnsiString();
  WORD pair[2];
  std::memcpy(pair, translation, sizeof pair);
  AnsiString path = Format("\\StringFileInfo\\%0.4x%0.4x\\%s", {pair[0], pair[1], "FileVersion"});
  void* text = nullptr;
  if (!VerQueryValueA(block.data(), path.c_str(), &text, &length) || !text) return AnsiString();
  return AnsiString(static_cast<const char*>(text));
}

AnsiString GetBrowserMajorVersion() {
  AnsiString version = GetBrowserFileVersion();
  size_t dot = version.find('.');
  return dot == AnsiString::npos ? version : version.substr(0, dot);
}
