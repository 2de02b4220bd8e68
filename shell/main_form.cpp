#include "shell/main_form.h"

#include "framework/controls/dialogs.h"
#include "platform/base/codepage.h"
#include "shell/browser_to_host.h"
#include "shell/config_page.h"
#include "shell/ini_config.h"
#include "shell/texts.h"

namespace {

// A window text in the ANSI code page.
AnsiString T(const char* utf8) { return kv::Utf8ToAnsi(utf8); }

constexpr char kLoginCookie[] = "Quabo_is_login=true";
constexpr LONG kResourceNotFound = static_cast<LONG>(0x800C0005);

template <class C>
C* Make(TComponent* owner, TWinControl* parent, const char* name) {
  C* c = new C(owner);
  c->SetName(name);
  c->SetParent(parent);
  return c;
}

TToolButton* MakeButton(TMainForm* form, TToolBar* bar, const char* name, const char* caption,
                        std::function<void()> action) {
  auto* b = Make<TToolButton>(form, bar, name);
  b->SetCaption(T(caption));
  b->OnClick = [action](TObject*) { action(); };
  return b;
}

// Digit Index (0-based) of the window code as a number; EConvertError when it is missing
// or no digit.
int CodeDigit(const AnsiString& Code, size_t Index) {
  return StrToInt(Index < Code.size() ? Code.substr(Index, 1) : AnsiString());
}

}  // namespace

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("MainForm");
  SetBounds(348, 136, 682, 376);
  SetPosition(poDesktopCenter);
  Scaled = false;
  SetCaption(T(shell_texts::kProductTitle));
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };

  StatusBar1 = Make<TStatusBar>(this, this, "StatusBar1");
  StatusBar1->SetAlign(alBottom);
  StatusBar1->SetHeight(19);
  for (int width : {500, 200, 0}) StatusBar1->Panels()->Add()->SetWidth(width);

  ToolBarMain = Make<TToolBar>(this, this, "ToolBarMain");
  ToolBarMain->SetVisible(false);
  ToolbtnBack = MakeButton(this, ToolBarMain, "ToolbtnBack", shell_texts::kBack, [this] { EWB->GoBack(); });
  ToolBtnForward = MakeButton(this, ToolBarMain, "ToolBtnForward", shell_texts::kForward, [this] { EWB->GoForward(); });
  ToolBtnStop = MakeButton(this, ToolBarMain, "ToolBtnStop", shell_texts::kStop, [this] { EWB->Stop(); });
  ToolBtnRefresh = MakeButton(this, ToolBarMain, "ToolBtnRefresh", shell_texts::kRefresh, [this] { EWB->Refresh(); });
  ToolBtnHome = MakeButton(this, ToolBarMain, "ToolBtnHome", shell_texts::kHome, [this] { EWB->GoHome(); });
  PanelAddress = Make<TPanel>(this, ToolBarMain, "PanelAddress");
  PanelAddress->SetCaption("");
  PanelAddress->SetBounds(0, 0, 400, 22);

  ProgressBar1 = Make<TProgressBar>(this, this, "ProgressBar1");

  Panel4 = Make<TPanel>(this, this, "Panel4");
  Panel4->SetCaption("");
  Panel4->SetAlign(alClient);
  EWB = Make<TEmbeddedWB>(this, Panel4, "EWB");
  EWB->SetAlign(alClient);
  EWB->SetSilent(false);
  EWB->DisableCtrlShortcuts = "N";
  TUserInterfaceOptions options;
  options << EnablesFormsAutoComplete << EnableThemes;
  EWB->SetUserInterfaceOptions(options);
  EWB->DisableErrors()->ScriptErrorsSuppressed = false;
  EWB->SetUserAgentMode(uaInternal);
  EWB->OnStatusTextChange = [this](TObject* s, const WideString& t) { EWBStatusTextChange(s, t); };
  EWB->OnProgressChange = [this](TObject* s, int p, int m) { EWBProgressChange(s, p, m); };
  EWB->OnTitleChange = [this](TObject* s, const WideString& t) { EWBTitleChange(s, t); };
  EWB->OnDocumentComplete = [this](TObject* s, IDispatch* d, OleVariant& u) { EWBDocumentComplete(s, d, u); };
  EWB->OnNavigateError = [this](TObject* s, IDispatch* d, OleVariant& u, OleVariant& f, OleVariant& c,
                                VARIANT_BOOL& cancel) { EWBNavigateError(s, d, u, f, c, cancel); };
  EWB->OnGetExternal = [this](TObject* s, IDispatch*& d) { EWBGetExternal(s, d); };
  EWB->OnScriptError = [this](TObject* s, const AnsiString& line, const AnsiString& character, const AnsiString& code,
                              const AnsiString& message, const AnsiString& url, TScriptErrorAction& action) {
    EWBScriptError(s, line, character, code, message, url, action);
  };

  IEAddress1 = Make<TIEAddress>(this, PanelAddress, "IEAddress1");
  IEAddress1->SetBounds(0, 0, 340, 21);
  IEAddress1->LinkedBrowser = EWB;
  IEAddress1->TextOnLoad = tlUserDefine;
  IEAddress1->TextOnShow = u"about:blank";
  btnGo = Make<TButton>(this, PanelAddress, "btnGo");
  btnGo->SetBounds(344, 0, 50, 21);
  btnGo->SetCaption(T(shell_texts::kGo));
  btnGo->OnClick = [this](TObject*) { EWB->Go(IEAddress1->Text()); };

  HtmlListener1 = new THtmlListener(this);
  HtmlListener1->SetName("HtmlListener1");
  HtmlListener1->SetSinkKind(skDocument);
  TEventHandlerItem* click = HtmlListener1->Handlers()->Add();
  click->SetEventID(eiOnClick);
  click->OnHandle = [this](TObject* s, IHTMLEventObj* e) { HtmlListener1HandlersOnClickHandle(s, e); };
  HtmlListener1->Handlers()->Add()->SetEventID(eiOnSelect);
  TEventHandlerItem* key = HtmlListener1->Handlers()->Add();
  key->SetEventID(eiOnKeyPress);
  key->OnHandle = [this](TObject* s, IHTMLEventObj* e) { HtmlListener1HandlersOnKeyPressHandle(s, e); };

  SkinData1 = new TSkinData(this);
  SkinData1->SetName("SkinData1");
  SkinData1->SetSkinBytes(DefaultSkinData(), DefaultSkinSize());
  SkinData1->SetActive(true);

  UrlHistory = new TUrlHistory(this);
  UrlHistory->SetName("UrlHistory");
  IECache = new TIECache(this);
  IECache->SetName("IECache");
  TFilterOptions filter;
  filter << NORMAL_ENTRY << STICKY_ENTRY << COOKIE_ENTRY << URLHISTORY_ENTRY << TRACK_OFFLINE_ENTRY
         << TRACK_ONLINE_ENTRY;
  IECache->SetFilterOptions(filter);
  IECache->SearchPattern = spAll;

  // The end of streaming: every component takes its loaded properties.
  EWB->Loaded();
  IEAddress1->Loaded();
  SkinData1->Loaded();
  UrlHistory->Loaded();

  korvane::SetShellWindow(this);
}

TMainForm::~TMainForm() {
  // OnDestroy runs here, while every field it uses is still whole; the framework's form
  // destructor would run it only after this class's part is gone.
  TNotifyEvent destroy = std::move(OnDestroy);
  OnDestroy = nullptr;
  if (destroy) destroy(this);
  if (korvane::ShellWindow() == this) korvane::SetShellWindow(nullptr);
}

// ---- Start-up and window modes -------------------------------------------------------------

void TMainForm::FormCreate(TObject*) {
  listen_ = true;
  config_complete_ = false;
  AnsiString skin;
  {
    TINIConfig config;
    config_complete_ = config.IsComplete();
    // One destination for the page paths: a stored path that does not decode keeps the
    // one read before it, so the index path is read first.
    AnsiString uri;
    config.GetIndexPageURI(uri);
    config.GetLoginPageURI(uri);
    login_url_ = config.BuildURL(uri);
    config.GetSkin(skin);
  }
  if (!Trim(skin).empty()) {
    SkinData1->SetSkinFile(skin);
    if (!SkinData1->Active()) SkinData1->SetActive(true);
  }
  config_page_ = TINIConfig::ProgramDirectory() + "config.html";
  PlaceProgressBar();
  ProgressBar1->SetPosition(0);
  if (config_complete_)
    ShowLoginPage();
  else
    ShowConfigPage();
}

void TMainForm::PlaceProgressBar() {
  ProgressBar1->SetParent(StatusBar1);
  const int border = StatusBar1->BorderWidth();
  TStatusPanels* panels = StatusBar1->Panels();
  ProgressBar1->SetBounds(panels->Items(0)->Width() + 2, border + 2, panels->Items(1)->Width() + border - 2,
                          StatusBar1->Height() - border - 2);
}

void TMainForm::SetBrowserScrollBars(bool Shown) {
  TUserInterfaceOptions options = EWB->UserInterfaceOptions();
  if (Shown)
    options >> DontUseScrollBars;
  else
    options << DontUseScrollBars;
  EWB->SetUserInterfaceOptions(options);
}

void TMainForm::DialogMode() {
  if (BorderStyle() == bsDialog) return;
  // The border first: a new border keeps the client size, and the window is to be 450 x 300.
  SetBorderStyle(bsDialog);
  SetHeight(300);
  SetWidth(450);
  SetPosition(poDesktopCenter);
  StatusBar1->SetVisible(false);
  VertScrollBar()->SetVisible(false);
  SetBrowserScrollBars(false);
}

void TMainForm::NormalMode() {
  if (BorderStyle() == bsSizeable) return;
  SetWindowState(wsMaximized);
  SetBorderStyle(bsSizeable);
  VertScrollBar()->SetVisible(true);
  StatusBar1->SetVisible(true);
  SetBrowserScrollBars(true);
}

void TMainForm::ShowConfigPage() {
  DialogMode();
  SetCaption(T(shell_texts::kConfigCaption));
  EWB->Navigate(kv::AnsiToWide(config_page_));
}

void TMainForm::ShowLoginPage() {
  DialogMode();
  SetCaption(T(shell_texts::kLoginCaption));
  EWB->Navigate(kv::AnsiToWide(login_url_));
}

void TMainForm::ShowLocalPage(const char* Name) {
  EWB->Navigate(kv::AnsiToWide(TINIConfig::ProgramDirectory() + Name));
}

// ---- What the page asks for ----------------------------------------------------------------

int TMainForm::GetScreenWidth() { return Screen->Width(); }

int TMainForm::GetScreenHeight() { return Screen->Height(); }

void TMainForm::WindowResize(int Width, int Height, const AnsiString& winState) {
  switch (CodeDigit(winState, 0)) {
    case 1:
      SetWindowState(wsMaximized);
      SetFocus();
      break;
    case 2: SetWindowState(wsMinimized); break;
    default:
      SetWindowState(wsNormal);
      SetWidth(Width);
      SetHeight(Height);
      SetFocus();
      break;
  }
  static const TFormBorderStyle kBorders[] = {bsDialog, bsNone, bsSingle, bsSizeable, bsSizeToolWin, bsToolWindow};
  const int border = CodeDigit(winState, 1);
  SetBorderStyle(border >= 0 && border <= 5 ? kBorders[border] : bsSingle);
  const int bars = CodeDigit(winState, 2);
  HorzScrollBar()->SetVisible(bars != 0 && bars != 2);
  VertScrollBar()->SetVisible(bars != 0 && bars != 1);
  switch (CodeDigit(winState, 3)) {
    case 0: StatusBar1->SetVisible(false); break;
    case 1:
      PlaceProgressBar();
      ProgressBar1->SetPosition(0);
      StatusBar1->SetVisible(true);
      break;
    default: StatusBar1->SetVisible(true); break;
  }
  SetPosition(CodeDigit(winState, 4) == 1 ? poDesktopCenter : poDefault);
  SetBrowserScrollBars(CodeDigit(winState, 5) != 0);
}

void TMainForm::ApplicationExit() {
  UrlHistory->ClearHistory();
  Application->Terminate();
}

void TMainForm::ClearUrlHistory() { UrlHistory->ClearHistory(); }

void TMainForm::ClearIECache() { IECache->ClearAllEntries(); }

bool TMainForm::CallPageFunction(const AnsiString& Name, const TVarRec& Argument, OleVariant& Result) {
  try {
    EWB->InvokeScript(Name, {Argument}, Result);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// ---- Closing ---------------------------------------------------------------------------------

void TMainForm::FormCloseQuery(TObject*, bool& CanClose) {
  if (close_handler_.empty()) {
    CanClose = true;
    return;
  }
  // Only a result that reads as the integer 1 lets the window close; a missing function,
  // no result, or one that is no number keeps it.
  OleVariant result;
  CanClose = false;
  if (!CallPageFunction(close_handler_, TVarRec(0), result)) return;
  try {
    CanClose = result.AsInteger() == 1;
  } catch (const Exception&) {
  }
}

void TMainForm::FormClose(TObject*, TCloseAction&) {
  UrlHistory->ClearHistory();
  Application->Terminate();
}

void TMainForm::FormDestroy(TObject*) { DisconnectListener(); }

// ---- Browser events --------------------------------------------------------------------------

bool TMainForm::IsTopLevel(IDispatch* pDisp) {
  if (!pDisp) return false;
  IUnknown* event_source = nullptr;
  IUnknown* browser = nullptr;
  pDisp->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&event_source));
  EWB->DefaultInterface()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&browser));
  const bool same = event_source && event_source == browser;
  if (event_source) event_source->Release();
  if (browser) browser->Release();
  return same;
}

void TMainForm::DisconnectListener() {
  if (!listener_link_) return;
  listener_link_->Disconnect();
  listener_link_->Release();
  listener_link_ = nullptr;
}

void TMainForm::ConnectListener() {
  IHTMLDocument2* doc = EWB->GetDocument2();
  if (!doc) return;
  IConnectionPointContainer* points = nullptr;
  doc->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
  if (points) {
    points->Release();
    // Each top-level document gets the listener (a configuration page shown after another
    // page needs its save button heard); the link to the document before goes.
    DisconnectListener();
    try {
      HtmlListener1->Connect(doc, this, listener_link_);
    } catch (...) {
      doc->Release();
      throw;
    }
  }
  doc->Release();
}

bool TMainForm::LoggedIn() {
  AnsiString cookie;
  EWB->GetDocumentCookie(cookie);
  return !cookie.empty() && cookie.find(kLoginCookie) != AnsiString::npos;
}

void TMainForm::EWBDocumentComplete(TObject*, IDispatch* pDisp, OleVariant& URL) {
  const bool top = IsTopLevel(pDisp);
  if (listen_ && top) ConnectListener();
  if (!top && pDisp) {
    // A frame finished: the address shows the top-level page.
    IWebBrowser2* frame = nullptr;
    IDispatch* frame_doc = nullptr;
    if (SUCCEEDED(pDisp->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&frame))) && frame) {
      frame->get_Document(&frame_doc);
      frame->Release();
    }
    if (frame_doc) {
      frame_doc->Release();
      BSTR location = nullptr;
      if (SUCCEEDED(EWB->DefaultInterface()->get_LocationURL(&location)))
        IEAddress1->SetText(kv::WideToAnsi(kv::BstrText(location)));
      SysFreeString(location);
    }
  }
  if (!document_complete_handler_.empty()) {
    OleVariant result;
    CallPageFunction(document_complete_handler_, TVarRec(&URL), result);
  } else if (LoggedIn()) {
    NormalMode();
  }
}

bool TMainForm::IsConfigPageUrl(const AnsiString& Url) const {
  AnsiString path = Url;
  if (path.compare(0, 7, "file://") == 0) path.erase(0, 7);
  AnsiString page = config_page_;
  for (AnsiString* s : {&path, &page})
    for (char& c : *s)
      if (c == '\\') c = '/';
  return SameText(path, page);
}

void TMainForm::EWBNavigateError(TObject*, IDispatch*, OleVariant& URL, OleVariant&, OleVariant& StatusCode,
                                 VARIANT_BOOL&) {
  if (!navigate_error_handler_.empty()) {
    OleVariant result;
    CallPageFunction(navigate_error_handler_, TVarRec(&URL), result);
    return;
  }
  switch (StatusCode.AsInteger()) {
    case kResourceNotFound:
      // The configuration page itself missing would send the window to it forever.
      if (IsConfigPageUrl(URL.AsString())) {
        Application->MessageBox(T(shell_texts::kConfigPageMissing) + config_page_ + T(shell_texts::kReinstall),
                                T(shell_texts::kErrorCaption), MB_OK | MB_ICONERROR);
        return;
      }
      ShowConfigPage();
      break;
    case 404: ShowLocalPage("404.html"); break;
    case 500: ShowLocalPage("500.html"); break;
    default: ShowLocalPage("unknownerror.html"); break;
  }
}

void TMainForm::EWBStatusTextChange(TObject*, const WideString& Text) {
  StatusBar1->Panels()->Items(0)->SetText(kv::WideToAnsi(Text));
}

void TMainForm::EWBProgressChange(TObject*, int Progress, int ProgressMax) {
  if (ProgressMax == 0)
    ProgressBar1->SetPosition(0);
  else
    ProgressBar1->SetPosition(static_cast<int>(static_cast<double>(Progress) / ProgressMax * 100) + 1);
}

void TMainForm::EWBTitleChange(TObject*, const WideString& Text) {
  SetCaption(kv::WideToAnsi(Text));
  // A page without a title of its own shows its address: the window keeps the product's name.
  if (Caption().find("http://") != AnsiString::npos) SetCaption(T(shell_texts::kProductTitle));
}

void TMainForm::EWBScriptError(TObject*, const AnsiString&, const AnsiString&, const AnsiString&,
                               const AnsiString& ErrorMessage, const AnsiString&,
                               TScriptErrorAction& ScriptErrorAction) {
  ShowMessage(ErrorMessage);
  ScriptErrorAction = eaCancel;
}

// ---- Joined with the page's external object and the configuration page ----------------------

void TMainForm::EWBGetExternal(TObject*, IDispatch*& ppDispatch) { ppDispatch = korvane::NewBrowserToHost(); }

void TMainForm::HtmlListener1HandlersOnClickHandle(TObject*, IHTMLEventObj* Event) { korvane::ConfigPageClick(Event); }

void TMainForm::HtmlListener1HandlersOnKeyPressHandle(TObject*, IHTMLEventObj* Event) {
  korvane::ConfigPageKeyPress(Event);
}
