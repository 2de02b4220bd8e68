#include "print_control/dravik_font.h"

#include <cmath>

#include "platform/base/codepage.h"

namespace zorbel {
namespace {

// GDI's semi-bold and above draws bold; TFont knows only bold or not.
constexpr int kBoldFrom = 600;
constexpr int kWeightBold = 700;
constexpr int kWeightNormal = 400;

OleVariant Currency(int points) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_CY;
  v.cyVal.int64 = static_cast<int64_t>(points) * 10000;
  return OleVariant(v);
}

// Points, whole (a size the button's font can hold).
int PointsOf(const OleVariant& value) {
  const double size = value.AsDouble();
  const double points = std::nearbyint(size);
  if (!(points >= 1 && points <= 32767))
    throw EOleSysError("Font size " + FloatToStr(size) + " is out of range", E_INVALIDARG);
  return static_cast<int>(points);
}

TFontCharset CharsetOf(const OleVariant& value) {
  const int charset = value.AsInteger();
  if (charset < 0 || charset > 255)
    throw EOleSysError("Font character set " + IntToStr(charset) + " is out of range", E_INVALIDARG);
  return static_cast<TFontCharset>(charset);
}

void SetStyle(TFont* font, TFontStyle style, bool on) {
  TFontStyles styles = font->Style();
  if (on) {
    styles << style;
  } else {
    styles >> style;
  }
  font->SetStyle(styles);
}

}  // namespace

TOleFontView::TOleFontView(IUnknown* keeper, TFont* font) : TAutoObject(IID_IFontDisp), keeper_(keeper), font_(font) {
  keeper_->AddRef();
}

TOleFontView::~TOleFontView() { keeper_->Release(); }

const TDispatchTable<TOleFontView>& TOleFontView::DispatchTable() {
  using K = TDispKind;
  using F = TOleFontView;
  using D = TDispCall;
  auto style_get = [](TFontStyle style) {
    return [style](F& o, D& c) { c.SetResult(o.font_->Style().Contains(style)); };
  };
  auto style_put = [](TFontStyle style) {
    return [style](F& o, D& c) { SetStyle(o.font_, style, c.PutValue().AsBoolean()); };
  };
  static const TDispatchTable<F> table = {
      {"Name", kDispidFontName, K::PropertyGet, 0, [](F& o, D& c) { c.SetResult(kv::AnsiToWide(o.font_->Name())); }},
      {"Name", kDispidFontName, K::PropertyPut, 0,
       [](F& o, D& c) { o.font_->SetName(kv::WideToAnsi(c.PutValue().AsWideString())); }},
      {"Size", kDispidFontSize, K::PropertyGet, 0, [](F& o, D& c) { c.SetResult(Currency(o.font_->Size())); }},
      {"Size", kDispidFontSize, K::PropertyPut, 0, [](F& o, D& c) { o.font_->SetSize(PointsOf(c.PutValue())); }},
      {"Bold", kDispidFontBold, K::PropertyGet, 0, style_get(fsBold)},
      {"Bold", kDispidFontBold, K::PropertyPut, 0, style_put(fsBold)},
      {"Italic", kDispidFontItalic, K::PropertyGet, 0, style_get(fsItalic)},
      {"Italic", kDispidFontItalic, K::PropertyPut, 0, style_put(fsItalic)},
      {"Underline", kDispidFontUnderline, K::PropertyGet, 0, style_get(fsUnderline)},
      {"Underline", kDispidFontUnderline, K::PropertyPut, 0, style_put(fsUnderline)},
      {"Strikethrough", kDispidFontStrikethrough, K::PropertyGet, 0, style_get(fsStrikeOut)},
      {"Strikethrough", kDispidFontStrikethrough, K::PropertyPut, 0, style_put(fsStrikeOut)},
      {"Weight", kDispidFontWeight, K::PropertyGet, 0,
       [](F& o, D& c) { c.SetResult(o.font_->Style().Contains(fsBold) ? kWeightBold : kWeightNormal); }},
      {"Weight", kDispidFontWeight, K::PropertyPut, 0,
       [](F& o, D& c) { SetStyle(o.font_, fsBold, c.PutValue().AsInteger() >= kBoldFrom); }},
      {"Charset", kDispidFontCharset, K::PropertyGet, 0,
       [](F& o, D& c) { c.SetResult(static_cast<int>(o.font_->Charset())); }},
      {"Charset", kDispidFontCharset, K::PropertyPut, 0,
       [](F& o, D& c) { o.font_->SetCharset(CharsetOf(c.PutValue())); }},
  };
  return table;
}

IDispatch* MakeOleFont(IUnknown* keeper, TFont* font) { return new TOleFontView(keeper, font); }

void AssignOleFont(TFont* font, IDispatch* source) {
  if (!source) throw EOleSysError("No font object was given", E_POINTER);
  auto get = [source](DISPID id) { return DispatchInvoke(source, id, DISPATCH_PROPERTYGET, {}); };
  // Everything is read and checked before the font changes.
  const AnsiString name = kv::WideToAnsi(get(kDispidFontName).AsWideString());
  const int points = PointsOf(get(kDispidFontSize));
  TFontStyles styles;
  if (get(kDispidFontBold).AsBoolean()) styles << fsBold;
  if (get(kDispidFontItalic).AsBoolean()) styles << fsItalic;
  if (get(kDispidFontUnderline).AsBoolean()) styles << fsUnderline;
  if (get(kDispidFontStrikethrough).AsBoolean()) styles << fsStrikeOut;
  const TFontCharset charset = CharsetOf(get(kDispidFontCharset));
  font->SetName(name);
  font->SetSize(points);
  font->SetStyle(styles);
  font->SetCharset(charset);
}

}  // namespace zorbel
