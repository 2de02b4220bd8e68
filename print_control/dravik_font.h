// The button's font as the standard OLE font's dispatch interface (IFontDisp): what the
// control hands out for its Font property, and how a font object put into Font is taken
// over by the button.
//
// The object is a live view: reading Name, Size, Bold, Italic, Underline, Strikethrough,
// Weight or Charset reads the button's TFont, writing one changes it (so a page's
// control.Font.Size = 12 resizes the button's text). It holds a reference to the control
// it came from, so the font it shows stays valid as long as the object lives.
#pragma once

#include "framework/automation/comobj.h"
#include "framework/graphics/graphics.h"

namespace zorbel {

inline constexpr IID IID_IFontDisp = {0xBEF6E003, 0xA874, 0x101A, {0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

// The OLE font's DISPIDs.
inline constexpr DISPID kDispidFontName = 0;
inline constexpr DISPID kDispidFontSize = 2;
inline constexpr DISPID kDispidFontBold = 3;
inline constexpr DISPID kDispidFontItalic = 4;
inline constexpr DISPID kDispidFontUnderline = 5;
inline constexpr DISPID kDispidFontStrikethrough = 6;
inline constexpr DISPID kDispidFontWeight = 7;
inline constexpr DISPID kDispidFontCharset = 8;

class TOleFontView : public TAutoObject<TOleFontView> {
 public:
  // `keeper` (referenced for the object's life) owns `font`.
  TOleFontView(IUnknown* keeper, TFont* font);
  static const TDispatchTable<TOleFontView>& DispatchTable();

 protected:
  WideString ErrorSource() const override { return u"Zorbel.Dravik"; }

 private:
  ~TOleFontView() override;
  IUnknown* keeper_;
  TFont* font_;
};

// A new view of `font` (one reference, the caller's).
IDispatch* MakeOleFont(IUnknown* keeper, TFont* font);

// Takes over name, size, style and character set from any OLE font object (read through
// its dispatch interface) into `font`. EOleSysError when `source` is null or lacks one
// of them; the font is changed only when every value was read and is in range.
void AssignOleFont(TFont* font, IDispatch* source);

}  // namespace zorbel
