// The print job string: paper header, pages, items and their fields, and the
// millimetre-to-device-pixel conversion.
//
// The job is read in place, in the ANSI code page it is held in: the markers ("$^", "#*",
// the grave accent) are ASCII and are looked for only where a character starts, so no
// byte of a double-byte character is mistaken for one (PrintStr comes from the code
// page's own conversion, so its characters are whole; kv::AnsiCharLength says how other
// bytes step). Each item is widened on its own for its fields; its text goes back to the
// ANSI code page only for drawing.
//
// Number fields are read with StrToInt, so a missing or malformed field raises
// EConvertError; the printing loop turns that into ErrorNum 2.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/exception.h"
#include "framework/core/sysutils.h"
#include "framework/graphics/graphics.h"

namespace zorbel {

// The paper in tenths of a millimetre, as the device mode's 16-bit fields hold it.
struct TJobPaper {
  int Width = 2100;
  int Length = 2970;
};

enum class TJobItemKind { Text, Line, Picture, FetchedPicture };

struct TTextItem {
  int Size = 0;  // points; 0 leaves the height to the device
  int X = 0, Y = 0;
  WideString Text;
};

// The widest pen a line item may ask for, in device pixels.
inline constexpr int kMaxPenWidth = 32767;

struct TLineItem {
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TPenStyle Style = psSolid;
  int Width = 1;  // device pixels
};

// A picture item with its tags removed: the number fields still as text (a fetched
// picture is downloaded before they are converted) and the data or URL.
struct TPictureFields {
  WideString X, Y, W, H;
  WideString Data;  // Base64 text, or the URL
};

struct TPictureRect {
  int X = 0, Y = 0, W = 0, H = 0;  // millimetres
};

// The job text as the control holds it (PrintStr). A print shares the text it reads in
// place, so a value set while that print runs (the debug mode's message boxes let the
// page's timers run) is there for the next print and never pulls the text from under
// this one.
class TJobText {
 public:
  TJobText() = default;
  TJobText(AnsiString text) : text_(std::make_shared<const AnsiString>(std::move(text))) {}
  TJobText(const char* text) : TJobText(AnsiString(text)) {}
  operator std::string_view() const { return text_ ? std::string_view(*text_) : std::string_view(); }
  // The text, kept alive for as long as the holder is.
  std::shared_ptr<const AnsiString> Share() const { return text_ ? text_ : std::make_shared<const AnsiString>(); }

 private:
  std::shared_ptr<const AnsiString> text_;
};

// The job's header and pages as pieces of its text, which must outlive the job.
class TPrintJob {
 public:
  explicit TPrintJob(std::string_view job);

  // The header's paper: W and H in millimetres, each falling back to 210 and 297 on
  // its own when it does not convert. A size that converts is used as it is, in tenths
  // kept to 16 bits as the device mode stores them; the printer judges what it takes.
  TJobPaper Paper() const;
  bool HasHeader() const { return has_header_; }
  // The pages in order.
  const std::vector<std::string_view>& Pages() const { return pages_; }
  // A page's items in order.
  static std::vector<std::string_view> Items(std::string_view page);

 private:
  bool has_header_ = false;
  std::string_view header_;
  std::vector<std::string_view> pages_;
};

TJobItemKind ItemKind(const WideString& item);

// `font_size` is the control's FontSize, used when the item names no size.
TTextItem ParseTextItem(const WideString& item, int font_size);
TLineItem ParseLineItem(const WideString& item);
// Removes the kind's tags (any letter case) and splits the fields.
TPictureFields SplitPictureItem(const WideString& item, TJobItemKind kind);
TPictureRect ConvertPictureFields(const TPictureFields& fields);

// Millimetres to device pixels through 32-bit floats: t := mm / 25.4, p := t * dpi,
// truncated toward zero. EConvertError when the result does not fit an int.
int MmToPixels(int64_t mm, int dpi);

// Standard Base64 as the framework decodes it: characters outside the alphabet are
// skipped, "=" ends the data of its four-character group.
std::string DecodeBase64(const WideString& text);

// A number field (StrToInt's rules) of the job.
int JobInt(const WideString& field);

}  // namespace zorbel
