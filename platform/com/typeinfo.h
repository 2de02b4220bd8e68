// Type information: ITypeLib and ITypeInfo over a library description that its module
// hands to COM when it loads.
//
// A module builds its library with KvCreateTypeLib (the description is copied, so the
// objects outlive the module) and announces it with KvRegisterModuleTypeLib. LoadTypeLib
// of the module's file loads the module for as long as it takes to find that library;
// LoadRegTypeLib finds the file under HKEY_CLASSES_ROOT\TypeLib\{libid}\<major>.<minor>
// \<lcid>\win32 (the highest minor version of the major one asked for, from the minor
// asked up; lcid 0 when the one asked for has no key).
//
// What is offered: the kinds and flags of the types, the functions of dispatch
// interfaces (member id, invoke kind, parameters with their types and flags, the
// result type), the implemented interfaces of coclasses with their flags, names and
// documentation strings, and names to member ids. Variables, enumerations, ITypeComp,
// Invoke through type information, DLL entries and instance creation are not:
// GetVarDesc gives TYPE_E_ELEMENTNOTFOUND (no type has variables), the rest E_NOTIMPL.
//
// Member functions of dual interfaces are described as declared, with the result
// HRESULT and an [out, retval] parameter for the value (a property get always has one).
#pragma once

#include "platform/base/module.h"
#include "platform/com/oleauto.h"

extern "C" {

typedef DWORD HREFTYPE;

typedef enum tagTYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
} TYPEKIND;

typedef enum tagFUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH } FUNCKIND;

typedef enum tagINVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;

typedef enum tagCALLCONV { CC_FASTCALL = 0, CC_CDECL = 1, CC_PASCAL = 3, CC_STDCALL = 4 } CALLCONV;

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 } SYSKIND;

#define MEMBERID_NIL DISPID_UNKNOWN

#define TYPEFLAG_FAPPOBJECT 0x01
#define TYPEFLAG_FCANCREATE 0x02
#define TYPEFLAG_FLICENSED 0x04
#define TYPEFLAG_FPREDECLID 0x08
#define TYPEFLAG_FHIDDEN 0x10
#define TYPEFLAG_FCONTROL 0x20
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FNONEXTENSIBLE 0x80
#define TYPEFLAG_FOLEAUTOMATION 0x100
#define TYPEFLAG_FDISPATCHABLE 0x1000

#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4
#define IMPLTYPEFLAG_FDEFAULTVTABLE 0x8

#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FLCID 0x04
#define PARAMFLAG_FRETVAL 0x08
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20

#define FUNCFLAG_FRESTRICTED 0x1
#define FUNCFLAG_FSOURCE 0x2
#define FUNCFLAG_FBINDABLE 0x4
#define FUNCFLAG_FHIDDEN 0x40

typedef struct tagTYPEDESC {
  union {
    struct tagTYPEDESC* lptdesc;  // VT_PTR: what it points at
    HREFTYPE hreftype;
  };
  VARTYPE vt;
} TYPEDESC;

typedef struct tagIDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags;
} IDLDESC;

typedef struct tagPARAMDESC {
  void* pparamdescex;  // default values are not described: always null
  USHORT wParamFlags;
} PARAMDESC;

typedef struct tagELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
} ELEMDESC;

typedef struct tagFUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
} FUNCDESC;

typedef struct tagTYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
} TYPEATTR;

typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
} TLIBATTR;

typedef struct tagVARDESC VARDESC;  // no type has variables
struct ITypeComp;
struct ITypeLib;

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
  virtual HRESULT GetVarDesc(UINT index, VARDESC** desc) = 0;
  // The member's name, then its parameters' names.
  virtual HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max_names, UINT* count) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, INT* flags) = 0;
  // Names without letter case: the member, then its parameters.
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  virtual HRESULT Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* info, UINT* arg_err) = 0;
  // MEMBERID_NIL: the type's own name and string. Each out pointer may be null.
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) = 0;
  virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND kind, BSTR* dll, BSTR* name, WORD* ordinal) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;
  virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND kind, void** address) = 0;
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT GetMops(MEMBERID memid, BSTR* mops) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
  virtual void ReleaseVarDesc(VARDESC* desc) = 0;
};

struct ITypeLib : IUnknown {
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
  // index -1: the library's own name and string.
  virtual HRESULT GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) = 0;
  virtual HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) = 0;
  virtual HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;
};

inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The library that `file` (a module's file) describes. TYPE_E_CANTLOADLIBRARY when the
// file does not load or its module announces no library.
HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** out);
// TYPE_E_LIBNOTREGISTERED when no registered version fits.
HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** out);

// ---- Building a library ----------------------------------------------------------------

// A parameter: `vt` with VT_BYREF for a pointer to a value of that type.
typedef struct KvParamData {
  LPCOLESTR name;
  VARTYPE vt;
  USHORT flags;  // PARAMFLAG_*
} KvParamData;

typedef struct KvFuncData {
  LPCOLESTR name;
  MEMBERID memid;
  INVOKEKIND invkind;
  VARTYPE result;  // VT_HRESULT, VT_VOID, VT_VARIANT ...
  WORD flags;      // FUNCFLAG_*
  UINT param_count;
  const KvParamData* params;
} KvFuncData;

typedef struct KvImplData {
  GUID iid;   // an interface of the same library
  INT flags;  // IMPLTYPEFLAG_*
} KvImplData;

typedef struct KvTypeData {
  TYPEKIND kind;  // TKIND_DISPATCH, TKIND_INTERFACE or TKIND_COCLASS
  GUID guid;
  LPCOLESTR name;
  LPCOLESTR doc;
  WORD flags;  // TYPEFLAG_*
  UINT func_count;
  const KvFuncData* funcs;
  UINT impl_count;
  const KvImplData* impls;
} KvTypeData;

typedef struct KvTypeLibData {
  GUID libid;
  WORD major;
  WORD minor;
  LCID lcid;
  LPCOLESTR name;
  LPCOLESTR doc;
  UINT type_count;
  const KvTypeData* types;
} KvTypeLibData;

// A library with one reference, from a copy of `data`. E_INVALIDARG for a kind not
// listed, a null name, or an implemented interface not among the library's types.
HRESULT KvCreateTypeLib(const KvTypeLibData* data, ITypeLib** out);
// Announces `lib` as the library of `module` (the module keeps a reference); null takes
// the announcement back.
HRESULT KvRegisterModuleTypeLib(HMODULE module, ITypeLib* lib);

}  // extern "C"
