// The web browser control object.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser/dom.h"
#include "platform/browser/loader.h"
#include "platform/com/unknown.h"

namespace kv::browser {

class WebBrowser;

// One navigation under way; its loader's events go to the browser with its generation.
struct Navigation : LoadEvents {
  WebBrowser* browser = nullptr;
  uint64_t generation = 0;
  std::string url;
  std::string requested;  // the URL asked for (url becomes the one that answered)
  std::vector<uint8_t> post_data;
  std::string headers;
  LONG flags = 0;
  int travel_to = -1;  // the travel-log entry it goes to, or -1
  std::string response_headers;
  bool download = false;  // an undisplayed response the browser saves itself
  bool refresh = false;
  bool begun = false;  // DownloadBegin fired (DownloadComplete pairs with it)
  int status = 0;
  std::string content_type;
  uint64_t length = 0;
  std::string body;
  bool folder = false;
  std::vector<DirectoryEntry> entries;
  std::unique_ptr<Load> load;

  void OnHeaders(const std::string& raw) override { response_headers = raw; }
  void OnResponse(int status, const std::string& content_type, const std::string& final_url, uint64_t length) override;
  void OnData(const uint8_t* data, size_t size) override;
  void OnDirectory(const std::vector<DirectoryEntry>& entries) override;
  void OnComplete() override;
  void OnFailure(HRESULT code) override;
};

class FrameBrowser;

// A frame of the top document: its element, its own browser object and document.
struct FrameSlot : LoadEvents {
  WebBrowser* browser = nullptr;
  uint64_t generation = 0;  // of the frame's own navigation
  bool initial = true;      // loading as part of the top document's commit
  FrameSlot* parent = nullptr;  // the frame whose document holds this one (null: the top's)
  bool settled = false;         // its DocumentComplete fired, or it has no document to complete
  Node* element = nullptr;
  std::string name, url;
  std::vector<uint8_t> post_data;  // of the frame's own navigation (a form posted into it)
  std::string headers;
  FrameBrowser* object = nullptr;
  Document* document = nullptr;
  int status = 0;
  std::string content_type, body;
  std::unique_ptr<Load> load;

  void OnResponse(int status, const std::string& content_type, const std::string& final_url, uint64_t length) override;
  void OnData(const uint8_t* data, size_t size) override;
  void OnDirectory(const std::vector<DirectoryEntry>&) override {}
  void OnComplete() override;
  void OnFailure(HRESULT code) override;
};

struct TravelEntry {
  std::string url;
  std::vector<uint8_t> post_data;
  std::string headers;
};

// The browser object of one frame: its document, location and state, and navigation
// inside the frame. Detached (every call E_UNEXPECTED) once its frame goes.
class FrameBrowser final : public kv::RefCounted<IWebBrowser2> {
 public:
  FrameBrowser(WebBrowser* top, FrameSlot* slot) : top_(top), slot_(slot) {}
  void Detach() {
    top_ = nullptr;
    slot_ = nullptr;
  }
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT GoBack() override { return E_NOTIMPL; }
  HRESULT GoForward() override { return E_NOTIMPL; }
  HRESULT GoHome() override { return E_NOTIMPL; }
  HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) override;
  HRESULT Refresh() override;
  HRESULT Refresh2(VARIANT*) override { return Refresh(); }
  HRESULT Stop() override;
  HRESULT get_Document(IDispatch** document) override;
  HRESULT get_LocationName(BSTR* name) override;
  HRESULT get_LocationURL(BSTR* url) override;
  HRESULT get_Busy(VARIANT_BOOL* busy) override;
  HRESULT Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) override;
  HRESULT QueryStatusWB(LONG, LONG* flags) override {
    if (flags) *flags = 0;
    return OLECMDERR_E_NOTSUPPORTED;
  }
  HRESULT ExecWB(LONG, LONG, VARIANT*, VARIANT*) override { return OLECMDERR_E_NOTSUPPORTED; }
  HRESULT get_ReadyState(LONG* state) override;
  HRESULT get_Visible(VARIANT_BOOL* value) override {
    if (!value) return E_POINTER;
    *value = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT put_Visible(VARIANT_BOOL) override { return E_NOTIMPL; }

 private:
  ~FrameBrowser() override = default;
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser2) ||
           IsEqualIID(riid, IID_IWebBrowserApp) || IsEqualIID(riid, IID_IWebBrowser);
  }
  WebBrowser* top_;
  FrameSlot* slot_;
};

class WebBrowser final : public IWebBrowser2,
                         public IConnectionPointContainer,
                         public IOleObject,
                         public IOleInPlaceObject,
                         public IOleInPlaceActiveObject,
                         public IOleControl,
                         public IViewObject,
                         public IPersistStreamInit,
                         public IOleCommandTarget,
                         public DocumentHost {
 public:
  WebBrowser();
  WebBrowser(const WebBrowser&) = delete;
  WebBrowser& operator=(const WebBrowser&) = delete;

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  // IWebBrowser2
  HRESULT GoBack() override;
  HRESULT GoForward() override;
  HRESULT GoHome() override;
  HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) override;
  HRESULT Refresh() override;
  HRESULT Refresh2(VARIANT* level) override;
  HRESULT Stop() override;
  HRESULT get_Document(IDispatch** document) override;
  HRESULT get_LocationName(BSTR* name) override;
  HRESULT get_LocationURL(BSTR* url) override;
  HRESULT get_Busy(VARIANT_BOOL* busy) override;
  HRESULT Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) override;
  HRESULT QueryStatusWB(LONG cmd, LONG* flags) override;
  HRESULT ExecWB(LONG cmd, LONG option, VARIANT* in, VARIANT* out) override;
  HRESULT get_ReadyState(LONG* state) override;
  HRESULT get_Visible(VARIANT_BOOL* value) override;
  HRESULT put_Visible(VARIANT_BOOL value) override;
  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;
  // IOleObject
  HRESULT SetClientSite(IOleClientSite* site) override;
  HRESULT GetClientSite(IOleClientSite** site) override;
  HRESULT SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT Close(DWORD save_option) override;
  HRESULT SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent, LPCRECT pos) override;
  HRESULT EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT Update() override;
  HRESULT IsUpToDate() override;
  HRESULT GetUserClassID(CLSID* clsid) override;
  HRESULT GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT Unadvise(DWORD connection) override;
  HRESULT EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT SetColorScheme(LOGPALETTE* palette) override;
  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  HRESULT GetWindow(HWND* hwnd) override;
  HRESULT ContextSensitiveHelp(BOOL enter) override;
  HRESULT InPlaceDeactivate() override;
  HRESULT UIDeactivate() override;
  HRESULT SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  HRESULT ReactivateAndUndo() override;
  HRESULT TranslateAccelerator(LPMSG msg) override;
  HRESULT OnFrameWindowActivate(BOOL activate) override;
  HRESULT OnDocWindowActivate(BOOL activate) override;
  HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT EnableModeless(BOOL enable) override;
  // IOleControl
  HRESULT GetControlInfo(CONTROLINFO* info) override;
  HRESULT OnMnemonic(MSG* msg) override;
  HRESULT OnAmbientPropertyChange(DISPID id) override;
  HRESULT FreezeEvents(BOOL freeze) override;
  // IViewObject
  HRESULT Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc, HDC draw_dc,
               LPCRECTL bounds, LPCRECTL window_bounds, BOOL (*cont)(ULONG_PTR), ULONG_PTR cont_data) override;
  HRESULT GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override;
  HRESULT Freeze(DWORD, LONG, void*, DWORD*) override;
  HRESULT Unfreeze(DWORD) override;
  HRESULT SetAdvise(DWORD, DWORD, IAdviseSink*) override;
  HRESULT GetAdvise(DWORD*, DWORD*, IAdviseSink**) override;
  // IPersistStreamInit
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, BOOL clear_dirty) override;
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT InitNew() override;
  // IOleCommandTarget
  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT* text) override;
  HRESULT Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;
  // DocumentHost
  void NavigateFromDocument(Document* doc, const std::string& url, const std::string& target,
                            std::vector<uint8_t> post_data, const std::string& headers, LONG flags) override;
  void DocumentReload(Document* doc) override;
  void DocumentTitleChanged(Document* doc) override;
  void DocumentStatusText(Document* doc, const std::string& text) override;
  std::vector<std::pair<std::string, IDispatch*>> DocumentFrames(Document* doc) override;
  std::string DocumentUserAgent() override;
  HRESULT DocumentScriptError(VARIANT* in, VARIANT* out) override;
  bool DocumentSilent() override;
  HWND DocumentTopWindow() override;
  IDispatch* DocumentParentWindow(Document* doc) override;
  void DocumentCloseWindow(Document* doc) override;
  HRESULT DocumentExternal(IDispatch** external) override;
  HRESULT DocumentShowMessage(const std::u16string& text, DWORD type, LRESULT* result) override;
  void DocumentChanged(Document* doc) override;
  bool DocumentBoxOnScreen(Document* doc, Node* node, RECT* rc) override;
  void DocumentMoveWindow(bool resize, bool by, LONG x, LONG y) override;

  // From the loader (through Navigation), each with the navigation's generation.
  void LoadResponse(uint64_t gen, int status);
  void LoadProgress(uint64_t gen, uint64_t received, uint64_t length);
  void LoadComplete(uint64_t gen);
  void LoadFailed(uint64_t gen, HRESULT code);

  // Frames.
  void FrameDone(FrameSlot* slot, uint64_t gen, HRESULT code);
  // A frame's document walked (its scripts run, external ones waited for): its load
  // event, its completion and its inner frames, then the top's next frame.
  void FrameWalked(FrameSlot* slot, uint64_t gen, uint64_t top_gen);
  // The top document's load goes on with the frame after `slot`.
  void LoadFramesAfter(FrameSlot* slot, uint64_t top_gen);
  HRESULT NavigateFrame(FrameSlot* slot, const std::string& url, std::vector<uint8_t> post_data = {},
                        const std::string& headers = "");
  bool HasFrame(const FrameSlot* slot) const;
  int FrameReadyState(const FrameSlot* slot) const;
  FrameSlot* FrameOf(const Document* doc) const;  // the frame showing `doc`, or null

  // Window procedures' side.
  LRESULT DocumentWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT ViewWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void WindowGone(HWND hwnd);

 private:
  ~WebBrowser();
  using Alive = std::shared_ptr<int>;

  HRESULT StartNavigation(std::string url, std::vector<uint8_t> post_data, std::string headers, LONG flags,
                          int travel_to, bool refresh);
  void BeginTransfer(uint64_t gen);
  void Commit(uint64_t gen);
  void WalkDone(uint64_t gen);  // frames, then the end of the load
  // The controls of `doc`'s <object> elements in document order, without a script engine;
  // stops once `still` is false (the document went meanwhile).
  void MakeControls(Document* doc, HWND window, const std::function<bool()>& still);
  // `url` is `shown` with a fragment of its own: no new document.
  static bool SameDocument(const std::string& shown, const std::string& url);
  // A navigation to a fragment of `doc` (shown in `slot`, null: the top).
  void NavigateToFragment(Document* doc, FrameSlot* slot, const std::string& url);
  void LoadFrames(uint64_t gen, size_t next);
  void StartFrameLoad(FrameSlot* slot);
  // Slots for the frames below `root` (document order), at `at` in the list, so they load
  // right after their parent (depth first); the number added.
  size_t AddFrames(Node* root, const std::string& base, FrameSlot* parent, size_t at);
  // A frame's initial load is over: its parent's DocumentComplete fires once all of the
  // parent's frames are over, and so on upwards.
  void FrameSettled(FrameSlot* slot);
  // The frames inside `slot`'s document go (its document is being replaced).
  void DropFrameChildren(FrameSlot* slot);
  void DiscardFrame(std::unique_ptr<FrameSlot> slot);
  void FinishTop(uint64_t gen);
  void DropFrames();
  void DropNavigation();
  // Ends the navigation without a commit: DownloadComplete, ReadyState back to 4 with a
  // document (else 0).
  void EndUncommitted();
  // An undisplayed response: FileDownload, then the host's download manager or the
  // browser's own saving.
  void BeginDownload(uint64_t gen);
  bool Current(uint64_t gen) const { return gen == generation_ && nav_ && !closed_; }
  void SetReadyState(int state);
  void ReadAmbient();
  void QueryHostInfo();
  // The host's IHostBehaviorInit, once for each new document.
  void InitHostBehaviors();
  // A task that runs only while this browser lives, holding a reference to it.
  void Post(std::function<void()> step);

  // Events: `args` in call order; by-reference ones point at the caller's storage and are
  // read back after each sink returns.
  void Fire(DISPID id, std::vector<VARIANT> args);
  void FireStatusText(const std::string& text);
  void FireProgress(LONG progress, LONG max);
  void FireCommandState(LONG command, bool enabled);
  void FireTitle(const std::string& title);
  void FireDownload(bool begin);
  bool FireBeforeNavigate(const std::string& url, LONG flags, const std::vector<uint8_t>& post,
                          const std::string& headers, IDispatch* source = nullptr, const std::string& frame = "");
  bool FireNavigateError(const std::string& url, LONG status, IDispatch* source = nullptr,
                         const std::string& frame = "");
  void FireUrlEvent(DISPID id, const std::string& url, IDispatch* source = nullptr);
  void HostExec(const GUID& group, DWORD id);
  void OpenNewWindow(const std::string& url, const std::string& name);

  // Input.
  bool Accelerator(const MSG& msg);
  bool AskRefresh(DWORD command);
  void UIActivate();
  bool AllowFocus();
  void MouseInput(UINT msg, int x, int y);
  void KeyInput(UINT msg, WPARAM wp);
  void ContextMenu(int x, int y, bool keyboard);
  Document* Doc() const { return document_; }

  // Windows.
  void EnsureWindows(HWND parent, const RECT& pos);
  void ShowView();
  void DestroyWindows();

  std::atomic<ULONG> refs_{1};
  Alive alive_ = std::make_shared<int>(0);
  bool closed_ = false;

  IOleClientSite* site_ = nullptr;
  IDocHostUIHandler* ui_handler_ = nullptr;
  IDocHostShowUI* show_ui_ = nullptr;
  IOleCommandTarget* host_commands_ = nullptr;
  IServiceProvider* services_ = nullptr;
  IDispatch* ambient_ = nullptr;
  IOleInPlaceSite* inplace_site_ = nullptr;
  bool key_paths_asked_ = false;

  DWORD download_flags_ = 0;
  std::string user_agent_;
  bool user_mode_ = true;
  DWORD host_flags_ = 0;

  kv::ConnectionPoint* events_ = nullptr;
  kv::ConnectionPoint* property_sinks_ = nullptr;
  int frozen_ = 0;
  std::vector<std::pair<DISPID, std::vector<VARIANT>>> frozen_events_;

  HWND embedding_ = nullptr, view_ = nullptr, document_window_ = nullptr, folder_window_ = nullptr;
  bool ui_active_ = false;
  MSG translated_{};  // the last key message TranslateAccelerator handled

  Document* document_ = nullptr;
  IDispatch* folder_document_ = nullptr;
  std::vector<DirectoryEntry> folder_entries_;
  std::string location_url_;
  std::string location_name_;
  std::unique_ptr<Navigation> nav_;
  uint64_t generation_ = 0;
  int ready_state_ = 0;
  std::vector<std::unique_ptr<FrameSlot>> frames_;
  uint64_t frame_generation_ = 0;
  std::vector<TravelEntry> travel_;
  int travel_index_ = -1;
  std::map<DISPID, VARIANT> properties_;
  SIZEL extent_{0, 0};
};

}  // namespace kv::browser
