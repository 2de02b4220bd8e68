#include "framework/controls/typinfo.h"

#include <mutex>

#include "framework/core/sysutils.h"

namespace {

struct TPropTable {
  AnsiString ClassName;
  std::function<bool(TObject*)> IsInstance;
  std::vector<TPropInfo> Props;
};

std::vector<TPropTable>& Tables() {
  static std::vector<TPropTable> tables;
  return tables;
}

std::mutex& TablesLock() {
  static std::mutex m;
  return m;
}

[[noreturn]] void Unknown(const AnsiString& name) { throw EPropertyError("Unknown property: '" + name + "'"); }
[[noreturn]] void ReadOnly(const AnsiString& name) { throw EPropertyError("Property " + name + " is read-only"); }
[[noreturn]] void BadValue() { throw EPropertyConvertError("Invalid property value"); }

const TPropInfo& Need(TObject* instance, const AnsiString& name) {
  const TPropInfo* p = GetPropInfo(instance, name);
  if (!p) Unknown(name);
  return *p;
}

int EnumIndex(const TPropInfo& p, const AnsiString& text) {
  AnsiString t = Trim(text);
  for (size_t i = 0; i < p.Names.size(); ++i)
    if (SameText(p.Names[i], t)) return static_cast<int>(i);
  BadValue();
}

AnsiString SetText(const TPropInfo& p, uint64_t bits) {
  AnsiString out = "[";
  bool first = true;
  for (size_t i = 0; i < p.Names.size() && i < 64; ++i) {
    if (bits & (uint64_t{1} << i)) {
      if (!first) out += ",";
      out += LowerCase(p.Names[i]);
      first = false;
    }
  }
  return out + "]";
}

uint64_t SetBits(const TPropInfo& p, const AnsiString& text) {
  AnsiString t = Trim(text);
  if (!t.empty() && t.front() == '[') {
    if (t.back() != ']') BadValue();
    t = t.substr(1, t.size() - 2);
  }
  uint64_t bits = 0;
  size_t start = 0;
  while (start <= t.size()) {
    size_t comma = t.find(',', start);
    AnsiString item = Trim(t.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start));
    if (!item.empty())
      bits |= uint64_t{1} << EnumIndex(p, item);
    else if (comma != AnsiString::npos)
      BadValue();  // an empty item between commas
    if (comma == AnsiString::npos) break;
    start = comma + 1;
  }
  return bits;
}

}  // namespace

void RegisterPropTable(const char* ClassName, std::function<bool(TObject*)> IsInstance, std::vector<TPropInfo> Props) {
  std::lock_guard<std::mutex> lock(TablesLock());
  Tables().push_back(TPropTable{ClassName, std::move(IsInstance), std::move(Props)});
}

void RegisterStandardPropTables();  // controls' own tables (registration.cpp)

const TPropInfo* GetPropInfo(TObject* Instance, const AnsiString& PropName) {
  if (!Instance) return nullptr;
  RegisterStandardPropTables();
  std::lock_guard<std::mutex> lock(TablesLock());
  auto& tables = Tables();
  // The latest registration that matches is the most derived class.
  for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
    if (!it->IsInstance(Instance)) continue;
    for (const TPropInfo& p : it->Props)
      if (SameText(p.Name, PropName)) return &p;
  }
  return nullptr;
}

bool IsPublishedProp(TObject* Instance, const AnsiString& PropName) {
  return GetPropInfo(Instance, PropName) != nullptr;
}

std::vector<AnsiString> GetPropNames(TObject* Instance) {
  std::vector<AnsiString> names;
  if (!Instance) return names;
  RegisterStandardPropTables();
  std::lock_guard<std::mutex> lock(TablesLock());
  for (const TPropTable& t : Tables()) {
    if (!t.IsInstance(Instance)) continue;
    for (const TPropInfo& p : t.Props) {
      bool seen = false;
      for (const AnsiString& n : names) seen = seen || SameText(n, p.Name);
      if (!seen) names.push_back(p.Name);
    }
  }
  return names;
}

AnsiString GetPropValue(TObject* Instance, const AnsiString& PropName) {
  const TPropInfo& p = Need(Instance, PropName);
  switch (p.Kind) {
    case tkInteger: return IntToStr(static_cast<int64_t>(p.GetOrd(Instance)));
    case tkEnumeration: {
      int64_t v = p.GetOrd(Instance);
      if (v < 0 || v >= static_cast<int64_t>(p.Names.size())) return IntToStr(v);
      return LowerCase(p.Names[static_cast<size_t>(v)]);
    }
    case tkSet: return SetText(p, static_cast<uint64_t>(p.GetOrd(Instance)));
    case tkString: return p.GetStr(Instance);
    case tkClass: break;
  }
  BadValue();
}

void SetPropValue(TObject* Instance, const AnsiString& PropName, const AnsiString& Value) {
  const TPropInfo& p = Need(Instance, PropName);
  switch (p.Kind) {
    case tkInteger: {
      if (!p.SetOrd) ReadOnly(p.Name);
      int64_t v;
      // Integer properties are 32-bit: a number beyond that is not a value of theirs.
      if (!TryStrToInt64(Trim(Value), v) || v < INT32_MIN || v > INT32_MAX) BadValue();
      p.SetOrd(Instance, v);
      return;
    }
    case tkEnumeration:
      if (!p.SetOrd) ReadOnly(p.Name);
      p.SetOrd(Instance, EnumIndex(p, Value));
      return;
    case tkSet:
      if (!p.SetOrd) ReadOnly(p.Name);
      p.SetOrd(Instance, static_cast<int64_t>(SetBits(p, Value)));
      return;
    case tkString:
      if (!p.SetStr) ReadOnly(p.Name);
      p.SetStr(Instance, Value);
      return;
    case tkClass: break;
  }
  BadValue();
}

int64_t GetOrdProp(TObject* Instance, const AnsiString& PropName) {
  const TPropInfo& p = Need(Instance, PropName);
  if (!p.GetOrd) BadValue();
  return p.GetOrd(Instance);
}

void SetOrdProp(TObject* Instance, const AnsiString& PropName, int64_t Value) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind == tkString || p.Kind == tkClass) BadValue();
  if (p.Kind == tkInteger && (Value < INT32_MIN || Value > INT32_MAX)) BadValue();
  if (p.Kind == tkEnumeration && (Value < 0 || Value >= static_cast<int64_t>(p.Names.size()))) BadValue();
  if (p.Kind == tkSet && p.Names.size() < 64 && (static_cast<uint64_t>(Value) >> p.Names.size()) != 0) BadValue();
  if (!p.SetOrd) ReadOnly(p.Name);
  p.SetOrd(Instance, Value);
}

AnsiString GetStrProp(TObject* Instance, const AnsiString& PropName) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkString) BadValue();
  return p.GetStr(Instance);
}

void SetStrProp(TObject* Instance, const AnsiString& PropName, const AnsiString& Value) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkString) BadValue();
  if (!p.SetStr) ReadOnly(p.Name);
  p.SetStr(Instance, Value);
}

AnsiString GetEnumProp(TObject* Instance, const AnsiString& PropName) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkEnumeration) BadValue();
  return GetPropValue(Instance, PropName);
}

void SetEnumProp(TObject* Instance, const AnsiString& PropName, const AnsiString& Value) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkEnumeration) BadValue();
  SetPropValue(Instance, PropName, Value);
}

AnsiString GetSetProp(TObject* Instance, const AnsiString& PropName) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkSet) BadValue();
  return SetText(p, static_cast<uint64_t>(p.GetOrd(Instance)));
}

void SetSetProp(TObject* Instance, const AnsiString& PropName, const AnsiString& Value) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkSet) BadValue();
  SetPropValue(Instance, PropName, Value);
}

TObject* GetObjectProp(TObject* Instance, const AnsiString& PropName) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkClass) BadValue();
  return p.GetObj(Instance);
}

void SetObjectProp(TObject* Instance, const AnsiString& PropName, TObject* Value) {
  const TPropInfo& p = Need(Instance, PropName);
  if (p.Kind != tkClass) BadValue();
  if (!p.SetObj) ReadOnly(p.Name);
  p.SetObj(Instance, Value);
}
