// TEWB: the platform web browser as an ActiveX control on a framework form. Published
// properties go to the control by DISPID; the control's DWebBrowserEvents2 arrive as the
// events below (argument lists as the platform's, with a leading ASender; in-out
// arguments are written back after the handler).
#pragma once

#include <functional>

#include "framework/activex/olectrls.h"
#include "platform/browser/browser.h"

class TEWB;

using TEWBNotify = std::function<void(TObject* ASender)>;
using TEWBText = std::function<void(TObject* ASender, const WideString& Text)>;
using TEWBBool = std::function<void(TObject* ASender, bool Value)>;
using TEWBInt = std::function<void(TObject* ASender, int Value)>;
using TEWBProgressChange = std::function<void(TObject* ASender, int Progress, int ProgressMax)>;
using TEWBCommandStateChange = std::function<void(TObject* ASender, int Command, bool Enable)>;
using TEWBBeforeNavigate2 =
    std::function<void(TObject* ASender, IDispatch* pDisp, OleVariant& URL, OleVariant& Flags,
                       OleVariant& TargetFrameName, OleVariant& PostData, OleVariant& Headers, VARIANT_BOOL& Cancel)>;
using TEWBNewWindow2 = std::function<void(TObject* ASender, IDispatch*& ppDisp, VARIANT_BOOL& Cancel)>;
using TEWBNavigateComplete2 = std::function<void(TObject* ASender, IDispatch* pDisp, OleVariant& URL)>;
using TEWBDocumentComplete = std::function<void(TObject* ASender, IDispatch* pDisp, OleVariant& URL)>;
using TEWBWindowClosing = std::function<void(TObject* ASender, bool IsChildWindow, VARIANT_BOOL& Cancel)>;
using TEWBClientToHostWindow = std::function<void(TObject* ASender, int& CX, int& CY)>;
using TEWBFileDownload = std::function<void(TObject* ASender, VARIANT_BOOL& Cancel)>;
using TEWBNavigateError = std::function<void(TObject* ASender, IDispatch* pDisp, OleVariant& URL, OleVariant& Frame,
                                             OleVariant& StatusCode, VARIANT_BOOL& Cancel)>;
using TEWBPrintTemplate = std::function<void(TObject* ASender, IDispatch* pDisp)>;
using TEWBUpdatePageStatus =
    std::function<void(TObject* ASender, IDispatch* pDisp, OleVariant& nPage, OleVariant& fDone)>;
using TEWBNewWindow3 = std::function<void(TObject* ASender, IDispatch*& ppDisp, VARIANT_BOOL& Cancel, DWORD dwFlags,
                                          const WideString& bstrUrlContext, const WideString& bstrUrl)>;

class TEWB : public TOleControl {
 public:
  explicit TEWB(TComponent* AOwner);
  ~TEWB() override;
  KV_CLASS_NAME(TEWB)

  // The control's IWebBrowser2, asked once and kept (EIntfCastError when it has none).
  IWebBrowser2* DefaultInterface();
  // The platform calls; a failing HRESULT raises the framework's OLE error.
  void GoHome();
  void Refresh();
  void Navigate(const WideString& URL);
  void Navigate2(const OleVariant& URL, const OleVariant& Flags, const OleVariant& TargetFrameName,
                 const OleVariant& PostData, const OleVariant& Headers);
  // The output goes to a module-wide variant (ExecWBResult) that shut-down clears.
  void ExecWB(LONG cmdID, LONG cmdexecopt, const OleVariant& vaIn);
  static OleVariant& ExecWBResult();

  // Properties by DISPID.
  bool Visible() { return GetProperty(402).AsBoolean(); }
  void SetVisible(bool Value) { SetProperty(402, Value); }
  bool StatusBar() { return GetProperty(403).AsBoolean(); }
  void SetStatusBar(bool Value) { SetProperty(403, Value); }
  WideString StatusText() { return GetProperty(404).AsWideString(); }
  void SetStatusText(const WideString& Value) { SetProperty(404, Value); }
  int ToolBar() { return GetProperty(405).AsInteger(); }
  void SetToolBar(int Value) { SetProperty(405, Value); }
  bool MenuBar() { return GetProperty(406).AsBoolean(); }
  void SetMenuBar(bool Value) { SetProperty(406, Value); }
  bool FullScreen() { return GetProperty(407).AsBoolean(); }
  void SetFullScreen(bool Value) { SetProperty(407, Value); }
  bool Offline() { return GetProperty(550).AsBoolean(); }
  void SetOffline(bool Value) { SetProperty(550, Value); }
  bool Silent() { return GetProperty(551).AsBoolean(); }
  void SetSilent(bool Value) { SetProperty(551, Value); }
  bool RegisterAsBrowser() { return GetProperty(552).AsBoolean(); }
  void SetRegisterAsBrowser(bool Value) { SetProperty(552, Value); }
  bool RegisterAsDropTarget() { return GetProperty(553).AsBoolean(); }
  void SetRegisterAsDropTarget(bool Value) { SetProperty(553, Value); }
  bool TheaterMode() { return GetProperty(554).AsBoolean(); }
  void SetTheaterMode(bool Value) { SetProperty(554, Value); }
  bool AddressBar() { return GetProperty(555).AsBoolean(); }
  void SetAddressBar(bool Value) { SetProperty(555, Value); }
  bool Resizable() { return GetProperty(556).AsBoolean(); }
  void SetResizable(bool Value) { SetProperty(556, Value); }

  // DWebBrowserEvents2, in slot order.
  TEWBText OnStatusTextChange;
  TEWBProgressChange OnProgressChange;
  TEWBCommandStateChange OnCommandStateChange;
  TEWBNotify OnDownloadBegin;
  TEWBNotify OnDownloadComplete;
  TEWBText OnTitleChange;
  TEWBText OnPropertyChange;
  TEWBBeforeNavigate2 OnBeforeNavigate2;
  TEWBNewWindow2 OnNewWindow2;
  TEWBNavigateComplete2 OnNavigateComplete2;
  TEWBDocumentComplete OnDocumentComplete;
  TEWBNotify OnQuit;
  TEWBBool OnVisible;
  TEWBBool OnToolBar;
  TEWBBool OnMenuBar;
  TEWBBool OnStatusBar;
  TEWBBool OnFullScreen;
  TEWBBool OnTheaterMode;
  TEWBBool OnAddressBar;
  TEWBBool OnWindowSetResizable;
  TEWBInt OnWindowSetLeft;
  TEWBInt OnWindowSetTop;
  TEWBInt OnWindowSetWidth;
  TEWBInt OnWindowSetHeight;
  TEWBWindowClosing OnWindowClosing;
  TEWBClientToHostWindow OnClientToHostWindow;
  TEWBInt OnSetSecureLockIcon;
  TEWBFileDownload OnFileDownload;
  TEWBNavigateError OnNavigateError;
  TEWBPrintTemplate OnPrintTemplateInstantiation;
  TEWBPrintTemplate OnPrintTemplateTeardown;
  TEWBUpdatePageStatus OnUpdatePageStatus;
  TEWBBool OnPrivacyImpactedStateChange;
  TEWBNewWindow3 OnNewWindow3;

 protected:
  void DestroyControl() override;

 private:
  void BindEvents();
  IWebBrowser2* browser_ = nullptr;
};
