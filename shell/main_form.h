// TMainForm: the shell's one visible window. The browser component fills it and runs the
// web application the configuration file points to: the login page in a small dialog-like
// window when the configuration is complete, else the local configuration page; once a
// page carries the login cookie the window becomes maximised and sizeable. Failed
// navigations go to the local error pages, and the page may name script functions of its
// own for closing, navigation errors and document completion.
#pragma once

#include "browser_host/dom_events.h"
#include "browser_host/embedded_browser.h"
#include "browser_host/history_cache.h"
#include "browser_host/ie_address.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"
#include "shell/shell_window.h"
#include "skin/skin_data.h"

class TMainForm : public TForm, public korvane::IShellWindow {
 public:
  // Builds the components as the form's description sets them and announces the form as
  // the shell window; the start-up itself runs in OnCreate (FormCreate).
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;
  KV_CLASS_NAME(TMainForm)

  TStatusBar* StatusBar1;
  TPanel* Panel4;
  TEmbeddedWB* EWB;
  TToolBar* ToolBarMain;  // never shown
  TToolButton* ToolbtnBack;
  TToolButton* ToolBtnForward;
  TToolButton* ToolBtnStop;
  TToolButton* ToolBtnRefresh;
  TToolButton* ToolBtnHome;
  TPanel* PanelAddress;
  TIEAddress* IEAddress1;
  TButton* btnGo;
  TProgressBar* ProgressBar1;
  THtmlListener* HtmlListener1;
  TSkinData* SkinData1;
  TUrlHistory* UrlHistory;
  TIECache* IECache;

  // korvane::IShellWindow
  TCustomForm& Form() override { return *this; }
  TEmbeddedWB& Browser() override { return *EWB; }
  int GetScreenWidth() override;
  int GetScreenHeight() override;
  void WindowResize(int Width, int Height, const AnsiString& winState) override;
  void ApplicationExit() override;
  void SetCloseHandler(const AnsiString& Name) override { close_handler_ = Name; }
  void SetNavigateErrorHandler(const AnsiString& Name) override { navigate_error_handler_ = Name; }
  void SetDocumentCompleteHandler(const AnsiString& Name) override { document_complete_handler_ = Name; }
  void ClearUrlHistory() override;
  void ClearIECache() override;
  void SetConfigComplete(bool Complete) override { config_complete_ = Complete; }

  bool ConfigComplete() const { return config_complete_; }
  // The local configuration page (program directory + "config.html") and the login page
  // the start-up built.
  const AnsiString& ConfigPage() const { return config_page_; }
  const AnsiString& LoginURL() const { return login_url_; }

 private:
  void FormCreate(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormDestroy(TObject* Sender);
  void EWBStatusTextChange(TObject* Sender, const WideString& Text);
  void EWBProgressChange(TObject* Sender, int Progress, int ProgressMax);
  void EWBTitleChange(TObject* Sender, const WideString& Text);
  void EWBDocumentComplete(TObject* Sender, IDispatch* pDisp, OleVariant& URL);
  void EWBNavigateError(TObject* Sender, IDispatch* pDisp, OleVariant& URL, OleVariant& Frame, OleVariant& StatusCode,
                        VARIANT_BOOL& Cancel);
  void EWBGetExternal(TObject* Sender, IDispatch*& ppDispatch);
  void EWBScriptError(TObject* Sender, const AnsiString& ErrorLine, const AnsiString& ErrorCharacter,
                      const AnsiString& ErrorCode, const AnsiString& ErrorMessage, const AnsiString& ErrorUrl,
                      TScriptErrorAction& ScriptErrorAction);
  void HtmlListener1HandlersOnClickHandle(TObject* Sender, IHTMLEventObj* Event);
  void HtmlListener1HandlersOnKeyPressHandle(TObject* Sender, IHTMLEventObj* Event);

  void DialogMode();
  void NormalMode();
  void ShowConfigPage();
  void ShowLoginPage();
  // The progress bar into the status bar, between panel 0 and the end of panel 1.
  void PlaceProgressBar();
  void SetBrowserScrollBars(bool Shown);
  bool IsTopLevel(IDispatch* pDisp);
  // Links the DOM listener to the browser's current document, dropping the earlier link.
  void ConnectListener();
  void DisconnectListener();
  bool LoggedIn();
  // Calls the page's script function Name with one argument; false (Result left as the
  // call set it) when the page has no such function or the call failed.
  bool CallPageFunction(const AnsiString& Name, const TVarRec& Argument, OleVariant& Result);
  // The local page's file name in the program directory, navigated to.
  void ShowLocalPage(const char* Name);
  bool IsConfigPageUrl(const AnsiString& Url) const;

  bool listen_ = false;
  bool config_complete_ = false;
  IHubLink* listener_link_ = nullptr;
  AnsiString close_handler_, navigate_error_handler_, document_complete_handler_;
  AnsiString config_page_, login_url_;
};
