// Type-library records: what a module's type library declares, and its registration keys.
//
// Registration writes, under HKEY_CLASSES_ROOT:
//   TypeLib\{libid}\<major>.<minor>            = help string (the library name without one)
//   TypeLib\{libid}\<major>.<minor>\0\win32    = the file holding the library
//   TypeLib\{libid}\<major>.<minor>\FLAGS      = "0"
//   TypeLib\{libid}\<major>.<minor>\HELPDIR    = the help folder
//   Interface\{iid}                            = interface name   (dual and dispatch interfaces)
//   Interface\{iid}\ProxyStubClsid, \ProxyStubClsid32 = the platform's dispatch proxy class
//   Interface\{iid}\TypeLib                    = {libid}, value "Version" = "<major>.<minor>"
// Version numbers are written in hexadecimal, as the platform does.
//
// The same record is the module's type information (platform/com/typeinfo.h): dual and
// dispatch interfaces with their members, coclasses with their interfaces and flags.
// Enumerations are registration data only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/automation/dispatch.h"
#include "framework/core/sysutils.h"
#include "platform/com/typeinfo.h"

enum class TInterfaceKind { Dual, DispInterface, Custom };

// A member of an interface no dispatch table serves; `Signature` as dispatch.h reads it.
struct TMemberRecord {
  AnsiString Name;
  DISPID Id;
  TDispKind Kind;
  const char* Signature;
};

struct TInterfaceRecord {
  GUID Iid;
  AnsiString Name;
  AnsiString HelpString;
  TInterfaceKind Kind = TInterfaceKind::Dual;
  // The members: those of the dispatch table of the class serving the interface, else
  // (an interface that the library's objects call, as an event interface) the list.
  const TDispatchTableBase& (*Table)() = nullptr;
  std::vector<TMemberRecord> Members = {};
};

struct TImplementedInterface {
  GUID Iid;
  bool IsDefault = false;
  bool IsSource = false;
};

struct TCoClassRecord {
  GUID Clsid;
  AnsiString Name;
  AnsiString HelpString;
  std::vector<TImplementedInterface> Implements;
};

struct TEnumRecord {
  GUID Guid;
  AnsiString Name;
  std::vector<std::pair<AnsiString, int>> Values;
};

struct TTypeLibRecord {
  GUID LibId;
  AnsiString Name;
  AnsiString HelpString;
  WORD MajorVersion = 1;
  WORD MinorVersion = 0;
  LCID Lcid = 0;
  std::vector<TInterfaceRecord> Interfaces;
  std::vector<TCoClassRecord> CoClasses;
  std::vector<TEnumRecord> Enums;

  const TInterfaceRecord* FindInterface(REFIID iid) const;
  const TCoClassRecord* FindCoClass(REFCLSID clsid) const;
  // "<major>.<minor>" in hexadecimal.
  AnsiString VersionText() const;
};

// The library as type information: a new ITypeLib with one reference. Raises EOleError
// when a member's signature is not one or COM refuses the description.
ITypeLib* CreateTypeLibInfo(const TTypeLibRecord& lib);

// `file` is the module holding the library (a POSIX path), `help_dir` its help folder.
// Raise EOleRegistrationError when a key cannot be written.
void RegisterTypeLibRecord(const TTypeLibRecord& lib, const WideString& file, const WideString& help_dir);
// Removes the library's version key (and the library key once no version is left) and
// the Interface keys that name this library.
void UnRegisterTypeLibRecord(const TTypeLibRecord& lib);

// Registry helpers of the registration code (HKEY_CLASSES_ROOT); raise
// EOleRegistrationError on failure.
void CreateRegKey(const WideString& key, const WideString& value_name, const WideString& data);
// Deletes the key with everything below it; a missing key is not an error.
void DeleteRegKey(const WideString& key);
