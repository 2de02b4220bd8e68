// The skin elements read from a skin description: one record per element, each holding
// its image (frames side by side unless stated), margins, frame count and colours.
#pragma once

#include <memory>

#include "framework/core/sysutils.h"
#include "framework/core/strings.h"
#include "framework/graphics/graphics.h"
#include "platform/user/user.h"
#include "skin/skin_paint.h"

// A colour key that was not given.
constexpr TColor kColourNotGiven = -1;
// A title text colour that was not given.
constexpr TColor kTitleColourNotGiven = 0x1FFFFFFF;

class TDataSkinObject : public TObject {
 public:
  explicit TDataSkinObject(const AnsiString& Name) : IDName(Name), Map(std::make_unique<TBitmap>()) {}
  KV_CLASS_NAME(TDataSkinObject)
  TSkinMargins Margins() const { return TSkinMargins{LeftMargin, TopMargin, RightMargin, BottomMargin}; }
  bool HasImage() const { return Map && !Map->Empty(); }
  int Frames() const { return FrameCount(Frame); }
  int FrameWidth() const { return HasImage() ? Map->Width() / Frames() : 0; }

  int LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;
  AnsiString IDName;
  std::unique_ptr<TBitmap> Map;
  int Trans = 0;
  int Tile = 0;
  int Frame = 1;
  int Style = 0;
  TColor NormalColour = kColourNotGiven, MouseOverColour = kColourNotGiven, PressedColour = kColourNotGiven;
  TColor NormalColour2 = 0, MouseOverColour2 = 0, PressedColour2 = 0;
};

class TDataSkinBorder : public TDataSkinObject {
 public:
  explicit TDataSkinBorder(const AnsiString& Name) : TDataSkinObject(Name), Map2(std::make_unique<TBitmap>()) {}
  KV_CLASS_NAME(TDataSkinBorder)
  std::unique_ptr<TBitmap> Map2;
};

class TDataSkinButton : public TDataSkinObject {
 public:
  explicit TDataSkinButton(const AnsiString& Name)
      : TDataSkinObject(Name), CheckMap(std::make_unique<TBitmap>()), RadioMap(std::make_unique<TBitmap>()) {}
  KV_CLASS_NAME(TDataSkinButton)
  std::unique_ptr<TBitmap> CheckMap, RadioMap;
  int RadioFrame = 0, CheckFrame = 0;
  bool Normal2Given = false, MouseOver2Given = false, Pressed2Given = false;
};

// A caption button.
class TDataSkinSysButton : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  KV_CLASS_NAME(TDataSkinSysButton)
  int Action = 0, Align = 0, Xcoord = 0, Ycoord = 0, CombineOp = -1, Visibility = 0, Visibility1 = 0;
};

// The caption text.
class TDataSkinTitle : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  KV_CLASS_NAME(TDataSkinTitle)
  int TextAlignment = 0, Textbackground = 0, FontHeight = 14, TXTBackleft = 0, TXTBackRight = 0;
  TColor ActiveTextColour = kTitleColourNotGiven, InactiveTextColour = kTitleColourNotGiven;
};

// The group box label.
class TDataSkinBoxLabel : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  KV_CLASS_NAME(TDataSkinBoxLabel)
  int BackgroundLeftShift = 0, BackgroundRightShift = 0, BackgroundAlignment = 0;
};
