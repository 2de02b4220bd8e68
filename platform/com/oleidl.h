// The OLE document and control interfaces that ActiveX controls and their containers
// speak: embedding (IOleObject, IOleClientSite), in-place activation (IOleWindow,
// IOleInPlaceObject, IOleInPlaceActiveObject, IOleInPlaceSite, IOleInPlaceUIWindow,
// IOleInPlaceFrame), controls (IOleControl, IOleControlSite), drawing (IViewObject,
// IViewObject2), persistence (IPersist, IPersistStreamInit) and notifications
// (IAdviseSink). Pure abstract interfaces in the platform's method order, with the
// platform's IIDs and constants. Interfaces that nothing here implements or calls are
// only named (IMoniker, IDataObject ...). Framework and platform code both use them.
#pragma once

#include "platform/com/com.h"
#include "platform/com/objidl.h"
#include "platform/com/oleauto.h"
#include "platform/gdi/gdi.h"
#include "platform/user/user.h"

struct IMoniker;
struct IDataObject;
struct IEnumOLEVERB;
struct IEnumSTATDATA;
struct IOleContainer;
struct tagFORMATETC;
struct tagSTGMEDIUM;
struct tagDVTARGETDEVICE;
typedef struct tagFORMATETC FORMATETC;
typedef struct tagSTGMEDIUM STGMEDIUM;
typedef struct tagDVTARGETDEVICE DVTARGETDEVICE;

typedef struct tagSIZEL {
  LONG cx;
  LONG cy;
} SIZEL, *LPSIZEL;
typedef struct tagRECTL {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECTL, *LPRECTL;
typedef const RECTL* LPCRECTL;
typedef struct tagPOINTL {
  LONG x;
  LONG y;
} POINTL;
typedef struct tagPOINTF {
  FLOAT x;
  FLOAT y;
} POINTF;
typedef RECT BORDERWIDTHS;
typedef LPRECT LPBORDERWIDTHS;
typedef const RECT* LPCBORDERWIDTHS;
typedef struct tagOleMenuGroupWidths {
  LONG width[6];
} OLEMENUGROUPWIDTHS, *LPOLEMENUGROUPWIDTHS;
typedef HANDLE HOLEMENU;
typedef HANDLE HACCEL;

typedef struct tagOIFI {
  UINT cb;
  BOOL fMDIApp;
  HWND hwndFrame;
  HACCEL haccel;
  UINT cAccelEntries;
} OLEINPLACEFRAMEINFO, *LPOLEINPLACEFRAMEINFO;

typedef struct tagCONTROLINFO {
  ULONG cb;
  HACCEL hAccel;
  USHORT cAccel;
  DWORD dwFlags;
} CONTROLINFO, *LPCONTROLINFO;

// ---- Constants ------------------------------------------------------------------------------------------
constexpr LONG OLEIVERB_PRIMARY = 0;
constexpr LONG OLEIVERB_SHOW = -1;
constexpr LONG OLEIVERB_OPEN = -2;
constexpr LONG OLEIVERB_HIDE = -3;
constexpr LONG OLEIVERB_UIACTIVATE = -4;
constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
constexpr LONG OLEIVERB_DISCARDUNDOSTATE = -6;
constexpr LONG OLEIVERB_PROPERTIES = -7;

constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
constexpr DWORD OLECLOSE_NOSAVE = 1;
constexpr DWORD OLECLOSE_PROMPTSAVE = 2;

constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
constexpr DWORD OLEMISC_ONLYICONIC = 0x2;
constexpr DWORD OLEMISC_INSERTNOTREPLACE = 0x4;
constexpr DWORD OLEMISC_STATIC = 0x8;
constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
constexpr DWORD OLEMISC_CANLINKBYOLE1 = 0x20;
constexpr DWORD OLEMISC_ISLINKOBJECT = 0x40;
constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
constexpr DWORD OLEMISC_RENDERINGISDEVICEINDEPENDENT = 0x200;
constexpr DWORD OLEMISC_INVISIBLEATRUNTIME = 0x400;
constexpr DWORD OLEMISC_ALWAYSRUN = 0x800;
constexpr DWORD OLEMISC_ACTSLIKEBUTTON = 0x1000;
constexpr DWORD OLEMISC_ACTSLIKELABEL = 0x2000;
constexpr DWORD OLEMISC_NOUIACTIVATE = 0x4000;
constexpr DWORD OLEMISC_ALIGNABLE = 0x8000;
constexpr DWORD OLEMISC_SIMPLEFRAME = 0x10000;
constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

constexpr DWORD DVASPECT_THUMBNAIL = 2;
constexpr DWORD DVASPECT_ICON = 4;
constexpr DWORD DVASPECT_DOCPRINT = 8;

constexpr DWORD USERCLASSTYPE_FULL = 1;
constexpr DWORD USERCLASSTYPE_SHORT = 2;
constexpr DWORD USERCLASSTYPE_APPNAME = 3;

#define OLE_E_ADVISENOTSUPPORTED KV_HR(0x80040003)
#define OLE_E_NOCONNECTION KV_HR(0x80040004)
#define OLE_E_NOTRUNNING KV_HR(0x80040005)
#define OLE_E_INVALIDRECT KV_HR(0x8004000D)
#define OLE_E_NOT_INPLACEACTIVE KV_HR(0x80040010)
#define OLE_S_USEREG KV_HR(0x00040000)
#define OLEOBJ_E_NOVERBS KV_HR(0x80040180)
#define OLEOBJ_S_INVALIDVERB KV_HR(0x00040180)
#define OLEOBJ_S_CANNOT_DOVERB_NOW KV_HR(0x00040181)
#define DV_E_DVASPECT KV_HR(0x8004006B)
#define VIEW_E_DRAW KV_HR(0x80040140)
#define E_NOTINPLACEACTIVE OLE_E_NOT_INPLACEACTIVE
#define STG_E_READFAULT KV_HR(0x8003001E)
#define STG_E_WRITEFAULT KV_HR(0x8003001D)

// Standard and ambient DISPIDs.
constexpr DISPID DISPID_BACKCOLOR = -501;
constexpr DISPID DISPID_FONT = -512;
constexpr DISPID DISPID_FORECOLOR = -513;
constexpr DISPID DISPID_ENABLED = -514;
constexpr DISPID DISPID_HWND = -515;
constexpr DISPID DISPID_TEXT = -517;
constexpr DISPID DISPID_CAPTION = -518;
constexpr DISPID DISPID_ABOUTBOX = -552;
constexpr DISPID DISPID_CLICK = -600;
constexpr DISPID DISPID_KEYPRESS = -603;
constexpr DISPID DISPID_AMBIENT_BACKCOLOR = -701;
constexpr DISPID DISPID_AMBIENT_DISPLAYNAME = -702;
constexpr DISPID DISPID_AMBIENT_FONT = -703;
constexpr DISPID DISPID_AMBIENT_FORECOLOR = -704;
constexpr DISPID DISPID_AMBIENT_LOCALEID = -705;
constexpr DISPID DISPID_AMBIENT_MESSAGEREFLECT = -706;
constexpr DISPID DISPID_AMBIENT_SCALEUNITS = -707;
constexpr DISPID DISPID_AMBIENT_TEXTALIGN = -708;
constexpr DISPID DISPID_AMBIENT_USERMODE = -709;
constexpr DISPID DISPID_AMBIENT_UIDEAD = -710;
constexpr DISPID DISPID_AMBIENT_SHOWGRABHANDLES = -711;
constexpr DISPID DISPID_AMBIENT_SHOWHATCHING = -712;
constexpr DISPID DISPID_AMBIENT_DISPLAYASDEFAULT = -713;
constexpr DISPID DISPID_AMBIENT_SUPPORTSMNEMONICS = -714;
constexpr DISPID DISPID_AMBIENT_AUTOCLIP = -715;
constexpr DISPID DISPID_AMBIENT_APPEARANCE = -716;
constexpr DISPID DISPID_AMBIENT_DLCONTROL = -5512;
constexpr DISPID DISPID_AMBIENT_USERAGENT = -5513;

// ---- Interfaces ----------------------------------------------------------------------------------------
struct IAdviseSink : IUnknown {
  virtual void OnDataChange(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual void OnViewChange(DWORD aspect, LONG index) = 0;
  virtual void OnRename(IMoniker* moniker) = 0;
  virtual void OnSave() = 0;
  virtual void OnClose() = 0;
};

struct IOleClientSite : IUnknown {
  virtual HRESULT SaveObject() = 0;
  virtual HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) = 0;
  virtual HRESULT GetContainer(IOleContainer** container) = 0;
  virtual HRESULT ShowObject() = 0;
  virtual HRESULT OnShowWindow(BOOL show) = 0;
  virtual HRESULT RequestNewObjectLayout() = 0;
};

struct IOleObject : IUnknown {
  virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
  virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
  virtual HRESULT SetHostNames(LPCOLESTR app, LPCOLESTR object) = 0;
  virtual HRESULT Close(DWORD save_option) = 0;
  virtual HRESULT SetMoniker(DWORD which, IMoniker* moniker) = 0;
  virtual HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) = 0;
  virtual HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) = 0;
  virtual HRESULT GetClipboardData(DWORD reserved, IDataObject** data) = 0;
  virtual HRESULT DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent, LPCRECT pos) = 0;
  virtual HRESULT EnumVerbs(IEnumOLEVERB** verbs) = 0;
  virtual HRESULT Update() = 0;
  virtual HRESULT IsUpToDate() = 0;
  virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
  virtual HRESULT GetUserType(DWORD form, LPOLESTR* type) = 0;
  virtual HRESULT SetExtent(DWORD aspect, SIZEL* size) = 0;
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;
  virtual HRESULT Advise(IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT Unadvise(DWORD connection) = 0;
  virtual HRESULT EnumAdvise(IEnumSTATDATA** advise) = 0;
  virtual HRESULT GetMiscStatus(DWORD aspect, DWORD* status) = 0;
  virtual HRESULT SetColorScheme(LOGPALETTE* palette) = 0;
};

struct IOleWindow : IUnknown {
  virtual HRESULT GetWindow(HWND* hwnd) = 0;
  virtual HRESULT ContextSensitiveHelp(BOOL enter) = 0;
};

struct IOleInPlaceObject : IOleWindow {
  virtual HRESULT InPlaceDeactivate() = 0;
  virtual HRESULT UIDeactivate() = 0;
  virtual HRESULT SetObjectRects(LPCRECT pos, LPCRECT clip) = 0;
  virtual HRESULT ReactivateAndUndo() = 0;
};

struct IOleInPlaceUIWindow;

struct IOleInPlaceActiveObject : IOleWindow {
  virtual HRESULT TranslateAccelerator(LPMSG msg) = 0;
  virtual HRESULT OnFrameWindowActivate(BOOL activate) = 0;
  virtual HRESULT OnDocWindowActivate(BOOL activate) = 0;
  virtual HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) = 0;
  virtual HRESULT EnableModeless(BOOL enable) = 0;
};

struct IOleInPlaceUIWindow : IOleWindow {
  virtual HRESULT GetBorder(LPRECT border) = 0;
  virtual HRESULT RequestBorderSpace(LPCBORDERWIDTHS widths) = 0;
  virtual HRESULT SetBorderSpace(LPCBORDERWIDTHS widths) = 0;
  virtual HRESULT SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) = 0;
};

struct IOleInPlaceFrame : IOleInPlaceUIWindow {
  virtual HRESULT InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) = 0;
  virtual HRESULT SetMenu(HMENU shared, HOLEMENU ole_menu, HWND active_object) = 0;
  virtual HRESULT RemoveMenus(HMENU shared) = 0;
  virtual HRESULT SetStatusText(LPCOLESTR text) = 0;
  virtual HRESULT EnableModeless(BOOL enable) = 0;
  virtual HRESULT TranslateAccelerator(LPMSG msg, WORD id) = 0;
};

struct IOleInPlaceSite : IOleWindow {
  virtual HRESULT CanInPlaceActivate() = 0;
  virtual HRESULT OnInPlaceActivate() = 0;
  virtual HRESULT OnUIActivate() = 0;
  virtual HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                   LPOLEINPLACEFRAMEINFO info) = 0;
  virtual HRESULT Scroll(SIZE extent) = 0;
  virtual HRESULT OnUIDeactivate(BOOL undoable) = 0;
  virtual HRESULT OnInPlaceDeactivate() = 0;
  virtual HRESULT DiscardUndoState() = 0;
  virtual HRESULT DeactivateAndUndo() = 0;
  virtual HRESULT OnPosRectChange(LPCRECT pos) = 0;
};

struct IOleControl : IUnknown {
  virtual HRESULT GetControlInfo(CONTROLINFO* info) = 0;
  virtual HRESULT OnMnemonic(MSG* msg) = 0;
  virtual HRESULT OnAmbientPropertyChange(DISPID id) = 0;
  virtual HRESULT FreezeEvents(BOOL freeze) = 0;
};

struct IOleControlSite : IUnknown {
  virtual HRESULT OnControlInfoChanged() = 0;
  virtual HRESULT LockInPlaceActive(BOOL lock) = 0;
  virtual HRESULT GetExtendedControl(IDispatch** control) = 0;
  virtual HRESULT TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) = 0;
  virtual HRESULT TranslateAccelerator(MSG* msg, DWORD modifiers) = 0;
  virtual HRESULT OnFocus(BOOL got_focus) = 0;
  virtual HRESULT ShowPropertyFrame() = 0;
};

struct IViewObject : IUnknown {
  virtual HRESULT Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc, HDC draw_dc,
                       LPCRECTL bounds, LPCRECTL window_bounds, BOOL (*cont)(ULONG_PTR), ULONG_PTR cont_data) = 0;
  virtual HRESULT GetColorSet(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc,
                              LOGPALETTE** colors) = 0;
  virtual HRESULT Freeze(DWORD aspect, LONG index, void* aspect_info, DWORD* freeze) = 0;
  virtual HRESULT Unfreeze(DWORD freeze) = 0;
  virtual HRESULT SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) = 0;
  virtual HRESULT GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) = 0;
};

struct IViewObject2 : IViewObject {
  virtual HRESULT GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) = 0;
};

struct IPersistStreamInit : IPersist {
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, BOOL clear_dirty) = 0;
  virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
  virtual HRESULT InitNew() = 0;
};

struct IErrorLog : IUnknown {
  virtual HRESULT AddError(LPCOLESTR property, EXCEPINFO* info) = 0;
};

struct IPropertyBag : IUnknown {
  // `value` comes in with the type wanted (VT_EMPTY: any) and goes out with the value.
  virtual HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) = 0;
  virtual HRESULT Write(LPCOLESTR name, VARIANT* value) = 0;
};

struct IPersistPropertyBag : IPersist {
  virtual HRESULT InitNew() = 0;
  virtual HRESULT Load(IPropertyBag* bag, IErrorLog* log) = 0;
  virtual HRESULT Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) = 0;
};

inline constexpr IID IID_IAdviseSink = {0x0000010F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleClientSite = {0x00000118, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleWindow = {0x00000114, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceObject = {0x00000113, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceActiveObject = {0x00000117, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceUIWindow = {0x00000115, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceFrame = {0x00000116, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceSite = {0x00000119, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleControl = {0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IOleControlSite = {
    0xB196B289, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IViewObject = {0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IViewObject2 = {0x00000127, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IErrorLog = {0x3127CA40, 0x446E, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IPropertyBag = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IPersistPropertyBag = {
    0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IPersistStreamInit = {
    0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};

// ---- Drag and drop --------------------------------------------------------------------------------------
// No drag ever starts here; RegisterDragDrop keeps (and AddRefs) a window's target until
// RevokeDragDrop or the window's destruction, so hosts can see whom the window names.
constexpr DWORD DROPEFFECT_NONE = 0;
constexpr DWORD DROPEFFECT_COPY = 1;
struct IDropTarget : IUnknown {
  virtual HRESULT DragEnter(IDataObject* data, DWORD key_state, POINTL pt, DWORD* effect) = 0;
  virtual HRESULT DragOver(DWORD key_state, POINTL pt, DWORD* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, DWORD key_state, POINTL pt, DWORD* effect) = 0;
};
inline constexpr IID IID_IDropTarget = {0x00000122, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
#define DRAGDROP_E_NOTREGISTERED KV_HR(0x80040100)
#define DRAGDROP_E_ALREADYREGISTERED KV_HR(0x80040101)
#define DRAGDROP_E_INVALIDHWND KV_HR(0x80040102)

extern "C" {
HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* target);
HRESULT RevokeDragDrop(HWND hwnd);
// The target registered for a window (no reference added), or null.
IDropTarget* KvDropTargetOf(HWND hwnd);
}
