// The page's external object (window.external): the type library "Korvane", the dual
// interface IBrowserToHost and the class BrowserToHost. The browser asks the main window
// for it once per document; every instance acts on the one main window (ShellWindow()),
// and each member fails with an automation error the script sees as an exception when
// there is none, or when an argument does not convert (before anything changes).
#pragma once

#include "framework/automation/comobj.h"

namespace korvane {

inline constexpr GUID LIBID_Korvane = {0xA8CB1F2C, 0xAF56, 0x4C5F, {0x9E, 0x5F, 0xDA, 0x5D, 0x72, 0xFD, 0xF8, 0x0C}};
inline constexpr IID IID_IBrowserToHost = {
    0x158B809B, 0xDFF7, 0x4009, {0xAC, 0x2A, 0xB5, 0xDB, 0xD7, 0x6A, 0xCB, 0xA1}};
inline constexpr CLSID CLSID_BrowserToHost = {
    0x7102E8A9, 0xA787, 0x4BD8, {0x9B, 0xCB, 0xC7, 0xDB, 0x4A, 0xE1, 0xD4, 0x40}};

// The dual interface in slot order. Every parameter is a VARIANT: numbers, numeric
// strings and booleans serve where a member takes an integer.
struct IBrowserToHost : IDispatch {
  virtual HRESULT ChangeWindowSize(VARIANT width, VARIANT height) = 0;
  virtual HRESULT MessageBox(VARIANT message) = 0;
  virtual HRESULT MoveWindow(VARIANT xpos, VARIANT ypos) = 0;
  virtual HRESULT ApplicationExit() = 0;
  // The screen's height (ScreenWidth) and width (ScreenHeight): the names are crossed,
  // and the pages written for this program rely on it.
  virtual HRESULT get_ScreenWidth(VARIANT* Value) = 0;
  virtual HRESULT get_ScreenHeight(VARIANT* Value) = 0;
  virtual HRESULT WindowResize(VARIANT width, VARIANT height, VARIANT winState) = 0;
  virtual HRESULT Navigate(VARIANT url) = 0;
  virtual HRESULT LoadConfig(VARIANT FileName, VARIANT isEncoded, VARIANT* ConfigString) = 0;
  virtual HRESULT SaveConfig(VARIANT FileName, VARIANT ConfigItems, VARIANT isEncode) = 0;
  virtual HRESULT GetAppPath(VARIANT* AppPath) = 0;
  virtual HRESULT SetCloseHandler(VARIANT functionName) = 0;
  virtual HRESULT ClearUrlHistory() = 0;
  virtual HRESULT ClearIECache() = 0;
  virtual HRESULT get_WindowTitle(VARIANT* Value) = 0;
  virtual HRESULT put_WindowTitle(VARIANT Value) = 0;
  virtual HRESULT SetNavigateErrorHandler(VARIANT functionName) = 0;
  virtual HRESULT SetDocumentCompleteHandler(VARIANT functionName) = 0;
  virtual HRESULT AddToRestrictedSiteList(VARIANT url) = 0;
  virtual HRESULT AddToTrustedSiteList(VARIANT url) = 0;
  virtual HRESULT AddToFavorites(VARIANT url, VARIANT Title) = 0;
  virtual HRESULT ExploreFolder(VARIANT Path) = 0;
  virtual HRESULT GetBmpFromBrowser(VARIANT FileName) = 0;
  // The thumbnail is made with height and width in the order (height, width, height,
  // width) of the picture saver's four sizes, as the pages written for it expect.
  virtual HRESULT GetJpegFromBrowser(VARIANT FileName, VARIANT width, VARIANT height) = 0;
  virtual HRESULT AddRegistryString(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) = 0;
  virtual HRESULT AddRegistryInteger(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) = 0;
  virtual HRESULT AddRegistryFloat(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) = 0;
};

// The type library's record: what the program hands ComServer().SetTypeLib at start-up.
const TTypeLibRecord& KorvaneTypeLib();

// Registers the class factory with the program's ComServer() (once; later calls do
// nothing). The class is internal: nothing is written to the registry for it and no
// other program can create it.
void RegisterBrowserToHostFactory();

// A new external object with one reference, for the browser's request.
IDispatch* NewBrowserToHost();

class TBrowserToHost : public TAutoObject<TBrowserToHost, IBrowserToHost> {
 public:
  TBrowserToHost() : TAutoObject(IID_IBrowserToHost) {}
  static const TDispatchTable<TBrowserToHost>& DispatchTable();

  HRESULT ChangeWindowSize(VARIANT width, VARIANT height) override;
  HRESULT MessageBox(VARIANT message) override;
  HRESULT MoveWindow(VARIANT xpos, VARIANT ypos) override;
  HRESULT ApplicationExit() override;
  HRESULT get_ScreenWidth(VARIANT* Value) override;
  HRESULT get_ScreenHeight(VARIANT* Value) override;
  HRESULT WindowResize(VARIANT width, VARIANT height, VARIANT winState) override;
  HRESULT Navigate(VARIANT url) override;
  HRESULT LoadConfig(VARIANT FileName, VARIANT isEncoded, VARIANT* ConfigString) override;
  HRESULT SaveConfig(VARIANT FileName, VARIANT ConfigItems, VARIANT isEncode) override;
  HRESULT GetAppPath(VARIANT* AppPath) override;
  HRESULT SetCloseHandler(VARIANT functionName) override;
  HRESULT ClearUrlHistory() override;
  HRESULT ClearIECache() override;
  HRESULT get_WindowTitle(VARIANT* Value) override;
  HRESULT put_WindowTitle(VARIANT Value) override;
  HRESULT SetNavigateErrorHandler(VARIANT functionName) override;
  HRESULT SetDocumentCompleteHandler(VARIANT functionName) override;
  HRESULT AddToRestrictedSiteList(VARIANT url) override;
  HRESULT AddToTrustedSiteList(VARIANT url) override;
  HRESULT AddToFavorites(VARIANT url, VARIANT Title) override;
  HRESULT ExploreFolder(VARIANT Path) override;
  HRESULT GetBmpFromBrowser(VARIANT FileName) override;
  HRESULT GetJpegFromBrowser(VARIANT FileName, VARIANT width, VARIANT height) override;
  HRESULT AddRegistryString(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) override;
  HRESULT AddRegistryInteger(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) override;
  HRESULT AddRegistryFloat(VARIANT RegPath, VARIANT Section, VARIANT ident, VARIANT Value) override;

 protected:
  WideString ErrorSource() const override { return u"Korvane.BrowserToHost"; }

 private:
  ~TBrowserToHost() override = default;
};

}  // namespace korvane
