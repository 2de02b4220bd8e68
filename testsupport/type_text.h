// Type information as text, so tests compare tables of lines:
//   "Add func 1 (in i4 A, in i4 B, out retval *i4 Sum) hresult"
#pragma once

#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/com/typeinfo.h"

namespace kvtest {

inline std::string VarTypeText(const TYPEDESC& t) {
  if (t.vt == VT_PTR) return "*" + (t.lptdesc ? VarTypeText(*t.lptdesc) : std::string("?"));
  switch (t.vt) {
    case VT_I2: return "i2";
    case VT_I4: return "i4";
    case VT_INT: return "int";
    case VT_R8: return "r8";
    case VT_BOOL: return "bool";
    case VT_BSTR: return "bstr";
    case VT_VARIANT: return "variant";
    case VT_DISPATCH: return "dispatch";
    case VT_UNKNOWN: return "unknown";
    case VT_HRESULT: return "hresult";
    case VT_VOID: return "void";
    default: return "vt" + std::to_string(t.vt);
  }
}

// One line per function, in the order of the type.
inline std::vector<std::string> MemberLines(ITypeInfo* info) {
  std::vector<std::string> lines;
  TYPEATTR* attr = nullptr;
  if (!info || FAILED(info->GetTypeAttr(&attr))) return lines;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* fd = nullptr;
    if (FAILED(info->GetFuncDesc(i, &fd))) {
      lines.push_back("?");
      continue;
    }
    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(fd->memid, names, 16, &count);
    std::string line = count ? kv::WideToUtf8(kv::BstrText(names[0])) : "?";
    switch (fd->invkind) {
      case INVOKE_FUNC: line += " func "; break;
      case INVOKE_PROPERTYGET: line += " get "; break;
      case INVOKE_PROPERTYPUT: line += " put "; break;
      case INVOKE_PROPERTYPUTREF: line += " putref "; break;
    }
    line += std::to_string(fd->memid) + " (";
    for (SHORT p = 0; p < fd->cParams; ++p) {
      const ELEMDESC& e = fd->lprgelemdescParam[p];
      USHORT f = e.paramdesc.wParamFlags;
      if (p) line += ", ";
      if (f & PARAMFLAG_FIN) line += "in ";
      if (f & PARAMFLAG_FOUT) line += "out ";
      if (f & PARAMFLAG_FRETVAL) line += "retval ";
      if (f & PARAMFLAG_FOPT) line += "opt ";
      line += VarTypeText(e.tdesc);
      std::string name = static_cast<UINT>(p) + 1 < count ? kv::WideToUtf8(kv::BstrText(names[p + 1])) : "";
      if (!name.empty()) line += " " + name;
    }
    line += ") " + VarTypeText(fd->elemdescFunc.tdesc);
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(fd);
    lines.push_back(line);
  }
  info->ReleaseTypeAttr(attr);
  return lines;
}

// The type of the coclass's interface whose flags are exactly `flags` (null when none).
inline ITypeInfo* ImplementedType(ITypeInfo* coclass, INT flags) {
  TYPEATTR* attr = nullptr;
  if (!coclass || FAILED(coclass->GetTypeAttr(&attr))) return nullptr;
  ITypeInfo* found = nullptr;
  for (UINT i = 0; i < attr->cImplTypes && !found; ++i) {
    INT f = 0;
    HREFTYPE ref = 0;
    if (SUCCEEDED(coclass->GetImplTypeFlags(i, &f)) && f == flags && SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref)))
      coclass->GetRefTypeInfo(ref, &found);
  }
  coclass->ReleaseTypeAttr(attr);
  return found;
}

inline GUID TypeGuid(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (!info || FAILED(info->GetTypeAttr(&attr))) return GUID_NULL;
  GUID g = attr->guid;
  info->ReleaseTypeAttr(attr);
  return g;
}

}  // namespace kvtest
