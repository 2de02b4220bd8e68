// TDravik: the overlay print control's state, its print road, its picture items and
// its printer identity calls, and the relays of the wrapped button's click and key press
// to the page's event sink.
#pragma once

#include <string>
#include <string_view>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"
#include "framework/graphics/graphics.h"
#include "platform/com/oleauto.h"
#include "print_control/job.h"

namespace zorbel {

// The event interface (dispatch only) and its DISPIDs.
inline constexpr IID DIID_IDravikEvents = {
    0xE02B8B3B, 0x956C, 0x400B, {0x88, 0xE0, 0x76, 0x4E, 0xDE, 0xC1, 0xB7, 0x51}};
inline constexpr DISPID kDispidOnClick = 201;
inline constexpr DISPID kDispidOnKeyPress = 202;

// Where the control's events go: the page's sink, when the container gave one.
class TDravikEvents {
 public:
  virtual void RaiseOnClick() = 0;
  // Key is [in, out]: the sink may change it.
  virtual void RaiseOnKeyPress(SHORT& Key) = 0;

 protected:
  ~TDravikEvents() = default;
};

class TDravik : public TComponent {
 public:
  TDravik() : TComponent(nullptr) {}
  KV_CLASS_NAME(TDravik)

  // The event relay (the COM object's; none for a control used on its own).
  TDravikEvents* Events = nullptr;

  // PrintStr := value (in the ANSI code page), then print.
  void Start_Print(std::u16string_view value);
  // Prints PrintStr. Failures end in ErrorNum / ErrorMessage (and the debug boxes);
  // only exceptions outside the framework's tree leave.
  void Print();

  // The button's click: OnClick to the sink, then the print.
  void Click();
  // A character key reaching the button: OnKeyPress with the code widened to 16 bits;
  // the low byte of what the sink leaves is the character the button goes on with.
  void KeyPress(char& key);

  // The printer identity calls, each loading the identity library afresh.
  WideString GetPrinterName();
  WideString GetPrinterNum();
  WideString GetPrinterVer();
  WideString GetPrinterProductionYear();
  WideString GetPrinterProductionWeek();

  TJobText PrintStr;  // in the ANSI code page
  int FontSize = 0;
  int IsPrintSetup = 1;
  int RepairX = 0;
  int RepairY = 0;
  int IsDebug = 0;
  int ErrorNum = 0;
  AnsiString ErrorMessage;
  // The identity library: a bare name is searched in the control's own folder first,
  // then as the platform searches libraries.
  AnsiString QuenlowLibrary = "Quenlow.dll";

 private:
  void PrintJob();
  void ApplyPaper(const TJobPaper& paper);
  void DrawItem(std::string_view item);
  void DrawPicture(TJobItemKind kind, const WideString& item);
  void DrawPictureStream(TMemoryStream& stream, const TRect& rect);
  TRect PictureRect(const TPictureRect& mm);
  int PixelsX(int mm);
  int PixelsY(int mm);
  void Fail(int number, const Exception& e);
  WideString CallIdentity(bool name);
  void DebugBox(const WideString& text);
};

// The largest picture an item prints: a side of the PDF surface's limit, and pixels
// worth 256 MB at 4 bytes each. A larger one fails its item at once.
inline constexpr int kMaxPictureSide = 32767;
inline constexpr int64_t kMaxPicturePixels = int64_t{64} << 20;

// The kind of a picture stream from its first 20 bytes: "GIF", "BMP", "JPG", "PNG" or
// "UNKONWN". A JPEG is known by its FF D8 FF start as well as by "JFIF" at offset 6.
AnsiString PictureKind(const TMemoryStream& stream);

}  // namespace zorbel
