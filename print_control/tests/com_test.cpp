// The COM surface: registration of Zorbel.ocx, creation by ProgID and CLSID, every
// DISPID, defaults, object safety, and the events through the connection point.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "framework/core/registry.h"
#include "framework/graphics/printers.h"
#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "platform/com/com.h"
#include "platform/registry/registry.h"
#include "print_control/dravik_control.h"
#include "print_control/dravik_font.h"
#include "framework/controls/forms.h"
#include "platform/user/user.h"
#include "testsupport/temp_home.h"
#include "testsupport/type_text.h"

namespace {

using namespace zorbel;

struct Ole {
  Ole() { OleInitialize(nullptr); }
  ~Ole() { OleUninitialize(); }
};

OleVariant Get(IDispatch* d, DISPID id) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  OleVariant result;
  EXPECT_EQ(d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Out(), nullptr, nullptr), S_OK) << id;
  return result;
}

HRESULT Put(IDispatch* d, DISPID id, const OleVariant& value) {
  VARIANT v = OleVariant(value).Detach();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&v, &named, 1, 1};
  HRESULT hr = d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  VariantClear(&v);
  return hr;
}

class ZorbelServer : public ::testing::Test {
 protected:
  void SetUp() override {
    KvRegistryReload();  // this test's own home
    module_ = LoadLibraryA("Zorbel.ocx");
    ASSERT_NE(module_, nullptr);
    auto reg = kv::ProcAddress<HRESULT (*)()>(module_, "DllRegisterServer");
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    KvRegistryReload();
  }
  kvtest::TempHome home_;
  Ole ole_;
  HMODULE module_ = nullptr;
};

TEST_F(ZorbelServer, ExportsOnlyTheServerEntries) {
  for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"})
    EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
  EXPECT_EQ(GetProcAddress(module_, "_ZN6zorbel7TDravik5PrintEv"), nullptr);
  EXPECT_EQ(GetProcAddress(module_, "LLVMFuzzerTestOneInput"), nullptr);
}

TEST_F(ZorbelServer, RegistrationKeys) {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  const AnsiString clsid = "\\CLSID\\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}";
  ASSERT_TRUE(reg.OpenKeyReadOnly(clsid));
  EXPECT_EQ(reg.ReadString(""), "Dravik Control");
  ASSERT_TRUE(reg.OpenKeyReadOnly(clsid + "\\InprocServer32"));
  EXPECT_EQ(ExtractFileName(reg.ReadString("")), "Zorbel.ocx");
  EXPECT_EQ(reg.ReadString("ThreadingModel"), "Apartment");
  ASSERT_TRUE(reg.OpenKeyReadOnly(clsid + "\\ProgID"));
  EXPECT_EQ(reg.ReadString(""), "Zorbel.Dravik");
  ASSERT_TRUE(reg.OpenKeyReadOnly(clsid + "\\TypeLib"));
  EXPECT_EQ(reg.ReadString(""), "{F391A8E2-D7FB-4E22-89F4-90EECDC859E7}");
  EXPECT_TRUE(reg.KeyExists(clsid + "\\Control"));
  ASSERT_TRUE(reg.OpenKeyReadOnly(clsid + "\\MiscStatus"));
  EXPECT_EQ(reg.ReadString(""), "0");
  ASSERT_TRUE(reg.OpenKeyReadOnly(clsid + "\\ToolboxBitmap32"));
  EXPECT_EQ(ExtractFileName(reg.ReadString("")), "Zorbel.ocx,1");
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Zorbel.Dravik\\CLSID"));
  EXPECT_EQ(reg.ReadString(""), "{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}");
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\TypeLib\\{F391A8E2-D7FB-4E22-89F4-90EECDC859E7}\\1.0"));
  EXPECT_EQ(reg.ReadString(""), "Zorbel Library");
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Interface\\{7F769855-4490-4F80-A9A5-B8EC3C0627B7}"));
  EXPECT_EQ(reg.ReadString(""), "IDravik");
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Interface\\{E02B8B3B-956C-400B-88E0-764EDEC1B751}"));
  EXPECT_EQ(reg.ReadString(""), "IDravikEvents");

  auto unreg = kv::ProcAddress<HRESULT (*)()>(module_, "DllUnregisterServer");
  ASSERT_EQ(unreg(), S_OK);
  EXPECT_FALSE(reg.KeyExists(clsid));
  EXPECT_FALSE(reg.KeyExists("\\Zorbel.Dravik"));
}

TEST_F(ZorbelServer, TypeInformationOfTheControlAndItsEvents) {
  IDispatch* control = nullptr;
  ASSERT_EQ(
      CoCreateInstance(CLSID_Dravik, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&control)),
      S_OK);
  UINT count = 0;
  EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* intf = nullptr;
  ASSERT_EQ(control->GetTypeInfo(0, 2052, &intf), S_OK);
  EXPECT_TRUE(IsEqualGUID(kvtest::TypeGuid(intf), IID_IDravik));
  std::vector<std::string> lines = kvtest::MemberLines(intf);
  EXPECT_EQ(lines.size(), 52u);
  // Methods and properties apart, with their DISPIDs; results as [out, retval].
  for (const char* want : {
           "Cancel get 201 (out retval *bool Value) hresult",
           "Cancel put 201 (in bool Value) hresult",
           "Font putref -512 (in dispatch Value) hresult",
           "DragCursor get 203 (out retval *i2 Value) hresult",
           "VisibleDockClientCount get 209 (out retval *i4 Value) hresult",
           "DrawTextBiDiModeFlagsReadingOnly func 210 (out *i4 Value) hresult",
           "InitiateAction func 211 () hresult",
           "SetSubComponent func 215 (in bool IsSubComponent) hresult",
           "AboutBox func -552 () hresult",
           "FontSize get 217 (out retval *int Value) hresult",
           "FontSize put 217 (in int Value) hresult",
           "Start_Print func 221 (in bstr Value) hresult",
           "ErrorNum get 223 (out retval *int Value) hresult",
           "GetPrinterName func 225 (out retval *bstr PrnName) hresult",
           "GetPrinterProductionWeek func 229 (out retval *bstr PrinterWeek) hresult",
       }) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want;
  }

  // The coclass names the default source interface, the events the page's sink gets.
  ITypeLib* lib = nullptr;
  ASSERT_EQ(intf->GetContainingTypeLib(&lib, nullptr), S_OK);
  TLIBATTR* lib_attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&lib_attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(lib_attr->guid, LIBID_Zorbel));
  EXPECT_EQ(lib_attr->wMajorVerNum, 1);
  lib->ReleaseTLibAttr(lib_attr);
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Dravik, &coclass), S_OK);
  ITypeInfo* dflt = kvtest::ImplementedType(coclass, IMPLTYPEFLAG_FDEFAULT);
  ITypeInfo* source = kvtest::ImplementedType(coclass, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  EXPECT_EQ(dflt, intf);
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(IsEqualGUID(kvtest::TypeGuid(source), DIID_IDravikEvents));
  EXPECT_EQ(kvtest::MemberLines(source),
            (std::vector<std::string>{"OnClick func 201 () void", "OnKeyPress func 202 (in out *i2 Key) void"}));
  BSTR names[2] = {};
  UINT got = 0;
  EXPECT_EQ(source->GetNames(202, names, 1, &got), S_OK);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(kv::BstrText(names[0]), u"OnKeyPress");
  SysFreeString(names[0]);
  LPOLESTR event = const_cast<LPOLESTR>(u"onclick");
  MEMBERID id = 0;
  EXPECT_EQ(source->GetIDsOfNames(&event, 1, &id), S_OK);
  EXPECT_EQ(id, 201);
  if (dflt) dflt->Release();
  source->Release();
  coclass->Release();
  lib->Release();
  intf->Release();

  // The OLE font the control hands out has no type information of this library.
  OleVariant font = Get(control, -512);
  ASSERT_EQ(font.VarType(), VT_DISPATCH);
  EXPECT_EQ(font.AsDispatch()->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  control->Release();
}

TEST_F(ZorbelServer, CreatedByProgIdAndClsidWithEveryDispid) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Zorbel.Dravik", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Dravik));
  IDispatch* by_prog = nullptr;
  IDravik* by_clsid = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&by_prog)),
            S_OK);
  ASSERT_EQ(
      CoCreateInstance(CLSID_Dravik, nullptr, CLSCTX_INPROC_SERVER, IID_IDravik, reinterpret_cast<void**>(&by_clsid)),
      S_OK);

  struct Name {
    const char16_t* name;
    DISPID id;
  } names[] = {
      {u"Cancel", 201},
      {u"Caption", -518},
      {u"Default", 202},
      {u"DragCursor", 203},
      {u"DragMode", 204},
      {u"Enabled", -514},
      {u"Font", -512},
      {u"Visible", 205},
      {u"WordWrap", 206},
      {u"DoubleBuffered", 207},
      {u"AlignDisabled", 208},
      {u"VisibleDockClientCount", 209},
      {u"DrawTextBiDiModeFlagsReadingOnly", 210},
      {u"InitiateAction", 211},
      {u"IsRightToLeft", 212},
      {u"UseRightToLeftReading", 213},
      {u"UseRightToLeftScrollBar", 214},
      {u"SetSubComponent", 215},
      {u"AboutBox", -552},
      {u"PrintStr", 216},
      {u"FontSize", 217},
      {u"IsPrintSetup", 218},
      {u"RepairX", 219},
      {u"RepairY", 220},
      {u"Start_Print", 221},
      {u"IsDebug", 222},
      {u"ErrorNum", 223},
      {u"ErrorMessage", 224},
      {u"GetPrinterName", 225},
      {u"GetPrinterNum", 226},
      {u"GetPrinterVer", 227},
      {u"GetPrinterProductionYear", 228},
      {u"GetPrinterProductionWeek", 229},
  };
  for (const auto& n : names) {
    std::u16string text = n.name;
    LPOLESTR one[] = {text.data()};
    DISPID id = 0;
    EXPECT_EQ(by_prog->GetIDsOfNames(IID_NULL, one, 1, 0, &id), S_OK) << kv::WideToUtf8(text);
    EXPECT_EQ(id, n.id) << kv::WideToUtf8(text);
  }

  // A fresh control.
  EXPECT_EQ(Get(by_prog, 218).AsInteger(), 1);
  for (DISPID id : {217, 219, 220, 222, 223}) EXPECT_EQ(Get(by_prog, id).AsInteger(), 0) << id;
  EXPECT_EQ(Get(by_prog, 216).AsWideString(), u"");
  EXPECT_EQ(Get(by_prog, 224).AsWideString(), u"");
  EXPECT_EQ(Get(by_prog, 205).VarType(), VT_BOOL);
  EXPECT_EQ(Get(by_prog, 205).Var().boolVal, VARIANT_TRUE);

  // Puts store the value unchanged; any non-zero boolean is true.
  EXPECT_EQ(Put(by_prog, 219, -7), S_OK);
  EXPECT_EQ(Get(by_prog, 219).AsInteger(), -7);
  EXPECT_EQ(Put(by_prog, 201, 2), S_OK);
  EXPECT_EQ(Get(by_prog, 201).Var().boolVal, VARIANT_TRUE);
  EXPECT_EQ(Put(by_prog, 216, u"10,10,中文"), S_OK);
  EXPECT_EQ(Get(by_prog, 216).AsWideString(), u"10,10,中文");
  int value = 0;
  EXPECT_EQ(by_clsid->put_RepairY(5), S_OK);
  EXPECT_EQ(by_clsid->get_RepairY(&value), S_OK);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(Get(by_prog, 223).AsInteger(), 0);

  // Object safety: every option asked for is accepted.
  IObjectSafety* safety = nullptr;
  ASSERT_EQ(by_prog->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
  const DWORD both = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, both, both), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported & both, both);
  EXPECT_EQ(enabled, both);
  safety->Release();

  by_clsid->Release();
  by_prog->Release();
}

TEST_F(ZorbelServer, StartPrintThroughDispatch) {
  setenv("KORVANE_PRINT_CUPS", "0", 1);
  setenv("KORVANE_PRINT_DIR", (home_.path() + "/out").c_str(), 1);
  KvPrintRefresh();
  KvPrintClearDocuments();
  IDispatch* d = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_Dravik, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d)),
            S_OK);
  ASSERT_EQ(Put(d, 218, 0), S_OK);
  VARIANT arg = OleVariant(u"148,210$^10,10,发票`10,20,x`").Detach();
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXPECT_EQ(d->Invoke(221, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  VariantClear(&arg);
  EXPECT_EQ(Get(d, 223).AsInteger(), 2);
  EXPECT_EQ(Get(d, 224).AsWideString(), u"'' is not a valid integer value");
  KvPrintDocument doc{};
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_EQ(doc.pages, 1u);
  EXPECT_EQ(doc.paperWidth, 1480);
  d->Release();
}

// A sink of the event interface that records what it is told.
class Sink : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_IDravikEvents)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    calls.push_back(id);
    documents_at_call.push_back(KvPrintDocumentCount());
    if (id == kDispidOnKeyPress && params->cArgs == 1 && params->rgvarg[0].vt == (VT_I2 | VT_BYREF)) {
      key_seen = *params->rgvarg[0].piVal;
      *params->rgvarg[0].piVal = key_answer;
    }
    return S_OK;
  }
  std::atomic<ULONG> refs{1};
  std::vector<DISPID> calls;
  std::vector<DWORD> documents_at_call;
  SHORT key_seen = 0, key_answer = 0;
};

// The control made by a factory of this module, so the test reaches its button.
TActiveXControlFactory<TDravikControl, TButton>& Factory() {
  static auto* factory =
      new TActiveXControlFactory<TDravikControl, TButton>(ComServer(), CLSID_Dravik, "Dravik", "Dravik Control", 1, 0);
  return *factory;
}

class ControlEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    setenv("KORVANE_PRINT_DIR", (home_.path() + "/out").c_str(), 1);
    KvPrintRefresh();
    SetPrinter(new TPrinter);
    KvPrintClearDocuments();
    // A fresh window system: nothing left by a control server unloaded before.
    Application->ResetState();
    KvUserReset();
    IDravik* made = nullptr;
    ASSERT_EQ(Factory().CreateInstance(nullptr, IID_IDravik, reinterpret_cast<void**>(&made)), S_OK);
    object_ = static_cast<TDravikControl*>(made);
    object_->Dravik().PrintStr = "10,10,x";
    ASSERT_EQ(object_->put_IsPrintSetup(0), S_OK);
  }
  void TearDown() override {
    if (object_) object_->Release();
    SetPrinter(nullptr);
    Application->ResetState();
    KvUserReset();
  }
  DWORD Advise(Sink& sink) {
    IConnectionPointContainer* cpc = nullptr;
    EXPECT_EQ(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
    IConnectionPoint* cp = nullptr;
    EXPECT_EQ(cpc->FindConnectionPoint(DIID_IDravikEvents, &cp), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(cp->Advise(&sink, &cookie), S_OK);
    point_ = cp;
    cpc->Release();
    return cookie;
  }
  // A click of the wrapped button, as its window reports it.
  void ClickButton() { SendMessageA(object_->Button()->Handle(), BM_CLICK, 0, 0); }

  kvtest::TempHome home_;
  Sink sink;  // outlives the control, which releases it when it goes
  TDravikControl* object_ = nullptr;
  IConnectionPoint* point_ = nullptr;
};

TEST_F(ControlEvents, ButtonClickRaisesOnClickBeforeItsPrint) {
  ClickButton();  // no sink: still prints
  EXPECT_EQ(KvPrintDocumentCount(), 1u);
  DWORD cookie = Advise(sink);
  ClickButton();
  ASSERT_EQ(sink.calls, std::vector<DISPID>{kDispidOnClick});
  EXPECT_EQ(sink.documents_at_call[0], 1u);
  EXPECT_EQ(KvPrintDocumentCount(), 2u);
  EXPECT_EQ(point_->Unadvise(cookie), S_OK);
  point_->Release();
  ClickButton();
  EXPECT_EQ(sink.calls.size(), 1u);
  EXPECT_EQ(KvPrintDocumentCount(), 3u);
  EXPECT_EQ(sink.refs.load(), 1u);
}

TEST_F(ControlEvents, KeyPressTakesTheLowByteOfTheAnswer) {
  ASSERT_TRUE(object_->Button()->OnKeyPress);
  char key = 'z';
  object_->Button()->OnKeyPress(object_->Button(), key);  // no sink: unchanged
  EXPECT_EQ(key, 'z');
  sink.key_answer = 0x141;
  Advise(sink);
  object_->Button()->OnKeyPress(object_->Button(), key);
  EXPECT_EQ(sink.key_seen, 'z');
  EXPECT_EQ(key, 0x41);
  point_->Release();
  object_->Release();  // the control lets its sink go with itself
  object_ = nullptr;
  EXPECT_EQ(sink.refs.load(), 1u);
}

TEST_F(ControlEvents, ButtonPropertiesAreTheButtons) {
  TButton* button = object_->Button();
  BSTR text = kv::AllocBstr(u"打印");
  ASSERT_EQ(object_->put_Caption(text), S_OK);
  SysFreeString(text);
  EXPECT_EQ(kv::AnsiToWide(button->Caption()), u"打印");
  EXPECT_EQ(object_->put_Enabled(VARIANT_FALSE), S_OK);
  EXPECT_FALSE(button->Enabled());
  EXPECT_FALSE(IsWindowEnabled(button->Handle()));
  EXPECT_EQ(object_->put_Default(7), S_OK);
  EXPECT_TRUE(button->Default());
  EXPECT_EQ(object_->put_Cancel(VARIANT_TRUE), S_OK);
  EXPECT_TRUE(button->Cancel());
  EXPECT_EQ(object_->put_WordWrap(VARIANT_TRUE), S_OK);
  EXPECT_TRUE(button->WordWrap());
  EXPECT_EQ(object_->put_Visible(VARIANT_FALSE), S_OK);
  EXPECT_FALSE(button->Visible());
  VARIANT_BOOL b = 0;
  EXPECT_EQ(object_->get_Default(&b), S_OK);
  EXPECT_EQ(b, VARIANT_TRUE);
  EXPECT_EQ(object_->get_Enabled(&b), S_OK);
  EXPECT_EQ(b, VARIANT_FALSE);
  BSTR caption = nullptr;
  EXPECT_EQ(object_->get_Caption(&caption), S_OK);
  EXPECT_EQ(kv::BstrText(caption), u"打印");
  SysFreeString(caption);
  short cursor = 0;
  EXPECT_EQ(object_->get_DragCursor(&cursor), S_OK);
  EXPECT_EQ(cursor, -12);
  EXPECT_EQ(object_->get_Caption(nullptr), E_POINTER);
}

// Font: the standard OLE font object over the button's font, read and written by a page.
TEST_F(ControlEvents, FontIsTheButtonsFont) {
  TFont* font = object_->Button()->Font();
  IDispatch* self = static_cast<IDravik*>(object_);
  OleVariant got = Get(self, -512);
  ASSERT_EQ(got.VarType(), VT_DISPATCH);
  IDispatch* ole = got.AsDispatch();
  ASSERT_NE(ole, nullptr);
  IUnknown* disp = nullptr;
  ASSERT_EQ(ole->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(&disp)), S_OK);
  disp->Release();
  struct Name {
    const char16_t* name;
    DISPID id;
  } names[] = {{u"Name", 0},      {u"Size", 2},          {u"Bold", 3},   {u"Italic", 4},
               {u"Underline", 5}, {u"Strikethrough", 6}, {u"Weight", 7}, {u"Charset", 8}};
  for (const auto& n : names) {
    std::u16string text = n.name;
    LPOLESTR one[] = {text.data()};
    DISPID id = -1;
    EXPECT_EQ(ole->GetIDsOfNames(IID_NULL, one, 1, 0, &id), S_OK);
    EXPECT_EQ(id, n.id);
  }
  EXPECT_EQ(Get(ole, 0).AsWideString(), kv::AnsiToWide(font->Name()));
  OleVariant size = Get(ole, 2);
  EXPECT_EQ(size.VarType(), VT_CY);
  EXPECT_EQ(size.Var().cyVal.int64, int64_t{font->Size()} * 10000);
  EXPECT_EQ(Get(ole, 3).Var().boolVal, VARIANT_FALSE);
  EXPECT_EQ(Get(ole, 7).AsInteger(), 400);

  // Writes go straight to the button's font.
  EXPECT_EQ(Put(ole, 0, u"黑体"), S_OK);
  EXPECT_EQ(Put(ole, 2, 12.4), S_OK);
  EXPECT_EQ(Put(ole, 3, true), S_OK);
  EXPECT_EQ(Put(ole, 5, -1), S_OK);
  EXPECT_EQ(Put(ole, 8, 134), S_OK);
  EXPECT_EQ(kv::AnsiToWide(font->Name()), u"黑体");
  EXPECT_EQ(font->Size(), 12);
  EXPECT_EQ(font->Style(), TFontStyles() << fsBold << fsUnderline);
  EXPECT_EQ(font->Charset(), 134);
  EXPECT_FALSE(object_->Button()->ParentFont());
  EXPECT_EQ(Put(ole, 7, 400), S_OK);
  EXPECT_FALSE(font->Style().Contains(fsBold));
  // Bad values fail plainly and change nothing.
  for (auto [id, value] : {std::pair{DISPID{2}, OleVariant(0)}, std::pair{DISPID{2}, OleVariant(u"big")},
                           std::pair{DISPID{8}, OleVariant(256)}})
    EXPECT_EQ(Put(ole, id, value), DISP_E_EXCEPTION) << id;
  EXPECT_EQ(font->Size(), 12);
  EXPECT_EQ(font->Charset(), 134);

  // Put: another control's font taken over whole; a null object is refused.
  IDravik* other = nullptr;
  ASSERT_EQ(Factory().CreateInstance(nullptr, IID_IDravik, reinterpret_cast<void**>(&other)), S_OK);
  IDispatch* other_font = nullptr;
  ASSERT_EQ(other->get_Font(&other_font), S_OK);
  EXPECT_EQ(Put(other_font, 2, 20), S_OK);
  EXPECT_EQ(Put(other_font, 4, true), S_OK);
  EXPECT_EQ(object_->put_Font(other_font), S_OK);
  EXPECT_EQ(font->Size(), 20);
  EXPECT_EQ(font->Style(), TFontStyles() << fsItalic);
  EXPECT_EQ(font->Name(), static_cast<TDravikControl*>(other)->Button()->Font()->Name());
  EXPECT_EQ(object_->putref_Font(nullptr), E_POINTER);
  EXPECT_EQ(Put(self, -512, OleVariant(static_cast<IDispatch*>(nullptr))), DISP_E_EXCEPTION);
  EXPECT_EQ(font->Size(), 20);

  // A font object keeps its control alive: it still reads after the page let the control go.
  other->Release();
  EXPECT_EQ(Get(other_font, 2).Var().cyVal.int64, 200000);
  other_font->Release();
}

}  // namespace
