// The print control's COM surface: the type library "Zorbel", the dual interface
// IDravik and the ActiveX control class Dravik (ProgID "Zorbel.Dravik"), a framework
// button served as a control, with its events to the page and its about box.
#pragma once

#include "framework/activex/axctrls.h"
#include "framework/controls/stdctrls.h"
#include "print_control/dravik.h"

namespace zorbel {

inline constexpr GUID LIBID_Zorbel = {0xF391A8E2, 0xD7FB, 0x4E22, {0x89, 0xF4, 0x90, 0xEE, 0xCD, 0xC8, 0x59, 0xE7}};
inline constexpr CLSID CLSID_Dravik = {0x4EAAA8DD, 0xB1DF, 0x4F47, {0x92, 0x03, 0xCB, 0x92, 0x96, 0x50, 0x7D, 0xB3}};
inline constexpr IID IID_IDravik = {0x7F769855, 0x4490, 0x4F80, {0xA9, 0xA5, 0xB8, 0xEC, 0x3C, 0x06, 0x27, 0xB7}};
inline constexpr GUID GUID_TxDragMode = {0x9496D10B, 0xF194, 0x44D7, {0xBC, 0x0F, 0x23, 0xDF, 0x9B, 0x26, 0x53, 0x43}};
inline constexpr GUID GUID_TxMouseButton = {
    0x2E64725D, 0xAE07, 0x4234, {0xA6, 0x91, 0xB0, 0x58, 0xB6, 0x95, 0xCA, 0x3E}};

// The dual interface, in the order of its members. Font travels as the standard OLE
// font's dispatch interface (IFontDisp), a live view of the button's font.
struct IDravik : IDispatch {
  virtual HRESULT get_Cancel(VARIANT_BOOL* Value) = 0;
  virtual HRESULT put_Cancel(VARIANT_BOOL Value) = 0;
  virtual HRESULT get_Caption(BSTR* Value) = 0;
  virtual HRESULT put_Caption(BSTR Value) = 0;
  virtual HRESULT get_Default(VARIANT_BOOL* Value) = 0;
  virtual HRESULT put_Default(VARIANT_BOOL Value) = 0;
  virtual HRESULT get_DragCursor(short* Value) = 0;
  virtual HRESULT put_DragCursor(short Value) = 0;
  virtual HRESULT get_DragMode(int* Value) = 0;
  virtual HRESULT put_DragMode(int Value) = 0;
  virtual HRESULT get_Enabled(VARIANT_BOOL* Value) = 0;
  virtual HRESULT put_Enabled(VARIANT_BOOL Value) = 0;
  virtual HRESULT get_Font(IDispatch** Value) = 0;
  virtual HRESULT put_Font(IDispatch* Value) = 0;
  virtual HRESULT putref_Font(IDispatch* Value) = 0;
  virtual HRESULT get_Visible(VARIANT_BOOL* Value) = 0;
  virtual HRESULT put_Visible(VARIANT_BOOL Value) = 0;
  virtual HRESULT get_WordWrap(VARIANT_BOOL* Value) = 0;
  virtual HRESULT put_WordWrap(VARIANT_BOOL Value) = 0;
  virtual HRESULT get_DoubleBuffered(VARIANT_BOOL* Value) = 0;
  virtual HRESULT put_DoubleBuffered(VARIANT_BOOL Value) = 0;
  virtual HRESULT get_AlignDisabled(VARIANT_BOOL* Value) = 0;
  virtual HRESULT get_VisibleDockClientCount(LONG* Value) = 0;
  virtual HRESULT DrawTextBiDiModeFlagsReadingOnly(LONG* Value) = 0;
  virtual HRESULT InitiateAction() = 0;
  virtual HRESULT IsRightToLeft(VARIANT_BOOL* Value) = 0;
  virtual HRESULT UseRightToLeftReading(VARIANT_BOOL* Value) = 0;
  virtual HRESULT UseRightToLeftScrollBar(VARIANT_BOOL* Value) = 0;
  virtual HRESULT SetSubComponent(VARIANT_BOOL IsSubComponent) = 0;
  virtual HRESULT AboutBox() = 0;
  virtual HRESULT get_PrintStr(BSTR* Value) = 0;
  virtual HRESULT put_PrintStr(BSTR Value) = 0;
  virtual HRESULT get_FontSize(int* Value) = 0;
  virtual HRESULT put_FontSize(int Value) = 0;
  virtual HRESULT get_IsPrintSetup(int* Value) = 0;
  virtual HRESULT put_IsPrintSetup(int Value) = 0;
  virtual HRESULT get_RepairX(int* Value) = 0;
  virtual HRESULT put_RepairX(int Value) = 0;
  virtual HRESULT get_RepairY(int* Value) = 0;
  virtual HRESULT put_RepairY(int Value) = 0;
  virtual HRESULT Start_Print(BSTR Value) = 0;
  virtual HRESULT get_IsDebug(int* Value) = 0;
  virtual HRESULT put_IsDebug(int Value) = 0;
  virtual HRESULT get_ErrorNum(int* Value) = 0;
  virtual HRESULT put_ErrorNum(int Value) = 0;
  virtual HRESULT get_ErrorMessage(BSTR* Value) = 0;
  virtual HRESULT put_ErrorMessage(BSTR Value) = 0;
  virtual HRESULT GetPrinterName(BSTR* PrnName) = 0;
  virtual HRESULT GetPrinterNum(BSTR* PrnNum) = 0;
  virtual HRESULT GetPrinterVer(BSTR* PrinterVer) = 0;
  virtual HRESULT GetPrinterProductionYear(BSTR* PrinterYear) = 0;
  virtual HRESULT GetPrinterProductionWeek(BSTR* PrinterWeek) = 0;
};

// The type library's record (registered with the server).
const TTypeLibRecord& ZorbelTypeLib();

// The control object: IDravik (and IDispatch by the dispatch table) over the wrapped
// button and the print control's state; the OLE embedding, the event connection point
// and object safety come from the ActiveX control base. Made by its factory:
//   TActiveXControlFactory<TDravikControl, TButton>
class TDravikControl : public TActiveXControl<TDravikControl, IDravik>, private TDravikEvents {
 public:
  TDravikControl();
  static const TDispatchTable<TDravikControl>& DispatchTable();

  TDravik& Dravik() { return control_; }
  TButton* Button() const { return static_cast<TButton*>(Control()); }

  // IDravik
  HRESULT get_Cancel(VARIANT_BOOL* Value) override;
  HRESULT put_Cancel(VARIANT_BOOL Value) override;
  HRESULT get_Caption(BSTR* Value) override;
  HRESULT put_Caption(BSTR Value) override;
  HRESULT get_Default(VARIANT_BOOL* Value) override;
  HRESULT put_Default(VARIANT_BOOL Value) override;
  HRESULT get_DragCursor(short* Value) override;
  HRESULT put_DragCursor(short Value) override;
  HRESULT get_DragMode(int* Value) override;
  HRESULT put_DragMode(int Value) override;
  HRESULT get_Enabled(VARIANT_BOOL* Value) override;
  HRESULT put_Enabled(VARIANT_BOOL Value) override;
  HRESULT get_Font(IDispatch** Value) override;
  HRESULT put_Font(IDispatch* Value) override;
  HRESULT putref_Font(IDispatch* Value) override;
  HRESULT get_Visible(VARIANT_BOOL* Value) override;
  HRESULT put_Visible(VARIANT_BOOL Value) override;
  HRESULT get_WordWrap(VARIANT_BOOL* Value) override;
  HRESULT put_WordWrap(VARIANT_BOOL Value) override;
  HRESULT get_DoubleBuffered(VARIANT_BOOL* Value) override;
  HRESULT put_DoubleBuffered(VARIANT_BOOL Value) override;
  HRESULT get_AlignDisabled(VARIANT_BOOL* Value) override;
  HRESULT get_VisibleDockClientCount(LONG* Value) override;
  HRESULT DrawTextBiDiModeFlagsReadingOnly(LONG* Value) override;
  HRESULT InitiateAction() override;
  HRESULT IsRightToLeft(VARIANT_BOOL* Value) override;
  HRESULT UseRightToLeftReading(VARIANT_BOOL* Value) override;
  HRESULT UseRightToLeftScrollBar(VARIANT_BOOL* Value) override;
  HRESULT SetSubComponent(VARIANT_BOOL IsSubComponent) override;
  HRESULT AboutBox() override;
  HRESULT get_PrintStr(BSTR* Value) override;
  HRESULT put_PrintStr(BSTR Value) override;
  HRESULT get_FontSize(int* Value) override;
  HRESULT put_FontSize(int Value) override;
  HRESULT get_IsPrintSetup(int* Value) override;
  HRESULT put_IsPrintSetup(int Value) override;
  HRESULT get_RepairX(int* Value) override;
  HRESULT put_RepairX(int Value) override;
  HRESULT get_RepairY(int* Value) override;
  HRESULT put_RepairY(int Value) override;
  HRESULT Start_Print(BSTR Value) override;
  HRESULT get_IsDebug(int* Value) override;
  HRESULT put_IsDebug(int Value) override;
  HRESULT get_ErrorNum(int* Value) override;
  HRESULT put_ErrorNum(int Value) override;
  HRESULT get_ErrorMessage(BSTR* Value) override;
  HRESULT put_ErrorMessage(BSTR Value) override;
  HRESULT GetPrinterName(BSTR* PrnName) override;
  HRESULT GetPrinterNum(BSTR* PrnNum) override;
  HRESULT GetPrinterVer(BSTR* PrinterVer) override;
  HRESULT GetPrinterProductionYear(BSTR* PrinterYear) override;
  HRESULT GetPrinterProductionWeek(BSTR* PrinterWeek) override;

  // The button's font as an OLE font object (a live view of it).
  OleVariant OleFont();
  // TDravikAbout, shown modally and freed.
  void ShowAboutBox();

 protected:
  // Hooks the button's click and key press to the relays.
  void InitializeControl() override;
  void EventSinkChanged(IUnknown* sink) override;
  WideString ErrorSource() const override { return u"Zorbel.Dravik"; }

 private:
  ~TDravikControl() override;
  HRESULT Call(const std::function<void()>& body) { return SafeCall(ErrorSource(), body); }
  void RaiseOnClick() override;
  void RaiseOnKeyPress(SHORT& Key) override;

  TDravik control_;
  IDispatch* sink_ = nullptr;  // the page's event sink, as IDravikEvents
  // Published properties of the button that the framework's controls do not model
  // (dragging, double buffering, sub-component state): kept as the page set them.
  short drag_cursor_ = -12;  // crDrag
  int drag_mode_ = 0;        // dmManual
  bool double_buffered_ = false;
  bool sub_component_ = false;
};

}  // namespace zorbel
