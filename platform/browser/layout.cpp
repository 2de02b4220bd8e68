// The fixed flow layout and its drawing.
#include "platform/browser/layout.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/browser/object.h"
#include "platform/user/user.h"

namespace kv::browser {
namespace {

bool IsBlock(const std::string& t) {
  static const char* kBlocks[] = {
      "html",  "body",  "div",   "p",        "form",     "table",   "tr",     "ul",     "ol",      "li",
      "h1",    "h2",    "h3",    "h4",       "h5",       "h6",      "center", "pre",    "hr",      "blockquote",
      "dl",    "dt",    "dd",    "fieldset", "address",  "section", "header", "footer", "article", "nav",
      "thead", "tbody", "tfoot", "caption",  "frameset", "iframe",  "frame",  "menu",   "legend"};
  for (const char* b : kBlocks)
    if (t == b) return true;
  return false;
}

bool IsSkipped(const Node* n) {
  static const char* kSkip[] = {"head",     "script",   "style",  "title", "meta", "link",
                                "template", "noscript", "option", "base",  "param"};
  for (const char* s : kSkip)
    if (n->tag == s) return true;
  if (n->tag == "input" && n->InputType() == "hidden") return true;
  return n->Hidden();
}

int AttrInt(const Node* n, const char* name, int fallback, int lo, int hi) {
  const std::string* v = n->Attr(name);
  if (!v) return fallback;
  int x = 0;
  bool any = false;
  for (char c : *v) {
    if (c < '0' || c > '9') break;
    any = true;
    x = std::min(hi, x * 10 + (c - '0'));
  }
  return any ? std::max(lo, x) : fallback;
}

std::vector<Node*> OptionsOf(Node* select) {
  std::vector<Node*> out;
  std::vector<Node*> stack{select};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n != select && n->IsElement("option")) out.push_back(n);
    for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
  }
  return out;
}

}  // namespace

struct Layout::Flow {
  HDC dc;
  int width;
  int line;   // line height
  int cell;   // average character width
  int space;  // width of a space
  int x = 0, y = 0;
  int row = 0;  // height of the current line so far
  std::vector<Box>* boxes;
  std::unordered_map<std::u16string, int>* widths;  // measured words, the same ones recur
  void NewLine(bool force = false) {
    if (x > 0 || force) {
      y += std::max(row, line);
      x = 0;
      row = 0;
    }
  }
  // Places an item of w x h on the line, wrapping first when it does not fit.
  RECT Put(int w, int h) {
    if (x > 0 && x + w > width) NewLine();
    RECT rc{x, y, x + w, y + h};
    x += w;
    row = std::max(row, h);
    return rc;
  }
  int TextWidth(const std::u16string& s) const {
    auto it = widths->find(s);
    if (it != widths->end()) return it->second;
    SIZE sz{};
    GetTextExtentPoint32W(dc, s.data(), static_cast<int>(s.size()), &sz);
    widths->emplace(s, sz.cx);
    return sz.cx;
  }
};

void Layout::Build(Node* root, HDC dc, int width, int zoom) {
  boxes_.clear();
  width_ = width;
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  std::unordered_map<std::u16string, int> widths;
  Flow f{dc, std::max(1, width), 0, 0, 0, 0, 0, 0, &boxes_, &widths};
  int base = std::max<int>(1, tm.tmHeight);
  f.line = std::max(1, base * (std::clamp(zoom, 0, 4) + 2) / 4);
  f.cell = std::max<int>(1, tm.tmAveCharWidth);
  f.space = std::max(1, f.TextWidth(u" "));
  Place(f, root, false, false, nullptr);
  f.NewLine();
  height_ = f.y;
}

void Layout::Place(Flow& f, Node* n, bool pre, bool link, Node* owner) {
  size_t first = boxes_.size();
  PlaceOwn(f, n, pre, link, owner);
  if (owner)
    for (size_t i = first; i < boxes_.size(); ++i) boxes_[i].node = owner;
}

void Layout::PlaceOwn(Flow& f, Node* n, bool pre, bool link, Node* owner) {
  if (n->kind == Node::kText) {
    std::u16string text = Utf8ToWide(n->text);
    Node* owner = n->parent;
    if (pre) {
      size_t start = 0;
      while (start <= text.size()) {
        size_t nl = text.find(u'\n', start);
        std::u16string part = text.substr(start, nl == std::u16string::npos ? std::u16string::npos : nl - start);
        if (!part.empty()) boxes_.push_back({Box::kText, f.Put(f.TextWidth(part), f.line), owner, part, link});
        if (nl == std::u16string::npos) break;
        f.NewLine(true);
        start = nl + 1;
      }
      return;
    }
    size_t i = 0;
    bool lead_space = false;
    while (i < text.size()) {
      if (text[i] == u' ' || text[i] == u'\n' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\f') {
        lead_space = true;
        ++i;
        continue;
      }
      size_t j = i;
      while (j < text.size() &&
             !(text[j] == u' ' || text[j] == u'\n' || text[j] == u'\t' || text[j] == u'\r' || text[j] == u'\f'))
        ++j;
      if (lead_space && f.x > 0) f.x += f.space;
      std::u16string word = text.substr(i, j - i);
      boxes_.push_back({Box::kText, f.Put(f.TextWidth(word), f.line), owner, word, link});
      lead_space = false;
      i = j;
    }
    if (lead_space && f.x > 0) f.x += f.space;
    return;
  }
  if (n->kind == Node::kComment) return;
  if (n->kind == Node::kElement) {
    if (IsSkipped(n)) return;
    const std::string& t = n->tag;
    int h = f.line + 6;
    if (t == "br") {
      f.NewLine(true);
      return;
    }
    if (t == "input") {
      std::string type = n->InputType();
      if (type == "checkbox" || type == "radio") {
        boxes_.push_back({type == "checkbox" ? Box::kCheck : Box::kRadio, f.Put(13, 13), n, u"", link});
        boxes_.back().checked = n->checked;
        f.x += f.space;
        return;
      }
      if (type == "submit" || type == "button" || type == "reset" || type == "image") {
        std::string caption = n->AttrOr("value", type == "submit" ? "Submit" : type == "reset" ? "Reset" : "");
        std::u16string c = Utf8ToWide(caption);
        boxes_.push_back({Box::kButton, f.Put(f.TextWidth(c) + 12, h), n, c, link});
        f.x += f.space;
        return;
      }
      int cols = AttrInt(n, "size", 20, 1, 200);
      Box::Kind kind = type == "password" ? Box::kPassword : Box::kField;
      boxes_.push_back({kind, f.Put(cols * f.cell + 6, h), n, Utf8ToWide(n->value), link});
      f.x += f.space;
      return;
    }
    if (t == "select") {
      auto opts = OptionsOf(n);
      int w = 0;
      for (Node* o : opts) w = std::max(w, f.TextWidth(Utf8ToWide(InnerText(o))));
      std::u16string value;
      if (n->selected >= 0 && static_cast<size_t>(n->selected) < opts.size())
        value = Utf8ToWide(InnerText(opts[static_cast<size_t>(n->selected)]));
      boxes_.push_back({Box::kSelect, f.Put(w + 6 + h, h), n, value, link});
      f.x += f.space;
      return;
    }
    if (t == "textarea") {
      int cols = AttrInt(n, "cols", 20, 1, 200), rows = AttrInt(n, "rows", 2, 1, 100);
      boxes_.push_back({Box::kTextArea, f.Put(cols * f.cell + 6, rows * f.line + 6), n, Utf8ToWide(n->value), link});
      f.x += f.space;
      return;
    }
    if (t == "img") {
      int w = AttrInt(n, "width", 40, 1, 4000), hh = AttrInt(n, "height", 40, 1, 4000);
      boxes_.push_back({Box::kImage, f.Put(w, hh), n, Utf8ToWide(n->AttrOr("alt")), link});
      return;
    }
    if (t == "button") {
      std::u16string c = Utf8ToWide(InnerText(n));
      boxes_.push_back({Box::kButton, f.Put(f.TextWidth(c) + 12, h), n, c, link});
      f.x += f.space;
      return;
    }
    if ((t == "iframe" || t == "frame") && n->frame_root) {
      // A frame's document is laid out in place, its boxes owned by the frame element.
      f.NewLine();
      Place(f, n->frame_root, false, false, owner ? owner : n);
      f.NewLine();
      return;
    }
    if (t == "object" && n->control) {
      SIZE size = n->control->BoxSize();
      boxes_.push_back({Box::kControl, f.Put(size.cx, size.cy), n, u"", link});
      f.x += f.space;
      return;
    }
    bool block = IsBlock(t);
    if (block) f.NewLine();
    bool child_pre = pre || t == "pre" || t == "textarea";
    bool child_link = link || (t == "a" && n->Attr("href"));
    for (auto& c : n->children) PlaceOwn(f, c.get(), child_pre, child_link, owner);
    if (t == "td" || t == "th") f.x += f.space * 2;
    if (block) f.NewLine();
    if (t == "hr") {
      boxes_.push_back({Box::kText, RECT{0, f.y, f.width, f.y + 2}, n, u"", false});
      f.y += 4;
    }
    return;
  }
  for (auto& c : n->children) PlaceOwn(f, c.get(), pre, link, owner);
}

void Layout::Paint(HDC dc, int dx, int dy) const {
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  HBRUSH grey = CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0));
  int old_mode = SetBkMode(dc, TRANSPARENT);
  COLORREF old_color = SetTextColor(dc, RGB(0, 0, 0));
  // Only the boxes that meet the clip box are drawn.
  RECT clip{};
  bool clipped = GetClipBox(dc, &clip) != ERROR;
  for (const Box& b : boxes_) {
    RECT rc = b.rc;
    OffsetRect(&rc, dx, dy);
    if (clipped && (rc.bottom <= clip.top || rc.top >= clip.bottom || rc.right <= clip.left || rc.left >= clip.right))
      continue;
    switch (b.kind) {
      case Box::kText:
        if (b.text.empty()) {
          FillRect(dc, &rc, grey);  // a rule
          break;
        }
        SetTextColor(dc, b.link ? RGB(0, 0, 0xFF) : RGB(0, 0, 0));
        TextOutW(dc, rc.left, rc.top, b.text.data(), static_cast<int>(b.text.size()));
        break;
      case Box::kField:
      case Box::kPassword:
      case Box::kSelect:
      case Box::kTextArea: {
        FillRect(dc, &rc, white);
        FrameRect(dc, &rc, black);
        std::u16string shown = b.kind == Box::kPassword ? std::u16string(b.text.size(), u'*') : b.text;
        if (b.kind == Box::kTextArea) {
          // Only the first line that fits is drawn inside the frame.
          size_t nl = shown.find(u'\n');
          if (nl != std::u16string::npos) shown.resize(nl);
        }
        RECT inner{rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3};
        if (b.kind == Box::kSelect) {
          int side = rc.bottom - rc.top;
          RECT arrow{rc.right - side, rc.top, rc.right, rc.bottom};
          FillRect(dc, &arrow, grey);
          FrameRect(dc, &arrow, black);
          inner.right = arrow.left - 1;
        }
        SetTextColor(dc, RGB(0, 0, 0));
        ExtTextOutW(dc, inner.left, inner.top, ETO_CLIPPED, &inner, shown.data(), static_cast<UINT>(shown.size()),
                    nullptr);
        break;
      }
      case Box::kButton: {
        FillRect(dc, &rc, grey);
        DrawEdge(dc, &rc, EDGE_RAISED, BF_RECT);
        SetTextColor(dc, RGB(0, 0, 0));
        TextOutW(dc, rc.left + 6, rc.top + 3, b.text.data(), static_cast<int>(b.text.size()));
        break;
      }
      case Box::kCheck:
      case Box::kRadio: {
        FillRect(dc, &rc, white);
        FrameRect(dc, &rc, black);
        if (b.checked) {
          RECT mark{rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3};
          FillRect(dc, &mark, black);
        }
        break;
      }
      case Box::kControl:
        if (b.node->control) b.node->control->Draw(dc, rc);
        break;
      case Box::kImage: {
        FillRect(dc, &rc, grey);
        SetTextColor(dc, RGB(0, 0, 0));
        ExtTextOutW(dc, rc.left + 2, rc.top + 2, ETO_CLIPPED, &rc, b.text.data(), static_cast<UINT>(b.text.size()),
                    nullptr);
        break;
      }
    }
  }
  SetTextColor(dc, old_color);
  SetBkMode(dc, old_mode);
  DeleteObject(grey);
}

Node* Layout::HitTest(int x, int y) const {
  for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) {
    const RECT& r = it->rc;
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return it->node;
  }
  return nullptr;
}

bool Layout::BoxOf(const Node* node, RECT* rc) const {
  for (const Box& b : boxes_)
    for (const Node* p = b.node; p; p = p->parent)
      if (p == node) {
        *rc = b.rc;
        return true;
      }
  return false;
}

}  // namespace kv::browser
