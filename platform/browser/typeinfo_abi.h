// The part of the standard ITypeInfo interface the script bridge uses to tell methods
// from properties. COM's own header serves it when present; until then the interface
// is declared here with the standard layout (the vtable order is fixed by the
// platform, so objects from other modules answer through it).
#pragma once

#include "platform/com/oleauto.h"

#if __has_include("platform/com/typeinfo.h")
#include "platform/com/typeinfo.h"
#else
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

#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FRETVAL 0x08

typedef struct tagTYPEDESC {
  union {
    struct tagTYPEDESC* lptdesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
} TYPEDESC;
typedef struct tagIDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags;
} IDLDESC;
typedef struct tagPARAMDESC {
  void* pparamdescex;
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
typedef struct tagVARDESC VARDESC;
struct ITypeComp;
struct ITypeLib;

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
  virtual HRESULT GetVarDesc(UINT index, VARDESC** desc) = 0;
  virtual HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max_names, UINT* count) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, INT* flags) = 0;
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  virtual HRESULT Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* info, UINT* arg_err) = 0;
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

}  // extern "C"
#endif
