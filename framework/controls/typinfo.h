// Published properties: a small per-class table of properties read and written by name.
//
// Code that knows a control only by its class name (the skin engine, for instance)
// reads and writes properties through these tables. Every property has a kind:
//   integer      decimal text ("12", "-3")
//   enumeration  the value's name in lower case ("alclient", "bssizeable", "true")
//   set          the members' names in lower case, comma separated, in brackets
//                ("[fsbold,fsitalic]", "[]")
//   string       the text itself
//   object       an object reference (GetObjectProp / SetObjectProp)
// Booleans are enumerations with the names "False" and "True".
//
// A class's table lists only its own properties; the lookup takes the table of the most
// derived registered class that the object belongs to and that names the property, so
// a derived class's entry hides its base's. Names are compared without letter case.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/core/classes.h"

KV_EXCEPTION(EPropertyError, Exception);
KV_EXCEPTION(EPropertyConvertError, Exception);

enum TTypeKind { tkInteger, tkEnumeration, tkSet, tkString, tkClass };

struct TPropInfo {
  AnsiString Name;
  TTypeKind Kind = tkInteger;
  // Enumerations and sets: the value names in order (value i is Names[i]).
  std::vector<AnsiString> Names;
  // Integer, enumeration (the ordinal) and set (bit i = member i) properties.
  std::function<int64_t(TObject*)> GetOrd;
  std::function<void(TObject*, int64_t)> SetOrd;
  // String properties.
  std::function<AnsiString(TObject*)> GetStr;
  std::function<void(TObject*, const AnsiString&)> SetStr;
  // Object properties.
  std::function<TObject*(TObject*)> GetObj;
  std::function<void(TObject*, TObject*)> SetObj;

  bool Writable() const { return SetOrd || SetStr || SetObj; }
};

// Registers the published properties of class T (named ClassName, for diagnostics).
// Registration order matters only between classes that derive from each other: a
// class is registered after its bases (the framework's own tables are registered
// before any caller's).
void RegisterPropTable(const char* ClassName, std::function<bool(TObject*)> IsInstance, std::vector<TPropInfo> Props);

template <class T>
void RegisterClassProps(const char* ClassName, std::vector<TPropInfo> Props) {
  RegisterPropTable(
      ClassName, [](TObject* o) { return dynamic_cast<T*>(o) != nullptr; }, std::move(Props));
}

// Builders for table entries.
template <class T>
TPropInfo IntProp(const char* Name, std::function<int(T&)> Get, std::function<void(T&, int)> Set = {}) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = tkInteger;
  p.GetOrd = [Get](TObject* o) { return static_cast<int64_t>(Get(*static_cast<T*>(o))); };
  if (Set) p.SetOrd = [Set](TObject* o, int64_t v) { Set(*static_cast<T*>(o), static_cast<int>(v)); };
  return p;
}

template <class T>
TPropInfo BoolProp(const char* Name, std::function<bool(T&)> Get, std::function<void(T&, bool)> Set = {}) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = tkEnumeration;
  p.Names = {"False", "True"};
  p.GetOrd = [Get](TObject* o) { return static_cast<int64_t>(Get(*static_cast<T*>(o)) ? 1 : 0); };
  if (Set) p.SetOrd = [Set](TObject* o, int64_t v) { Set(*static_cast<T*>(o), v != 0); };
  return p;
}

template <class T, class E>
TPropInfo EnumProp(const char* Name, std::vector<AnsiString> Names, std::function<E(T&)> Get,
                   std::function<void(T&, E)> Set = {}) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = tkEnumeration;
  p.Names = std::move(Names);
  p.GetOrd = [Get](TObject* o) { return static_cast<int64_t>(Get(*static_cast<T*>(o))); };
  if (Set) p.SetOrd = [Set](TObject* o, int64_t v) { Set(*static_cast<T*>(o), static_cast<E>(v)); };
  return p;
}

template <class T, class S>
TPropInfo SetOfProp(const char* Name, std::vector<AnsiString> Names, std::function<S(T&)> Get,
                    std::function<void(T&, S)> Set = {}) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = tkSet;
  p.Names = std::move(Names);
  p.GetOrd = [Get](TObject* o) { return static_cast<int64_t>(Get(*static_cast<T*>(o)).ToBits()); };
  if (Set) p.SetOrd = [Set](TObject* o, int64_t v) { Set(*static_cast<T*>(o), S::FromBits(static_cast<uint64_t>(v))); };
  return p;
}

template <class T>
TPropInfo StrProp(const char* Name, std::function<AnsiString(T&)> Get,
                  std::function<void(T&, const AnsiString&)> Set = {}) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = tkString;
  p.GetStr = [Get](TObject* o) { return Get(*static_cast<T*>(o)); };
  if (Set) p.SetStr = [Set](TObject* o, const AnsiString& v) { Set(*static_cast<T*>(o), v); };
  return p;
}

template <class T>
TPropInfo ObjProp(const char* Name, std::function<TObject*(T&)> Get, std::function<void(T&, TObject*)> Set = {}) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = tkClass;
  p.GetObj = [Get](TObject* o) { return Get(*static_cast<T*>(o)); };
  if (Set) p.SetObj = [Set](TObject* o, TObject* v) { Set(*static_cast<T*>(o), v); };
  return p;
}

// The property of that name, or nullptr when the object publishes none.
const TPropInfo* GetPropInfo(TObject* Instance, const AnsiString& PropName);
bool IsPublishedProp(TObject* Instance, const AnsiString& PropName);
// The names of every property the object publishes (each name once, base classes first).
std::vector<AnsiString> GetPropNames(TObject* Instance);

// Raise EPropertyError "Unknown property: 'X'" for an unknown name, "Property X is
// read-only" for a write without setter, and EPropertyConvertError "Invalid property
// value" for text that does not fit the kind (an unknown enumeration name, a number
// that is not one, an object property read as text).
AnsiString GetPropValue(TObject* Instance, const AnsiString& PropName);
void SetPropValue(TObject* Instance, const AnsiString& PropName, const AnsiString& Value);
int64_t GetOrdProp(TObject* Instance, const AnsiString& PropName);
void SetOrdProp(TObject* Instance, const AnsiString& PropName, int64_t Value);
AnsiString GetStrProp(TObject* Instance, const AnsiString& PropName);
void SetStrProp(TObject* Instance, const AnsiString& PropName, const AnsiString& Value);
// Enumerations: the lower-case name of the value; setting takes a name in any case.
AnsiString GetEnumProp(TObject* Instance, const AnsiString& PropName);
void SetEnumProp(TObject* Instance, const AnsiString& PropName, const AnsiString& Value);
// Sets: "[a,b]" in lower case; setting takes the names (any case) with or without brackets.
AnsiString GetSetProp(TObject* Instance, const AnsiString& PropName);
void SetSetProp(TObject* Instance, const AnsiString& PropName, const AnsiString& Value);
TObject* GetObjectProp(TObject* Instance, const AnsiString& PropName);
void SetObjectProp(TObject* Instance, const AnsiString& PropName, TObject* Value);
