// OLE Automation: BSTR, VARIANT and its conversions, SAFEARRAY, IDispatch.
//
// BSTR: UTF-16 text preceded by a 4-byte byte length and followed by a terminator; a
// null BSTR is the empty string.
//
// VariantChangeType follows the platform's conversion rules (locale: "." decimals,
// "," thousands):
//  - VT_EMPTY converts to 0, "", False; VT_NULL converts to nothing but VT_NULL and
//    VT_EMPTY (DISP_E_TYPEMISMATCH).
//  - Between numbers (and DATE, CY, BOOL): floats round half to even; a value outside
//    the target's range gives DISP_E_OVERFLOW; True is -1, any non-zero is True.
//  - From text: blanks around the number, a sign, thousands separators, decimals and an
//    exponent are accepted, and "&H.."/"&O.." give hexadecimal/octal; "True"/"False"
//    (any case) convert to BOOL; anything else gives DISP_E_TYPEMISMATCH.
//  - To text: integers in decimal; R8 with 15 and R4 with 7 significant digits
//    ("0.1", "1E+20"); CY with up to 4 decimals; BOOL as "-1"/"0", or "True"/"False"
//    with VARIANT_ALPHABOOL or VARIANT_LOCALBOOL; DATE as "yyyy-M-d H:mm:ss" (date or
//    time alone when the other part is zero).
//  - VT_DISPATCH converts through its value property (DISPID_VALUE) unless
//    VARIANT_NOVALUEPROP; VT_UNKNOWN <-> VT_DISPATCH through QueryInterface.
//  - A VT_BYREF source converts the value it points at. On failure the destination
//    is left unchanged.
#pragma once

#include <string>

#include "platform/com/com.h"

extern "C" {

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;
typedef float FLOAT;
typedef double DOUBLE;
typedef LONG DISPID;
typedef DISPID MEMBERID;

#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  } s;
  LONGLONG int64;  // value * 10000
} CY;

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND;

// rgsabound holds the bounds with the last dimension first, as the platform stores them.
typedef struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

struct IDispatch;
struct ITypeInfo;  // platform/com/typeinfo.h

typedef struct tagVARIANT VARIANT;
typedef VARIANT VARIANTARG;

struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    CY* pcyVal;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    void* byref;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecVal;
  };
};
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT layout");

// VariantChangeType flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400

// Arguments in reverse order (rgvarg[0] is the last); named arguments first.
typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

// Exactly one of wCode and scode is non-zero.
typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep_info, UINT* arg_err) = 0;
};

inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// The proxy class the platform registers for dual and dispatch interfaces.
inline constexpr CLSID CLSID_PSDispatch = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// BSTR.
BSTR SysAllocString(const OLECHAR* text);
// `text` null: `length` characters of zeros.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// `length` bytes (null `data`: zeros), an odd count allowed.
BSTR SysAllocStringByteLen(LPCSTR data, UINT length);
INT SysReAllocString(BSTR* bstr, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

// VARIANT.
void VariantInit(VARIANTARG* v);
// Frees what the variant owns (BSTR, interface reference, array; nothing for VT_BYREF)
// and leaves VT_EMPTY. DISP_E_BADVARTYPE for a type it does not know.
HRESULT VariantClear(VARIANTARG* v);
// Deep copy (BSTR and arrays copied, interfaces AddRef'ed); a VT_BYREF copies the pointer.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but a VT_BYREF source gives a copy of the value it points at.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// `dest` may be `src`.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid, USHORT flags, VARTYPE vt);

// SAFEARRAY. Index arrays give the first (leftmost) dimension first; elements are
// stored with the first dimension varying fastest.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** out);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// `dim` counts from 1 (the leftmost dimension).
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element);
// Copies in or out: BSTRs, variants and interfaces are copied / referenced.
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element);
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* element);
// Changes the element count of the last (rightmost) dimension.
HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound);

}  // extern "C"

namespace kv {

// A BSTR's text ("" for null).
inline std::u16string BstrText(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : std::u16string(); }
inline BSTR AllocBstr(std::u16string_view s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

// Bytes of the storage a by-reference VARIANT of type `vt` points at: an array is a
// pointer; 0 for a type with no storage of a fixed size here (VT_DECIMAL, VT_VARIANT ...).
inline size_t VarTypeSize(VARTYPE vt) {
  if (vt & VT_ARRAY) return sizeof(void*);
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void*);
    default: return 0;
  }
}

}  // namespace kv
