// TCustomEmbeddedWB: TEWB as the browser's host site. It answers the browser's host
// interfaces (host-UI handler, show-UI, command target, services, download manager, drop
// target, authentication, new-window manager, focus protection, zoom events, window
// services, behaviour init and the ambient properties); each call raises the event of
// its name, and an unassigned event gives the default answer.
#pragma once

#include "browser_host/browser_control.h"
#include "platform/com/objidl.h"
#include "platform/inet/urlmon.h"

enum TDownloadControlOption {
  DownloadImages, DownloadVideos, DownloadBGSounds, DontExecuteScripts, DontExecuteJava, DontExecuteActiveX,
  DontDownloadActiveX, DownloadButDontDisplay, DontDownloadFrame, CheckPageResynchronize, DownloadAndIgnoreCache,
  DontDownloadBehaviors, SuppressedMetaCharset, DisableUrlIfEncodingUTF8, EnableUrlIfEncodingUTF8, ForceOfflineMode,
  DontPerformClientPull, DownloadInSilentMode, WorkOffline
};
using TDownloadControlOptions = Set<TDownloadControlOption, DownloadImages, WorkOffline>;

enum TUserInterfaceOption {
  DisableTextSelect, DisableHelpMenu, DontUse3DBorders, DontUseScrollBars, PostponeScriptUntilActive,
  ForceOpenNewWindow, Reserved_OFFSCREEN, ForceFlatScrollBars, InsertDivTagOnEditMode, ActivateUIOnlyOnDocClick,
  ConsultBeforeRetrievingBehavior, CheckFontSupportsCodePage, DisableSubmitUrlInUTF8, EnableSubmitUrlInUTF8,
  EnablesFormsAutoComplete, ForceSameWindowNavigation, EmableImeLocalLanguages, EnableThemes, DisableThemes,
  DisablePicsRatings, DisableFrameSetBorder, DisablesAutoNameSpaceCorrection, DisableLocalFileAccess,
  DisableUntrustedProtocol, CheckNavigationDelegatedToHost, EnableRedirectNotification, EnableDomWindlessControls,
  EnableWindowedControls, ForceUserActivationOnActiveXJava
};
using TUserInterfaceOptions = Set<TUserInterfaceOption, DisableTextSelect, ForceUserActivationOnActiveXJava>;

enum TDragDropHandlingType { ddtMS, ddtMy, ddtCustom, ddtNo };

enum TIEPopupMenu {
  rcmDefault, rcmImage, rcmControl, rcmTable, rcmSelText, rcmAnchor, rcmUnKnown, rcmImageArt, rcmImgDynSrc, rcmDebug,
  rcmAll
};
using TIEPopupMenus = Set<TIEPopupMenu, rcmDefault, rcmAll>;

enum TScriptErrorAction { eaContinue, eaCancel, eaAskUser };

// The platform flag words of the two option sets.
DWORD DownloadControlFlags(TDownloadControlOptions Options);
DWORD HostUIFlagsOf(TUserInterfaceOptions Options);

class TCustomEmbeddedWB;
using TBoolQueryEvent = std::function<void(TObject* Sender, BOOL& Value)>;
using TGetIDsOfNamesEvent = std::function<void(TObject* Sender, REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                               DISPID* ids, HRESULT& Rezult)>;
using TGetTypeInfoEvent =
    std::function<void(TObject* Sender, UINT index, LCID lcid, ITypeInfo** info, HRESULT& Rezult)>;
using TGetTypeInfoCountEvent = std::function<void(TObject* Sender, UINT* count, HRESULT& Rezult)>;
using TInvokeEvent = std::function<void(TObject* Sender, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                        DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* arg_err,
                                        HRESULT& Rezult)>;
using TShowHelpEvent = std::function<HRESULT(TObject* Sender, HWND hwnd, LPOLESTR pszHelpFile, UINT uCommand,
                                             DWORD dwData, POINT ptMouse, IDispatch*& pDispatchObjectHit)>;
using TShowMessageEvent =
    std::function<HRESULT(TObject* Sender, HWND hwnd, LPOLESTR lpstrText, LPOLESTR lpstrCaption, DWORD dwType,
                          LPOLESTR lpstrHelpFile, DWORD dwHelpContext, LRESULT& plResult)>;
using TFilterDataObjectEvent = std::function<void(TObject* Sender, IUnknown* pDO, IUnknown*& ppDORet)>;
using TGetExternalEvent = std::function<void(TObject* Sender, IDispatch*& ppDispatch)>;
using TGetHostInfoEvent = std::function<void(TObject* Sender, DOCHOSTUIINFO& pInfo)>;
using TEnableModelessEvent = std::function<void(TObject* Sender, BOOL fEnable)>;
using TZoomPercentChangedEvent = std::function<HRESULT(TObject* Sender, ULONG ulZoomPercent)>;
using TGetDropTargetEvent = std::function<void(TObject* Sender, IDropTarget*& DropTarget)>;
using TEWBNotifyEvent = std::function<void(TObject* Sender, HRESULT& Rezult)>;
using TOnActivateEvent = std::function<void(TObject* Sender, BOOL fActivate)>;
using TResizeBorderEvent =
    std::function<void(TObject* Sender, LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fRameWindow)>;
using TShowContextMenuEvent = std::function<void(TObject* Sender, DWORD dwID, POINT* ppt, IUnknown* CommandTarget,
                                                 IDispatch* Context, HRESULT& Result)>;
using TShowUIEvent =
    std::function<void(TObject* Sender, DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                       IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame, IOleInPlaceUIWindow* pDoc,
                       HRESULT& Rezult)>;
using TTranslateAcceleratorEvent =
    std::function<void(TObject* Sender, MSG* lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID, bool& Done)>;
using TTranslateUrlEvent = std::function<void(TObject* Sender, LPWSTR pchURLIn, WideString& ppchURLOut)>;
using TOnDragEnterEvent = std::function<void(TObject* Sender, IDataObject* dataObj, DWORD grfKeyState, POINTL pt,
                                             DWORD& dwEffect, HRESULT& Rezult)>;
using TOnDropEvent = TOnDragEnterEvent;
using TOnDragOverEvent =
    std::function<void(TObject* Sender, DWORD grfKeyState, POINTL pt, DWORD& dwEffect, HRESULT& Rezult)>;
using TScriptErrorEvent = std::function<void(TObject* Sender, const AnsiString& ErrorLine,
                                             const AnsiString& ErrorCharacter, const AnsiString& ErrorCode,
                                             const AnsiString& ErrorMessage, const AnsiString& ErrorUrl,
                                             TScriptErrorAction& ScriptErrorAction)>;
using TRefreshEvent = std::function<void(TObject* Sender, DWORD CmdID, bool& Cancel)>;
using TComTargetExecEvent = std::function<void(TObject* Sender, const GUID* CmdGroup, DWORD nCmdID,
                                               DWORD nCmdexecopt, VARIANT* vaIn, VARIANT* vaOut, HRESULT& Rezult)>;
using TQueryServiceEvent = std::function<void(TObject* Sender, REFGUID rsid, REFIID iid, IUnknown*& Obj)>;
using TEvaluateNewWindowEvent =
    std::function<void(TObject* Sender, LPCWSTR pszUrl, LPCWSTR pszName, LPCWSTR pszUrlContext, LPCWSTR pszFeatures,
                       BOOL fReplace, DWORD dwFlags, DWORD dwUserActionTime, HRESULT& Rezult)>;
using TDownloadEvent = std::function<void(TObject* Sender, IMoniker* pmk, IBindCtx* pbc, DWORD dwBindVerb,
                                          LONG grfBINDF, BINDINFO* pBindInfo, LPCOLESTR pszHeaders,
                                          LPCOLESTR pszRedir, UINT uiCP, HRESULT& Rezult)>;
using TMaskedCtrlCharEvent = std::function<void(TObject* Sender, char MaskedChar)>;
using TOMWindowMoveEvent = std::function<void(TObject* Sender, LONG cx, LONG cy)>;
using TAuthenticateEvent = std::function<void(TObject* Sender, HWND& hwnd, WideString& szUserName,
                                              WideString& szPassWord, HRESULT& Rezult)>;
using TNotifyEvent2 = std::function<void(TObject* Sender)>;

class TCustomEmbeddedWB : public TEWB,
                          public IDocHostUIHandler2,
                          public IDocHostShowUI,
                          public IOleCommandTarget,
                          public IServiceProvider,
                          public IDownloadManager,
                          public IDropTarget,
                          public IAuthenticate,
                          public INewWindowManager,
                          public IProtectFocus,
                          public IZoomEvents,
                          public IHTMLOMWindowServices,
                          public IHostBehaviorInit {
 public:
  explicit TCustomEmbeddedWB(TComponent* AOwner);
  ~TCustomEmbeddedWB() override;
  KV_CLASS_NAME(TCustomEmbeddedWB)

  // ---- Published properties.
  AnsiString DisableCtrlShortcuts = "N";
  TDownloadControlOptions DownloadOptions() const { return download_options_; }
  void SetDownloadOptions(TDownloadControlOptions Value);
  TUserInterfaceOptions UserInterfaceOptions() const { return ui_options_; }
  void SetUserInterfaceOptions(TUserInterfaceOptions Value);
  AnsiString HelpFile;
  AnsiString OptionKeyPath;
  bool OverrideOptionKeyPath = false;
  TDragDropHandlingType DropHandlingType() const { return drop_handling_; }
  void SetDropHandlingType(TDragDropHandlingType Value);
  TIEPopupMenus DisabledPopupMenus;
  bool FloatingHosting = false;
  TScriptErrorAction ScriptErrorAction = eaContinue;

  // ---- Unpublished state.
  bool AllowFocus = true;
  bool UserMode = true;
  HWND ParkedHandle() const { return parked_handle_; }
  DWORD HostUIFlags() const { return host_ui_flags_; }
  DWORD HostDownloadFlags() const { return host_download_flags_; }
  // Set by a derived class: S_OK with a non-empty text supplies the ambient user agent.
  std::function<HRESULT(WideString& Agent)> UserAgentQuery;
  // Set by a derived class: run on command 39 of the explorer group.
  std::function<void()> ListViewCommandHook;

  // ---- Events.
  TBoolQueryEvent OnAllowFocusChange;
  TGetIDsOfNamesEvent OnGetIDsOfNames;
  TGetTypeInfoEvent OnGetTypeInfo;
  TGetTypeInfoCountEvent OnGetTypeInfoCount;
  TInvokeEvent OnInvoke;
  TShowHelpEvent OnShowHelpRequest;
  TShowMessageEvent OnShowMessage;
  TFilterDataObjectEvent OnFilterDataObject;
  TGetExternalEvent OnGetExternal;
  TGetHostInfoEvent OnGetHostInfo;
  TEnableModelessEvent OnEnableModeless;
  TZoomPercentChangedEvent OnZoomPercentChange;
  TGetDropTargetEvent OnGetDropTarget;
  TEWBNotifyEvent OnHideUI;
  TEWBNotifyEvent OnUpdateUI;
  TOnActivateEvent OnOnDocWindowActivate;
  TOnActivateEvent OnOnFrameWindowActivate;
  TResizeBorderEvent OnResizeBorder;
  TShowContextMenuEvent OnShowContextMenu;
  TShowUIEvent OnShowUI;
  TTranslateAcceleratorEvent OnTranslateAccelerator;
  TTranslateUrlEvent OnTranslateUrl;
  TOnDragEnterEvent OnDragEnter;
  TOnDragOverEvent OnDragOver2;
  TNotifyEvent2 OnDragLeave;
  TOnDropEvent OnDropEvent;
  TScriptErrorEvent OnScriptError;
  TRefreshEvent OnRefresh;
  TNotifyEvent2 OnUnload;
  TComTargetExecEvent OnCommandExec;
  TQueryServiceEvent OnQueryService;
  TEvaluateNewWindowEvent OnEvaluateNewWindow;
  // Hides TEWB's browser event of the same name: this is the download manager's.
  TDownloadEvent OnFileDownload;
  TMaskedCtrlCharEvent OnMaskedCtrlChar;
  TOMWindowMoveEvent OnMove;
  TOMWindowMoveEvent OnMoveBy;
  TOMWindowMoveEvent OnResize;
  TOMWindowMoveEvent OnResizeBy;
  TNotifyEvent2 OnPopulateNSTable;
  TAuthenticateEvent OnAuthenticate;

  // ---- Operations.
  // The document (DISPID 203) as IHTMLDocument2 with a reference, or null.
  IHTMLDocument2* GetDocument2();
  // From the wrapper window's first child down the chain of first children: the first
  // window of exactly this class, or null (also without a window).
  HWND FindChildWindow(const AnsiString& ClassName);
  void UIActivate();
  // Clamps Level to the document's zoom range and sets it; E_UNEXPECTED without a document.
  HRESULT SetZoom(int Level);

  // ---- Virtual operations.
  virtual bool IsMaskedCtrlKey(const MSG& Msg);
  virtual HRESULT ShowScriptError(VARIANT* vaIn, VARIANT* vaOut);
  virtual bool IsHostService(REFGUID guidService, REFIID riid);

  // ---- IUnknown (one identity with the container's site; the component's lifetime rules).
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  // IDispatch: the ambient properties.
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* arg_err) override;
  // IDocHostUIHandler2
  HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* command_target, IDispatch* object) override;
  HRESULT GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target, IOleInPlaceFrame* frame,
                 IOleInPlaceUIWindow* doc) override;
  HRESULT HideUI() override;
  HRESULT UpdateUI() override;
  HRESULT EnableModeless(BOOL enable) override;
  HRESULT OnDocWindowActivate(BOOL activate) override;
  HRESULT OnFrameWindowActivate(BOOL activate) override;
  HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame_window) override;
  HRESULT TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) override;
  HRESULT GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  HRESULT GetDropTarget(IDropTarget* drop_target, IDropTarget** out) override;
  HRESULT GetExternal(IDispatch** external) override;
  HRESULT TranslateUrl(DWORD translate, LPWSTR url_in, LPWSTR* url_out) override;
  HRESULT FilterDataObject(IUnknown* data, IUnknown** data_out) override;
  HRESULT GetOverrideKeyPath(LPOLESTR* key, DWORD reserved) override;
  // IDocHostShowUI
  HRESULT ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR help_file, DWORD help_context,
                      LRESULT* result) override;
  HRESULT ShowHelp(HWND hwnd, LPOLESTR help_file, UINT command, DWORD data, POINT mouse, IDispatch* hit) override;
  // IOleCommandTarget
  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT* text) override;
  HRESULT Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;
  // IServiceProvider
  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override;
  // IDownloadManager
  HRESULT Download(IMoniker* moniker, IBindCtx* bind_context, DWORD bind_verb, LONG bind_flags, BINDINFO* bind_info,
                   LPCOLESTR headers, LPCOLESTR redirect, UINT code_page) override;
  // IDropTarget
  HRESULT DragEnter(IDataObject* data, DWORD key_state, POINTL pt, DWORD* effect) override;
  HRESULT DragOver(DWORD key_state, POINTL pt, DWORD* effect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(IDataObject* data, DWORD key_state, POINTL pt, DWORD* effect) override;
  // IAuthenticate
  HRESULT Authenticate(HWND* hwnd, LPWSTR* user_name, LPWSTR* password) override;
  // INewWindowManager
  HRESULT EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR url_context, LPCWSTR features, BOOL replace,
                            DWORD flags, DWORD user_action_time) override;
  // IProtectFocus
  HRESULT AllowFocusChange(BOOL* allow) override;
  // IZoomEvents
  HRESULT OnZoomPercentChanged(ULONG percent) override;
  // IHTMLOMWindowServices
  HRESULT moveTo(LONG x, LONG y) override;
  HRESULT moveBy(LONG x, LONG y) override;
  HRESULT resizeTo(LONG x, LONG y) override;
  HRESULT resizeBy(LONG x, LONG y) override;
  // IHostBehaviorInit
  HRESULT PopulateNamespaceTable() override;

 protected:
  void CreateWnd() override;
  void DestroyWindowHandle() override;

 private:
  // The window services' form moves, when FloatingHosting holds and a form owns us.
  void MoveOwnerForm(bool relative_position, bool relative_size, LONG a, LONG b, bool size);
  IOleCommandTarget* DocumentCommandTarget();

  TDownloadControlOptions download_options_;
  TUserInterfaceOptions ui_options_;
  TDragDropHandlingType drop_handling_ = ddtMS;
  DWORD host_ui_flags_ = 0;
  DWORD host_download_flags_ = 0;
  HWND parked_handle_ = nullptr;
};
