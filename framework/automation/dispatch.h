// A dispatch table: IDispatch for a class from a table of (name, DISPID, kind, invoker).
//
// GetIDsOfNames finds names without letter case. Invoke picks the member by DISPID and
// call kind (a property put by DISPATCH_PROPERTYPUT with its value as the named argument
// DISPID_PROPERTYPUT; a call flagged method-or-get takes the method, else the getter),
// checks the argument count, hands the invoker the arguments in their natural order (the
// protocol passes them last first) and turns every exception into DISP_E_EXCEPTION with
// the exception information filled (source and description). Nothing escapes as an
// exception.
//
// A member may be described by a signature, for the type information of its interface:
// parameters separated by ",", each "[in] [out] [retval] [opt] TYPE [NAME]" (no direction
// means in; out passes by reference), TYPE one of bool, short, long, int, double, BSTR,
// variant, IDispatch, IUnknown. A property's last parameter is its value (a get's is
// [out, retval] whatever is written). The argument counts then follow from it. A member
// without a signature is described with variant parameters and result.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "framework/automation/olevariant.h"
#include "platform/com/oleauto.h"

enum class TDispKind { Method, PropertyGet, PropertyPut, PropertyPutRef };

struct TDispParam {
  AnsiString Name;
  VARTYPE Type = VT_VARIANT;
  bool In = true;
  bool Out = false;
  bool Retval = false;
  bool Optional = false;
};

// The parameters a signature declares (a get's value made [out, retval]); raises
// EOleError for a signature that is not one. `signature` "" declares none.
std::vector<TDispParam> ParseDispSignature(TDispKind kind, const char* signature);

// One call as the invoker sees it.
class TDispCall {
 public:
  TDispCall(DISPPARAMS* params, VARIANT* result, WORD flags, bool put);

  // Arguments in their natural order (the first argument is 0), without the put value.
  unsigned Count() const { return count_; }
  // The argument's variant as passed (possibly VT_BYREF).
  const VARIANT& Arg(unsigned index) const;
  // A copy of the argument's value; an optional argument left out is Unassigned.
  OleVariant Value(unsigned index) const;
  // Writes an [in, out] argument: a VT_BYREF argument receives the value converted to
  // the type it refers to; raises EVariantError for an argument that is not by reference.
  void SetArg(unsigned index, const OleVariant& value);
  // The argument as text: a string argument (or one by reference to a string) is read in
  // place, valid for the call; any other is converted into `converted` as
  // Value(index).AsWideString() converts it.
  std::u16string_view Text(unsigned index, WideString& converted) const;
  // The value of a property put.
  OleVariant PutValue() const;
  // The value of a property put as text, read in place as Text reads an argument.
  std::u16string_view PutText(WideString& converted) const;
  // The call's result (ignored when the caller asked for none).
  void SetResult(const OleVariant& value);
  bool WantsResult() const { return result_ != nullptr; }
  WORD Flags() const { return flags_; }

 private:
  VARIANT& Slot(unsigned index) const;
  const VARIANT& PutSlot() const;
  DISPPARAMS* params_;
  VARIANT* result_;
  WORD flags_;
  bool put_;
  unsigned count_;
};

// How exceptions are reported: `code` 0 gives scode E_UNEXPECTED (or the code an
// EOleSysError carries), a non-zero code goes to wCode; `source` empty names the
// exception's class.
struct TDispErrorStyle {
  WORD code = 0;
  WideString source;
};

// Fills `info` (when not null) for the exception being handled and returns
// DISP_E_EXCEPTION. Call only inside a catch block.
HRESULT DispatchExceptionResult(EXCEPINFO* info, const TDispErrorStyle& style);

// The answers of an IDispatch that has no type information.
inline HRESULT NoTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
inline HRESULT NoTypeInfo(ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

// Late-bound calls, as the framework's variants make them: arguments in their natural
// order (the last one is the value of a property put). DISP_E_EXCEPTION raises
// EOleException with the server's description, source and code; any other failure
// EOleSysError (an unknown name: DISP_E_UNKNOWNNAME).
OleVariant DispatchInvoke(IDispatch* object, DISPID id, WORD flags, const std::vector<OleVariant>& args);
OleVariant DispatchInvoke(IDispatch* object, const WideString& name, WORD flags, const std::vector<OleVariant>& args);

// The table without the class: invokers take the object as void*.
class TDispatchTableBase {
 public:
  struct Member {
    AnsiString Name;
    DISPID Id;
    TDispKind Kind;
    int Args;      // positional arguments (for a put: besides the value)
    int Optional;  // how many of the last arguments may be left out
    std::function<void(void*, TDispCall&)> Invoke;
    bool Described = false;               // by a signature
    std::vector<TDispParam> Params = {};  // what the signature declares
  };

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
  HRESULT Invoke(void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* arg_err,
                 const TDispErrorStyle& style) const;
  const std::vector<Member>& Members() const { return members_; }

 protected:
  void AddMember(Member m) { members_.push_back(std::move(m)); }
  // Sets the member's parameters and argument counts from its signature.
  static void Describe(Member& m, const char* signature);

 private:
  const Member* Find(DISPID id, TDispKind kind) const;
  std::vector<Member> members_;
};

template <class T>
class TDispatchTable : public TDispatchTableBase {
 public:
  using Invoker = std::function<void(T&, TDispCall&)>;
  struct Entry {
    Entry(const char* name, DISPID id, TDispKind kind, int args, Invoker invoke, int optional = 0)
        : Name(name), Id(id), Kind(kind), Args(args), Invoke(std::move(invoke)), Optional(optional) {}
    Entry(const char* name, DISPID id, TDispKind kind, const char* signature, Invoker invoke)
        : Name(name), Id(id), Kind(kind), Invoke(std::move(invoke)), Signature(signature) {}
    const char* Name;
    DISPID Id;
    TDispKind Kind;
    int Args = 0;
    Invoker Invoke;
    int Optional = 0;
    const char* Signature = nullptr;
  };

  TDispatchTable(std::initializer_list<Entry> entries) {
    for (const Entry& e : entries) {
      Invoker fn = e.Invoke;
      Member m{e.Name, e.Id,       e.Kind,
               e.Args, e.Optional, [fn](void* self, TDispCall& call) { fn(*static_cast<T*>(self), call); }};
      if (e.Signature) Describe(m, e.Signature);
      AddMember(std::move(m));
    }
  }

  HRESULT Invoke(T* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* arg_err,
                 const TDispErrorStyle& style) const {
    return TDispatchTableBase::Invoke(static_cast<void*>(self), id, flags, params, result, info, arg_err, style);
  }
};
