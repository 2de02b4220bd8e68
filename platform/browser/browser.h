// The web browser control: a built-in COM class of libplatform.so with the document
// object model it shows, the events it raises and the calls it makes on its host.
//
// Interfaces are pure abstract classes in this layer's own member order (the members
// the callers use); their IIDs, DISPIDs and constants are the platform's published ones.
// Text crossing these interfaces is BSTR (UTF-16); documents hold UTF-8.
#pragma once

#include "platform/com/com.h"
#include "platform/com/oleauto.h"
#include "platform/com/objidl.h"
#include "platform/com/oleidl.h"
#include "platform/inet/urlmon.h"

// ---- Classes and command groups -------------------------------------------------------------------
inline constexpr CLSID CLSID_WebBrowser = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
inline constexpr GUID CGID_Explorer = {0x000214D0, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID CGID_DocHostCommandHandler = {
    0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

// ---- Command target, services, notifications -----------------------------------------------------
typedef struct _tagOLECMD {
  ULONG cmdID;
  DWORD cmdf;
} OLECMD;
typedef struct _tagOLECMDTEXT {
  DWORD cmdtextf;
  ULONG cwActual;
  ULONG cwBuf;
  WCHAR rgwz[1];
} OLECMDTEXT;
constexpr DWORD OLECMDF_SUPPORTED = 0x1;
constexpr DWORD OLECMDF_ENABLED = 0x2;
constexpr DWORD OLECMDEXECOPT_DODEFAULT = 0;
constexpr DWORD OLECMDEXECOPT_DONTPROMPTUSER = 2;
constexpr ULONG OLECMDID_SELECTALL = 17;
constexpr ULONG OLECMDID_ZOOM = 19;
constexpr ULONG OLECMDID_GETZOOMRANGE = 20;
constexpr ULONG OLECMDID_REFRESH = 22;
constexpr ULONG OLECMDID_STOP = 23;
#define OLECMDERR_E_NOTSUPPORTED KV_HR(0x80040100)
#define OLECMDERR_E_UNKNOWNGROUP KV_HR(0x80040104)
#define OLE_E_BLANK KV_HR(0x80040007)

struct IOleCommandTarget : IUnknown {
  virtual HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT* text) = 0;
  virtual HRESULT Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) = 0;
};
struct IPropertyNotifySink : IUnknown {
  virtual HRESULT OnChanged(DISPID id) = 0;
  virtual HRESULT OnRequestEdit(DISPID id) = 0;
};
struct IProtectFocus : IUnknown {
  virtual HRESULT AllowFocusChange(BOOL* allow) = 0;
};
struct INewWindowManager : IUnknown {
  virtual HRESULT EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR url_context, LPCWSTR features, BOOL replace,
                                    DWORD flags, DWORD user_action_time) = 0;
};

// ---- Host interfaces ------------------------------------------------------------------------------
typedef struct _DOCHOSTUIINFO {
  ULONG cbSize;
  DWORD dwFlags;
  DWORD dwDoubleClick;
  OLECHAR* pchHostCss;
  OLECHAR* pchHostNS;
} DOCHOSTUIINFO;
constexpr DWORD DOCHOSTUIFLAG_NO3DBORDER = 0x4;
constexpr DWORD DOCHOSTUIFLAG_SCROLL_NO = 0x8;
constexpr DWORD DOCHOSTUIDBLCLK_DEFAULT = 0;

// Context-menu kinds.
constexpr DWORD CONTEXT_MENU_DEFAULT = 0;
constexpr DWORD CONTEXT_MENU_IMAGE = 1;
constexpr DWORD CONTEXT_MENU_CONTROL = 2;
constexpr DWORD CONTEXT_MENU_ANCHOR = 5;

// Ambient download-control flags.
constexpr DWORD DLCTL_NO_SCRIPTS = 0x80;
constexpr DWORD DLCTL_NO_RUNACTIVEXCTLS = 0x200;
constexpr DWORD DLCTL_NO_FRAMEDOWNLOAD = 0x1000;

struct IDocHostUIHandler : IUnknown {
  virtual HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* command_target, IDispatch* object) = 0;
  virtual HRESULT GetHostInfo(DOCHOSTUIINFO* info) = 0;
  virtual HRESULT ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target, IOleInPlaceFrame* frame,
                         IOleInPlaceUIWindow* doc) = 0;
  virtual HRESULT HideUI() = 0;
  virtual HRESULT UpdateUI() = 0;
  virtual HRESULT EnableModeless(BOOL enable) = 0;
  virtual HRESULT OnDocWindowActivate(BOOL activate) = 0;
  virtual HRESULT OnFrameWindowActivate(BOOL activate) = 0;
  virtual HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame_window) = 0;
  virtual HRESULT TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) = 0;
  virtual HRESULT GetOptionKeyPath(LPOLESTR* key, DWORD reserved) = 0;
  virtual HRESULT GetDropTarget(IDropTarget* drop_target, IDropTarget** out) = 0;
  virtual HRESULT GetExternal(IDispatch** external) = 0;
  virtual HRESULT TranslateUrl(DWORD translate, LPWSTR url_in, LPWSTR* url_out) = 0;
  virtual HRESULT FilterDataObject(IUnknown* data, IUnknown** data_out) = 0;
};
struct IDocHostUIHandler2 : IDocHostUIHandler {
  virtual HRESULT GetOverrideKeyPath(LPOLESTR* key, DWORD reserved) = 0;
};
struct IDocHostShowUI : IUnknown {
  virtual HRESULT ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR help_file,
                              DWORD help_context, LRESULT* result) = 0;
  virtual HRESULT ShowHelp(HWND hwnd, LPOLESTR help_file, UINT command, DWORD data, POINT mouse, IDispatch* hit) = 0;
};

// Services the host may answer (QueryService), in the platform's member order.
// IDownloadManager: platform/inet/urlmon.h.
struct IZoomEvents : IUnknown {
  virtual HRESULT OnZoomPercentChanged(ULONG percent) = 0;
};
struct IHostBehaviorInit : IUnknown {
  virtual HRESULT PopulateNamespaceTable() = 0;
};
struct IHTMLOMWindowServices : IUnknown {
  virtual HRESULT moveTo(LONG x, LONG y) = 0;
  virtual HRESULT moveBy(LONG x, LONG y) = 0;
  virtual HRESULT resizeTo(LONG x, LONG y) = 0;
  virtual HRESULT resizeBy(LONG x, LONG y) = 0;
};

// ---- The browser ----------------------------------------------------------------------------------
enum READYSTATE {
  READYSTATE_UNINITIALIZED = 0,
  READYSTATE_LOADING = 1,
  READYSTATE_LOADED = 2,
  READYSTATE_INTERACTIVE = 3,
  READYSTATE_COMPLETE = 4
};
constexpr LONG navOpenInNewWindow = 0x1;
constexpr LONG navNoHistory = 0x2;
constexpr LONG navNoWriteToCache = 0x8;
constexpr LONG REFRESH_NORMAL = 0;
constexpr LONG REFRESH_COMPLETELY = 3;

struct IWebBrowser2 : IDispatch {
  virtual HRESULT GoBack() = 0;
  virtual HRESULT GoForward() = 0;
  virtual HRESULT GoHome() = 0;
  virtual HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) = 0;
  virtual HRESULT Refresh() = 0;
  virtual HRESULT Refresh2(VARIANT* level) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT get_Document(IDispatch** document) = 0;
  virtual HRESULT get_LocationName(BSTR* name) = 0;
  virtual HRESULT get_LocationURL(BSTR* url) = 0;
  virtual HRESULT get_Busy(VARIANT_BOOL* busy) = 0;
  virtual HRESULT Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) = 0;
  virtual HRESULT QueryStatusWB(LONG cmd, LONG* flags) = 0;
  virtual HRESULT ExecWB(LONG cmd, LONG option, VARIANT* in, VARIANT* out) = 0;
  virtual HRESULT get_ReadyState(LONG* state) = 0;
  virtual HRESULT get_Visible(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_Visible(VARIANT_BOOL value) = 0;
};

// DISPIDs of the browser's properties and methods.
constexpr DISPID DISPID_WB_GOBACK = 100;
constexpr DISPID DISPID_WB_GOFORWARD = 101;
constexpr DISPID DISPID_WB_GOHOME = 102;
constexpr DISPID DISPID_WB_NAVIGATE = 104;
constexpr DISPID DISPID_WB_REFRESH = -550;
constexpr DISPID DISPID_WB_REFRESH2 = 105;
constexpr DISPID DISPID_WB_STOP = 106;
constexpr DISPID DISPID_WB_DOCUMENT = 203;
constexpr DISPID DISPID_WB_LOCATIONNAME = 210;
constexpr DISPID DISPID_WB_LOCATIONURL = 211;
constexpr DISPID DISPID_WB_BUSY = 212;
constexpr DISPID DISPID_WB_NAVIGATE2 = 500;
constexpr DISPID DISPID_WB_QUERYSTATUSWB = 501;
constexpr DISPID DISPID_WB_EXECWB = 502;
constexpr DISPID DISPID_READYSTATE = -525;
constexpr DISPID DISPID_WB_VISIBLE = 402;  // 402-407 and 550-556: stored bar and mode properties

// DWebBrowserEvents2 DISPIDs.
constexpr DISPID DISPID_STATUSTEXTCHANGE = 102;
constexpr DISPID DISPID_DOWNLOADCOMPLETE = 104;
constexpr DISPID DISPID_COMMANDSTATECHANGE = 105;
constexpr DISPID DISPID_DOWNLOADBEGIN = 106;
constexpr DISPID DISPID_PROGRESSCHANGE = 108;
constexpr DISPID DISPID_TITLECHANGE = 113;
constexpr DISPID DISPID_BEFORENAVIGATE2 = 250;
constexpr DISPID DISPID_NEWWINDOW2 = 251;
constexpr DISPID DISPID_NAVIGATECOMPLETE2 = 252;
constexpr DISPID DISPID_ONVISIBLE = 254;
constexpr DISPID DISPID_DOCUMENTCOMPLETE = 259;
constexpr DISPID DISPID_NAVIGATEERROR = 271;
constexpr DISPID DISPID_FILEDOWNLOAD = 270;
constexpr DISPID DISPID_WINDOWSETLEFT = 264;
constexpr DISPID DISPID_WINDOWSETTOP = 265;
constexpr DISPID DISPID_WINDOWSETWIDTH = 266;
constexpr DISPID DISPID_WINDOWSETHEIGHT = 267;
constexpr DISPID DISPID_NEWWINDOW3 = 273;
constexpr DISPID DISPID_WINDOWCLOSING = 263;

inline constexpr IID IID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
inline constexpr IID IID_IWebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IWebBrowser = {0xEAB22AC1, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};
inline constexpr IID DIID_DWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
inline constexpr IID IID_IOleCommandTarget = {
    0xB722BCCB, 0x4E68, 0x101B, {0xA2, 0xBC, 0x00, 0xAA, 0x00, 0x40, 0x47, 0x70}};
inline constexpr IID IID_IPropertyNotifySink = {
    0x9BFBBC02, 0xEFF1, 0x101A, {0x84, 0xED, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IDocHostUIHandler = {
    0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
inline constexpr IID IID_IDocHostUIHandler2 = {
    0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IDocHostShowUI = {
    0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
inline constexpr IID IID_IProtectFocus = {0xD81F90A3, 0x8156, 0x44F7, {0xAD, 0x28, 0x5A, 0xBB, 0x87, 0x00, 0x32, 0x74}};
inline constexpr IID IID_INewWindowManager = {
    0xD2BC4C84, 0x3F72, 0x4A52, {0xA6, 0x04, 0x7B, 0xCB, 0xF3, 0x98, 0x2C, 0xBB}};
inline constexpr IID IID_IZoomEvents = {0x41B68150, 0x904C, 0x4E17, {0xA0, 0xBA, 0xA4, 0x38, 0x18, 0x2E, 0x35, 0x9D}};
inline constexpr IID IID_IHostBehaviorInit = {
    0x3050F842, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLOMWindowServices = {
    0x3050F5FC, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// ---- Documents ------------------------------------------------------------------------------------
struct IHTMLElement;
struct IHTMLFormElement;
struct IHTMLWindow2;
struct IHTMLEventObj;

struct IHTMLElementCollection : IDispatch {
  virtual HRESULT get_length(LONG* length) = 0;
  // name: a VT_BSTR id or name (several matches give a collection, or the index-th of
  // them when index is a number) or a number (the element at that index).
  virtual HRESULT item(VARIANT name, VARIANT index, IDispatch** out) = 0;
  virtual HRESULT tags(VARIANT tag, IDispatch** out) = 0;
};
struct IHTMLStyle : IDispatch {
  virtual HRESULT get_display(BSTR* value) = 0;
  virtual HRESULT put_display(BSTR value) = 0;
};
struct IHTMLElement : IDispatch {
  virtual HRESULT get_tagName(BSTR* tag) = 0;  // upper case
  virtual HRESULT get_id(BSTR* id) = 0;
  virtual HRESULT put_id(BSTR id) = 0;
  virtual HRESULT get_className(BSTR* name) = 0;
  virtual HRESULT put_className(BSTR name) = 0;
  virtual HRESULT getAttribute(BSTR name, LONG flags, VARIANT* value) = 0;  // VT_NULL when absent
  virtual HRESULT setAttribute(BSTR name, VARIANT value, LONG flags) = 0;
  virtual HRESULT removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* removed) = 0;
  virtual HRESULT get_parentElement(IHTMLElement** parent) = 0;
  virtual HRESULT get_children(IDispatch** children) = 0;
  virtual HRESULT get_all(IDispatch** all) = 0;
  virtual HRESULT get_innerHTML(BSTR* html) = 0;
  virtual HRESULT put_innerHTML(BSTR html) = 0;
  virtual HRESULT get_innerText(BSTR* text) = 0;
  virtual HRESULT put_innerText(BSTR text) = 0;
  virtual HRESULT get_outerHTML(BSTR* html) = 0;
  virtual HRESULT get_style(IHTMLStyle** style) = 0;
  virtual HRESULT click() = 0;
};
struct IHTMLFormElement : IDispatch {
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT get_action(BSTR* action) = 0;
  virtual HRESULT get_method(BSTR* method) = 0;
  virtual HRESULT get_target(BSTR* target) = 0;
  virtual HRESULT get_length(LONG* length) = 0;
  virtual HRESULT get_elements(IDispatch** elements) = 0;
  virtual HRESULT item(VARIANT name, VARIANT index, IDispatch** out) = 0;
  virtual HRESULT submit() = 0;  // no onsubmit
  virtual HRESULT reset() = 0;
};
struct IHTMLInputElement : IDispatch {
  virtual HRESULT get_type(BSTR* type) = 0;  // lower case
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT get_value(BSTR* value) = 0;
  virtual HRESULT put_value(BSTR value) = 0;
  virtual HRESULT get_checked(VARIANT_BOOL* checked) = 0;
  virtual HRESULT put_checked(VARIANT_BOOL checked) = 0;
  virtual HRESULT get_disabled(VARIANT_BOOL* disabled) = 0;
  virtual HRESULT put_disabled(VARIANT_BOOL disabled) = 0;
  virtual HRESULT get_form(IHTMLFormElement** form) = 0;
};
struct IHTMLSelectElement : IDispatch {
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT get_value(BSTR* value) = 0;
  virtual HRESULT put_value(BSTR value) = 0;
  virtual HRESULT get_selectedIndex(LONG* index) = 0;
  virtual HRESULT put_selectedIndex(LONG index) = 0;
  virtual HRESULT get_length(LONG* length) = 0;
  virtual HRESULT get_options(IDispatch** options) = 0;
};
struct IHTMLTextAreaElement : IDispatch {
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT get_value(BSTR* value) = 0;
  virtual HRESULT put_value(BSTR value) = 0;
};
struct IHTMLDocument2 : IDispatch {
  virtual HRESULT get_Script(IDispatch** script) = 0;
  virtual HRESULT get_all(IHTMLElementCollection** all) = 0;
  virtual HRESULT get_body(IHTMLElement** body) = 0;
  virtual HRESULT get_forms(IHTMLElementCollection** forms) = 0;
  virtual HRESULT get_title(BSTR* title) = 0;
  virtual HRESULT put_title(BSTR title) = 0;
  virtual HRESULT get_readyState(BSTR* state) = 0;  // "loading" .. "complete"
  virtual HRESULT get_parentWindow(IHTMLWindow2** window) = 0;
  virtual HRESULT get_URL(BSTR* url) = 0;
  virtual HRESULT get_location(IDispatch** location) = 0;
  virtual HRESULT get_cookie(BSTR* cookie) = 0;
  virtual HRESULT put_cookie(BSTR cookie) = 0;
  virtual HRESULT get_activeElement(IHTMLElement** element) = 0;
  virtual HRESULT write(SAFEARRAY* texts) = 0;
  virtual HRESULT writeln(SAFEARRAY* texts) = 0;
  virtual HRESULT open(BSTR url, VARIANT name, VARIANT features, VARIANT replace, IDispatch** out) = 0;
  virtual HRESULT close() = 0;
  virtual HRESULT createElement(BSTR tag, IHTMLElement** element) = 0;
};
struct IHTMLDocument3 : IDispatch {
  virtual HRESULT get_documentElement(IHTMLElement** root) = 0;
  virtual HRESULT getElementById(BSTR id, IHTMLElement** element) = 0;
  virtual HRESULT getElementsByName(BSTR name, IHTMLElementCollection** out) = 0;
  virtual HRESULT getElementsByTagName(BSTR tag, IHTMLElementCollection** out) = 0;
  // Handlers are called Invoke(DISPID_VALUE, DISPATCH_METHOD) with the event object.
  virtual HRESULT attachEvent(BSTR event, IDispatch* handler, VARIANT_BOOL* result) = 0;
  virtual HRESULT detachEvent(BSTR event, IDispatch* handler) = 0;
};
struct IHTMLWindow2 : IDispatch {
  virtual HRESULT get_document(IHTMLDocument2** document) = 0;
  virtual HRESULT get_event(IHTMLEventObj** event) = 0;
  virtual HRESULT get_external(IDispatch** external) = 0;
  virtual HRESULT alert(BSTR message) = 0;
  virtual HRESULT confirm(BSTR message, VARIANT_BOOL* result) = 0;
  virtual HRESULT navigate(BSTR url) = 0;
  virtual HRESULT get_parent(IHTMLWindow2** parent) = 0;
  virtual HRESULT get_top(IHTMLWindow2** top) = 0;
};
struct IHTMLEventObj : IDispatch {
  virtual HRESULT get_srcElement(IHTMLElement** element) = 0;
  virtual HRESULT get_type(BSTR* type) = 0;
  virtual HRESULT get_keyCode(LONG* code) = 0;
  virtual HRESULT put_keyCode(LONG code) = 0;
  virtual HRESULT get_returnValue(VARIANT* value) = 0;
  virtual HRESULT put_returnValue(VARIANT value) = 0;
  virtual HRESULT get_cancelBubble(VARIANT_BOOL* cancel) = 0;
  virtual HRESULT put_cancelBubble(VARIANT_BOOL cancel) = 0;
  virtual HRESULT get_button(LONG* button) = 0;
  virtual HRESULT get_altKey(VARIANT_BOOL* down) = 0;
  virtual HRESULT get_ctrlKey(VARIANT_BOOL* down) = 0;
  virtual HRESULT get_shiftKey(VARIANT_BOOL* down) = 0;
  virtual HRESULT get_clientX(LONG* x) = 0;
  virtual HRESULT get_clientY(LONG* y) = 0;
  virtual HRESULT get_fromElement(IHTMLElement** element) = 0;
  virtual HRESULT get_toElement(IHTMLElement** element) = 0;
};

inline constexpr IID IID_IHTMLDocument = {0x626FC520, 0xA41E, 0x11CF, {0xA7, 0x31, 0x00, 0xA0, 0xC9, 0x08, 0x26, 0x37}};
inline constexpr IID IID_IHTMLDocument2 = {
    0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
inline constexpr IID IID_IHTMLDocument3 = {
    0x3050F485, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLElement = {0x3050F1FF, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLFormElement = {
    0x3050F1F7, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLInputElement = {
    0x3050F5D2, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLSelectElement = {
    0x3050F244, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLTextAreaElement = {
    0x3050F2AA, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLElementCollection = {
    0x3050F21F, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLStyle = {0x3050F25E, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr IID IID_IHTMLWindow2 = {0x332C4427, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
inline constexpr IID IID_IHTMLEventObj = {0x3050F32D, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// Event interfaces of the document's objects (their connection points).
#define KV_HTML_EVENTS_IID(d1)                                             \
  {                                                                        \
    d1, 0x98B5, 0x11CF, { 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B } \
  }
inline constexpr IID DIID_HTMLElementEvents2 = KV_HTML_EVENTS_IID(0x3050F60F);
inline constexpr IID DIID_HTMLAnchorEvents2 = KV_HTML_EVENTS_IID(0x3050F610);
inline constexpr IID DIID_HTMLButtonElementEvents2 = KV_HTML_EVENTS_IID(0x3050F617);
inline constexpr IID DIID_HTMLDocumentEvents2 = KV_HTML_EVENTS_IID(0x3050F613);
inline constexpr IID DIID_HTMLFormElementEvents2 = KV_HTML_EVENTS_IID(0x3050F614);
inline constexpr IID DIID_HTMLImgEvents2 = KV_HTML_EVENTS_IID(0x3050F616);
inline constexpr IID DIID_HTMLInputTextElementEvents2 = KV_HTML_EVENTS_IID(0x3050F618);
inline constexpr IID DIID_HTMLOptionButtonElementEvents2 = KV_HTML_EVENTS_IID(0x3050F619);
inline constexpr IID DIID_HTMLObjectElementEvents2 = KV_HTML_EVENTS_IID(0x3050F620);
inline constexpr IID DIID_HTMLSelectElementEvents2 = KV_HTML_EVENTS_IID(0x3050F622);
inline constexpr IID DIID_HTMLTextContainerEvents2 = KV_HTML_EVENTS_IID(0x3050F624);
inline constexpr IID DIID_HTMLWindowEvents2 = KV_HTML_EVENTS_IID(0x3050F625);

// DISPIDs of the DOM events (the event interfaces' members).
constexpr DISPID DISPID_HTMLELEMENTEVENTS2_ONCLICK = -600;
constexpr DISPID DISPID_EVMETH_ONCLICK = -600;
constexpr DISPID DISPID_EVMETH_ONDBLCLICK = -601;
constexpr DISPID DISPID_EVMETH_ONKEYDOWN = -602;
constexpr DISPID DISPID_EVMETH_ONKEYPRESS = -603;
constexpr DISPID DISPID_EVMETH_ONKEYUP = -604;
constexpr DISPID DISPID_EVMETH_ONMOUSEDOWN = -605;
constexpr DISPID DISPID_EVMETH_ONMOUSEMOVE = -606;
constexpr DISPID DISPID_EVMETH_ONMOUSEUP = -607;
constexpr DISPID DISPID_EVMETH_ONREADYSTATECHANGE = -609;
constexpr DISPID DISPID_EVMETH_ONCHANGE = 1001;
constexpr DISPID DISPID_EVMETH_ONLOAD = 1003;
constexpr DISPID DISPID_EVMETH_ONSUBMIT = 1007;
constexpr DISPID DISPID_EVMETH_ONRESET = 1015;
constexpr DISPID DISPID_EVMETH_ONCONTEXTMENU = 1023;
constexpr DISPID DISPID_EVMETH_ONBLUR = static_cast<DISPID>(0x80010000);
constexpr DISPID DISPID_EVMETH_ONFOCUS = static_cast<DISPID>(0x80010001);

// ---- Test-facing side --------------------------------------------------------------------------------
extern "C" {
// A document that no browser shows (no host: it navigates nowhere and asks nothing), for
// loading bytes through its IPersistStreamInit and reading them through the DOM.
HRESULT KvBrowserNewDocument(IHTMLDocument2** out);
// The layout box of an element of a shown document, in screen coordinates (where injected
// input should aim); FALSE when the element has no box or its browser no window.
BOOL KvBrowserElementRect(IUnknown* element, RECT* rc);
// The downloads of undisplayed responses, one line each ("saved <url> <path>", "taken
// <url>" by the host's download manager, "failed <url> <code or path>"), copied as
// GetModuleFileName copies; Clear empties the record.
DWORD KvBrowserDownloadLog(char* buffer, DWORD size);
void KvBrowserDownloadLogClear(void);
// Every event fired, after its sinks returned, with its arguments in call order and the
// by-reference ones as the sinks left them: "NavigateError(top, "http://h/x", "", 404,
// false)" (pDisp "top" for the control, "frame" for a frame's object; PostData
// "bytes(n)"; negative numbers in hex).
DWORD KvBrowserEventLog(char* buffer, DWORD size);
// The navigation sounds played: "navigating <url>" for each navigation start while HKCU
// "AppEvents\Schemes\Apps\Explorer\Navigating\.Current" exists and feature 21 is off.
DWORD KvBrowserSoundLog(char* buffer, DWORD size);
void KvBrowserSoundLogClear(void);
// The name of a DWebBrowserEvents2 event ("NavigateError"), NULL for another DISPID.
const char* KvBrowserEventName(DISPID id);
void KvBrowserEventLogClear(void);
// Every call on the host with its answer: "GetHostInfo -> 0x00000000", "Exec 39 ->
// 0x80040100", "QueryService IDownloadManager -> 0x80004002".
DWORD KvBrowserHostCallLog(char* buffer, DWORD size);
void KvBrowserHostCallLogClear(void);
// A document's tree, one node a line, two spaces a level: elements as "tag#id
// name="n"" with the form values (input type and value or checked/unchecked, textarea
// value, select's selected index, "hidden" for display:none), text collapsed and
// quoted, a frame's document below its element. Copied as GetModuleFileName copies; an
// object that is not one of our documents gives "".
DWORD KvBrowserDomDump(IUnknown* document, char* buffer, DWORD size);
// The controls made for <object> elements, one line a step, as GetModuleFileName copies
// ("prt CoCreateInstance 0x00000000", "prt not safe for scripting", "prt released");
// printed live under KORVANE_TRACE=1.
DWORD KvBrowserControlLog(char* buffer, DWORD size);
void KvBrowserControlLogClear(void);
// Answers for the browser's own dialogs, first in first out: the "Script Error" dialog
// (IDYES goes on, IDNO stops the page's scripts) and prompt (IDOK with `text`, UTF-8, or
// IDCANCEL). A dialog with no answer left is cancelled (the script error goes on, prompt
// gives null); a watcher may instead close (go on) or destroy (stop) the dialog.
void KvBrowserDialogScriptPush(int button, const char* text);
void KvBrowserDialogScriptClear(void);
}
