// Push buttons, check boxes, radio buttons, group boxes, panels, dialog backgrounds and size
// grips, and the drawing steps and property reads that every control skinner shares.
#include <algorithm>

#include "framework/controls/comctrls.h"
#include "framework/controls/typinfo.h"
#include "platform/base/codepage.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

// ---- Shared steps ---------------------------------------------------------------------------------------------
void DrawSkinObject(HDC DC, const TRect& Rect, TDataSkinObject* Object, int N, int K) {
  if (!Object || !Object->HasImage() || Rect.right <= Rect.left || Rect.bottom <= Rect.top) return;
  N = FrameCount(N);
  DrawSkinImage(DC, Rect, Object->Map.get(), false, Object->Tile != 0, Object->Trans == 1, N, std::clamp(K, 1, N),
                Object->Margins());
}

bool HasProp(TObject* Instance, const AnsiString& Name) { return Instance && IsPublishedProp(Instance, Name); }

AnsiString PropText(TObject* Instance, const AnsiString& Name) {
  const TPropInfo* p = Instance ? GetPropInfo(Instance, Name) : nullptr;
  if (!p || p->Kind == tkClass) return "";
  try {
    return LowerCase(GetPropValue(Instance, Name));
  } catch (const Exception&) {
    return "";
  }
}

int PropInt(TObject* Instance, const AnsiString& Name) {
  const TPropInfo* p = Instance ? GetPropInfo(Instance, Name) : nullptr;
  if (!p || p->Kind != tkInteger) return -1;
  return static_cast<int>(GetOrdProp(Instance, Name));
}

void SetPropText(TObject* Instance, const AnsiString& Name, const AnsiString& Value) {
  const TPropInfo* p = Instance ? GetPropInfo(Instance, Name) : nullptr;
  if (!p || !p->Writable()) return;
  try {
    SetPropValue(Instance, Name, Value);
  } catch (const Exception&) {
  }
}

WideString SkinWideText(const AnsiString& Text) { return kv::MultiByteToWide(CP_ACP, Text); }

WideString SkinWindowText(HWND Window) {
  const int n = GetWindowTextLengthW(Window);
  WideString w(static_cast<size_t>(n) + 1, u'\0');
  const int got = GetWindowTextW(Window, reinterpret_cast<LPWSTR>(w.data()), n + 1);
  w.resize(static_cast<size_t>(std::max(got, 0)));
  return w;
}

namespace {

LPCWSTR W(const WideString& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

// Reaches the framework's protected painting of a windowed control's graphic children.
struct TPaintChildrenAccess : TWinControl {
  static void Paint(TWinControl* Control, HDC DC) { (Control->*(&TPaintChildrenAccess::PaintControls))(DC, nullptr); }
};

}  // namespace

WideString SkinBreakCaption(WideString Text) {
  const size_t at = Text.find(u"||");
  if (at != WideString::npos) Text.replace(at, 2, u"\r\n");
  return Text;
}

HFONT SkinWindowFont(HWND Window) { return reinterpret_cast<HFONT>(SendMessageW(Window, WM_GETFONT, 0, 0)); }

void PaintGraphicChildren(TWinControl* Control, HDC DC) { TPaintChildrenAccess::Paint(Control, DC); }

void DrawCellText(HDC DC, const TRect& Cell, const WideString& Text, UINT Align, bool Enabled, TColor Shadow) {
  const int oldMode = SetBkMode(DC, TRANSPARENT);
  HGDIOBJ oldBrush = SelectObject(DC, GetStockObject(HOLLOW_BRUSH));
  RECT m = Cell;
  DrawTextW(DC, W(Text), static_cast<int>(Text.size()), &m, DT_CALCRECT | DT_NOCLIP | DT_EXPANDTABS | Align);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  RECT r = Cell;
  if (Align & DT_CENTER) {
    r.left = Cell.left + (Cell.right - Cell.left - tw) / 2;
    r.right = r.left + tw;
  }
  r.top = Cell.top + (Cell.bottom - Cell.top - th) / 2 - 1;
  r.bottom = r.top + th;
  COLORREF oldColour = 0;
  if (!Enabled) oldColour = SetTextColor(DC, SkinColorToRGB(Shadow));
  DrawTextW(DC, W(Text), static_cast<int>(Text.size()), &r, DT_EXPANDTABS | Align);
  if (!Enabled) SetTextColor(DC, oldColour);
  SelectObject(DC, oldBrush);
  SetBkMode(DC, oldMode);
}

// ---- TSkinButton --------------------------------------------------------------------------------------------
TSkinButton::TSkinButton(TComponent* AOwner) : TSkinControl(AOwner), buffer_(std::make_unique<TBitmap>()) {
  buffer_->SetPixelFormat(pf24bit);
}

TSkinButton::~TSkinButton() = default;

void TSkinButton::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                TCanvas* Canvas) {
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  const AnsiString cls = LowerCase(Control->ClassName());
  no_mouse_down_ = cls.rfind("trz", 0) == 0 || cls.rfind("tel", 0) == 0;
}

bool TSkinButton::FocusedNow() const { return GetFocus() == handle_; }
bool TSkinButton::EnabledNow() const { return !(WindowLong(GWL_STYLE) & WS_DISABLED); }

WideString TSkinButton::CaptionW() {
  return SkinBreakCaption(control_ ? SkinWideText(GetPropValue(control_, "Caption")) : SkinWindowText(handle_));
}

bool TSkinButton::BeforeDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      // Without a button image the control paints itself.
      if (!data_->Buttons()->HasImage()) return true;
      PaintMessage(Message);
      return false;
    case WM_ERASEBKGND:
      if (!data_->Buttons()->HasImage()) return true;
      Message.Result = 1;
      return false;
    case WM_TIMER: KillTimer(handle_, 1); return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (GetFocus() != handle_) SetFocus(handle_);
      mouse_ |= 2;
      PaintFrame(nullptr);
      if (!no_mouse_down_ && control_) ForwardMouseDown(Message);
      return false;
    default: return TSkinControl::BeforeDefault(Message);
  }
}

void TSkinButton::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_KEYDOWN:
      if (Message.WParam == VK_SPACE) {
        mouse_ |= 2;
        Repaint();
      }
      return;
    case WM_KEYUP:
      if (Message.WParam == VK_SPACE) {
        mouse_ &= ~2;
        Repaint();
      }
      return;
    case WM_MOUSEMOVE:
      if (EnabledNow() && !Hot()) {
        mouse_ |= 1;
        Repaint();
      }
      skin_user32::TrackLeave(handle_);
      return;
    case WM_LBUTTONUP: {
      if (!Pressed()) return;
      mouse_ &= ~2;
      Repaint();
      if (control_) {
        control_->Click();
        return;
      }
      const WPARAM id = LowerCase(SkinClassName(handle_)) == "tbutton" ? 0 : static_cast<WPARAM>(GetDlgCtrlID(handle_));
      PostMessageW(GetParent(handle_), WM_COMMAND, id, reinterpret_cast<LPARAM>(handle_));
      return;
    }
    case WM_MOUSELEAVE:
      mouse_ = 0;
      Repaint();
      return;
    case 0xB005:
    case 0xB007: Repaint(); return;
    default: TSkinControl::AfterDefault(Message);
  }
}

int TSkinButton::ButtonFrame() {
  if (!EnabledNow()) return 3;
  if (Pressed()) return 2;
  if (Hot()) return 4;
  if (FocusedNow() || PropText(control_, "Default") == "true") return 5;
  return 1;
}

void TSkinButton::DrawFace(const TRect& Rect, int Frame) {
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (buffer_->Width() != w || buffer_->Height() != h) buffer_->SetSize(w, h);
  HDC dc = buffer_->Canvas()->Handle();
  const TRect all{0, 0, w, h};
  if (ParentMode() && control_)
    PaintParentBackground(control_, dc);
  else
    Fill(dc, all, data_->Colour(csButtonFace));
  TDataSkinButton* b = data_->Buttons();
  DrawSkinImage(dc, all, b->Map.get(), false, b->Tile != 0, b->Trans == 1, 5, Frame, b->Margins());
}

void TSkinButton::SelectTextColours(HDC DC, bool NormalAlways) {
  TDataSkinButton* b = data_->Buttons();
  TColor colour;
  if (control_) {
    SelectObject(DC, control_->Font()->Handle());
    colour = control_->Font()->Color();
  } else {
    SelectObject(DC, SkinWindowFont(handle_));
    colour = data_->Colour(csButtonText);
  }
  const bool normal = !Hot() && !Pressed();
  if (b->Normal2Given && (NormalAlways || normal)) colour = b->NormalColour2;
  if (b->MouseOver2Given && Hot()) colour = b->MouseOverColour2;
  if (b->Pressed2Given && Pressed()) colour = b->PressedColour2;
  SetTextColor(DC, EnabledNow() ? SkinColorToRGB(colour) : GetSysColor(COLOR_BTNSHADOW));
  SetBkMode(DC, TRANSPARENT);
}

void TSkinButton::DrawFrame(HDC DC, const TRect& Rect) {
  if (!data_->Buttons()->HasImage()) return;
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w < 1 || h < 1) return;
  DrawFace(Rect, ButtonFrame());
  HDC dc = buffer_->Canvas()->Handle();
  HGDIOBJ oldFont = GetCurrentObject(dc, OBJ_FONT);
  SelectTextColours(dc, true);
  const WideString text = CaptionW();
  RECT m{2, 2, w - 2, h - 2};
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &m,
            DT_CALCRECT | DT_NOCLIP | DT_EXPANDTABS | DT_WORDBREAK | DT_CENTER);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  RECT r{(w - tw) / 2, (h - th) / 2 - 1, 0, 0};
  r.right = r.left + tw;
  r.bottom = r.top + th;
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &r, DT_CENTER | DT_EXPANDTABS | DT_WORDBREAK);
  if (FocusedNow() && !data_->Options.Contains(xoNoFocusRect)) {
    InflateRect(&r, 2, 2);
    DrawFocusRect(dc, &r);
  }
  SelectObject(dc, oldFont);
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
}

// ---- TSkinMenuButton ------------------------------------------------------------------------------------
int TSkinMenuButton::ButtonFrame() {
  if (!EnabledNow()) return 3;
  if (Pressed()) return 2;
  if (FocusedNow() || Hot()) return 4;
  return 1;
}

void TSkinMenuButton::DrawFrame(HDC DC, const TRect& Rect) {
  if (!data_->Buttons()->HasImage()) return;
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w < 1 || h < 1) return;
  DrawFace(Rect, ButtonFrame());
  HDC dc = buffer_->Canvas()->Handle();
  HGDIOBJ oldFont = GetCurrentObject(dc, OBJ_FONT);
  SelectTextColours(dc, false);
  const WideString text = CaptionW();
  RECT m{2, 2, w - 19, h - 2};
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &m, DT_CALCRECT | DT_WORDBREAK);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  RECT r{(w - 17 - tw) / 2 + 2, (h - th + 1) / 2, 0, 0};
  r.right = r.left + tw;
  r.bottom = r.top + th;
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &r, DT_WORDBREAK);
  const COLORREF arrow = GetSysColor(EnabledNow() ? COLOR_WINDOWTEXT : COLOR_BTNSHADOW);
  HPEN pen = CreatePen(PS_SOLID, 1, arrow);
  HBRUSH brush = CreateSolidBrush(arrow);
  HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
  const POINT tri[3] = {{w - 12, h / 2 + 2}, {w - 15, h / 2 - 1}, {w - 9, h / 2 - 1}};
  Polygon(dc, tri, 3);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
  if (FocusedNow() && !data_->Options.Contains(xoNoFocusRect)) {
    InflateRect(&r, 2, 2);
    DrawFocusRect(dc, &r);
  }
  SelectObject(dc, oldFont);
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
}

// ---- TSkinCheckBox, TSkinRadioButton ------------------------------------------------------------------------
void TSkinCheckBox::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                  TCanvas* Canvas) {
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  image_mode_ = Image() && !Image()->Empty();
}

TBitmap* TSkinCheckBox::Image() const { return data_ ? data_->Buttons()->CheckMap.get() : nullptr; }
int TSkinCheckBox::ImageFrames() const { return FrameCount(data_->Buttons()->CheckFrame); }
TBitmap* TSkinRadioButton::Image() const { return data_ ? data_->Buttons()->RadioMap.get() : nullptr; }
int TSkinRadioButton::ImageFrames() const { return FrameCount(data_->Buttons()->RadioFrame); }

bool TSkinCheckBox::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  switch (Message.Msg) {
    case WM_PAINT:
    case WM_PRINT:
      if (!image_mode_) return true;
      PaintMessage(Message);
      return false;
    case WM_ERASEBKGND: {
      if (!ParentMode()) return true;
      HDC dc = reinterpret_cast<HDC>(Message.WParam);
      if (control_) {
        PaintParentBackground(control_, dc);
      } else {
        RECT c{};
        GetClientRect(handle_, &c);
        Fill(dc, TRect{c.left, c.top, c.right, c.bottom}, data_->Colour(csButtonFace));
      }
      Message.Result = 1;
      return false;
    }
    default: return true;
  }
}

void TSkinCheckBox::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case BM_SETCHECK:
      set_check_ = static_cast<int>(Message.WParam) + 1;
      Repaint();
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case 0xB01B:
    case 0xB0D0: Repaint(); return;
    default: TSkinControl::AfterDefault(Message);
  }
}

void TSkinRadioButton::AfterDefault(TMessage& Message) {
  if (Message.Msg == BM_SETCHECK) {
    Repaint();
    return;
  }
  TSkinCheckBox::AfterDefault(Message);
}

namespace {
// One lookup a frame through a remap table of {from, to} pairs, then clamped to the image.
int Remap(int Frame, std::initializer_list<std::pair<int, int>> Table, int Frames) {
  for (const auto& [from, to] : Table)
    if (Frame == from) {
      Frame = to;
      break;
    }
  return std::clamp(Frame, 1, Frames);
}
}  // namespace

int TSkinCheckBox::StateFrame() {
  const LRESULT bs = SendMessageW(handle_, BM_GETSTATE, 0, 0);
  int s = (bs & BST_CHECKED) ? 2 : 1;
  if (HasProp(control_, "State")) {
    const AnsiString v = PropText(control_, "State");
    if (v.find("uncheck") != AnsiString::npos)
      s = 1;
    else if (v.find("check") != AnsiString::npos)
      s = 2;
    else if (v.find("gray") != AnsiString::npos)
      s = 4;
  } else if (HasProp(control_, "Checked")) {
    s = PropText(control_, "Checked") == "true" ? 2 : 1;
  }
  if (HasProp(control_, "DataField") && set_check_) s = set_check_ == 3 ? 4 : set_check_;
  if (HasProp(control_, "DataBinding")) s = 1;
  const bool disabled = (WindowLong(GWL_STYLE) & WS_DISABLED) != 0;
  if (disabled) s += 2;
  const bool grey = (bs & BST_INDETERMINATE) != 0;
  if (grey) s = 4;
  const int n = ImageFrames();
  if (n == 12) {
    if (grey) return disabled ? 12 : 9;
    return Remap(s, {{2, 5}, {3, 4}, {4, 8}}, n);
  }
  return std::clamp(s, 1, n);
}

int TSkinRadioButton::StateFrame() {
  int s = SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED ? 2 : 1;
  if (HasProp(control_, "Checked")) s = PropText(control_, "Checked") == "true" ? 2 : 1;
  if (WindowLong(GWL_STYLE) & WS_DISABLED) s += 2;
  const int n = ImageFrames();
  if (n == 8) return Remap(s, {{2, 5}, {3, 4}, {4, 8}}, n);
  return std::clamp(s, 1, n);
}

void TSkinCheckBox::DrawFrame(HDC DC, const TRect& Rect) {
  TBitmap* img = Image();
  if (!img || img->Empty()) {
    image_mode_ = false;
    return;
  }
  const int n = ImageFrames();
  const int fw = img->Width() / n, ih = img->Height();
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  const int top = Rect.top + (h - ih) / 2;
  TRect image{}, area{};
  UINT align = 0;
  if (WindowLong(GWL_STYLE) & BS_LEFTTEXT) {
    const int x = Rect.left + LeftTextImageLeft(w, fw);
    image = TRect{x, top, x + fw, top + ih};
    area = TRect{Rect.left, Rect.top, x - 2, Rect.bottom};
    align = DT_RIGHT;
  } else {
    image = TRect{Rect.left, top, Rect.left + fw, top + ih};
    area = TRect{Rect.left + fw + 2, Rect.top, Rect.right, Rect.bottom};
  }
  if (image_mode_ && !ParentMode()) Fill(DC, Rect, data_->Colour(csButtonFace));
  DrawSkinFrame(DC, image, img, true, n, StateFrame());
  if (image_mode_) DrawCaption(DC, area, align);
}

void TSkinCheckBox::DrawCaption(HDC DC, const TRect& Area, UINT Align) {
  const WideString text = control_ ? SkinWideText(GetPropValue(control_, "Caption")) : SkinWindowText(handle_);
  const bool enabled = !(WindowLong(GWL_STYLE) & WS_DISABLED);
  const TColor fontColour = control_ ? control_->Font()->Color() : data_->Colour(csButtonText);
  HGDIOBJ oldFont = SelectObject(DC, control_ ? control_->Font()->Handle() : SkinWindowFont(handle_));
  const COLORREF oldText =
      SetTextColor(DC, SkinColorToRGB(enabled ? fontColour : data_->Colour(csButtonShadow)));
  const COLORREF oldBack = SetBkColor(DC, SkinColorToRGB(data_->Colour(csButtonFace)));
  const int oldMode = SetBkMode(DC, TRANSPARENT);
  RECT m = Area;
  DrawTextW(DC, W(text), static_cast<int>(text.size()), &m, DT_CALCRECT | DT_NOCLIP | DT_EXPANDTABS | DT_WORDBREAK);
  const int th = m.bottom - m.top;
  RECT r = Area;
  r.top += (Area.bottom - Area.top - th) / 2;
  r.bottom = r.top + th;
  DrawTextW(DC, W(text), static_cast<int>(text.size()), &r, DT_EXPANDTABS | DT_WORDBREAK | Align);
  if (GetFocus() == handle_ && !text.empty() && (GetVersion() & 0xFF) != 6)
    DrawFocusRectFor(DC, TRect{r.left, r.top, r.right, r.bottom}, text, Align);
  SetBkMode(DC, oldMode);
  SetBkColor(DC, oldBack);
  SetTextColor(DC, oldText);
  SelectObject(DC, oldFont);
}

// ---- TSkinGroupBox --------------------------------------------------------------------------------------------
void TSkinGroupBox::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                  TCanvas* Canvas) {
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  paint_children_ = true;
}

bool TSkinGroupBox::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  if (paint_children_ && Message.Msg == WM_PAINT) {
    PaintMessage(Message);
    return false;
  }
  return true;
}

void TSkinGroupBox::DrawFrame(HDC DC, const TRect& Rect) {
  WideString text = SkinWindowText(handle_);
  if (text.empty() && control_) text = SkinWideText(GetPropValue(control_, "Caption"));
  if (control_) Fill(DC, Rect, data_->Colour(csButtonFace));
  HGDIOBJ oldFont = SelectObject(DC, control_ ? control_->Font()->Handle() : SkinWindowFont(handle_));
  const COLORREF oldText =
      SetTextColor(DC, SkinColorToRGB(control_ ? control_->Font()->Color() : data_->Colour(csButtonText)));
  SIZE zero{};
  GetTextExtentPoint32W(DC, reinterpret_cast<LPCWSTR>(u"0"), 1, &zero);
  const int t = zero.cy / 2 - 1;
  if (!control_) {
    RECT f{Rect.left, Rect.top + t, Rect.right, Rect.bottom};
    FrameRect(DC, &f, data_->FaceBrush());
    InflateRect(&f, -1, -1);
    FrameRect(DC, &f, data_->FaceBrush());
  }
  HPEN pen = CreatePen(PS_SOLID, 1, SkinColorToRGB(data_->Colour(csButtonShadow)));
  HGDIOBJ oldPen = SelectObject(DC, pen), oldBrush = SelectObject(DC, GetStockObject(HOLLOW_BRUSH));
  RoundRect(DC, Rect.left + 1, Rect.top + t, Rect.right - 1, Rect.bottom - 1, 5, 5);
  SelectObject(DC, oldPen);
  SelectObject(DC, oldBrush);
  DeleteObject(pen);
  const int oldMode = SetBkMode(DC, OPAQUE);
  const COLORREF oldBack = SetBkColor(DC, SkinColorToRGB(data_->Colour(csButtonFace)));
  if (WindowLong(GWL_EXSTYLE) & WS_EX_RIGHT) {
    RECT r{Rect.left, Rect.top, Rect.right - 8, Rect.bottom};
    DrawTextW(DC, W(text), static_cast<int>(text.size()), &r, DT_RIGHT | DT_EXPANDTABS);
  } else {
    RECT r{Rect.left + 8, Rect.top, Rect.right, Rect.bottom};
    DrawTextW(DC, W(text), static_cast<int>(text.size()), &r, DT_EXPANDTABS);
  }
  SetBkColor(DC, oldBack);
  SetBkMode(DC, oldMode);
  SetTextColor(DC, oldText);
  SelectObject(DC, oldFont);
  if (paint_children_ && control_) PaintGraphicChildren(control_, DC);
}

// ---- TSkinObjImage ----------------------------------------------------------------------------------------------
void TSkinObjImage::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                  TCanvas* Canvas) {
  if (attached_) return;
  data_ = Data;
  canvas_ = Canvas;
  control_ = Control;
  handle_ = Control->Handle();
  form_ = Form;
  keep_colour_ = KeepColour;
  BuildGlyph();
  if (form_) form_->AddControl(this);
  if (keep_colour_) {
    SwitchParentBackground(true);
    saved_colour_ = Control->Color();
    Control->SetColor(Data->Colour(csButtonFace));
  }
  attached_ = true;
  state_ = 1;
}

void TSkinObjImage::BuildGlyph() {
  TDataSkinButton* b = data_->Buttons();
  TBitmap* source = GlyphKind == 2 ? b->RadioMap.get() : b->CheckMap.get();
  if (!source || source->Empty()) return;
  const int frames = FrameCount(GlyphKind == 2 ? b->RadioFrame : b->CheckFrame);
  const int w = source->Width() / frames, h = source->Height();
  if (w < 1) return;
  // Cell k takes frame cells[k] of the source (-1: left empty, magenta).
  const bool five = frames == 5;
  std::vector<int> cells;
  if (GlyphKind == 1)
    cells = {0, 1, five ? 4 : -1, 0, 1, five ? 4 : -1, 2, 3, five ? 4 : -1};
  else if (GlyphKind == 2)
    cells = {0, 1, 0, 1, 2, 3};
  else
    cells = {0, 1, five ? 4 : -1, 0, 1, five ? 4 : -1};
  TBitmap glyph;
  glyph.SetPixelFormat(pf24bit);
  glyph.SetSize(w * static_cast<int>(cells.size()), h);
  HDC dc = glyph.Canvas()->Handle();
  Fill(dc, TRect{0, 0, glyph.Width(), h}, kSkinMagenta);
  HDC src = source->Canvas()->Handle();
  for (size_t k = 0; k < cells.size(); ++k)
    if (cells[k] >= 0 && cells[k] < frames)
      BitBlt(dc, static_cast<int>(k) * w, 0, w, h, src, cells[k] * w, 0, SRCCOPY);
  if (GlyphKind == 3) {
    TObject* properties = HasProp(control_, "Properties") ? GetObjectProp(control_, "Properties") : nullptr;
    auto* target = HasProp(properties, "Glyph") ? dynamic_cast<TBitmap*>(GetObjectProp(properties, "Glyph")) : nullptr;
    if (!target) return;
    target->Assign(&glyph);
    target->SetTransparentColor(kSkinMagenta);
    target->SetTransparent(false);
    return;
  }
  auto* target = HasProp(control_, "CustomGlyphs") ? dynamic_cast<TBitmap*>(GetObjectProp(control_, "CustomGlyphs"))
                                                    : nullptr;
  if (target) target->Assign(&glyph);
  SetPropText(control_, "transparentcolor", IntToStr(static_cast<int>(kSkinMagenta)));
  SetPropText(control_, "UseCustomGlyphs", "false");
  SetPropText(control_, "UseCustomGlyphs", "true");
}

void TSkinObjImage::Detach() {
  TSkinControl::Detach();
  if (GlyphKind != 3) {
    SetPropText(control_, "UseCustomGlyphs", "false");
    return;
  }
  TObject* properties = HasProp(control_, "Properties") ? GetObjectProp(control_, "Properties") : nullptr;
  if (auto* g = HasProp(properties, "Glyph") ? dynamic_cast<TBitmap*>(GetObjectProp(properties, "Glyph")) : nullptr)
    g->SetSize(0, 0);
}

void TSkinObjImage::SkinChanged() {
  TSkinControl::SkinChanged();
  BuildGlyph();
}

// ---- TSkinBox, TSkinBoxH, TSkinSizer -----------------------------------------------------------------------
void TSkinBox::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                             TCanvas* Canvas) {
  if (attached_) return;
  data_ = Data;
  canvas_ = Canvas;
  control_ = Control;
  handle_ = Control->Handle();
  form_ = Form;
  keep_colour_ = KeepColour;
  if (form_) form_->AddControl(this);
  if (keep_colour_) {
    SwitchParentBackground(true);
    saved_colour_ = Control->Color();
    Control->SetColor(Data->Colour(csButtonFace));
  }
  attached_ = true;
  state_ = 1;
}

void TSkinBox::Detach() {
  if (state_ != 4) TSkinControl::Detach();
  if (PaintsToolBar) {
    if (auto* bar = dynamic_cast<TToolBar*>(control_)) bar->OnCustomDraw = nullptr;
    PaintsToolBar = false;
  }
  state_ = 2;
}

bool TSkinBoxH::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  switch (Message.Msg) {
    case WM_ERASEBKGND: {
      RECT w{};
      GetWindowRect(handle_, &w);
      RECT r{0, 0, w.right - w.left, w.bottom - w.top};
      FillRect(reinterpret_cast<HDC>(Message.WParam), &r, data_->FaceBrush());
      Message.Result = 0;
      return false;
    }
    case WM_CTLCOLORSTATIC:
      Default(Message);
      Message.Result = reinterpret_cast<LRESULT>(data_->FaceBrush());
      return false;
    default: return true;
  }
}

void TSkinSizer::DrawFrame(HDC DC, const TRect& Rect) { Fill(DC, Rect, data_->Colour(csButtonFace)); }
