// KvAxTestServer.dll: a framework button served as an ActiveX control, built as the
// programs' control servers are (only the four server entries exported).
#include "framework/activex/axctrls.h"
#include "framework/controls/stdctrls.h"

namespace {

// {3A7C1E10-6D2B-4F51-8E3A-2C9B7D4E5F01} .. 04
constexpr GUID kLibId = {0x3A7C1E10, 0x6D2B, 0x4F51, {0x8E, 0x3A, 0x2C, 0x9B, 0x7D, 0x4E, 0x5F, 0x01}};
constexpr GUID kIid = {0x3A7C1E11, 0x6D2B, 0x4F51, {0x8E, 0x3A, 0x2C, 0x9B, 0x7D, 0x4E, 0x5F, 0x01}};
constexpr GUID kEventIid = {0x3A7C1E12, 0x6D2B, 0x4F51, {0x8E, 0x3A, 0x2C, 0x9B, 0x7D, 0x4E, 0x5F, 0x01}};
constexpr GUID kClsid = {0x3A7C1E13, 0x6D2B, 0x4F51, {0x8E, 0x3A, 0x2C, 0x9B, 0x7D, 0x4E, 0x5F, 0x01}};

const TTypeLibRecord kLib = {
    kLibId,
    "KvAxTest",
    "KvAxTest Library",
    1,
    0,
    0,
    {{kIid, "IAxButton", "Dispatch interface for AxButton Control", TInterfaceKind::DispInterface},
     {kEventIid, "IAxButtonEvents", "Events interface for AxButton Control", TInterfaceKind::DispInterface}},
    {{kClsid, "AxButton", "AxButton Control", {{kIid, true, false}, {kEventIid, true, true}}}},
    {},
};

class TAxButton : public TActiveXControl<TAxButton> {
 public:
  TAxButton() : TActiveXControl(kIid, kEventIid) {}
  static const TDispatchTable<TAxButton>& DispatchTable();
  TButton* Button() const { return static_cast<TButton*>(Control()); }

 protected:
  void InitializeControl() override {
    Button()->SetCaption("AxButton");
    Button()->OnClick = [this](TObject*) { FireEvent(201); };
    Button()->OnKeyPress = [this](TObject*, char& key) {
      short wide = static_cast<short>(static_cast<unsigned char>(key));
      FireEvent(202, {OleVariant::ByRef(VT_I2, &wide)});
      key = static_cast<char>(wide & 0xFF);
      last_key_ = static_cast<unsigned char>(key);
    };
  }
  void EventSinkChanged(IUnknown* sink) override {
    ++sink_changes_;
    has_sink_ = sink != nullptr;
  }

 private:
  int sink_changes_ = 0;
  bool has_sink_ = false;
  int last_key_ = 0;
};

const TDispatchTable<TAxButton>& TAxButton::DispatchTable() {
  static const TDispatchTable<TAxButton> table = {
      {"Caption", -518, TDispKind::PropertyGet, 0,
       [](TAxButton& o, TDispCall& c) { c.SetResult(o.Button()->Caption()); }},
      {"Caption", -518, TDispKind::PropertyPut, 0,
       [](TAxButton& o, TDispCall& c) { o.Button()->SetCaption(c.PutValue().AsString()); }},
      {"Enabled", -514, TDispKind::PropertyGet, 0,
       [](TAxButton& o, TDispCall& c) { c.SetResult(o.Button()->Enabled()); }},
      {"Enabled", -514, TDispKind::PropertyPut, 0,
       [](TAxButton& o, TDispCall& c) { o.Button()->SetEnabled(c.PutValue().AsBoolean()); }},
      {"SinkChanges", 230, TDispKind::PropertyGet, 0, [](TAxButton& o, TDispCall& c) { c.SetResult(o.sink_changes_); }},
      {"HasSink", 231, TDispKind::PropertyGet, 0, [](TAxButton& o, TDispCall& c) { c.SetResult(o.has_sink_); }},
      {"LastKey", 232, TDispKind::PropertyGet, 0, [](TAxButton& o, TDispCall& c) { c.SetResult(o.last_key_); }},
      {"UserMode", 233, TDispKind::PropertyGet, 0,
       [](TAxButton& o, TDispCall& c) { c.SetResult(o.AmbientUserMode()); }},
  };
  return table;
}

struct Setup {
  Setup() { ComServer().SetTypeLib(&kLib); }
} setup;

TActiveXControlFactory<TAxButton, TButton> factory(ComServer(), kClsid, "AxButton", "AxButton Control", 1, 0);

}  // namespace

KV_COM_SERVER_EXPORTS()
