// The published-property tables of the framework's own classes.
#include <algorithm>
#include <mutex>

#include "framework/controls/buttons.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/controls/listview.h"
#include "framework/controls/menus.h"
#include "framework/controls/tabs.h"
#include "framework/controls/typinfo.h"

namespace {

const std::vector<AnsiString> kAlignNames = {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
const std::vector<AnsiString> kLayoutNames = {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"};
const std::vector<AnsiString> kFontStyleNames = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

void RegisterAll() {
  RegisterClassProps<TComponent>(
      "TComponent",
      {StrProp<TComponent>(
           "Name", [](TComponent& c) { return c.Name(); }, [](TComponent& c, const AnsiString& v) { c.SetName(v); }),
       IntProp<TComponent>(
           "Tag", [](TComponent& c) { return c.Tag(); }, [](TComponent& c, int v) { c.SetTag(v); })});
  RegisterClassProps<TFont>(
      "TFont", {StrProp<TFont>(
                    "Name", [](TFont& f) { return f.Name(); }, [](TFont& f, const AnsiString& v) { f.SetName(v); }),
                IntProp<TFont>(
                    "Size", [](TFont& f) { return f.Size(); }, [](TFont& f, int v) { f.SetSize(v); }),
                IntProp<TFont>(
                    "Height", [](TFont& f) { return f.Height(); }, [](TFont& f, int v) { f.SetHeight(v); }),
                IntProp<TFont>(
                    "Color", [](TFont& f) { return f.Color(); }, [](TFont& f, int v) { f.SetColor(v); }),
                IntProp<TFont>(
                    "Charset", [](TFont& f) { return f.Charset(); },
                    [](TFont& f, int v) { f.SetCharset(static_cast<TFontCharset>(v)); }),
                SetOfProp<TFont, TFontStyles>(
                    "Style", kFontStyleNames, [](TFont& f) { return f.Style(); },
                    [](TFont& f, TFontStyles v) { f.SetStyle(v); })});
  RegisterClassProps<TControl>(
      "TControl",
      {IntProp<TControl>(
           "Left", [](TControl& c) { return c.Left(); }, [](TControl& c, int v) { c.SetLeft(v); }),
       IntProp<TControl>(
           "Top", [](TControl& c) { return c.Top(); }, [](TControl& c, int v) { c.SetTop(v); }),
       IntProp<TControl>(
           "Width", [](TControl& c) { return c.Width(); }, [](TControl& c, int v) { c.SetWidth(v); }),
       IntProp<TControl>(
           "Height", [](TControl& c) { return c.Height(); }, [](TControl& c, int v) { c.SetHeight(v); }),
       IntProp<TControl>(
           "ClientWidth", [](TControl& c) { return c.ClientWidth(); }, [](TControl& c, int v) { c.SetClientWidth(v); }),
       IntProp<TControl>(
           "ClientHeight", [](TControl& c) { return c.ClientHeight(); },
           [](TControl& c, int v) { c.SetClientHeight(v); }),
       EnumProp<TControl, TAlign>(
           "Align", kAlignNames, [](TControl& c) { return c.Align(); }, [](TControl& c, TAlign v) { c.SetAlign(v); }),
       BoolProp<TControl>(
           "Visible", [](TControl& c) { return c.Visible(); }, [](TControl& c, bool v) { c.SetVisible(v); }),
       BoolProp<TControl>(
           "Enabled", [](TControl& c) { return c.Enabled(); }, [](TControl& c, bool v) { c.SetEnabled(v); }),
       StrProp<TControl>(
           "Caption", [](TControl& c) { return c.Caption(); },
           [](TControl& c, const AnsiString& v) { c.SetCaption(v); }),
       StrProp<TControl>(
           "Text", [](TControl& c) { return c.Text(); }, [](TControl& c, const AnsiString& v) { c.SetText(v); }),
       IntProp<TControl>(
           "Color", [](TControl& c) { return c.Color(); }, [](TControl& c, int v) { c.SetColor(v); }),
       BoolProp<TControl>(
           "ParentColor", [](TControl& c) { return c.ParentColor(); },
           [](TControl& c, bool v) { c.SetParentColor(v); }),
       BoolProp<TControl>(
           "ParentFont", [](TControl& c) { return c.ParentFont(); }, [](TControl& c, bool v) { c.SetParentFont(v); }),
       ObjProp<TControl>(
           "Font", [](TControl& c) -> TObject* { return c.Font(); },
           [](TControl& c, TObject* v) {
             if (auto* f = dynamic_cast<TFont*>(v)) c.SetFont(f);
           }),
       StrProp<TControl>(
           "Hint", [](TControl& c) { return c.Hint; }, [](TControl& c, const AnsiString& v) { c.Hint = v; }),
       BoolProp<TControl>(
           "ShowHint", [](TControl& c) { return c.ShowHint; }, [](TControl& c, bool v) { c.ShowHint = v; }),
       IntProp<TControl>(
           "Cursor", [](TControl& c) { return c.Cursor(); }, [](TControl& c, int v) { c.SetCursor(v); }),
       ObjProp<TControl>(
           "PopupMenu", [](TControl& c) -> TObject* { return c.PopupMenu; },
           [](TControl& c, TObject* v) { c.PopupMenu = dynamic_cast<TPopupMenu*>(v); })});
  RegisterClassProps<TWinControl>(
      "TWinControl",
      {IntProp<TWinControl>(
           "TabOrder", [](TWinControl& c) { return c.TabOrder(); }, [](TWinControl& c, int v) { c.SetTabOrder(v); }),
       BoolProp<TWinControl>(
           "TabStop", [](TWinControl& c) { return c.TabStop(); }, [](TWinControl& c, bool v) { c.SetTabStop(v); })});
  RegisterClassProps<TCustomForm>(
      "TCustomForm",
      {EnumProp<TCustomForm, TFormBorderStyle>(
           "BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
           [](TCustomForm& f) { return f.BorderStyle(); },
           [](TCustomForm& f, TFormBorderStyle v) { f.SetBorderStyle(v); }),
       SetOfProp<TCustomForm, TBorderIcons>(
           "BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
           [](TCustomForm& f) { return f.BorderIcons(); }, [](TCustomForm& f, TBorderIcons v) { f.SetBorderIcons(v); }),
       EnumProp<TCustomForm, TPosition>(
           "Position",
           {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter", "poDesktopCenter",
            "poMainFormCenter", "poOwnerFormCenter"},
           [](TCustomForm& f) { return f.Position(); }, [](TCustomForm& f, TPosition v) { f.SetPosition(v); }),
       EnumProp<TCustomForm, TWindowState>(
           "WindowState", {"wsNormal", "wsMinimized", "wsMaximized"}, [](TCustomForm& f) { return f.WindowState(); },
           [](TCustomForm& f, TWindowState v) { f.SetWindowState(v); }),
       EnumProp<TCustomForm, TFormStyle>(
           "FormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"},
           [](TCustomForm& f) { return f.FormStyle(); }, [](TCustomForm& f, TFormStyle v) { f.SetFormStyle(v); }),
       BoolProp<TCustomForm>(
           "KeyPreview", [](TCustomForm& f) { return f.KeyPreview; }, [](TCustomForm& f, bool v) { f.KeyPreview = v; }),
       BoolProp<TCustomForm>(
           "Scaled", [](TCustomForm& f) { return f.Scaled; }, [](TCustomForm& f, bool v) { f.Scaled = v; }),
       IntProp<TCustomForm>(
           "ModalResult", [](TCustomForm& f) { return f.ModalResult(); },
           [](TCustomForm& f, int v) { f.SetModalResult(v); }),
       ObjProp<TCustomForm>(
           "Menu", [](TCustomForm& f) -> TObject* { return f.Menu(); },
           [](TCustomForm& f, TObject* v) { f.SetMenu(dynamic_cast<TMainMenu*>(v)); }),
       ObjProp<TCustomForm>(
           "ActiveControl", [](TCustomForm& f) -> TObject* { return f.ActiveControl(); },
           [](TCustomForm& f, TObject* v) { f.SetActiveControl(dynamic_cast<TWinControl*>(v)); })});
  const std::vector<AnsiString> alignment = {"taLeftJustify", "taRightJustify", "taCenter"};
  RegisterClassProps<TButtonControl>("TButtonControl", {BoolProp<TButtonControl>(
                                                           "WordWrap", [](TButtonControl& b) { return b.WordWrap(); },
                                                           [](TButtonControl& b, bool v) { b.SetWordWrap(v); })});
  RegisterClassProps<TButton>(
      "TButton",
      {BoolProp<TButton>(
           "Default", [](TButton& b) { return b.Default(); }, [](TButton& b, bool v) { b.SetDefault(v); }),
       BoolProp<TButton>(
           "Cancel", [](TButton& b) { return b.Cancel(); }, [](TButton& b, bool v) { b.SetCancel(v); }),
       IntProp<TButton>(
           "ModalResult", [](TButton& b) { return b.ModalResult(); }, [](TButton& b, int v) { b.SetModalResult(v); })});
  RegisterClassProps<TCustomCheckBox>(
      "TCustomCheckBox",
      {BoolProp<TCustomCheckBox>(
           "Checked", [](TCustomCheckBox& b) { return b.Checked(); },
           [](TCustomCheckBox& b, bool v) { b.SetChecked(v); }),
       EnumProp<TCustomCheckBox, TCheckBoxState>(
           "State", {"cbUnchecked", "cbChecked", "cbGrayed"}, [](TCustomCheckBox& b) { return b.State(); },
           [](TCustomCheckBox& b, TCheckBoxState v) { b.SetState(v); }),
       BoolProp<TCustomCheckBox>(
           "AllowGrayed", [](TCustomCheckBox& b) { return b.AllowGrayed; },
           [](TCustomCheckBox& b, bool v) { b.AllowGrayed = v; }),
       EnumProp<TCustomCheckBox, TAlignment>(
           "Alignment", alignment, [](TCustomCheckBox& b) { return b.Alignment; },
           [](TCustomCheckBox& b, TAlignment v) { b.Alignment = v; })});
  RegisterClassProps<TRadioButton>("TRadioButton", {BoolProp<TRadioButton>(
                                                       "Checked", [](TRadioButton& b) { return b.Checked(); },
                                                       [](TRadioButton& b, bool v) { b.SetChecked(v); })});
  RegisterClassProps<TCustomLabel>(
      "TCustomLabel",
      {EnumProp<TCustomLabel, TAlignment>(
           "Alignment", alignment, [](TCustomLabel& l) { return l.Alignment(); },
           [](TCustomLabel& l, TAlignment v) { l.SetAlignment(v); }),
       BoolProp<TCustomLabel>(
           "AutoSize", [](TCustomLabel& l) { return l.AutoSize(); }, [](TCustomLabel& l, bool v) { l.SetAutoSize(v); }),
       BoolProp<TCustomLabel>(
           "WordWrap", [](TCustomLabel& l) { return l.WordWrap(); }, [](TCustomLabel& l, bool v) { l.SetWordWrap(v); }),
       BoolProp<TCustomLabel>(
           "Transparent", [](TCustomLabel& l) { return l.Transparent(); },
           [](TCustomLabel& l, bool v) { l.SetTransparent(v); })});
  RegisterClassProps<TCustomEdit>("TCustomEdit", {BoolProp<TCustomEdit>(
                                                      "ReadOnly", [](TCustomEdit& e) { return e.ReadOnly(); },
                                                      [](TCustomEdit& e, bool v) { e.SetReadOnly(v); }),
                                                  IntProp<TCustomEdit>(
                                                      "MaxLength", [](TCustomEdit& e) { return e.MaxLength(); },
                                                      [](TCustomEdit& e, int v) { e.SetMaxLength(v); })});
  RegisterClassProps<TCustomMemo>(
      "TCustomMemo",
      {EnumProp<TCustomMemo, TScrollStyle>(
           "ScrollBars", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"},
           [](TCustomMemo& m) { return m.ScrollBars(); }, [](TCustomMemo& m, TScrollStyle v) { m.SetScrollBars(v); }),
       BoolProp<TCustomMemo>(
           "WordWrap", [](TCustomMemo& m) { return m.WordWrap(); }, [](TCustomMemo& m, bool v) { m.SetWordWrap(v); })});
  RegisterClassProps<TCustomComboBox>(
      "TCustomComboBox",
      {EnumProp<TCustomComboBox, TComboBoxStyle>(
           "Style", {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed"},
           [](TCustomComboBox& c) { return c.Style(); }, [](TCustomComboBox& c, TComboBoxStyle v) { c.SetStyle(v); }),
       IntProp<TCustomComboBox>(
           "ItemHeight", [](TCustomComboBox& c) { return c.ItemHeight(); },
           [](TCustomComboBox& c, int v) { c.SetItemHeight(v); }),
       IntProp<TCustomComboBox>(
           "ItemIndex", [](TCustomComboBox& c) { return c.ItemIndex(); },
           [](TCustomComboBox& c, int v) { c.SetItemIndex(v); }),
       IntProp<TCustomComboBox>(
           "DropDownCount", [](TCustomComboBox& c) { return c.DropDownCount; },
           [](TCustomComboBox& c, int v) { c.DropDownCount = v; }),
       ObjProp<TCustomComboBox>("Items", [](TCustomComboBox& c) -> TObject* { return c.Items(); })});
  RegisterClassProps<TCustomListBox>(
      "TCustomListBox", {IntProp<TCustomListBox>(
                             "ItemIndex", [](TCustomListBox& c) { return c.ItemIndex(); },
                             [](TCustomListBox& c, int v) { c.SetItemIndex(v); }),
                         ObjProp<TCustomListBox>("Items", [](TCustomListBox& c) -> TObject* { return c.Items(); })});
  RegisterClassProps<TCustomStatusBar>(
      "TCustomStatusBar",
      {BoolProp<TCustomStatusBar>(
           "SimplePanel", [](TCustomStatusBar& s) { return s.SimplePanel(); },
           [](TCustomStatusBar& s, bool v) { s.SetSimplePanel(v); }),
       StrProp<TCustomStatusBar>(
           "SimpleText", [](TCustomStatusBar& s) { return s.SimpleText(); },
           [](TCustomStatusBar& s, const AnsiString& v) { s.SetSimpleText(v); }),
       BoolProp<TCustomStatusBar>(
           "SizeGrip", [](TCustomStatusBar& s) { return s.SizeGrip(); },
           [](TCustomStatusBar& s, bool v) { s.SetSizeGrip(v); }),
       ObjProp<TCustomStatusBar>("Panels", [](TCustomStatusBar& s) -> TObject* { return s.Panels(); })});
  RegisterClassProps<TProgressBar>(
      "TProgressBar",
      {IntProp<TProgressBar>(
           "Min", [](TProgressBar& p) { return p.Min(); }, [](TProgressBar& p, int v) { p.SetMin(v); }),
       IntProp<TProgressBar>(
           "Max", [](TProgressBar& p) { return p.Max(); }, [](TProgressBar& p, int v) { p.SetMax(v); }),
       IntProp<TProgressBar>(
           "Position", [](TProgressBar& p) { return p.Position(); }, [](TProgressBar& p, int v) { p.SetPosition(v); }),
       IntProp<TProgressBar>(
           "Step", [](TProgressBar& p) { return p.Step(); }, [](TProgressBar& p, int v) { p.SetStep(v); }),
       BoolProp<TProgressBar>(
           "Smooth", [](TProgressBar& p) { return p.Smooth(); }, [](TProgressBar& p, bool v) { p.SetSmooth(v); }),
       EnumProp<TProgressBar, TProgressBarOrientation>(
           "Orientation", {"pbHorizontal", "pbVertical"}, [](TProgressBar& p) { return p.Orientation(); },
           [](TProgressBar& p, TProgressBarOrientation v) { p.SetOrientation(v); })});
  RegisterClassProps<TCustomTabControl>("TCustomTabControl",
                                        {EnumProp<TCustomTabControl, TTabPosition>(
                                            "TabPosition", {"tpTop", "tpBottom", "tpLeft", "tpRight"},
                                            [](TCustomTabControl& t) { return t.TabPosition(); },
                                            [](TCustomTabControl& t, TTabPosition v) { t.SetTabPosition(v); })});
  RegisterClassProps<TTabControl>(
      "TTabControl",
      {IntProp<TTabControl>(
           "TabIndex", [](TTabControl& t) { return t.TabIndex(); }, [](TTabControl& t, int v) { t.SetTabIndex(v); }),
       ObjProp<TTabControl>("Tabs", [](TTabControl& t) -> TObject* { return t.Tabs(); })});
  RegisterClassProps<TPageControl>("TPageControl",
                                   {IntProp<TPageControl>(
                                       "ActivePageIndex", [](TPageControl& p) { return p.ActivePageIndex(); },
                                       [](TPageControl& p, int v) { p.SetActivePageIndex(v); })});
  RegisterClassProps<TTabSheet>(
      "TTabSheet",
      {BoolProp<TTabSheet>(
           "TabVisible", [](TTabSheet& s) { return s.TabVisible(); }, [](TTabSheet& s, bool v) { s.SetTabVisible(v); }),
       IntProp<TTabSheet>("PageIndex", [](TTabSheet& s) { return s.PageIndex(); }),
       IntProp<TTabSheet>("TabIndex", [](TTabSheet& s) { return s.TabIndex(); })});
  RegisterClassProps<TTrackBar>(
      "TTrackBar",
      {IntProp<TTrackBar>(
           "Min", [](TTrackBar& t) { return t.Min(); }, [](TTrackBar& t, int v) { t.SetMin(v); }),
       IntProp<TTrackBar>(
           "Max", [](TTrackBar& t) { return t.Max(); }, [](TTrackBar& t, int v) { t.SetMax(v); }),
       IntProp<TTrackBar>(
           "Position", [](TTrackBar& t) { return t.Position(); }, [](TTrackBar& t, int v) { t.SetPosition(v); }),
       IntProp<TTrackBar>(
           "Frequency", [](TTrackBar& t) { return t.Frequency(); }, [](TTrackBar& t, int v) { t.SetFrequency(v); }),
       EnumProp<TTrackBar, TTrackBarOrientation>(
           "Orientation", {"trHorizontal", "trVertical"}, [](TTrackBar& t) { return t.Orientation(); },
           [](TTrackBar& t, TTrackBarOrientation v) { t.SetOrientation(v); })});
  RegisterClassProps<TScrollBar>(
      "TScrollBar",
      {EnumProp<TScrollBar, TScrollBarKind>(
           "Kind", {"sbHorizontal", "sbVertical"}, [](TScrollBar& b) { return b.Kind(); },
           [](TScrollBar& b, TScrollBarKind v) { b.SetKind(v); }),
       IntProp<TScrollBar>(
           "Min", [](TScrollBar& b) { return b.Min(); }, [](TScrollBar& b, int v) { b.SetMin(v); }),
       IntProp<TScrollBar>(
           "Max", [](TScrollBar& b) { return b.Max(); }, [](TScrollBar& b, int v) { b.SetMax(v); }),
       IntProp<TScrollBar>(
           "Position", [](TScrollBar& b) { return b.Position(); }, [](TScrollBar& b, int v) { b.SetPosition(v); }),
       IntProp<TScrollBar>(
           "PageSize", [](TScrollBar& b) { return b.PageSize(); }, [](TScrollBar& b, int v) { b.SetPageSize(v); }),
       IntProp<TScrollBar>(
           "SmallChange", [](TScrollBar& b) { return b.SmallChange(); },
           [](TScrollBar& b, int v) { b.SetSmallChange(v); }),
       IntProp<TScrollBar>(
           "LargeChange", [](TScrollBar& b) { return b.LargeChange(); },
           [](TScrollBar& b, int v) { b.SetLargeChange(v); })});
  RegisterClassProps<TUpDown>(
      "TUpDown", {IntProp<TUpDown>(
                      "Min", [](TUpDown& u) { return u.Min(); }, [](TUpDown& u, int v) { u.SetMin(v); }),
                  IntProp<TUpDown>(
                      "Max", [](TUpDown& u) { return u.Max(); }, [](TUpDown& u, int v) { u.SetMax(v); }),
                  IntProp<TUpDown>(
                      "Position", [](TUpDown& u) { return u.Position(); }, [](TUpDown& u, int v) { u.SetPosition(v); }),
                  BoolProp<TUpDown>(
                      "Wrap", [](TUpDown& u) { return u.Wrap(); }, [](TUpDown& u, bool v) { u.SetWrap(v); }),
                  EnumProp<TUpDown, TUDOrientation>(
                      "Orientation", {"udHorizontal", "udVertical"}, [](TUpDown& u) { return u.Orientation(); },
                      [](TUpDown& u, TUDOrientation v) { u.SetOrientation(v); })});
  RegisterClassProps<TDateTimePicker>("TDateTimePicker",
                                      {EnumProp<TDateTimePicker, TDateTimeKind>(
                                          "Kind", {"dtkDate", "dtkTime"}, [](TDateTimePicker& d) { return d.Kind(); },
                                          [](TDateTimePicker& d, TDateTimeKind v) { d.SetKind(v); })});
  const std::vector<AnsiString> bevels = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
  RegisterClassProps<TCustomPanel>("TCustomPanel",
                                   {EnumProp<TCustomPanel, TBevelCut>(
                                        "BevelOuter", bevels, [](TCustomPanel& p) { return p.BevelOuter(); },
                                        [](TCustomPanel& p, TBevelCut v) { p.SetBevelOuter(v); }),
                                    EnumProp<TCustomPanel, TBevelCut>(
                                        "BevelInner", bevels, [](TCustomPanel& p) { return p.BevelInner(); },
                                        [](TCustomPanel& p, TBevelCut v) { p.SetBevelInner(v); }),
                                    EnumProp<TCustomPanel, TAlignment>(
                                        "Alignment", alignment, [](TCustomPanel& p) { return p.Alignment(); },
                                        [](TCustomPanel& p, TAlignment v) { p.SetAlignment(v); }),
                                    BoolProp<TCustomPanel>(
                                        "Transparent", [](TCustomPanel& p) { return p.Transparent; },
                                        [](TCustomPanel& p, bool v) { p.Transparent = v; })});
  RegisterClassProps<TImage>(
      "TImage", {BoolProp<TImage>(
                     "Stretch", [](TImage& i) { return i.Stretch(); }, [](TImage& i, bool v) { i.SetStretch(v); }),
                 BoolProp<TImage>(
                     "Center", [](TImage& i) { return i.Center(); }, [](TImage& i, bool v) { i.SetCenter(v); }),
                 ObjProp<TImage>("Picture", [](TImage& i) -> TObject* { return i.Picture(); })});
  RegisterClassProps<TSpeedButton>(
      "TSpeedButton",
      {BoolProp<TSpeedButton>(
           "Down", [](TSpeedButton& b) { return b.Down(); }, [](TSpeedButton& b, bool v) { b.SetDown(v); }),
       IntProp<TSpeedButton>(
           "GroupIndex", [](TSpeedButton& b) { return b.GroupIndex(); },
           [](TSpeedButton& b, int v) { b.SetGroupIndex(v); }),
       BoolProp<TSpeedButton>(
           "AllowAllUp", [](TSpeedButton& b) { return b.AllowAllUp; },
           [](TSpeedButton& b, bool v) { b.AllowAllUp = v; }),
       BoolProp<TSpeedButton>(
           "Flat", [](TSpeedButton& b) { return b.Flat(); }, [](TSpeedButton& b, bool v) { b.SetFlat(v); }),
       ObjProp<TSpeedButton>("Glyph", [](TSpeedButton& b) -> TObject* { return b.Glyph(); }),
       IntProp<TSpeedButton>(
           "NumGlyphs", [](TSpeedButton& b) { return b.NumGlyphs(); },
           [](TSpeedButton& b, int v) { b.SetNumGlyphs(v); }),
       EnumProp<TSpeedButton, TButtonLayout>(
           "Layout", kLayoutNames, [](TSpeedButton& b) { return b.Layout(); },
           [](TSpeedButton& b, TButtonLayout v) { b.SetLayout(v); }),
       IntProp<TSpeedButton>(
           "Margin", [](TSpeedButton& b) { return b.Margin(); }, [](TSpeedButton& b, int v) { b.SetMargin(v); }),
       IntProp<TSpeedButton>(
           "Spacing", [](TSpeedButton& b) { return b.Spacing(); }, [](TSpeedButton& b, int v) { b.SetSpacing(v); })});
  RegisterClassProps<TBitBtn>(
      "TBitBtn",
      {ObjProp<TBitBtn>("Glyph", [](TBitBtn& b) -> TObject* { return b.Glyph(); }),
       IntProp<TBitBtn>(
           "NumGlyphs", [](TBitBtn& b) { return b.NumGlyphs(); }, [](TBitBtn& b, int v) { b.SetNumGlyphs(v); }),
       EnumProp<TBitBtn, TButtonLayout>(
           "Layout", kLayoutNames, [](TBitBtn& b) { return b.Layout(); },
           [](TBitBtn& b, TButtonLayout v) { b.SetLayout(v); }),
       IntProp<TBitBtn>(
           "Margin", [](TBitBtn& b) { return b.Margin(); }, [](TBitBtn& b, int v) { b.SetMargin(v); }),
       IntProp<TBitBtn>(
           "Spacing", [](TBitBtn& b) { return b.Spacing(); }, [](TBitBtn& b, int v) { b.SetSpacing(v); })});
  RegisterClassProps<TMenuItem>(
      "TMenuItem",
      {StrProp<TMenuItem>(
           "Caption", [](TMenuItem& m) { return m.Caption(); },
           [](TMenuItem& m, const AnsiString& v) { m.SetCaption(v); }),
       BoolProp<TMenuItem>(
           "Checked", [](TMenuItem& m) { return m.Checked(); }, [](TMenuItem& m, bool v) { m.SetChecked(v); }),
       BoolProp<TMenuItem>(
           "Enabled", [](TMenuItem& m) { return m.Enabled(); }, [](TMenuItem& m, bool v) { m.SetEnabled(v); }),
       BoolProp<TMenuItem>(
           "Visible", [](TMenuItem& m) { return m.Visible(); }, [](TMenuItem& m, bool v) { m.SetVisible(v); })});
  RegisterClassProps<TToolBar>(
      "TToolBar",
      {BoolProp<TToolBar>(
           "Flat", [](TToolBar& t) { return t.Flat(); }, [](TToolBar& t, bool v) { t.SetFlat(v); }),
       BoolProp<TToolBar>(
           "ShowCaptions", [](TToolBar& t) { return t.ShowCaptions(); },
           [](TToolBar& t, bool v) { t.SetShowCaptions(v); }),
       IntProp<TToolBar>(
           "ButtonWidth", [](TToolBar& t) { return t.ButtonWidth(); }, [](TToolBar& t, int v) { t.SetButtonWidth(v); }),
       IntProp<TToolBar>(
           "ButtonHeight", [](TToolBar& t) { return t.ButtonHeight(); },
           [](TToolBar& t, int v) { t.SetButtonHeight(v); }),
       ObjProp<TToolBar>(
           "Images", [](TToolBar& t) -> TObject* { return t.Images; },
           [](TToolBar& t, TObject* v) { t.Images = dynamic_cast<TCustomImageList*>(v); }),
       ObjProp<TToolBar>(
           "Menu", [](TToolBar& t) -> TObject* { return t.Menu; },
           [](TToolBar& t, TObject* v) { t.Menu = dynamic_cast<TMenuItem*>(v); })});
  RegisterClassProps<TToolButton>(
      "TToolButton",
      {EnumProp<TToolButton, TToolButtonStyle>(
           "Style", {"tbsButton", "tbsCheck", "tbsDropDown", "tbsSeparator", "tbsDivider"},
           [](TToolButton& b) { return b.Style(); }, [](TToolButton& b, TToolButtonStyle v) { b.SetStyle(v); }),
       IntProp<TToolButton>(
           "ImageIndex", [](TToolButton& b) { return b.ImageIndex(); },
           [](TToolButton& b, int v) { b.SetImageIndex(v); }),
       BoolProp<TToolButton>(
           "Down", [](TToolButton& b) { return b.Down(); }, [](TToolButton& b, bool v) { b.SetDown(v); }),
       ObjProp<TToolButton>(
           "MenuItem", [](TToolButton& b) -> TObject* { return b.MenuItem; },
           [](TToolButton& b, TObject* v) { b.MenuItem = dynamic_cast<TMenuItem*>(v); })});
  RegisterClassProps<TSplitter>(
      "TSplitter",
      {IntProp<TSplitter>(
           "MinSize", [](TSplitter& s) { return s.MinSize; }, [](TSplitter& s, int v) { s.MinSize = v; }),
       BoolProp<TSplitter>(
           "Beveled", [](TSplitter& s) { return s.Beveled; }, [](TSplitter& s, bool v) { s.Beveled = v; })});
  RegisterClassProps<TCustomListView>(
      "TCustomListView",
      {EnumProp<TCustomListView, TViewStyle>(
           "ViewStyle", {"vsIcon", "vsSmallIcon", "vsList", "vsReport"},
           [](TCustomListView& l) { return l.ViewStyle(); },
           [](TCustomListView& l, TViewStyle v) { l.SetViewStyle(v); }),
       BoolProp<TCustomListView>(
           "RowSelect", [](TCustomListView& l) { return l.RowSelect(); },
           [](TCustomListView& l, bool v) { l.SetRowSelect(v); }),
       BoolProp<TCustomListView>(
           "GridLines", [](TCustomListView& l) { return l.GridLines(); },
           [](TCustomListView& l, bool v) { l.SetGridLines(v); }),
       BoolProp<TCustomListView>(
           "ShowColumnHeaders", [](TCustomListView& l) { return l.ShowColumnHeaders(); },
           [](TCustomListView& l, bool v) { l.SetShowColumnHeaders(v); }),
       ObjProp<TCustomListView>("Columns", [](TCustomListView& l) -> TObject* { return l.Columns(); }),
       ObjProp<TCustomListView>("Items", [](TCustomListView& l) -> TObject* { return l.Items(); })});
  RegisterClassProps<TTimer>(
      "TTimer", {BoolProp<TTimer>(
                     "Enabled", [](TTimer& t) { return t.Enabled(); }, [](TTimer& t, bool v) { t.SetEnabled(v); }),
                 IntProp<TTimer>(
                     "Interval", [](TTimer& t) { return static_cast<int>(t.Interval()); },
                     [](TTimer& t, int v) { t.SetInterval(static_cast<unsigned>(std::max(v, 0))); })});
}

}  // namespace

void RegisterStandardPropTables() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}
