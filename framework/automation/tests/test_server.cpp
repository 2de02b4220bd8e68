// KvTestServer.dll: a small in-process automation server for the tests.
#include "framework/automation/comobj.h"
#include "framework/core/sysutils.h"

namespace {

// {6B1D5A1E-3C2F-4E8A-9D7B-1A2B3C4D5E6F}
constexpr GUID kLibId = {0x6B1D5A1E, 0x3C2F, 0x4E8A, {0x9D, 0x7B, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};
// {6B1D5A1F-3C2F-4E8A-9D7B-1A2B3C4D5E6F}
constexpr GUID kIid = {0x6B1D5A1F, 0x3C2F, 0x4E8A, {0x9D, 0x7B, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};
// {6B1D5A20-3C2F-4E8A-9D7B-1A2B3C4D5E6F}
constexpr GUID kClsid = {0x6B1D5A20, 0x3C2F, 0x4E8A, {0x9D, 0x7B, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};

class TTestObject : public TAutoObject<TTestObject> {
 public:
  TTestObject() : TAutoObject(kIid) {}
  static const TDispatchTable<TTestObject>& DispatchTable();

 protected:
  WideString ErrorSource() const override { return u"KvTest.TestObject"; }

 private:
  AnsiString name_ = "initial";
};

const TDispatchTable<TTestObject>& TTestObject::DispatchTable() {
  static const TDispatchTable<TTestObject> table = {
      {"Add", 1, TDispKind::Method, "long A, long B, out retval long Sum",
       [](TTestObject&, TDispCall& c) { c.SetResult(c.Value(0).AsInteger() + c.Value(1).AsInteger()); }},
      {"Join", 2, TDispKind::Method, 3,
       [](TTestObject&, TDispCall& c) {
         AnsiString s;
         for (unsigned i = 0; i < c.Count(); ++i)
           s += (i ? "|" : "") + (c.Value(i).IsEmpty() ? "-" : c.Value(i).AsString());
         c.SetResult(s);
       },
       1},
      {"Name", 3, TDispKind::PropertyGet, "BSTR Value", [](TTestObject& o, TDispCall& c) { c.SetResult(o.name_); }},
      {"Name", 3, TDispKind::PropertyPut, "BSTR Value",
       [](TTestObject& o, TDispCall& c) { o.name_ = c.PutValue().AsString(); }},
      {"Fail", 4, TDispKind::Method, 0, [](TTestObject&, TDispCall&) { throw EConvertError("bad value"); }},
      {"Double", 5, TDispKind::Method, "in out long Value",
       [](TTestObject&, TDispCall& c) { c.SetArg(0, c.Value(0).AsInteger() * 2); }},
      {"Objects", 6, TDispKind::PropertyGet, 0,
       [](TTestObject&, TDispCall& c) { c.SetResult(static_cast<int>(ComServer().ObjectCount())); }},
  };
  return table;
}

const TTypeLibRecord kLib = {
    kLibId,
    "KvTest",
    "KvTest Library",
    1,
    0,
    0,
    {{kIid, "ITestObject", "Dispatch interface for TestObject", TInterfaceKind::Dual,
      []() -> const TDispatchTableBase& { return TTestObject::DispatchTable(); }}},
    {{kClsid, "TestObject", "TestObject", {{kIid, true, false}}}},
    {},
};

struct Setup {
  Setup() { ComServer().SetTypeLib(&kLib); }
} setup;

TAutoObjectFactory<TTestObject> factory(ComServer(), kClsid, "TestObject", "KvTest TestObject", ciMultiInstance,
                                        tmApartment);

}  // namespace

KV_COM_SERVER_EXPORTS()
