// The view's one fixed flow layout (not CSS): blocks stacked, inline text wrapped in the
// DC's font, form fields as framed boxes with their values, buttons raised with their
// captions, images as grey boxes with their alt text, display:none hidden. The same boxes
// serve drawing and hit testing.
#pragma once

#include <string>
#include <vector>

#include "platform/browser/dom.h"
#include "platform/gdi/gdi.h"

namespace kv::browser {

struct Box {
  enum Kind { kText, kField, kPassword, kButton, kCheck, kRadio, kImage, kSelect, kTextArea, kControl };
  Kind kind = kText;
  RECT rc{};
  Node* node = nullptr;  // the element (for text: the element holding the text)
  std::u16string text;
  bool link = false;
  bool checked = false;
};

class Layout {
 public:
  // Lays out the tree below `root` at `width` pixels with the font selected in `dc`;
  // `zoom` 0..4 scales the line height (2 is 100 %).
  void Build(Node* root, HDC dc, int width, int zoom);
  void Paint(HDC dc, int dx, int dy) const;
  // The deepest element whose box holds (x, y), or null.
  Node* HitTest(int x, int y) const;
  // The first box of `node` or of a node inside it; false when it has none.
  bool BoxOf(const Node* node, RECT* rc) const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<Box>& Boxes() const { return boxes_; }

 private:
  struct Flow;
  // `owner`: the node boxes are given instead of their own (a frame's content belongs to
  // its frame element for hit testing), or null.
  void Place(Flow& f, Node* n, bool pre, bool link, Node* owner);
  void PlaceOwn(Flow& f, Node* n, bool pre, bool link, Node* owner);
  std::vector<Box> boxes_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace kv::browser
