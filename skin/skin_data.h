// TSkinData: the component that skins the whole process. It holds the skin container (its
// SkinStream, or the file SkinFile names), turns it into skin elements and a colour table,
// and drives the process-wide skin manager that attaches a skinner to every window.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/strings.h"
#include "framework/graphics/graphics.h"
#include "platform/user/user.h"
#include "skin/skin_objects.h"

class TCustomImageList;

class TQuickIni;
class TSkinReader;

enum TSkinControlType {
  xcMainMenu,
  xcPopupMenu,
  xcMenuItem,
  xcToolbar,
  xcControlbar,
  xcCombo,
  xcCheckBox,
  xcRadioButton,
  xcProgress,
  xcScrollbar,
  xcEdit,
  xcButton,
  xcBitBtn,
  xcSpeedButton,
  xcSpin,
  xcPanel,
  xcGroupBox,
  xcStatusBar,
  xcTab,
  xcTrackBar,
  xcSystemMenu,
  xcFastReport
};
using TSkinControlTypes = Set<TSkinControlType, xcMainMenu, xcFastReport>;
enum TSkinOption {
  xoMDIScrollbar,
  xoMenuMerge,
  xoTransparent,
  xoPreview,
  xoParentBackGround,
  xoNoFocusRect,
  xoToolbarBK,
  xoToolbarButton,
  xoMDIChildBorder,
  xoMenuBG,
  xoFormScrollbar
};
using TSkinOptions = Set<TSkinOption, xoMDIScrollbar, xoFormScrollbar>;
enum TSkinFormType { sfMainform, sfOnlyThisForm, sfDialog, sfDLL };

using TOnFormSkin = std::function<void(TObject* Sender, const AnsiString& aName, bool& DoSkin)>;
using TOnSkinForm = std::function<void(TObject* Sender, HWND ahwnd, const AnsiString& aName)>;
class TControl;
class TSkinData;
// Asked for each control of a skinned window; a skinner put into SkinnedControl decides it.
using TOnSkinControl = std::function<void(TComponent* Sender, TSkinData* SkinData, TControl* Form, TControl* Control,
                                          const AnsiString& ControlClass, TComponent*& SkinnedControl)>;

// Slots of the colour table.
enum TSkinColourSlot {
  csWindowText = 0,
  csTitleTextActive = 1,
  csTitleTextNoActive = 2,
  csButtonFace = 3,
  csButtonText = 4,
  csButtonHilight = 5,
  csButtonlight = 6,
  csButtonShadow = 7,
  csButtonDkShadow = 8,
  csHilightText = 11,
  csHilight = 12,
  csMenubar = 13,
  csMenuBarText = 14,
  csMenuText = 15,
  csMenu = 16,
  csScrollbar = 18,
  csColourSlots = 19
};

class TSkinData : public TComponent {
 public:
  explicit TSkinData(TComponent* AOwner);
  ~TSkinData() override;
  KV_CLASS_NAME(TSkinData)

  bool Active() const { return active_; }
  void SetActive(bool Value);
  int DisableTag = 99;
  TSkinControlTypes SkinControls;
  TSkinOptions Options;
  // Class-name-to-kind lines ("TRzButton=button") for controls of other component libraries.
  TStringList Skin3rd;
  const AnsiString& SkinFile() const { return skin_file_; }
  void SetSkinFile(const AnsiString& Value);
  TSkinFormType SkinFormtype = sfMainform;
  AnsiString Version() const { return "3.10.2.7"; }
  // "(Good)" at design time while a skin stream is held, else "(none)".
  AnsiString SkinStore();
  bool MenuUpdate = true;
  bool MenuMerge = false;
  TOnFormSkin OnFormSkin;
  TNotifyEvent OnSkinChanged;
  TOnSkinForm OnBeforeSkinForm, OnAfterSkinForm;
  TOnSkinControl OnSkinControl;

  // The streamed container: i32 length n, then n bytes (n <= 0: nothing further).
  void ReadSkinStream(TStream* Stream);
  void WriteSkinStream(TStream* Stream);
  // Replaces the container and loads it (outside design time). False when it did not load.
  bool SetSkinBytes(const void* Data, size_t Size);
  TMemoryStream* SkinStream() { return &skin_stream_; }

  void Loaded() override;
  // Loads the skin stream into the elements; false (skin not loaded, elements as they were
  // when the container itself is refused) on failure.
  bool LoadSkin();
  bool SkinLoaded() const { return !empty_; }
  // The manager asks before it skins a window of class ClassName.
  bool CanSkinWindow(HWND Window, const AnsiString& ClassName);
  void SkinChanged();

  // ---- Elements and colours ------------------------------------------------------------
  TDataSkinBorder* Border(int Index) const { return borders_[Index].get(); }  // 0 Left, 1 Right, 2 Top, 3 Bottom
  TDataSkinTitle* Title() const { return title_.get(); }
  TDataSkinButton* Buttons() const { return buttons_.get(); }
  // A per-section element by its name as the description gives it ("MenuItem"), or nullptr.
  TDataSkinObject* Element(const AnsiString& Name) const;
  const std::vector<std::unique_ptr<TDataSkinSysButton>>& SysButtons() const { return sys_buttons_; }
  TColor Colour(int Slot) const { return colours_[static_cast<size_t>(Slot)]; }
  bool ColourGiven(int Slot) const { return colour_given_[static_cast<size_t>(Slot)]; }
  const std::vector<TColor>& SectionColours() const { return section_colours_; }
  TColor CustomColour(int Index) const { return custom_colours_[static_cast<size_t>(Index)]; }
  const AnsiString& SkinName() const { return skin_name_; }
  TColor CaptionSample() const { return caption_sample_; }
  HBRUSH FaceBrush() const { return face_brush_; }
  TFont* CaptionFont() { return &caption_font_; }
  TBitmap* CaptionIcon() { return &caption_icon_; }
  // The glyphs of the skinned system menu, 16 x 16, white transparent: 0 restore,
  // 1 maximise, 2 minimise, 3 close (made on first use).
  TCustomImageList* MenuGlyphs();
  // The non-client repaint switch (cleared while a menu change is passed on).
  bool NcRepaint = true;

 private:
  void ReadElements(const TQuickIni& Ini, TSkinReader& Reader);
  void ReadSectionElements(const TQuickIni& Ini, TSkinReader& Reader);
  void ReadImage(const TQuickIni& Ini, TSkinReader& Reader, const AnsiString& Section, const AnsiString& Key,
                 TBitmap* Target);
  void BuildComboImages();
  void BuildToolbar();
  void BuildCaptionIcon();
  void Refresh();

  bool active_ = false;
  bool empty_ = true;
  AnsiString skin_file_;
  TMemoryStream skin_stream_;
  std::unique_ptr<TDataSkinBorder> borders_[4];
  std::unique_ptr<TDataSkinTitle> title_;
  std::unique_ptr<TDataSkinButton> buttons_;
  std::map<AnsiString, std::unique_ptr<TDataSkinObject>> elements_;  // by upper-case name
  std::vector<std::unique_ptr<TDataSkinSysButton>> sys_buttons_;
  TColor colours_[csColourSlots] = {};
  bool colour_given_[csColourSlots] = {};
  std::vector<TColor> section_colours_;
  TColor custom_colours_[10] = {};
  AnsiString skin_name_;
  TColor caption_sample_ = 0;
  HBRUSH face_brush_ = nullptr;
  TFont caption_font_;
  TBitmap caption_icon_;
  std::unique_ptr<TCustomImageList> menu_glyphs_;
};

// The colour text of a skin description ("128,64,0"): R, G, B, each modulo 256.
TColor ReadSkinColour(const AnsiString& Text, TColor Default);

// The built-in skin: a container packed from skin/default/ at build time.
const uint8_t* DefaultSkinData();
size_t DefaultSkinSize();
// A bitmap resource of the skin module (a BMP file's bytes) by name, or nullptr; Size gets
// its length.
const uint8_t* SkinResource(const char* Name, size_t* Size);
