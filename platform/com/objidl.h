// Monikers, bind contexts, data transfer records and the service provider: the COM
// types that URL monikers and object containers share. Layouts are the platform's
// member order; IIDs are the platform's.
#pragma once

#include "platform/com/com.h"

extern "C" {

struct IBindCtx;
struct IEnumMoniker;
struct IEnumString;
struct IRunningObjectTable;

typedef WORD CLIPFORMAT;

typedef struct tagDVTARGETDEVICE {
  DWORD tdSize;
  WORD tdDriverNameOffset;
  WORD tdDeviceNameOffset;
  WORD tdPortNameOffset;
  WORD tdExtDevmodeOffset;
  BYTE tdData[1];
} DVTARGETDEVICE;

typedef struct tagFORMATETC {
  CLIPFORMAT cfFormat;
  DVTARGETDEVICE* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
} FORMATETC;

#define TYMED_NULL 0
#define TYMED_HGLOBAL 1
#define TYMED_FILE 2
#define TYMED_ISTREAM 4
#define TYMED_ISTORAGE 8
#define DVASPECT_CONTENT 1

typedef struct tagSTGMEDIUM {
  DWORD tymed;
  union {
    HGLOBAL hGlobal;
    LPOLESTR lpszFileName;
    IStream* pstm;
    void* pstg;
  };
  IUnknown* pUnkForRelease;
} STGMEDIUM;

typedef struct tagBIND_OPTS {
  DWORD cbStruct;
  DWORD grfFlags;
  DWORD grfMode;
  DWORD dwTickCountDeadline;
} BIND_OPTS;

struct IPersist : IUnknown {
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

struct IPersistStream : IPersist {
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, BOOL clear_dirty) = 0;
  virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
};

struct IMoniker : IPersistStream {
  virtual HRESULT BindToObject(IBindCtx* bc, IMoniker* left, REFIID riid, void** object) = 0;
  virtual HRESULT BindToStorage(IBindCtx* bc, IMoniker* left, REFIID riid, void** object) = 0;
  virtual HRESULT Reduce(IBindCtx* bc, DWORD how_far, IMoniker** left, IMoniker** reduced) = 0;
  virtual HRESULT ComposeWith(IMoniker* right, BOOL only_if_not_generic, IMoniker** composite) = 0;
  virtual HRESULT Enum(BOOL forward, IEnumMoniker** enumerator) = 0;
  virtual HRESULT IsEqual(IMoniker* other) = 0;
  virtual HRESULT Hash(DWORD* hash) = 0;
  virtual HRESULT IsRunning(IBindCtx* bc, IMoniker* left, IMoniker* newly_running) = 0;
  virtual HRESULT GetTimeOfLastChange(IBindCtx* bc, IMoniker* left, FILETIME* time) = 0;
  virtual HRESULT Inverse(IMoniker** inverse) = 0;
  virtual HRESULT CommonPrefixWith(IMoniker* other, IMoniker** prefix) = 0;
  virtual HRESULT RelativePathTo(IMoniker* other, IMoniker** relative) = 0;
  virtual HRESULT GetDisplayName(IBindCtx* bc, IMoniker* left, LPOLESTR* name) = 0;
  virtual HRESULT ParseDisplayName(IBindCtx* bc, IMoniker* left, LPOLESTR name, ULONG* eaten, IMoniker** out) = 0;
  virtual HRESULT IsSystemMoniker(DWORD* kind) = 0;
};

struct IBindCtx : IUnknown {
  virtual HRESULT RegisterObjectBound(IUnknown* object) = 0;
  virtual HRESULT RevokeObjectBound(IUnknown* object) = 0;
  virtual HRESULT ReleaseBoundObjects() = 0;
  virtual HRESULT SetBindOptions(BIND_OPTS* options) = 0;
  virtual HRESULT GetBindOptions(BIND_OPTS* options) = 0;
  virtual HRESULT GetRunningObjectTable(IRunningObjectTable** table) = 0;
  virtual HRESULT RegisterObjectParam(LPOLESTR key, IUnknown* object) = 0;
  virtual HRESULT GetObjectParam(LPOLESTR key, IUnknown** object) = 0;
  virtual HRESULT EnumObjectParam(IEnumString** keys) = 0;
  virtual HRESULT RevokeObjectParam(LPOLESTR key) = 0;
};

struct IServiceProvider : IUnknown {
  virtual HRESULT QueryService(REFGUID service, REFIID riid, void** object) = 0;
};

inline constexpr IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPersistStream = {0x00000109, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMoniker = {0x0000000F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IBindCtx = {0x0000000E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
// Asked by URL monikers and by the browser for credentials (the interface is urlmon's).
inline constexpr IID IID_IAuthenticate = {0x79EAC9D0, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

}  // extern "C"
