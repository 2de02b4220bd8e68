#include "shell/browser_to_host.h"

#include "browser_host/embedded_browser.h"
#include "framework/controls/dialogs.h"
#include "framework/controls/forms.h"
#include "framework/core/sysutils.h"
#include "platform/base/codepage.h"
#include "shell/host_registry.h"
#include "shell/ini_config.h"
#include "shell/shell_window.h"

namespace korvane {
namespace {

using V = OleVariant;

IShellWindow& Shell() { return RequireShellWindow(); }
TCustomForm& Form() { return Shell().Form(); }
TEmbeddedWB& Browser() { return Shell().Browser(); }

// The members' work, shared by the dispatch table and the interface's own methods. Each
// converts all its arguments before it acts, so a value that does not convert changes
// nothing. The members that touch only files or the registry are the main window's
// operations too, and fail without it like the others.

void DoChangeWindowSize(const V& width, const V& height) {
  const int w = width.AsInteger(), h = height.AsInteger();
  TCustomForm& form = Form();
  form.SetWidth(w);
  form.SetHeight(h);
}

void DoMessageBox(const V& message) { ShowMessage(message.AsString()); }

void DoMoveWindow(const V& xpos, const V& ypos) {
  const int x = xpos.AsInteger(), y = ypos.AsInteger();
  TCustomForm& form = Form();
  form.SetLeft(x);
  form.SetTop(y);
}

void DoApplicationExit() { Shell().ApplicationExit(); }

V DoScreenWidth() { return V(Shell().GetScreenHeight()); }
V DoScreenHeight() { return V(Shell().GetScreenWidth()); }

void DoWindowResize(const V& width, const V& height, const V& winState) {
  const int w = width.AsInteger(), h = height.AsInteger();
  const AnsiString code = winState.AsString();
  IShellWindow& shell = Shell();
  shell.WindowResize(w, h, code);
  shell.Form().BringToFront();
}

void DoNavigate(const V& url) { Browser().Navigate(url.AsWideString()); }

V DoLoadConfig(const V& FileName, const V& isEncoded) {
  const AnsiString name = FileName.AsString();
  const int encoded = isEncoded.AsInteger();
  RequireShellWindow();
  return V(kv::AnsiToWide(TINIConfig().LoadConfig(name, encoded)));
}

void DoSaveConfig(const V& FileName, const V& ConfigItems, const V& isEncode) {
  const AnsiString name = FileName.AsString(), items = ConfigItems.AsString();
  const int encode = isEncode.AsInteger();
  RequireShellWindow();
  TINIConfig().SaveConfig(name, items, encode);
}

// The program's folder as the pages expect it: ending in a backslash (which the
// platform's file names take as a separator).
V DoGetAppPath() {
  RequireShellWindow();
  return V(kv::AnsiToWide(ExcludeTrailingPathDelimiter(TINIConfig::ProgramDirectory()) + "\\"));
}

void DoSetCloseHandler(const V& name) {
  const AnsiString n = name.AsString();
  Shell().SetCloseHandler(n);
}
void DoClearUrlHistory() { Shell().ClearUrlHistory(); }
void DoClearIECache() { Shell().ClearIECache(); }

V DoGetWindowTitle() { return V(kv::AnsiToWide(Form().Caption())); }
void DoPutWindowTitle(const V& value) {
  const AnsiString caption = value.AsString();
  Form().SetCaption(caption);
}

void DoSetNavigateErrorHandler(const V& name) {
  const AnsiString n = name.AsString();
  Shell().SetNavigateErrorHandler(n);
}
void DoSetDocumentCompleteHandler(const V& name) {
  const AnsiString n = name.AsString();
  Shell().SetDocumentCompleteHandler(n);
}

void DoAddToRestrictedSiteList(const V& url) {
  const AnsiString u = url.AsString();
  Browser().AddToRestrictedZone(u);
}
void DoAddToTrustedSiteList(const V& url) {
  const AnsiString u = url.AsString();
  RequireShellWindow();
  korvane::AddToTrustedSiteList(u);
}
void DoAddToFavorites(const V& url, const V& title) {
  const AnsiString u = url.AsString(), t = title.AsString();
  Browser().AddToFavorites(u, t);
}
void DoExploreFolder(const V& path) {
  const AnsiString p = path.AsString();
  Browser().ExploreFolder(p);
}

void DoGetBmpFromBrowser(const V& FileName) {
  const AnsiString name = FileName.AsString();
  Browser().SavePageImage(name);
}
void DoGetJpegFromBrowser(const V& FileName, const V& width, const V& height) {
  const AnsiString name = FileName.AsString();
  const int w = width.AsInteger(), h = height.AsInteger();
  Browser().SaveThumbnail(name, h, w, h, w);
}

// RegPath, Section and ident as text.
struct TRegTarget {
  AnsiString Path, Section, Ident;
};
TRegTarget RegTarget(const V& RegPath, const V& Section, const V& ident) {
  return {RegPath.AsString(), Section.AsString(), ident.AsString()};
}
void DoAddRegistryString(const V& RegPath, const V& Section, const V& ident, const V& value) {
  const TRegTarget t = RegTarget(RegPath, Section, ident);
  const AnsiString v = value.AsString();
  RequireShellWindow();
  AddRegString(t.Path, t.Section, t.Ident, v);
}
void DoAddRegistryInteger(const V& RegPath, const V& Section, const V& ident, const V& value) {
  const TRegTarget t = RegTarget(RegPath, Section, ident);
  const int v = value.AsInteger();
  RequireShellWindow();
  AddRegInteger(t.Path, t.Section, t.Ident, v);
}
void DoAddRegistryFloat(const V& RegPath, const V& Section, const V& ident, const V& value) {
  const TRegTarget t = RegTarget(RegPath, Section, ident);
  const double v = value.AsDouble();
  RequireShellWindow();
  AddRegFloat(t.Path, t.Section, t.Ident, v);
}

// A vtable method: the work inside the framework's error handling.
HRESULT Call(const std::function<void()>& body) { return SafeCall(u"Korvane.BrowserToHost", body); }
HRESULT Get(VARIANT* out, const std::function<V()>& body) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return Call([&] { *out = body().Detach(); });
}

}  // namespace

const TTypeLibRecord& KorvaneTypeLib() {
  static const TTypeLibRecord lib = {
      LIBID_Korvane,
      "Korvane",
      "Korvane Library",
      1,
      0,
      0,
      {{IID_IBrowserToHost, "IBrowserToHost", "Dispatch interface for BrowserToHost Object", TInterfaceKind::Dual,
        []() -> const TDispatchTableBase& { return TBrowserToHost::DispatchTable(); }}},
      {{CLSID_BrowserToHost, "BrowserToHost", "BrowserToHost Object", {{IID_IBrowserToHost, true, false}}}},
      {},
  };
  return lib;
}

void RegisterBrowserToHostFactory() {
  static TAutoObjectFactory<TBrowserToHost> factory(ComServer(), CLSID_BrowserToHost, "BrowserToHost",
                                                    "BrowserToHost Object", ciInternal, tmApartment);
}

IDispatch* NewBrowserToHost() { return new TBrowserToHost(); }

const TDispatchTable<TBrowserToHost>& TBrowserToHost::DispatchTable() {
  using K = TDispKind;
  using C = TBrowserToHost;
  using D = TDispCall;
  static const TDispatchTable<C> table = {
      {"ChangeWindowSize", 201, K::Method, "variant width, variant height",
       [](C&, D& c) { DoChangeWindowSize(c.Value(0), c.Value(1)); }},
      {"MessageBox", 202, K::Method, "variant message", [](C&, D& c) { DoMessageBox(c.Value(0)); }},
      {"MoveWindow", 204, K::Method, "variant xpos, variant ypos",
       [](C&, D& c) { DoMoveWindow(c.Value(0), c.Value(1)); }},
      {"ApplicationExit", 205, K::Method, "", [](C&, D&) { DoApplicationExit(); }},
      {"ScreenWidth", 203, K::PropertyGet, "variant Value", [](C&, D& c) { c.SetResult(DoScreenWidth()); }},
      {"ScreenHeight", 206, K::PropertyGet, "variant Value", [](C&, D& c) { c.SetResult(DoScreenHeight()); }},
      {"WindowResize", 207, K::Method, "variant width, variant height, variant winState",
       [](C&, D& c) { DoWindowResize(c.Value(0), c.Value(1), c.Value(2)); }},
      {"Navigate", 208, K::Method, "variant url", [](C&, D& c) { DoNavigate(c.Value(0)); }},
      {"LoadConfig", 209, K::Method, "variant FileName, variant isEncoded, out retval variant ConfigString",
       [](C&, D& c) { c.SetResult(DoLoadConfig(c.Value(0), c.Value(1))); }},
      {"SaveConfig", 210, K::Method, "variant FileName, variant ConfigItems, variant isEncode",
       [](C&, D& c) { DoSaveConfig(c.Value(0), c.Value(1), c.Value(2)); }},
      {"GetAppPath", 211, K::Method, "out retval variant AppPath", [](C&, D& c) { c.SetResult(DoGetAppPath()); }},
      {"SetCloseHandler", 212, K::Method, "variant functionName", [](C&, D& c) { DoSetCloseHandler(c.Value(0)); }},
      {"ClearUrlHistory", 213, K::Method, "", [](C&, D&) { DoClearUrlHistory(); }},
      {"ClearIECache", 214, K::Method, "", [](C&, D&) { DoClearIECache(); }},
      {"WindowTitle", 215, K::PropertyGet, "variant Value", [](C&, D& c) { c.SetResult(DoGetWindowTitle()); }},
      {"WindowTitle", 215, K::PropertyPut, "variant Value", [](C&, D& c) { DoPutWindowTitle(c.PutValue()); }},
      {"SetNavigateErrorHandler", 216, K::Method, "variant functionName",
       [](C&, D& c) { DoSetNavigateErrorHandler(c.Value(0)); }},
      {"SetDocumentCompleteHandler", 217, K::Method, "variant functionName",
       [](C&, D& c) { DoSetDocumentCompleteHandler(c.Value(0)); }},
      {"AddToRestrictedSiteList", 218, K::Method, "variant url",
       [](C&, D& c) { DoAddToRestrictedSiteList(c.Value(0)); }},
      {"AddToTrustedSiteList", 219, K::Method, "variant url", [](C&, D& c) { DoAddToTrustedSiteList(c.Value(0)); }},
      {"AddToFavorites", 220, K::Method, "variant url, variant Title",
       [](C&, D& c) { DoAddToFavorites(c.Value(0), c.Value(1)); }},
      {"ExploreFolder", 221, K::Method, "variant Path", [](C&, D& c) { DoExploreFolder(c.Value(0)); }},
      {"GetBmpFromBrowser", 222, K::Method, "variant FileName", [](C&, D& c) { DoGetBmpFromBrowser(c.Value(0)); }},
      {"GetJpegFromBrowser", 223, K::Method, "variant FileName, variant width, variant height",
       [](C&, D& c) { DoGetJpegFromBrowser(c.Value(0), c.Value(1), c.Value(2)); }},
      {"AddRegistryString", 224, K::Method, "variant RegPath, variant Section, variant ident, variant Value",
       [](C&, D& c) { DoAddRegistryString(c.Value(0), c.Value(1), c.Value(2), c.Value(3)); }},
      {"AddRegistryInteger", 225, K::Method, "variant RegPath, variant Section, variant ident, variant Value",
       [](C&, D& c) { DoAddRegistryInteger(c.Value(0), c.Value(1), c.Value(2), c.Value(3)); }},
      {"AddRegistryFloat", 226, K::Method, "variant RegPath, variant Section, variant ident, variant Value",
       [](C&, D& c) { DoAddRegistryFloat(c.Value(0), c.Value(1), c.Value(2), c.Value(3)); }},
  };
  return table;
}

// ---- IBrowserToHost ---------------------------------------------------------------------------------

HRESULT TBrowserToHost::ChangeWindowSize(VARIANT width, VARIANT height) {
  return Call([&] { DoChangeWindowSize(V(width), V(height)); });
}
HRESULT TBrowserToHost::MessageBox(VARIANT message) {
  return Call([&] { DoMessageBox(V(message)); });
}
HRESULT TBrowserToHost::MoveWindow(VARIANT xpos, VARIANT ypos) {
  return Call([&] { DoMoveWindow(V(xpos), V(ypos)); });
}
HRESULT TBrowserToHost::ApplicationExit() { return Call(DoApplicationExit); }
HRESULT TBrowserToHost::get_ScreenWidth(VARIANT* Value) { return Get(Value, DoScreenWidth); }
HRESULT TBrowserToHost::get_ScreenHeight(VARIANT* Value) { return Get(Value, DoScreenHeight); }
HRESULT TBrowserToHost::WindowResize(VARIANT width, VARIANT height, VARIANT winState) {
  return Call([&] { DoWindowResize(V(width), V(height), V(winState)); });
}
HRESULT TBrowserToHost::Navigate(VARIANT url) {
  return Call([&] { DoNavigate(V(url)); });
}
HRESULT TBrowserToHost::LoadConfig(VARIANT FileName, VARIANT isEncoded, VARIANT* ConfigString) {
  return Get(ConfigString, [&] { return DoLoadConfig(V(FileName), V(isEncoded)); });
}
HRESULT TBrowserToHost::SaveConfig(VARIANT FileName, VARIANT ConfigItems, VARIANT isEncode) {
  return Call([&] { DoSaveConfig(V(FileName), V(ConfigItems), V(isEncode)); });
}
HRESULT TBrowserToHost::GetAppPath(VARIANT* AppPath) { return Get(AppPath, DoGetAppPath); }
HRESULT TBrowserToHost::SetCloseHandler(VARIANT functionName) {
  return Call([&] { DoSetCloseHandler(V(functionName)); });
}
HRESULT TBrowserToHost::ClearUrlHistory() { return Call(DoClearUrlHistory); }
HRESULT TBrowserToHost::ClearIECache() { return Call(DoClearIECache); }
HRESULT TBrowserToHost::get_WindowTitle(VARIANT* Value) { return Get(Value, DoGetWindowTitle); }
HRESULT TBrowserToHost::put_WindowTitle(VARIANT Value) {
  return Call([&] { DoPutWindowTitle(V(Value)); });
}
HRESULT TBrowserToHost::SetNavigateErrorHandler(VARIANT functionName) {
  return Call([&] { DoSetNavigateErrorHandler(V(functionName)); });
}
HRESULT TBrowserToHost::SetDocumentCompleteHandler(VARIANT functionName) {
  return Call([&] { DoSetDocumentCompleteHandler(V(functionName)); });
}
HRESULT TBrowserToHost::AddToRestrictedSiteList(VARIANT url) {
  return Call([&] { DoAddToRestrictedSiteList(V(url)); });
}
HRESULT TBrowserToHost::AddToTrustedSiteList(VARIANT url) {
  return Call([&] { DoAddToTrustedSiteList(V(url)); });
}
HRESULT TBrowserToHost::AddToFavorites(VARIANT url, VARIANT Title) {
  return Call([&] { DoAddToFavorites(V(url), V(Title)); });
}
HRESULT TBrowserToHost::ExploreFolder(VARIANT Path) {
  return Call([&] { DoExploreFolder(V(Path)); });
}
HRESULT TBrowserToHost::GetBmpFromBrowser(VARIANT FileName) {
  return Call([&] { DoGetBmpFromBrowser(V(FileName)); });
}
HRESULT TBrowserToHost::GetJpegFromBrowser(VARIANT FileName, VARIANT width, VARIANT height) {
  return Call([&] { DoGetJpegFromBrowser(V(FileName), V(width), V(height)); });
}
HRESULT TBrowserToHost::AddRegistryString(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) {
  return Call([&] { DoAddRegistryString(V(RegPath), V(Section), V(ident), V(Value)); });
}
HRESULT TBrowserToHost::AddRegistryInteger(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) {
  return Call([&] { DoAddRegistryInteger(V(RegPath), V(Section), V(ident), V(Value)); });
}
HRESULT TBrowserToHost::AddRegistryFloat(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) {
  return Call([&] { DoAddRegistryFloat(V(RegPath), V(Section), V(ident), V(Value)); });
}

}  // namespace korvane
