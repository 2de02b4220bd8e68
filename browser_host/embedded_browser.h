// TEmbeddedWB: the browser component the main window places on its form. It adds to the
// control core its persistent parts, the user-agent modes, navigation with a bounded
// wait for the page, the document's cookie, page snapshots, script calls by name, HTML
// text loading, its window procedure's key, click and close handling, and the watcher of
// the browser's own dialog boxes on the owner form.
#pragma once

#include <memory>
#include <vector>

#include "browser_host/browser_core.h"
#include "framework/core/strings.h"

class TProxySettings : public TPersistent {
 public:
  KV_CLASS_NAME(TProxySettings)
  bool AutoLoadProxy = false;
  int Port = 80;
  AnsiString Password, Address, UserName, UserAgent;
};

class TDialogBoxes : public TPersistent {
 public:
  KV_CLASS_NAME(TDialogBoxes)
  bool DisableAll = false;
  bool ReplaceCaption = true;
  bool ReplaceIcon = true;
  WideString NewCaption;
};

class TDisableErrors : public TPersistent {
 public:
  KV_CLASS_NAME(TDisableErrors)
  bool EnableDDE = true;
  bool ScriptErrorsSuppressed = true;
  bool fpExceptions() const { return fp_exceptions_; }
  // True loads the control word saved at start-up, False masks every exception (0x133F).
  void SetfpExceptions(bool Value);

 private:
  bool fp_exceptions_ = true;
};

class TVisualEffects : public TPersistent {
 public:
  KV_CLASS_NAME(TVisualEffects)
  int TextSize = 2;
  bool DisableSounds = false;
};

enum TPrintOrientationOption { poPortrait, poLandScape };
struct TMargins {
  double Left = 0, Right = 0, Top = 0, Bottom = 0;  // millimetres
};
// Stored and streamed; nothing in this system prints with them.
class TPrintOptions : public TPersistent {
 public:
  TPrintOptions() { HTMLHeader.Add("<HTML></HTML>"); }
  KV_CLASS_NAME(TPrintOptions)
  bool Enabled = false;
  TMargins Margins;
  AnsiString Header, Footer;
  TStringList HTMLHeader;
  TPrintOrientationOption Orientation = poPortrait;
};

enum TUserAgentMode { uaDefault, uaInternal, uaRegistry };

class TEmbeddedWB;
using TCloseQueryEvent2 = std::function<void(TObject* Sender, bool& CanClose)>;
using TMsgEvent = std::function<void(TObject* Sender, TMessage& Msg, bool& Handled)>;
using TShowDialogEvent = std::function<void(TObject* Sender, DWORD h, int StyleEx, const AnsiString& OldCaption,
                                            WideString& NewCaption, bool& Cancel)>;
using TOnBusyWait = std::function<void(TEmbeddedWB* Sender, DWORD AStartTime, DWORD& TimeOut, bool& Cancel)>;
using TKeyEventEx = std::function<void(TObject* Sender, WORD& Key, WORD ScanCode, TShiftState Shift)>;

// The message Part of the process-wide focus fix posts (TEWBFocusControl).
class TEmbeddedWB : public TCustomEmbeddedWB {
 public:
  explicit TEmbeddedWB(TComponent* AOwner);
  ~TEmbeddedWB() override;
  KV_CLASS_NAME(TEmbeddedWB)

  // ---- Published properties.
  bool Silent() { return TEWB::Silent(); }
  void SetSilent(bool Value) { TEWB::SetSilent(Value); }
  const AnsiString& About() const { return about_; }
  void SetAbout(const AnsiString&) {}  // the credit text stays
  AnsiString HostCSS, HostNS;
  bool EnableMessageHandler = true;
  TDisableErrors* DisableErrors() const { return disable_errors_.get(); }
  TDialogBoxes* DialogBoxes() const { return dialog_boxes_.get(); }
  TStringList* HTMLCode() const { return html_code_.get(); }
  TPrintOptions* PrintOptions() const { return print_options_.get(); }
  TProxySettings* ProxySettings() const { return proxy_settings_.get(); }
  TVisualEffects* VisualEffects() const { return visual_effects_.get(); }
  bool Visible() const { return visible_cache_; }
  void SetVisible(bool Value);
  const AnsiString& UserAgent() const { return user_agent_; }
  void SetUserAgent(const AnsiString& Value);
  TUserAgentMode UserAgentMode() const { return user_agent_mode_; }
  void SetUserAgentMode(TUserAgentMode Value);
  TCloseQueryEvent2 OnCloseQuery;
  TMsgEvent OnMessage;
  TShowDialogEvent OnShowDialog;
  TOnBusyWait OnBusyWait;
  TEWBBool OnVisible;
  TKeyEventEx OnKeyDown, OnKeyUp;
  TMouseEvent OnClick;

  // ---- What the shell calls.
  // A folder: navigates to "file:///" + URL without waiting; empty or blank: nothing.
  // Otherwise Navigate2 and, with a time-out, the busy-wait's result.
  bool Go(const AnsiString& URL, DWORD TimeOut = 0);
  // The busy-wait without limit, then the document (EIntfCastError when the document
  // is no HTML document); null without one.
  IHTMLDocument2* WaitDocument2();
  void Stop();
  void GoBack();
  void GoForward();
  void GetDocumentCookie(AnsiString& Cookie);
  bool SavePageImage(const AnsiString& FileName);
  bool SaveThumbnail(const AnsiString& FileName, int ThumbWidth, int ThumbHeight, int SourceWidth, int SourceHeight);
  void ExploreFolder(const AnsiString& Path);
  void AddToRestrictedZone(const AnsiString& URL);
  void AddToFavorites(const AnsiString& URL, const AnsiString& Title);
  // The page's script function Name with Args; Result stays as it was without a script.
  void InvokeScript(const AnsiString& Name, const std::vector<TVarRec>& Args, OleVariant& Result);
  void NavigateBlank(bool Wait);
  HRESULT LoadFromStrings(TStrings* Lines);
  HRESULT LoadFromStream(TStream* Stream);
  // Pumps until ReadyState is 4 (true); false when OnBusyWait cancels, when TimeOut
  // (milliseconds, 0 = none, the handler may change it) passes, or when the component is
  // destroyed meanwhile; true when the application terminates.
  bool WaitWhileBusy(DWORD TimeOut);

  void Loaded() override;
  void SetFocus() override;
  HRESULT GetHostInfo(DOCHOSTUIINFO* info) override;

 protected:
  void WndProc(TMessage& Message) override;

 private:
  void HTMLCodeChanged();
  void ApplyUserAgentMode();
  void RemoveUserAgentEntry();
  void InstallOwnerHook();
  void ApplyProxy();
  // The inner windows' focus subclass, installed when the browser tells of a new view
  // window: the folder view alone when there is one, else the first child window and its
  // first child; each removed (all three) when one of them is destroyed.
  void InstallFocusSubclass();
  void RemoveFocusSubclasses();
  static LRESULT FocusSubclassProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  struct Subclass {
    HWND wnd = nullptr;
    WNDPROC saved = nullptr;
  };
  void Hook(Subclass& Slot, HWND Wnd);

  AnsiString about_;
  std::unique_ptr<TDisableErrors> disable_errors_;
  std::unique_ptr<TDialogBoxes> dialog_boxes_;
  std::unique_ptr<TStringList> html_code_;
  std::unique_ptr<TPrintOptions> print_options_;
  std::unique_ptr<TProxySettings> proxy_settings_;
  std::unique_ptr<TVisualEffects> visual_effects_;
  bool visible_cache_ = true;
  AnsiString user_agent_;
  TUserAgentMode user_agent_mode_ = uaDefault;
  AnsiString pushed_agent_;
  AnsiString written_entry_;
  bool entry_written_ = false;
  bool position_guard_start_;
  bool position_guard_;
  // Cleared when the component goes, so a wait running inside a handler that frees it ends.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool hooked_owner_ = false;
  Subclass folder_view_, document_windows_[2];
};

// The dialog watcher, run when the owner form loses activation to Dialog.
void WatchBrowserDialog(TEmbeddedWB* Browser, HWND Dialog);
