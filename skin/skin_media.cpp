// The media player's button bar: a panel of the skinner's own laid over the control, which
// draws the visible buttons on the skin's button frames with the module's glyphs and hands
// the presses on to the control.
#include "framework/controls/typinfo.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_paint.h"

namespace {

const char* const kButtonNames[TWMediaPlayer::kButtons] = {"MPPLAY", "MPPAUSE", "MPSTOP",   "MPNEXT", "MPPREV",
                                                           "MPSTEP", "MPBACK",  "MPRECORD", "MPEJECT"};
// The button kinds' names as the control's sets spell them (lower case).
const char* const kKindNames[TWMediaPlayer::kButtons] = {"btplay", "btpause", "btstop",   "btnext", "btprev",
                                                         "btstep", "btback",  "btrecord", "bteject"};
const char* const kLooks[3] = {"EN", "DI", "CL"};
constexpr COLORREF kOlive = RGB(128, 128, 0);  // the glyphs' transparent colour

// A bitmap resource of the skin module; a missing one leaves the bitmap empty.
void LoadResource(TBitmap& Bitmap, const AnsiString& Name) {
  size_t size = 0;
  const uint8_t* bytes = SkinResource(Name.c_str(), &size);
  if (!bytes) return;
  TMemoryStream stream;
  stream.WriteBuffer(bytes, static_cast<int>(size));
  stream.SetPosition(0);
  try {
    Bitmap.LoadFromStream(&stream);
  } catch (const Exception&) {
    Bitmap.Assign(nullptr);
  }
}

}  // namespace

// ---- TWMediaPlayer ------------------------------------------------------------------------------------------
TWMediaPlayer::TWMediaPlayer(TComponent* AOwner, TSkinData* Data, TWinControl* Media, TSkinMP* Skinner)
    : TCustomPanel(AOwner), data_(Data), media_(Media), skinner_(Skinner) {
  for (int b = 0; b < kButtons; ++b)
    for (int look = 0; look < 3; ++look)
      LoadResource(Buttons[b].Glyphs[look], AnsiString(kLooks[look]) + "_" + kButtonNames[b]);
}

void TWMediaPlayer::ReadButtons() {
  const AnsiString visible = media_ ? PropText(media_, "VisibleButtons") : "";
  const AnsiString enabled = media_ ? PropText(media_, "EnabledButtons") : "";
  const AnsiString coloured = media_ ? PropText(media_, "ColoredButtons") : "";
  VisibleCount = 0;
  for (int b = 0; b < kButtons; ++b) {
    Button& button = Buttons[b];
    button.Visible = visible.find(kKindNames[b]) != AnsiString::npos;
    button.Enabled = enabled.find(kKindNames[b]) != AnsiString::npos;
    button.Coloured = coloured.find(kKindNames[b]) != AnsiString::npos;
    if (button.Visible) ++VisibleCount;
  }
  ButtonWidth = VisibleCount ? Width() / VisibleCount : 0;
}

int TWMediaPlayer::ButtonAt(int X) {
  ReadButtons();
  int sum = 0;
  for (int b = 0; b < kButtons; ++b) {
    if (!Buttons[b].Visible) continue;
    if (sum <= X && X <= sum + ButtonWidth) return b;
    sum += ButtonWidth;
  }
  return kButtons;
}

void TWMediaPlayer::Paint() {
  ReadButtons();
  const int w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  TBitmap buffer;
  buffer.SetPixelFormat(pf24bit);
  buffer.SetSize(w, h);
  HDC dc = buffer.Canvas()->Handle();
  HBRUSH face = CreateSolidBrush(SkinColorToRGB(data_->Colour(csButtonFace)));
  RECT all{0, 0, w, h};
  FillRect(dc, &all, face);
  DeleteObject(face);
  TDataSkinButton* frames = data_->Buttons();
  int x = 0;
  for (int b = 0; b < kButtons && VisibleCount; ++b) {
    const Button& button = Buttons[b];
    if (!button.Visible) continue;
    const bool pressed = Pressed && PressedIndex == b;
    const int look = !button.Enabled ? 1 : button.Coloured ? 2 : 0;
    const int frame = pressed ? 2 : !button.Enabled ? 3 : 1;
    if (frames->HasImage())
      DrawSkinImage(dc, TRect{x, 0, x + ButtonWidth, h}, frames->Map.get(), false, frames->Tile != 0, frames->Trans == 1,
                    5, frame, frames->Margins());
    const TBitmap& glyph = button.Glyphs[look];
    if (!glyph.Empty()) {
      const int gw = glyph.Width(), gh = glyph.Height(), shift = pressed ? 1 : 0;
      TransparentBlt(dc, x + (ButtonWidth - gw) / 2 + shift, (h - gh) / 2 + shift, gw, gh,
                     const_cast<TBitmap&>(glyph).Canvas()->Handle(), 0, 0, gw, gh, kOlive);
    }
    x += ButtonWidth;
  }
  BitBlt(Canvas()->Handle(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
}

void TWMediaPlayer::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND: Message.Result = 1; return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {  // a quick second press is a press too
      Pressed = true;
      TCustomPanel::WndProc(Message);
      if (media_ && media_->HandleAllocated())
        SendMessageW(media_->Handle(), Message.Msg, Message.WParam, Message.LParam);
      ReleaseCapture();
      PressedIndex = ButtonAt(GET_X_LPARAM(Message.LParam));
      Invalidate();
      return;
    }
    case WM_LBUTTONUP: {
      Pressed = false;
      TCustomPanel::WndProc(Message);
      const int at = ButtonAt(GET_X_LPARAM(Message.LParam));
      // A release counts only on the button it was pressed on.
      if (at == PressedIndex && media_ && media_->HandleAllocated())
        SendMessageW(media_->Handle(), Message.Msg, Message.WParam, Message.LParam);
      PressedIndex = at;
      Invalidate();
      return;
    }
    default: TCustomPanel::WndProc(Message);
  }
}

// ---- TSkinMP ------------------------------------------------------------------------------------------------
TSkinMP::~TSkinMP() { delete panel_; }

void TSkinMP::Notification(TComponent* AComponent, TOperation Operation) {
  TSkinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == panel_) panel_ = nullptr;
}

void TSkinMP::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                            TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  panel_ = new TWMediaPlayer(Form, Data, Control, this);
  panel_->FreeNotification(this);  // the form skinner may free it first
  panel_->SetTag(Data->DisableTag);
  Place();
}

// The panel over the control: its bounds and parent, shown as the control is, directly
// above it.
void TSkinMP::Place() {
  if (!panel_ || !control_) return;
  panel_->SetParent(control_->Parent());
  panel_->SetBounds(control_->Left(), control_->Top(), control_->Width(), control_->Height());
  panel_->SetVisible(control_->Visible());
  if (panel_->HandleAllocated() && control_->HandleAllocated()) {
    HWND before = GetWindow(control_->Handle(), GW_HWNDPREV);
    if (before != panel_->Handle())
      SetWindowPos(panel_->Handle(), before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void TSkinMP::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_WINDOWPOSCHANGED:
      if (panel_ && control_)
        panel_->SetBounds(control_->Left(), control_->Top(), control_->Width(), control_->Height());
      return;
    case CM_VISIBLECHANGED:
      if (panel_ && control_) panel_->SetVisible(control_->Visible());
      return;
    default: TSkinControl::AfterDefault(Message);
  }
}

void TSkinMP::Detach() {
  TSkinControl::Detach();
  if (state_ == 6) {
    // The control's window is gone; the panel goes with this skinner.
    if (panel_) panel_->Forget();
    return;
  }
  delete panel_;
  panel_ = nullptr;
}
