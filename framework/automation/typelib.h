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
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/core/sysutils.h"
#include "platform/com/oleauto.h"

enum class TInterfaceKind { Dual, DispInterface, Custom };

struct TInterfaceRecord {
  GUID Iid;
  AnsiString Name;
  AnsiString HelpString;
  TInterfaceKind Kind = TInterfaceKind::Dual;
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
