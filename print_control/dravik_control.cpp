#include "print_control/dravik_control.h"

#include <memory>

#include "platform/base/codepage.h"
#include "print_control/dravik_about.h"
#include "print_control/dravik_font.h"

namespace zorbel {
namespace {

VARIANT_BOOL VB(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }
WideString Text(BSTR b) { return kv::BstrText(b); }

template <class T>
HRESULT Out(T* target, T value) {
  if (!target) return E_POINTER;
  *target = value;
  return S_OK;
}

}  // namespace

const TTypeLibRecord& ZorbelTypeLib() {
  static const TTypeLibRecord lib = {
      LIBID_Zorbel,
      "Zorbel",
      "Zorbel Library",
      1,
      0,
      0,
      {{IID_IDravik, "IDravik", "Dispatch interface for Dravik Control", TInterfaceKind::Dual,
        []() -> const TDispatchTableBase& { return TDravikControl::DispatchTable(); }},
       {DIID_IDravikEvents,
        "IDravikEvents",
        "Events interface for Dravik Control",
        TInterfaceKind::DispInterface,
        nullptr,
        {{"OnClick", kDispidOnClick, TDispKind::Method, ""},
         {"OnKeyPress", kDispidOnKeyPress, TDispKind::Method, "in out short Key"}}}},
      {{CLSID_Dravik, "Dravik", "Dravik Control", {{IID_IDravik, true, false}, {DIID_IDravikEvents, true, true}}}},
      {{GUID_TxDragMode, "TxDragMode", {{"dmManual", 0}, {"dmAutomatic", 1}}},
       {GUID_TxMouseButton, "TxMouseButton", {{"mbLeft", 0}, {"mbRight", 1}, {"mbMiddle", 2}}}},
  };
  return lib;
}

TDravikControl::TDravikControl() : TActiveXControl(IID_IDravik, DIID_IDravikEvents) { control_.Events = this; }

TDravikControl::~TDravikControl() {
  control_.Events = nullptr;
  if (sink_) sink_->Release();
}

void TDravikControl::InitializeControl() {
  Button()->OnClick = [this](TObject*) { control_.Click(); };
  Button()->OnKeyPress = [this](TObject*, char& key) { control_.KeyPress(key); };
  control_.RepairX = 0;
  control_.RepairY = 0;
  control_.IsPrintSetup = 1;
  control_.IsDebug = 0;
}

void TDravikControl::EventSinkChanged(IUnknown* sink) {
  if (sink) sink->AddRef();
  if (sink_) sink_->Release();
  // The sink was advised for the event interface, a dispatch interface.
  sink_ = static_cast<IDispatch*>(sink);
}

void TDravikControl::RaiseOnClick() {
  if (sink_) FireEvent(kDispidOnClick);
}

void TDravikControl::RaiseOnKeyPress(SHORT& Key) {
  if (sink_) FireEvent(kDispidOnKeyPress, {OleVariant::ByRef(VT_I2, &Key)});
}

OleVariant TDravikControl::OleFont() {
  IDispatch* font = MakeOleFont(static_cast<IDravik*>(this), Button()->Font());
  OleVariant value(font);  // takes a reference of its own
  font->Release();
  return value;
}

void TDravikControl::ShowAboutBox() {
  std::unique_ptr<TDravikAbout> about = std::make_unique<TDravikAbout>(nullptr);
  about->ShowModal();
}

// ---- Dispatch table -----------------------------------------------------------------------

const TDispatchTable<TDravikControl>& TDravikControl::DispatchTable() {
  using K = TDispKind;
  using C = TDravikControl;
  using D = TDispCall;
  static const TDispatchTable<C> table = {
      {"Cancel", 201, K::PropertyGet, "bool Value", [](C& o, D& c) { c.SetResult(o.Button()->Cancel()); }},
      {"Cancel", 201, K::PropertyPut, "bool Value",
       [](C& o, D& c) { o.Button()->SetCancel(c.PutValue().AsBoolean()); }},
      {"Caption", -518, K::PropertyGet, "BSTR Value",
       [](C& o, D& c) { c.SetResult(kv::AnsiToWide(o.Button()->Caption())); }},
      {"Caption", -518, K::PropertyPut, "BSTR Value",
       [](C& o, D& c) { o.Button()->SetCaption(kv::WideToAnsi(c.PutValue().AsWideString())); }},
      {"Default", 202, K::PropertyGet, "bool Value", [](C& o, D& c) { c.SetResult(o.Button()->Default()); }},
      {"Default", 202, K::PropertyPut, "bool Value",
       [](C& o, D& c) { o.Button()->SetDefault(c.PutValue().AsBoolean()); }},
      {"DragCursor", 203, K::PropertyGet, "short Value",
       [](C& o, D& c) { c.SetResult(static_cast<int>(o.drag_cursor_)); }},
      {"DragCursor", 203, K::PropertyPut, "short Value",
       [](C& o, D& c) { o.drag_cursor_ = static_cast<short>(c.PutValue().AsInteger()); }},
      {"DragMode", 204, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.drag_mode_); }},
      {"DragMode", 204, K::PropertyPut, "int Value", [](C& o, D& c) { o.drag_mode_ = c.PutValue().AsInteger(); }},
      {"Enabled", -514, K::PropertyGet, "bool Value", [](C& o, D& c) { c.SetResult(o.Button()->Enabled()); }},
      {"Enabled", -514, K::PropertyPut, "bool Value",
       [](C& o, D& c) { o.Button()->SetEnabled(c.PutValue().AsBoolean()); }},
      {"Font", -512, K::PropertyGet, "IDispatch Value", [](C& o, D& c) { c.SetResult(o.OleFont()); }},
      {"Font", -512, K::PropertyPut, "IDispatch Value",
       [](C& o, D& c) { AssignOleFont(o.Button()->Font(), c.PutValue().AsDispatch()); }},
      {"Font", -512, K::PropertyPutRef, "IDispatch Value",
       [](C& o, D& c) { AssignOleFont(o.Button()->Font(), c.PutValue().AsDispatch()); }},
      {"Visible", 205, K::PropertyGet, "bool Value", [](C& o, D& c) { c.SetResult(o.Button()->Visible()); }},
      {"Visible", 205, K::PropertyPut, "bool Value",
       [](C& o, D& c) { o.Button()->SetVisible(c.PutValue().AsBoolean()); }},
      {"WordWrap", 206, K::PropertyGet, "bool Value", [](C& o, D& c) { c.SetResult(o.Button()->WordWrap()); }},
      {"WordWrap", 206, K::PropertyPut, "bool Value",
       [](C& o, D& c) { o.Button()->SetWordWrap(c.PutValue().AsBoolean()); }},
      {"DoubleBuffered", 207, K::PropertyGet, "bool Value", [](C& o, D& c) { c.SetResult(o.double_buffered_); }},
      {"DoubleBuffered", 207, K::PropertyPut, "bool Value",
       [](C& o, D& c) { o.double_buffered_ = c.PutValue().AsBoolean(); }},
      {"AlignDisabled", 208, K::PropertyGet, "bool Value", [](C&, D& c) { c.SetResult(false); }},
      {"VisibleDockClientCount", 209, K::PropertyGet, "long Value", [](C&, D& c) { c.SetResult(0); }},
      // A left-to-right button: no reading-order flags, no right-to-left use.
      {"DrawTextBiDiModeFlagsReadingOnly", 210, K::Method, "out long Value", [](C&, D& c) { c.SetArg(0, 0); }},
      {"InitiateAction", 211, K::Method, "", [](C&, D&) {}},
      {"IsRightToLeft", 212, K::Method, "out bool Value", [](C& o, D& c) { c.SetArg(0, o.Button()->IsRightToLeft()); }},
      {"UseRightToLeftReading", 213, K::Method, "out bool Value", [](C&, D& c) { c.SetArg(0, false); }},
      {"UseRightToLeftScrollBar", 214, K::Method, "out bool Value", [](C&, D& c) { c.SetArg(0, false); }},
      {"SetSubComponent", 215, K::Method, "bool IsSubComponent",
       [](C& o, D& c) { o.sub_component_ = c.Value(0).AsBoolean(); }},
      {"AboutBox", -552, K::Method, "", [](C& o, D&) { o.ShowAboutBox(); }},
      {"PrintStr", 216, K::PropertyGet, "BSTR Value",
       [](C& o, D& c) { c.SetResult(kv::AnsiToWide(o.control_.PrintStr)); }},
      {"PrintStr", 216, K::PropertyPut, "BSTR Value",
       [](C& o, D& c) {
         WideString converted;
         o.control_.PrintStr = kv::WideToAnsi(c.PutText(converted));
       }},
      {"FontSize", 217, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.control_.FontSize); }},
      {"FontSize", 217, K::PropertyPut, "int Value",
       [](C& o, D& c) { o.control_.FontSize = c.PutValue().AsInteger(); }},
      {"IsPrintSetup", 218, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.control_.IsPrintSetup); }},
      {"IsPrintSetup", 218, K::PropertyPut, "int Value",
       [](C& o, D& c) { o.control_.IsPrintSetup = c.PutValue().AsInteger(); }},
      {"RepairX", 219, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.control_.RepairX); }},
      {"RepairX", 219, K::PropertyPut, "int Value", [](C& o, D& c) { o.control_.RepairX = c.PutValue().AsInteger(); }},
      {"RepairY", 220, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.control_.RepairY); }},
      {"RepairY", 220, K::PropertyPut, "int Value", [](C& o, D& c) { o.control_.RepairY = c.PutValue().AsInteger(); }},
      {"Start_Print", 221, K::Method, "BSTR Value",
       [](C& o, D& c) {
         WideString converted;
         o.control_.Start_Print(c.Text(0, converted));
       }},
      {"IsDebug", 222, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.control_.IsDebug); }},
      {"IsDebug", 222, K::PropertyPut, "int Value", [](C& o, D& c) { o.control_.IsDebug = c.PutValue().AsInteger(); }},
      {"ErrorNum", 223, K::PropertyGet, "int Value", [](C& o, D& c) { c.SetResult(o.control_.ErrorNum); }},
      {"ErrorNum", 223, K::PropertyPut, "int Value",
       [](C& o, D& c) { o.control_.ErrorNum = c.PutValue().AsInteger(); }},
      {"ErrorMessage", 224, K::PropertyGet, "BSTR Value",
       [](C& o, D& c) { c.SetResult(kv::AnsiToWide(o.control_.ErrorMessage)); }},
      {"ErrorMessage", 224, K::PropertyPut, "BSTR Value",
       [](C& o, D& c) { o.control_.ErrorMessage = kv::WideToAnsi(c.PutValue().AsWideString()); }},
      {"GetPrinterName", 225, K::Method, "out retval BSTR PrnName",
       [](C& o, D& c) { c.SetResult(o.control_.GetPrinterName()); }},
      {"GetPrinterNum", 226, K::Method, "out retval BSTR PrnNum",
       [](C& o, D& c) { c.SetResult(o.control_.GetPrinterNum()); }},
      {"GetPrinterVer", 227, K::Method, "out retval BSTR PrinterVer",
       [](C& o, D& c) { c.SetResult(o.control_.GetPrinterVer()); }},
      {"GetPrinterProductionYear", 228, K::Method, "out retval BSTR PrinterYear",
       [](C& o, D& c) { c.SetResult(o.control_.GetPrinterProductionYear()); }},
      {"GetPrinterProductionWeek", 229, K::Method, "out retval BSTR PrinterWeek",
       [](C& o, D& c) { c.SetResult(o.control_.GetPrinterProductionWeek()); }},
  };
  return table;
}

// ---- IDravik ------------------------------------------------------------------------------

HRESULT TDravikControl::get_Cancel(VARIANT_BOOL* Value) { return Out(Value, VB(Button()->Cancel())); }
HRESULT TDravikControl::put_Cancel(VARIANT_BOOL Value) {
  return Call([&] { Button()->SetCancel(Value != 0); });
}
HRESULT TDravikControl::get_Caption(BSTR* Value) {
  if (!Value) return E_POINTER;
  return Call([&] { *Value = kv::AllocBstr(kv::AnsiToWide(Button()->Caption())); });
}
HRESULT TDravikControl::put_Caption(BSTR Value) {
  return Call([&] { Button()->SetCaption(kv::WideToAnsi(Text(Value))); });
}
HRESULT TDravikControl::get_Default(VARIANT_BOOL* Value) { return Out(Value, VB(Button()->Default())); }
HRESULT TDravikControl::put_Default(VARIANT_BOOL Value) {
  return Call([&] { Button()->SetDefault(Value != 0); });
}
HRESULT TDravikControl::get_DragCursor(short* Value) { return Out(Value, drag_cursor_); }
HRESULT TDravikControl::put_DragCursor(short Value) {
  drag_cursor_ = Value;
  return S_OK;
}
HRESULT TDravikControl::get_DragMode(int* Value) { return Out(Value, drag_mode_); }
HRESULT TDravikControl::put_DragMode(int Value) {
  drag_mode_ = Value;
  return S_OK;
}
HRESULT TDravikControl::get_Enabled(VARIANT_BOOL* Value) { return Out(Value, VB(Button()->Enabled())); }
HRESULT TDravikControl::put_Enabled(VARIANT_BOOL Value) {
  return Call([&] { Button()->SetEnabled(Value != 0); });
}
HRESULT TDravikControl::get_Font(IDispatch** Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return Call([&] { *Value = MakeOleFont(static_cast<IDravik*>(this), Button()->Font()); });
}
HRESULT TDravikControl::put_Font(IDispatch* Value) {
  return Call([&] { AssignOleFont(Button()->Font(), Value); });
}
HRESULT TDravikControl::putref_Font(IDispatch* Value) { return put_Font(Value); }
HRESULT TDravikControl::get_Visible(VARIANT_BOOL* Value) { return Out(Value, VB(Button()->Visible())); }
HRESULT TDravikControl::put_Visible(VARIANT_BOOL Value) {
  return Call([&] { Button()->SetVisible(Value != 0); });
}
HRESULT TDravikControl::get_WordWrap(VARIANT_BOOL* Value) { return Out(Value, VB(Button()->WordWrap())); }
HRESULT TDravikControl::put_WordWrap(VARIANT_BOOL Value) {
  return Call([&] { Button()->SetWordWrap(Value != 0); });
}
HRESULT TDravikControl::get_DoubleBuffered(VARIANT_BOOL* Value) { return Out(Value, VB(double_buffered_)); }
HRESULT TDravikControl::put_DoubleBuffered(VARIANT_BOOL Value) {
  double_buffered_ = Value != 0;
  return S_OK;
}
// The button lays out no children of its own and takes no docked clients.
HRESULT TDravikControl::get_AlignDisabled(VARIANT_BOOL* Value) { return Out(Value, VARIANT_FALSE); }
HRESULT TDravikControl::get_VisibleDockClientCount(LONG* Value) { return Out<LONG>(Value, 0); }
// A left-to-right button: no reading-order flags, no right-to-left use, no action to update.
HRESULT TDravikControl::DrawTextBiDiModeFlagsReadingOnly(LONG* Value) { return Out<LONG>(Value, 0); }
HRESULT TDravikControl::InitiateAction() { return S_OK; }
HRESULT TDravikControl::IsRightToLeft(VARIANT_BOOL* Value) { return Out(Value, VB(Button()->IsRightToLeft())); }
HRESULT TDravikControl::UseRightToLeftReading(VARIANT_BOOL* Value) { return Out(Value, VARIANT_FALSE); }
HRESULT TDravikControl::UseRightToLeftScrollBar(VARIANT_BOOL* Value) { return Out(Value, VARIANT_FALSE); }
HRESULT TDravikControl::SetSubComponent(VARIANT_BOOL IsSubComponent) {
  sub_component_ = IsSubComponent != 0;
  return S_OK;
}
HRESULT TDravikControl::AboutBox() {
  return Call([this] { ShowAboutBox(); });
}
HRESULT TDravikControl::get_PrintStr(BSTR* Value) {
  if (!Value) return E_POINTER;
  return Call([&] { *Value = kv::AllocBstr(kv::AnsiToWide(control_.PrintStr)); });
}
HRESULT TDravikControl::put_PrintStr(BSTR Value) {
  return Call([&] { control_.PrintStr = kv::WideToAnsi(std::u16string_view(Value, SysStringLen(Value))); });
}
HRESULT TDravikControl::get_FontSize(int* Value) { return Out(Value, control_.FontSize); }
HRESULT TDravikControl::put_FontSize(int Value) {
  control_.FontSize = Value;
  return S_OK;
}
HRESULT TDravikControl::get_IsPrintSetup(int* Value) { return Out(Value, control_.IsPrintSetup); }
HRESULT TDravikControl::put_IsPrintSetup(int Value) {
  control_.IsPrintSetup = Value;
  return S_OK;
}
HRESULT TDravikControl::get_RepairX(int* Value) { return Out(Value, control_.RepairX); }
HRESULT TDravikControl::put_RepairX(int Value) {
  control_.RepairX = Value;
  return S_OK;
}
HRESULT TDravikControl::get_RepairY(int* Value) { return Out(Value, control_.RepairY); }
HRESULT TDravikControl::put_RepairY(int Value) {
  control_.RepairY = Value;
  return S_OK;
}
HRESULT TDravikControl::Start_Print(BSTR Value) {
  return Call([&] { control_.Start_Print(std::u16string_view(Value, SysStringLen(Value))); });
}
HRESULT TDravikControl::get_IsDebug(int* Value) { return Out(Value, control_.IsDebug); }
HRESULT TDravikControl::put_IsDebug(int Value) {
  control_.IsDebug = Value;
  return S_OK;
}
HRESULT TDravikControl::get_ErrorNum(int* Value) { return Out(Value, control_.ErrorNum); }
HRESULT TDravikControl::put_ErrorNum(int Value) {
  control_.ErrorNum = Value;
  return S_OK;
}
HRESULT TDravikControl::get_ErrorMessage(BSTR* Value) {
  if (!Value) return E_POINTER;
  return Call([&] { *Value = kv::AllocBstr(kv::AnsiToWide(control_.ErrorMessage)); });
}
HRESULT TDravikControl::put_ErrorMessage(BSTR Value) {
  return Call([&] { control_.ErrorMessage = kv::WideToAnsi(Text(Value)); });
}
HRESULT TDravikControl::GetPrinterName(BSTR* PrnName) {
  if (!PrnName) return E_POINTER;
  return Call([&] { *PrnName = kv::AllocBstr(control_.GetPrinterName()); });
}
HRESULT TDravikControl::GetPrinterNum(BSTR* PrnNum) {
  if (!PrnNum) return E_POINTER;
  return Call([&] { *PrnNum = kv::AllocBstr(control_.GetPrinterNum()); });
}
HRESULT TDravikControl::GetPrinterVer(BSTR* PrinterVer) {
  if (!PrinterVer) return E_POINTER;
  return Call([&] { *PrinterVer = kv::AllocBstr(control_.GetPrinterVer()); });
}
HRESULT TDravikControl::GetPrinterProductionYear(BSTR* PrinterYear) {
  if (!PrinterYear) return E_POINTER;
  return Call([&] { *PrinterYear = kv::AllocBstr(control_.GetPrinterProductionYear()); });
}
HRESULT TDravikControl::GetPrinterProductionWeek(BSTR* PrinterWeek) {
  if (!PrinterWeek) return E_POINTER;
  return Call([&] { *PrinterWeek = kv::AllocBstr(control_.GetPrinterProductionWeek()); });
}

}  // namespace zorbel
