#include "skin/skin_data.h"

#include <algorithm>
#include <cctype>

#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/core/sysutils.h"
#include "skin/quick_ini.h"
#include "skin/skin_manager.h"
#include "skin/skin_reader.h"

namespace {

// The colour table: key, slot and default, in reading order.
struct TColourKey {
  const char* Key;
  int Slot;
  TColor Default;  // kColourNotGiven: the face colour just read (Menubar)
};
constexpr TColor Sys(int index) { return static_cast<TColor>(0xFF000000u | static_cast<uint32_t>(index)); }
const TColourKey kColourKeys[] = {
    {"WindowText", csWindowText, Sys(8)},
    {"ButtonFace", csButtonFace, Sys(15)},
    {"Scrollbar", csScrollbar, Sys(0)},
    {"HilightText", csHilightText, Sys(14)},
    {"Hilight", csHilight, Sys(13)},
    {"Menubar", csMenubar, kColourNotGiven},
    {"Menu", csMenu, Sys(4)},
    {"MenuText", csMenuText, Sys(7)},
    {"ButtonText", csButtonText, Sys(18)},
    {"ButtonHilight", csButtonHilight, Sys(20)},
    {"Buttonlight", csButtonlight, Sys(20)},
    {"ButtonShadow", csButtonShadow, Sys(16)},
    {"ButtonDkShadow", csButtonDkShadow, Sys(21)},
    {"MenuBarText", csMenuBarText, Sys(7)},
    {"TitleTextActive", csTitleTextActive, Sys(9)},
    {"TitleTextNoActive", csTitleTextNoActive, Sys(19)},
};

// Controls of other component libraries and the kind of skinner each gets.
const char* const kSkin3rdDefault[] = {
    "TCategoryButtons=scrollbar",
    "TPngSpeedbutton=pngspeedbutton",
    "TPngBitBtn=pngbitbtn",
    "TVirtualStringTree=scrollbar",
    "TVirtualDrawTree=scrollbar",
    "TAdvPanelGroup=scrollbar",
    "THTMLViewer=scrollbar",
    "TDBCtrlGrid=scrollbar",
    "TImageEnMView=scrollbar",
    "TImageEnView=scrollbar",
    "TAdvMemo=scrollbar",
    "TDBAdvMemo=scrollbar",
    "TTBXDockablePanel=Panel",
    "TControlBar=Panel",
    "TTBDock=Panel",
    "TTBToolbar=Panel",
    "TRzGroup=Panel",
    "TLMDCalculator=panel",
    "TLMDGROUPBOX=panel",
    "TLMDSIMPLEPANEL=panel",
    "TLMDDBCalendar=panel",
    "TLMDButtonPanel=panel",
    "TLMDLMDCalculator=panel",
    "TLMDHeaderPanel=panel",
    "TLMDTechnicalLine=panel",
    "TLMDLMDClock=panel",
    "TLMDTrackbar=panel",
    "TComboboxex=combobox",
    "TcxDBLookupComboBox=combobox",
    "TcxDBComboBox=combobox",
    "TcxDBDateEdit=combobox",
    "TcxDBImageComboBox=combobox",
    "TcxDBCalcEdit=combobox",
    "TcxDBBlobEdit=combobox",
    "TcxDBPopupEdit=combobox",
    "TcxDBFontNameComboBox=combobox",
    "TcxDBShellComboBox=combobox",
    "TRxLookupEdit=combobox",
    "TRxDBLookupCombo=combobox",
    "TRzDateTimeEdit=combobox",
    "TRzColorEdit=combobox",
    "TRzDateTimePicker=combobox",
    "TRzDBDateTimeEdit=combobox",
    "TRzDbColorEdit=combobox",
    "TRzDBDateTimePicker=combobox",
    "TLMDListCombobox=Combobox",
    "TLMDCheckListCombobox=Combobox",
    "TLMDHeaderListCombobox=Combobox",
    "TLMDImageCombobox=Combobox",
    "TLMDColorCombobox=Combobox",
    "TLMDFontCombobox=Combobox",
    "TLMDFontSizeCombobox=Combobox",
    "TLMDFontSizeCombobox=Combobox",
    "TLMDPrinterCombobox=Combobox",
    "TLMDDriveCombobox=Combobox",
    "TLMDCalculatorComboBox=Combobox",
    "TLMDTrackBarComboBox=Combobox",
    "TLMDCalendarComboBox=Combobox",
    "TLMDTreeComboBox=Combobox",
    "TDBLookupCombobox=Combobox",
    "TWWDBCombobox=Combobox",
    "TWWDBCombobox=Combobox",
    "TWWDBLookupCombo=Combobox",
    "TWWKeyCombo=Combobox",
    "TWWTempKeyCombo=Combobox",
    "TWWDBDateTimePicker=Combobox",
    "TRxSpeedButton=speedbutton",
    "TfrSpeedButton=speedbutton",
    "TfrTBButton=speedbutton",
    "TRzButton=button",
    "TRzBitbtn=bitbtn",
    "TLMDButton=bitbtn",
    "TcxButton=bitbtn",
    "TRzMenuButton=menubtn",
    "TRzCheckGroup=CheckGroup",
    "TLMDCheckGroup=CheckGroup",
    "TLMDDBCheckGroup=CheckGroup",
    "TRzRadioGroup=Radiogroup",
    "TRzDBRadioGroup=Radiogroup",
    "TLMDRADIOGROUP=radiogroup",
    "TLMDDBRADIOGROUP=radiogroup",
    "TWWRADIOGROUP=radiogroup",
    "TcxDBRadioGroup=radiogroup",
    "TcxRadioGroup=radiogroup",
    "TRzButtonEdit=edit",
    "TLMDCalculatorEdit=edit",
    "TLMDEDIT=Edit",
    "TLMDMASKEDIT=Edit",
    "TLMDBROWSEEDIT=Edit",
    "TLMDEXTSPINEDIT=Edit",
    "TLMDCALENDAREDIT=Edit",
    "TLMDFILEOPENEDIT=Edit",
    "TLMDFILESAVEEDIT=Edit",
    "TLMDCOLOREDIT=Edit",
    "TLMDDBEDIT=Edit",
    "TLMDDBMASKEDIT=Edit",
    "TLMDDBEXTSPINEDIT=Edit",
    "TLMDDBSPINEDIT=Edit",
    "TLMDDBEDITDBLookup=Edit",
    "TLMDEDITDBLookup=Edit",
    "TWWDBEDIT=Edit",
    "TOVCPICTUREFIELD=Edit",
    "TOVCDBPICTUREFIELD=Edit",
    "TOVCSLIDEREDIT=Edit",
    "TOVCDBSLIDEREDIT=Edit",
    "TOVCSIMPLEFIELD=Edit",
    "TOVCDBSIMPLEFIELD=Edit",
    "TO32DBFLEXEDIT=Edit",
    "TOVCNUMERICFIELD=Edit",
    "TRzDBRadioButton=Radiobutton",
    "TLMDRadiobutton=Radiobutton",
    "TLMDGroupBox=Groupbox",
    "TcxGroupbox=groupbox",
    "TDBCheckboxEh=Checkbox",
    "TDBCheckboxEh=Checkbox",
    "TLMDCHECKBOX=Checkbox",
    "TLMDDBCHECKBOX=Checkbox",
    "TOVCDBNUMERICFIELD=Edit",
};

bool StartsWith(const AnsiString& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

TColor ReadSkinColour(const AnsiString& Text, TColor Default) {
  const AnsiString t = Trim(Text);
  if (t.empty()) return Default;
  int parts[3] = {0, 0, 0};
  int stored = 0;
  size_t i = 0;
  while (i < t.size()) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) {
      ++i;
      continue;
    }
    unsigned value = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
      value = (value * 10 + static_cast<unsigned>(t[i] - '0')) % 256;
      ++i;
    }
    // A run at the very end counts only as B, and only after R and G; runs beyond three
    // numbers are ignored.
    if (i < t.size()) {
      if (stored < 3) parts[stored++] = static_cast<int>(value);
    } else if (stored == 2) {
      parts[stored++] = static_cast<int>(value);
    }
  }
  return static_cast<TColor>(RGB(parts[0], parts[1], parts[2]));
}

TSkinData::TSkinData(TComponent* AOwner) : TComponent(AOwner) {
  for (int i = int(xcMainMenu); i <= int(xcFastReport); ++i)
    if (i != xcMenuItem && i != xcFastReport) SkinControls << static_cast<TSkinControlType>(i);
  Options << xoPreview << xoToolbarBK;
  for (const char* line : kSkin3rdDefault) Skin3rd.Add(line);
  static const char* const kBorders[] = {"Left", "Right", "Top", "Bottom"};
  for (int i = 0; i < 4; ++i) borders_[i] = std::make_unique<TDataSkinBorder>(kBorders[i]);
  title_ = std::make_unique<TDataSkinTitle>("Title");
  buttons_ = std::make_unique<TDataSkinButton>("Buttons");
  for (const auto& k : kColourKeys) colours_[k.Slot] = k.Default == kColourNotGiven ? Sys(15) : k.Default;
  skin_user32::Bind();
}

TSkinData::~TSkinData() {
  TSkinManage::Forget(this);
  if (face_brush_) DeleteObject(face_brush_);
}

TCustomImageList* TSkinData::MenuGlyphs() {
  if (menu_glyphs_) return menu_glyphs_.get();
  constexpr int kCell = 16;
  // Drawn into a bitmap of its own: the list reads a bitmap that no canvas holds.
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP strip = CreateBitmap(4 * kCell, kCell, 1, 32, nullptr);
  if (!dc || !strip) {
    if (strip) DeleteObject(strip);
    if (dc) DeleteDC(dc);
    throw EOutOfResources("Cannot create the menu glyphs");
  }
  HGDIOBJ old = SelectObject(dc, strip);
  RECT all{0, 0, 4 * kCell, kCell};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HBRUSH ink = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  auto bar = [&](int cell, int l, int t, int r, int b) {
    RECT x{cell * kCell + l, t, cell * kCell + r, b};
    FillRect(dc, &x, ink);
  };
  // A window outline with a heavy title edge.
  auto window = [&](int cell, int l, int t, int r, int b) {
    RECT inside{cell * kCell + l, t, cell * kCell + r, b};
    FillRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    bar(cell, l, t, r, t + 2);
    bar(cell, l, b - 1, r, b);
    bar(cell, l, t, l + 1, b);
    bar(cell, r - 1, t, r, b);
  };
  window(0, 6, 3, 13, 9);  // restore: two windows, the front one lower left
  window(0, 3, 7, 10, 13);
  window(1, 3, 3, 13, 13);       // maximise
  bar(2, 4, 10, 11, 12);         // minimise
  for (int i = 0; i < 8; ++i) {  // close: a cross two pixels wide
    bar(3, 4 + i, 4 + i, 6 + i, 5 + i);
    bar(3, 10 - i, 4 + i, 12 - i, 5 + i);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  HIMAGELIST list = ImageList_Create(kCell, kCell, ILC_COLOR24 | ILC_MASK, 4, 0);
  const bool added = list && ImageList_AddMasked(list, strip, RGB(255, 255, 255)) == 0;
  DeleteObject(strip);
  if (!added) {
    if (list) ImageList_Destroy(list);
    throw EOutOfResources("Cannot create the menu glyphs");
  }
  menu_glyphs_ = std::make_unique<TImageList>(nullptr);
  menu_glyphs_->SetHandle(list);
  return menu_glyphs_.get();
}

TDataSkinObject* TSkinData::Element(const AnsiString& Name) const {
  auto it = elements_.find(UpperCase(Name));
  return it == elements_.end() ? nullptr : it->second.get();
}

AnsiString TSkinData::SkinStore() {
  return ComponentState().Contains(csDesigning) && skin_stream_.Size() > 0 ? "(Good)" : "(none)";
}

void TSkinData::ReadSkinStream(TStream* Stream) {
  int32_t n = 0;
  Stream->ReadBuffer(&n, 4);
  skin_stream_.Clear();
  if (n <= 0) return;
  skin_stream_.CopyFrom(Stream, n);
  if (!ComponentState().Contains(csDesigning)) LoadSkin();
}

void TSkinData::WriteSkinStream(TStream* Stream) {
  const int32_t n = static_cast<int32_t>(skin_stream_.Size());
  Stream->WriteBuffer(&n, 4);
  if (n > 0) Stream->WriteBuffer(skin_stream_.Memory(), n);
}

bool TSkinData::SetSkinBytes(const void* Data, size_t Size) {
  skin_stream_.Clear();
  if (Size) skin_stream_.WriteBuffer(Data, static_cast<int>(Size));
  if (ComponentState().Contains(csDesigning)) return false;
  return LoadSkin();
}

void TSkinData::SetSkinFile(const AnsiString& Value) {
  empty_ = true;
  skin_file_ = Value;
  if (ComponentState().Contains(csDesigning)) {
    if (!Value.empty()) skin_stream_.Clear();
    return;
  }
  if (Value.empty() || !FileExists(Value)) return;
  try {
    skin_stream_.LoadFromFile(Value);
  } catch (const Exception&) {
    return;  // unreadable: stays not loaded
  }
  if (LoadSkin()) Refresh();
}

void TSkinData::Refresh() {
  if (ComponentState().Contains(csDesigning) || ComponentState().Contains(csLoading)) return;
  if (!TSkinManage::Exists()) Loaded();
  TSkinManage* m = TSkinManage::Instance();
  m->SetCurrent(this);
  m->ReloadSkinned(this);
  if (m->State() == TSkinManage::kRunning) m->Command(3, 250);
}

void TSkinData::SetActive(bool Value) {
  if (Value == active_) return;
  active_ = Value;
  if (ComponentState().Contains(csDesigning) || ComponentState().Contains(csLoading)) return;
  if (!TSkinManage::Exists()) return;
  TSkinManage* m = TSkinManage::Instance();
  switch (SkinFormtype) {
    case sfMainform:
      if (Value) {
        if (!SkinLoaded()) return;
        m->SetCurrent(this);
        m->Command(1, 250);
        m->SetState(TSkinManage::kRunning);
      } else {
        m->SetCurrent(this);
        m->Command(2, 250);
      }
      break;
    case sfOnlyThisForm:
      m->SetCurrent(this);
      if (Value && !SkinLoaded()) return;
      m->Command(Value ? 1 : 2, 250);
      break;
    default: break;
  }
}

void TSkinData::Loaded() {
  TComponent::Loaded();
  if (ComponentState().Contains(csDesigning)) return;
  if (!skin_user32::GetScrollBarInfo) SkinControls >> xcScrollbar;
  TSkinManage* m = TSkinManage::Instance();
  m->Register(this);
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) {
    HFONT f = CreateFontIndirectA(&ncm.lfCaptionFont);
    if (f) caption_font_.SetHandle(f);
  }
  if (SkinFormtype != sfMainform) {
    m->SetEnabled(true);
    m->RaiseState();
    if (auto* form = dynamic_cast<TCustomForm*>(Owner()); form && active_) m->SkinWindow(form->Handle());
    return;
  }
  m->InstallHook();
  if (active_) {
    if (!SkinLoaded())
      active_ = false;
    else {
      m->SetCurrent(this);
      m->Command(1, 250);
    }
  }
  if (SkinControls.Contains(xcMainMenu))
    SkinControls >> xcMenuItem;
  else
    SkinControls >> xcSystemMenu;
  BuildCaptionIcon();
}

void TSkinData::BuildCaptionIcon() {
  const int w = GetSystemMetrics(SM_CXSMICON), h = GetSystemMetrics(SM_CYSMICON);
  caption_icon_.SetSize(0, 0);
  if (!Application) return;
  HWND app = Application->Handle();
  HICON icon = reinterpret_cast<HICON>(SendMessageA(app, WM_GETICON, ICON_SMALL, 0));
  if (!icon) icon = reinterpret_cast<HICON>(SendMessageA(app, WM_GETICON, ICON_BIG, 0));
  if (!icon) return;
  caption_icon_.SetPixelFormat(pf24bit);
  caption_icon_.SetSize(w, h);
  HDC dc = caption_icon_.Canvas()->Handle();
  RECT r{0, 0, w, h};
  HBRUSH magenta = CreateSolidBrush(kSkinMagenta);
  FillRect(dc, &r, magenta);
  DeleteObject(magenta);
  DrawIconEx(dc, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
  caption_icon_.SetTransparentColor(kSkinMagenta);
}

bool TSkinData::CanSkinWindow(HWND Window, const AnsiString& ClassName) {
  (void)Window;
  if (OnFormSkin) {
    bool skin = true;
    OnFormSkin(this, ClassName, skin);
    return skin;
  }
  if (ClassName == "SysMonthCal32") return false;
  if (SkinControls.Contains(xcFastReport) && StartsWith(ClassName, "Tfr")) return false;
  return true;
}

void TSkinData::SkinChanged() {
  if (OnSkinChanged) OnSkinChanged(this);
}

// ---- Loading ---------------------------------------------------------------------------------

void TSkinData::ReadImage(const TQuickIni& Ini, TSkinReader& Reader, const AnsiString& Section, const AnsiString& Key,
                          TBitmap* Target) {
  AnsiString value;
  Ini.ReadString(Section, Key, value, "");
  const AnsiString name = ExtractFileName(value);
  Target->SetSize(0, 0);
  if (name.empty() || ExtractFileExt(name) != ".bmp") return;
  TMemoryStream entry;
  if (!Reader.FindEntry(name, &entry)) return;
  try {
    Target->LoadFromStream(&entry);
  } catch (const Exception&) {
    Target->SetSize(0, 0);  // a damaged bitmap leaves the element without an image
  }
}

bool TSkinData::LoadSkin() {
  empty_ = true;
  if (skin_stream_.Size() <= 0) return false;
  TSkinReader reader;
  skin_stream_.SetPosition(0);
  try {
    if (!reader.LoadFromStream(&skin_stream_)) return false;
  } catch (const Exception&) {
    return false;  // a damaged container: the previous elements stay
  }
  TMemoryStream description;
  AnsiString name;
  if (!reader.FindEntryContaining(".ini", &description, name)) return false;
  description.SetPosition(0);
  TQuickIni ini;
  ini.LoadFromStream(&description);
  ReadElements(ini, reader);
  empty_ = false;
  return true;
}

void TSkinData::ReadElements(const TQuickIni& Ini, TSkinReader& Reader) {
  const std::vector<AnsiString> sections = Ini.Sections();
  skin_name_ = Ini.ReadString("TitlebarSkin", "SkinName", "");
  auto colour = [&](const AnsiString& section, const AnsiString& key, TColor def, bool* given = nullptr) {
    AnsiString v;
    const bool has = Ini.ReadString(section, key, v, "");
    if (given) *given = has;
    return has ? ReadSkinColour(v, def) : def;
  };

  // Window borders.
  for (int i = 0; i < 4; ++i) {
    TDataSkinBorder* b = borders_[i].get();
    const AnsiString n = b->IDName;
    ReadImage(Ini, Reader, "Personality", n, b->Map.get());
    b->Frame = std::max(1, Ini.ReadInteger("Personality", n + "Frame", 1));
    b->Tile = std::min(1, Ini.ReadInteger("Personality", n + "Stretch", 1));
    b->Trans = Ini.ReadInteger("Personality", n + "Trans", 1);
    const int first = Ini.ReadInteger("Personality", n + "TopHeight", 0);
    const int second = Ini.ReadInteger("Personality", n + "BotHeight", 0);
    if (i < 2) {
      b->LeftMargin = b->RightMargin = 0;
      b->TopMargin = first;
      b->BottomMargin = second;
    } else {
      b->TopMargin = b->BottomMargin = 0;
      b->LeftMargin = first;
      b->RightMargin = second;
    }
  }

  // Colours.
  for (const auto& k : kColourKeys) {
    bool given = false;
    const TColor def = k.Default == kColourNotGiven ? colours_[csButtonFace] : k.Default;
    colours_[k.Slot] = colour("Colours", k.Key, def, &given);
    colour_given_[k.Slot] = given;
  }
  section_colours_.clear();
  for (const AnsiString& s : sections) {
    const AnsiString up = UpperCase(s);
    if (StartsWith(up, "COLOUR") && up != "COLOURS") section_colours_.push_back(colour(s, "color", Sys(8)));
  }
  for (int i = 0; i < 10; ++i) custom_colours_[i] = colour("Customcolors", "Color" + IntToStr(i), 0xFFFFFF);

  // Caption buttons.
  sys_buttons_.clear();
  int maxX = 0, maxY = 0;
  for (const AnsiString& s : sections) {
    const AnsiString up = UpperCase(s);
    if (!StartsWith(up, "BUTTON") || up == "BUTTON" || up == "BUTTONS" || up == "BUTTON.RADIO" ||
        up == "BUTTON.CHECKBOX")
      continue;
    const int action = Ini.ReadInteger(s, "Action", 0);
    if (action == -1 && Ini.ReadInteger(s, "Visibility", -1) != 0) continue;
    auto b = std::make_unique<TDataSkinSysButton>(up);
    b->Action = action;
    b->Align = Ini.ReadInteger(s, "Align", 0);
    b->Xcoord = Ini.ReadInteger(s, "Xcoord", 0);
    b->Ycoord = Ini.ReadInteger(s, "Ycoord", 0);
    b->Visibility = Ini.ReadInteger(s, "Visibility", 0);
    b->Visibility1 = Ini.ReadInteger(s, "Visibility1", action == -1 ? -1 : 0);
    b->CombineOp = Ini.ReadInteger(s, "CombineOp", -1);
    b->Frame = Ini.ReadInteger(s, "frame", 0);
    ReadImage(Ini, Reader, s, "ButtonImage", b->Map.get());
    if (b->Action == 1 && b->Visibility == 2) {
      maxX = b->Xcoord;
      maxY = b->Ycoord;
    } else if (b->Action == 4) {
      b->Xcoord = maxX;
      b->Ycoord = maxY;
    }
    if (b->Frame <= 0) {
      b->Frame = 6;
      if (b->HasImage()) {
        b->Frame = b->Map->Width() <= 3.8 * b->Map->Height() ? 3 : 6;
        if (b->Action < 0) b->Frame = 6;
      }
      if (b->Action == 3 || b->Action == 11) b->Map->SetSize(0, 0);
    }
    sys_buttons_.push_back(std::move(b));
  }
  // The MDI child controls.
  TBitmap mdi;
  ReadImage(Ini, Reader, "MDICONTROLS", "Image", &mdi);
  for (int i = 0; i < 3; ++i) {
    auto b = std::make_unique<TDataSkinSysButton>("MDICONTROL" + IntToStr(i + 1));
    b->Action = 7 + i;
    b->Align = b->Visibility = b->Visibility1 = 100;
    b->Frame = 4;
    b->Trans = 1;
    const int a = mdi.Width() / 12;
    if (a > 0) {
      b->Map->SetPixelFormat(pf24bit);
      b->Map->SetSize(4 * a, mdi.Height());
      BitBlt(b->Map->Canvas()->Handle(), 0, 0, 4 * a, mdi.Height(), mdi.Canvas()->Handle(), 4 * i * a, 0, SRCCOPY);
      b->Xcoord = (a + 4) * (3 - i);
    }
    sys_buttons_.push_back(std::move(b));
  }

  // Push buttons.
  {
    TDataSkinButton* b = buttons_.get();
    const AnsiString s = "Buttons";
    b->LeftMargin = Ini.ReadInteger(s, "LeftWidth", 0);
    b->RightMargin = Ini.ReadInteger(s, "RightWidth", 0);
    b->TopMargin = Ini.ReadInteger(s, "TopHeight", 0);
    b->BottomMargin = Ini.ReadInteger(s, "BottomHeight", 0);
    b->Trans = Ini.ReadInteger(s, "Trans", 0);
    b->Tile = Ini.ReadInteger(s, "Tile", 0);
    if (b->Tile > 1) b->Tile = 0;
    ReadImage(Ini, Reader, s, "Bitmap", b->Map.get());
    ReadImage(Ini, Reader, s, "CheckButton", b->CheckMap.get());
    ReadImage(Ini, Reader, s, "RadioButton", b->RadioMap.get());
    b->NormalColour = Ini.ReadInteger(s, "NormalColour", -1);
    b->MouseOverColour = Ini.ReadInteger(s, "MouseOverColour", -1);
    b->PressedColour = Ini.ReadInteger(s, "PressedColour", -1);
    b->RadioFrame = Ini.ReadInteger(s, "RadioButtonFrame", 0);
    b->CheckFrame = Ini.ReadInteger(s, "CheckButtonFrame", 0);
    b->NormalColour2 = colour(s, "NormalColour2", colours_[csButtonText], &b->Normal2Given);
    b->MouseOverColour2 = colour(s, "MouseOverColour2", colours_[csButtonText], &b->MouseOver2Given);
    b->PressedColour2 = colour(s, "PressedColour2", colours_[csButtonText], &b->Pressed2Given);
  }

  // Caption text.
  {
    TDataSkinTitle* t = title_.get();
    ReadImage(Ini, Reader, "Personality", "TextBack", t->Map.get());
    t->LeftMargin = Ini.ReadInteger("Personality", "TextShift", 0);
    t->TopMargin = Ini.ReadInteger("Personality", "TextShiftVert", 0);
    t->RightMargin = Ini.ReadInteger("Personality", "TextRightClip", 0);
    t->BottomMargin = 0;
    t->TextAlignment = Ini.ReadInteger("Personality", "TextAlignment", 0);
    t->Textbackground = Ini.ReadInteger("Personality", "Textbackground", 0);
    t->TXTBackleft = Ini.ReadInteger("Personality", "TXTBackleft", 0);
    t->TXTBackRight = Ini.ReadInteger("Personality", "TXTBackRight", 0);
    t->FontHeight = Ini.ReadInteger("Fonts", "FontHeight", 14);
    auto triple = [&](const AnsiString& prefix) {
      const int r = Ini.ReadInteger("Personality", prefix + "R", -1);
      const int g = Ini.ReadInteger("Personality", prefix + "G", -1);
      const int b = Ini.ReadInteger("Personality", prefix + "B", -1);
      if (r < 0 || g < 0 || b < 0) return kTitleColourNotGiven;
      return static_cast<TColor>(RGB(r % 256, g % 256, b % 256));
    };
    t->ActiveTextColour = triple("ActiveText");
    t->InactiveTextColour = triple("InActiveText");
    t->Frame = 2;
  }

  ReadSectionElements(Ini, Reader);
}

namespace {

enum TReaderKind { rkGeneric, rkBorder, rkProgress, rkBoxLabel, rkMenuBar };

}  // namespace

void TSkinData::ReadSectionElements(const TQuickIni& Ini, TSkinReader& Reader) {
  auto colour = [&](const AnsiString& section, const AnsiString& key, TColor def) {
    AnsiString v;
    return Ini.ReadString(section, key, v, "") ? ReadSkinColour(v, def) : def;
  };
  auto read = [&](const AnsiString& name, TReaderKind kind, const AnsiString& second = "") {
    elements_.erase(UpperCase(name));
    const AnsiString section = kind == rkMenuBar ? "Personality" : name;
    const AnsiString imageKey = kind == rkMenuBar ? "menuBar" : kind == rkProgress ? "Bitmap" : "Image";
    AnsiString v;
    if (!Ini.ReadString(section, imageKey, v, "")) return;
    std::unique_ptr<TDataSkinObject> e;
    if (kind == rkBorder || kind == rkProgress)
      e = std::make_unique<TDataSkinBorder>(name);
    else if (kind == rkBoxLabel)
      e = std::make_unique<TDataSkinBoxLabel>(name);
    else
      e = std::make_unique<TDataSkinObject>(name);
    ReadImage(Ini, Reader, section, imageKey, e->Map.get());
    if (kind == rkMenuBar) {
      e->Tile = std::min(1, Ini.ReadInteger(section, "TileMenu", 1));
      e->LeftMargin = Ini.ReadInteger(section, "TileLeftMenu", 1);
      e->RightMargin = Ini.ReadInteger(section, "TileRightMenu", 1);
    } else {
      e->Style = Ini.ReadInteger(section, "Style", 0);
      e->LeftMargin = Ini.ReadInteger(section, "LeftWidth", 0);
      e->RightMargin = Ini.ReadInteger(section, "RightWidth", 0);
      e->TopMargin = Ini.ReadInteger(section, "TopHeight", 0);
      e->BottomMargin = Ini.ReadInteger(section, "BottomHeight", 0);
      e->Trans = Ini.ReadInteger(section, "Trans", 0);
      e->Tile = Ini.ReadInteger(section, "Tile", 0);
      if (e->Tile > 1) e->Tile = kind == rkProgress ? 1 : 0;
      if (kind == rkGeneric) e->Frame = Ini.ReadInteger(section, "Frame", 0);
      if (kind != rkProgress) {
        e->NormalColour = Ini.ReadInteger(section, "NormalColour", -1);
        e->MouseOverColour = Ini.ReadInteger(section, "MouseOverColour", -1);
        e->PressedColour = Ini.ReadInteger(section, "PressedColour", -1);
        e->NormalColour2 = colour(section, "NormalColour2", colours_[csButtonText]);
        e->MouseOverColour2 = colour(section, "MouseOverColour2", colours_[csButtonText]);
        e->PressedColour2 = colour(section, "PressedColour2", colours_[csButtonText]);
      }
      if (kind == rkBoxLabel) {
        auto* l = static_cast<TDataSkinBoxLabel*>(e.get());
        l->BackgroundAlignment = Ini.ReadInteger(section, "BackgroundAlignment", 0);
        l->BackgroundLeftShift = Ini.ReadInteger(section, "BackgroundLeftShift", 0);
        l->BackgroundRightShift = Ini.ReadInteger(section, "BackgroundRightShift", 0);
      }
      if (kind == rkBorder && !second.empty())
        ReadImage(Ini, Reader, section, second, static_cast<TDataSkinBorder*>(e.get())->Map2.get());
    }
    elements_[UpperCase(name)] = std::move(e);
  };

  read("Progress", rkProgress);
  read("Progress.Chunk", rkGeneric);
  read("MenuBar", rkMenuBar);
  read("GroupBoxEdge", rkGeneric);
  read("GroupBox", rkBoxLabel);
  read("Tabs", rkBorder, "Border");
  read("StatusBarEdges", rkGeneric);
  read("Tab.Pane", rkGeneric);
  if (auto* p = Element("Tab.Pane")) {
    for (int* m : {&p->LeftMargin, &p->TopMargin, &p->RightMargin, &p->BottomMargin}) *m = std::min(*m, 4);
  }
  read("ToolBars", rkGeneric);
  read("ComboButton", rkBorder, "****");
  read("SunkEdge", rkGeneric);
  if (auto* c = static_cast<TDataSkinBorder*>(Element("ComboButton")); c && c->HasImage()) {
    c->Map2->Assign(c->Map.get());
    MirrorBitmap(c->Map2.get());
  }
  for (const char* n : {"ExtraImages", "Headerbar", "MenuItem", "MenuBackground", "Scrollbar", "HorzScroll",
                        "VertScroll", "HorzScrollThumb", "VertScrollThumb", "Trackbar.ThumbHorz", "Trackbar.ThumbVert",
                        "Trackbar.ThumbLeft", "Trackbar.ThumbRight", "Trackbar.ThumbUp", "Trackbar.ThumbDown"})
    read(n, rkGeneric);
  read("UpDown.Horz", rkBorder, "GlyphImage");
  read("UpDown.Vert", rkBorder, "GlyphImage");
  read("Track", rkGeneric);
  read("TRACKVERT", rkGeneric);
  // Without a track element of its own the skin takes the program's one, from the built-in skin.
  for (const char* n : {"Track", "TRACKVERT"}) {
    if (Element(n)) continue;
    TSkinReader builtin;
    TMemoryStream packed, entry;
    packed.WriteBuffer(DefaultSkinData(), static_cast<int>(DefaultSkinSize()));
    packed.SetPosition(0);
    try {
      if (!builtin.LoadFromStream(&packed) || !builtin.FindEntry(LowerCase(n) + ".bmp", &entry)) continue;
      auto e = std::make_unique<TDataSkinObject>(n);
      e->Map->LoadFromStream(&entry);
      e->LeftMargin = e->TopMargin = e->RightMargin = e->BottomMargin = 3;
      e->Tile = 0;
      e->Frame = 1;
      elements_[UpperCase(n)] = std::move(e);
    } catch (const Exception&) {
    }
  }

  // Frame counts as the drawing code expects them.
  auto frames = [&](const char* n, int count) {
    if (auto* e = Element(n)) e->Frame = count;
  };
  buttons_->Frame = 5;
  auto boxFrames = [](int given, TBitmap* map) {
    if (given > 0) return given;
    if (map->Empty()) return 4;
    return std::max(4, map->Width() / (map->Height() < 16 ? 13 : 16));
  };
  buttons_->RadioFrame = boxFrames(buttons_->RadioFrame, buttons_->RadioMap.get());
  buttons_->CheckFrame = boxFrames(buttons_->CheckFrame, buttons_->CheckMap.get());
  title_->Frame = 2;
  if (auto* p = Element("Progress")) p->Frame = p->Style != 0 ? 1 : 2;
  frames("MenuBar", 2);
  frames("GroupBoxEdge", 2);
  frames("ToolBars", 5);
  frames("Tabs", 5);
  frames("Tab.Pane", 1);
  frames("StatusBarEdges", 3);
  frames("GroupBox", 1);
  frames("ComboButton", 4);
  frames("SunkEdge", 4);
  frames("ExtraImages", 5);
  if (auto* h = Element("Headerbar"); h && h->Frame == 0) h->Frame = 5;
  frames("MenuItem", 5);
  frames("MenuBackground", 1);
  frames("Scrollbar", 23);
  frames("HorzScroll", 4);
  frames("VertScroll", 4);
  frames("UpDown.Horz", 8);
  frames("UpDown.Vert", 8);
  for (const char* n : {"Trackbar.ThumbHorz", "Trackbar.ThumbVert", "Trackbar.ThumbLeft", "Trackbar.ThumbRight",
                        "Trackbar.ThumbUp", "Trackbar.ThumbDown"})
    frames(n, 5);
  if (auto* t = Element("HorzScrollThumb")) t->Frame = Ini.ReadInteger("HorzScrollThumb", "FrameCount", 3);
  if (auto* t = Element("VertScrollThumb")) t->Frame = Ini.ReadInteger("VertScrollThumb", "FrameCount", 3);
  for (auto& [key, e] : elements_) e->Frame = FrameCount(e->Frame);

  BuildComboImages();

  // Caption sample colour, then the tool bar gradient that depends on it.
  TDataSkinBorder* top = borders_[2].get();
  if (top->HasImage()) {
    const int fh = top->Map->Height() / top->Frames();
    caption_sample_ = top->Map->Canvas()->Pixels(top->Map->Width() / 3, fh / 3);
  } else {
    caption_sample_ = colours_[csButtonFace];
  }
  BuildToolbar();

  if (face_brush_) DeleteObject(face_brush_);
  face_brush_ = CreateSolidBrush(SkinColorToRGB(colours_[csButtonFace]));
}

void TSkinData::BuildComboImages() {
  auto* sunk = Element("SunkEdge");
  auto* button = static_cast<TDataSkinBorder*>(Element("ComboButton"));
  if (sunk && button && sunk->HasImage() && button->HasImage()) {
    const int w = GetSystemMetrics(SM_CXHSCROLL) + 2;
    const int n = sunk->Frames();
    TBitmap strip;
    strip.SetPixelFormat(pf24bit);
    strip.SetSize(50 * n, 21);
    HDC dc = strip.Canvas()->Handle();
    HBRUSH magenta = CreateSolidBrush(kSkinMagenta);
    RECT all{0, 0, 50 * n, 21};
    FillRect(dc, &all, magenta);
    auto* extra = Element("ExtraImages");
    for (int b = 1; b <= n; ++b) {
      const int x = 50 * (b - 1);
      DrawSkinImage(dc, TRect{x, 0, x + 50, 21}, sunk->Map.get(), false, false, sunk->Trans != 0, n, b,
                    sunk->Margins());
      const TRect part{x + 50 - w, 0, x + 50, 21};
      DrawSkinImage(dc, part, button->Map.get(), false, false, true, button->Frames(), std::min(b, button->Frames()),
                    button->Margins());
      if (extra && extra->HasImage()) DrawSkinGlyph(dc, part, extra->Map.get(), true, extra->Frames(), b);
      RECT hole{x + 2, 2, x + 49 - w, 18};
      FillRect(dc, &hole, magenta);
    }
    DeleteObject(magenta);
    button->Style = 2;
    button->Map->Assign(&strip);
    const TSkinMargins m = sunk->Margins();
    button->TopMargin = m.Top;
    button->BottomMargin = m.Bottom;
    button->LeftMargin = 2;
    button->RightMargin = w + 2;
    button->Frame = n;
    sunk->Map->Assign(&strip);
    MirrorBitmap(sunk->Map.get());
    sunk->LeftMargin = w + 2;
    sunk->RightMargin = 2;
  }
  // The combo box arrow.
  auto& slot = elements_["COMBOXARROW"];
  if (!slot) slot = std::make_unique<TDataSkinObject>("ComboxArrow");
  TDataSkinObject* arrow = slot.get();
  arrow->Map->SetSize(0, 0);
  if (!sunk && button && button->HasImage()) {
    arrow->Map->Assign(button->Map.get());
    ReplaceColor(arrow->Map.get(), colours_[csButtonFace]);
    arrow->Frame = button->Frames();
  } else if (sunk && button && button->Style == 2 && button->HasImage()) {
    const int n = sunk->Frames();
    const int cell = button->Map->Width() / n;
    arrow->Map->SetPixelFormat(pf24bit);
    arrow->Map->SetSize(17 * n, 17);
    for (int i = 0; i < n; ++i)
      BitBlt(arrow->Map->Canvas()->Handle(), 17 * i, 0, 17, 17, button->Map->Canvas()->Handle(), (i + 1) * cell - 19, 2,
             SRCCOPY);
    arrow->Frame = n;
  }
}

void TSkinData::BuildToolbar() {
  auto& slot = elements_["TOOLBAR"];
  if (!slot) slot = std::make_unique<TDataSkinObject>("Toolbar");
  slot->Frame = 1;
  const TColor top = MixColors(colours_[csButtonFace], 0xFFFFFF, 150);
  const TColor c = caption_sample_;
  const int score = SaturationScore(c);
  const TColor bottom =
      score > 110 ? MixColors(c, 0xFFFFFF, (5625 - 25 * score) / 140 + 50) : MixColors(0x808080, c, 150);
  slot->Map->SetPixelFormat(pf24bit);
  slot->Map->SetSize(10, 40);
  GradientFill(slot->Map->Canvas()->Handle(), TRect{0, 0, 10, 40}, top, true, bottom);
}
