// From bytes to the node tree: the charset rule, iconv to UTF-8, gumbo's parse (its
// memory from one arena, freed at once, so no recursive free of a deep tree), and the
// copy into our own nodes with the depth limit.
#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <gumbo.h>

#include "platform/base/codepage.h"
#include "platform/browser/dom.h"
#include "platform/browser/internal.h"

namespace kv::browser {
namespace {

// The value after "charset=" in `text` (quotes and spaces trimmed), or "".
std::string CharsetParam(std::string_view text) {
  std::string low = Lower(text);
  size_t at = low.find("charset");
  if (at == std::string::npos) return {};
  size_t i = at + 7;
  while (i < low.size() && std::isspace(static_cast<unsigned char>(low[i]))) ++i;
  if (i >= low.size() || low[i] != '=') return {};
  ++i;
  while (i < low.size() && (std::isspace(static_cast<unsigned char>(low[i])) || low[i] == '"' || low[i] == '\'')) ++i;
  size_t j = i;
  while (j < low.size() && (std::isalnum(static_cast<unsigned char>(low[j])) || low[j] == '-' || low[j] == '_' ||
                            low[j] == ':' || low[j] == '.'))
    ++j;
  return low.substr(i, j - i);
}

// A charset label as iconv knows it; "" when iconv does not.
std::string IconvName(const std::string& label) {
  std::string name = label;
  if (name == "gb2312" || name == "x-gbk" || name == "gbk" || name == "cp936")
    name = "GBK";
  else if (name == "utf8")
    name = "UTF-8";
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  iconv_close(cd);
  return name;
}

std::string AnsiCharset() {
  UINT cp = GetACP();
  if (cp == 65001) return "UTF-8";
  if (cp == 936) return "GBK";
  std::string name = IconvName("cp" + std::to_string(cp));
  return name.empty() ? "GBK" : name;
}

// <meta charset=...> or <meta http-equiv content="...charset=..."> in the first 1024 bytes.
std::string MetaCharset(const uint8_t* data, size_t size) {
  std::string head = Lower(std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 1024)));
  size_t at = 0;
  while ((at = head.find("<meta", at)) != std::string::npos) {
    size_t end = head.find('>', at);
    std::string tag = head.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::string cs = CharsetParam(tag);
    if (!cs.empty()) return cs;
    at += 5;
  }
  return {};
}

// `in` converted from `charset` to UTF-8; an invalid sequence becomes U+FFFD.
std::string ToUtf8(const char* in, size_t size, const std::string& charset) {
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in, size);
  std::string out;
  out.resize(size * 2 + 16);
  char* src = const_cast<char*>(in);
  size_t left = size;
  char* dst = out.data();
  size_t room = out.size();
  while (left > 0) {
    size_t r = iconv(cd, &src, &left, &dst, &room);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      room = out.size() - used;
    } else {  // EILSEQ or EINVAL (cut at the end): one replacement character
      if (room < 3) {
        size_t used = static_cast<size_t>(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        room = out.size() - used;
      }
      std::memcpy(dst, "\xEF\xBF\xBD", 3);
      dst += 3;
      room -= 3;
      ++src;
      --left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  iconv_close(cd);
  return out;
}

// gumbo's memory: bump allocation in large blocks, released together.
struct Arena {
  std::vector<char*> blocks;
  size_t used = 0, cap = 0;
  ~Arena() {
    for (char* b : blocks) std::free(b);
  }
  void* Alloc(size_t n) {
    n = (n + 15) & ~static_cast<size_t>(15);
    if (n > cap - used) {
      size_t size = std::max<size_t>(n, 1 << 20);
      char* b = static_cast<char*>(std::malloc(size));
      if (!b) return nullptr;
      blocks.push_back(b);
      used = 0;
      cap = size;
    }
    void* p = blocks.back() + used;
    used += n;
    return p;
  }
};
void* ArenaAlloc(void* userdata, size_t n) { return static_cast<Arena*>(userdata)->Alloc(n); }
void ArenaFree(void*, void*) {}

void CollectText(const GumboNode* node, std::string& out) {
  // Iterative: the subtree below the depth limit may be arbitrarily deep.
  std::vector<const GumboNode*> stack{node};
  while (!stack.empty()) {
    const GumboNode* n = stack.back();
    stack.pop_back();
    if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA) {
      out += n->v.text.text;
    } else if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
      const GumboVector& c = n->v.element.children;
      for (unsigned i = c.length; i-- > 0;) stack.push_back(static_cast<const GumboNode*>(c.data[i]));
    }
  }
}

std::string TagName(const GumboElement& e) {
  if (e.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(e.tag);
  GumboStringPiece piece = e.original_tag;
  gumbo_tag_from_original_text(&piece);
  return Lower(std::string_view(piece.data, piece.length));
}

// `first_depth`: the depth of the document's top elements (1 for a whole document).
std::unique_ptr<Node> Convert(const GumboNode* gdoc, int first_depth = 1) {
  auto root = std::make_unique<Node>();
  root->kind = Node::kDocument;
  struct Item {
    const GumboNode* g;
    Node* parent;
    int depth;
  };
  std::vector<Item> stack;
  const GumboVector& top = gdoc->v.document.children;
  for (unsigned i = top.length; i-- > 0;)
    stack.push_back({static_cast<const GumboNode*>(top.data[i]), root.get(), first_depth});
  while (!stack.empty()) {
    Item it = stack.back();
    stack.pop_back();
    const GumboNode* g = it.g;
    auto node = std::make_unique<Node>();
    switch (g->type) {
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_WHITESPACE:
      case GUMBO_NODE_CDATA:
        node->kind = Node::kText;
        node->text = g->v.text.text;
        it.parent->AppendChild(std::move(node));
        break;
      case GUMBO_NODE_COMMENT:
        node->kind = Node::kComment;
        node->text = g->v.text.text;
        it.parent->AppendChild(std::move(node));
        break;
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        const GumboElement& e = g->v.element;
        node->kind = Node::kElement;
        node->tag = TagName(e);
        node->line = static_cast<int>(e.start_pos.line);
        for (unsigned i = 0; i < e.attributes.length; ++i) {
          auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
          node->attrs.emplace_back(Lower(a->name), a->value);
        }
        Node* placed = it.parent->AppendChild(std::move(node));
        if (it.depth >= kMaxTreeDepth) {
          std::string text;
          for (unsigned i = 0; i < e.children.length; ++i)
            CollectText(static_cast<const GumboNode*>(e.children.data[i]), text);
          if (!text.empty()) {
            auto t = std::make_unique<Node>();
            t->kind = Node::kText;
            t->text = std::move(text);
            placed->AppendChild(std::move(t));
          }
        } else {
          for (unsigned i = e.children.length; i-- > 0;)
            stack.push_back({static_cast<const GumboNode*>(e.children.data[i]), placed, it.depth + 1});
        }
        break;
      }
      default: break;
    }
  }
  return root;
}

bool InList(const std::string& name, const char* const* list) {
  for (; *list; ++list)
    if (name == *list) return true;
  return false;
}

// gumbo's tree construction costs time in the depth of open elements for each tag, so a
// page that nests without end would take hours: start tags that would open an element
// deeper than kMaxTreeDepth (counting only elements that need an end tag) are dropped,
// with as many of their end tags, before gumbo sees the text.
std::string BoundNesting(const std::string& in) {
  static const char* const kUncounted[] = {
      "area",  "base",   "br",       "col",   "embed",    "hr",      "img",      "input", "link", "meta",
      "param", "source", "track",    "wbr",   "p",        "li",      "dt",       "dd",    "tr",   "td",
      "th",    "option", "optgroup", "thead", "tbody",    "tfoot",   "colgroup", "rb",    "rt",   "rp",
      "html",  "head",   "body",     "frame", "basefont", "bgsound", "keygen",   nullptr};
  static const char* const kRawText[] = {"script",  "style",    "textarea", "title",    "xmp",
                                         "noembed", "noframes", "iframe",   "noscript", nullptr};
  std::string out;
  out.reserve(in.size());
  int depth = 0, dropped = 0;
  size_t i = 0, n = in.size();
  while (i < n) {
    size_t lt = in.find('<', i);
    if (lt == std::string::npos) lt = n;
    out.append(in, i, lt - i);
    i = lt;
    if (i >= n) break;
    if (in.compare(i, 4, "<!--") == 0) {
      size_t end = in.find("-->", i + 4);
      end = end == std::string::npos ? n : end + 3;
      out.append(in, i, end - i);
      i = end;
      continue;
    }
    bool closing = i + 1 < n && in[i + 1] == '/';
    size_t j = i + (closing ? 2 : 1);
    size_t name_start = j;
    while (j < n && (std::isalnum(static_cast<unsigned char>(in[j])) || in[j] == '-' || in[j] == ':')) ++j;
    if (j == name_start) {
      out += in[i++];
      continue;
    }
    std::string name = Lower(std::string_view(in).substr(name_start, j - name_start));
    // The end of the tag, skipping quoted attribute values.
    char quote = 0;
    while (j < n && (quote || in[j] != '>')) {
      if (quote && in[j] == quote)
        quote = 0;
      else if (!quote && (in[j] == '"' || in[j] == '\''))
        quote = in[j];
      ++j;
    }
    size_t tag_end = j < n ? j + 1 : n;
    bool self_closing = tag_end >= 2 && in[tag_end - 2] == '/';
    bool counted = !InList(name, kUncounted) && !self_closing;
    if (closing) {
      if (counted && dropped > 0) {
        --dropped;
      } else {
        if (counted && depth > 0) --depth;
        out.append(in, i, tag_end - i);
      }
      i = tag_end;
      continue;
    }
    if (InList(name, kRawText)) {
      // Raw text up to its end tag is copied unscanned.
      std::string low_end = "</" + name;
      size_t k = tag_end;
      size_t end = n;
      while (k < n) {
        size_t c = in.find("</", k);
        if (c == std::string::npos) break;
        if (Lower(std::string_view(in).substr(c, low_end.size())) == low_end) {
          end = c;
          break;
        }
        k = c + 2;
      }
      out.append(in, i, end - i);
      i = end;
      continue;
    }
    if (counted && depth >= kMaxTreeDepth) {
      ++dropped;
    } else {
      if (counted) ++depth;
      out.append(in, i, tag_end - i);
    }
    i = tag_end;
  }
  return out;
}

}  // namespace

std::string FromUtf8(std::string_view utf8, const std::string& charset) {
  if (charset == "UTF-8") return std::string(utf8);
  iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  std::string out;
  // One character at a time, so an unmappable one becomes a numeric reference.
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    len = std::min(len, utf8.size() - i);
    char buf[16];
    char* src = const_cast<char*>(utf8.data() + i);
    size_t left = len;
    char* dst = buf;
    size_t room = sizeof buf;
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      std::u16string w = Utf8ToWide(utf8.substr(i, len));
      uint32_t cp = w.empty() ? 0xFFFD : w[0];
      if (w.size() == 2 && w[0] >= 0xD800 && w[0] < 0xDC00) cp = 0x10000 + ((w[0] - 0xD800) << 10) + (w[1] - 0xDC00);
      out += "&#" + std::to_string(cp) + ";";
    } else {
      out.append(buf, static_cast<size_t>(dst - buf));
    }
    i += len;
  }
  iconv_close(cd);
  return out;
}

namespace {
// gumbo's options with its allocations in `arena` and no error records.
GumboOptions ArenaOptions(Arena* arena) {
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = ArenaAlloc;
  options.deallocator = ArenaFree;
  options.userdata = arena;
  options.max_errors = 0;
  return options;
}
}  // namespace

std::unique_ptr<Node> ParseHtml(const uint8_t* data, size_t size, std::string_view content_type, std::string* charset) {
  std::string cs;
  size_t skip = 0;
  std::string label = CharsetParam(content_type);
  if (!label.empty()) cs = IconvName(label);
  if (cs.empty()) {
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
      cs = "UTF-8";
      skip = 3;
    } else if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
      cs = "UTF-16LE";
      skip = 2;
    } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
      cs = "UTF-16BE";
      skip = 2;
    }
  }
  if (cs.empty()) cs = IconvName(MetaCharset(data, size));
  if (cs.empty()) cs = AnsiCharset();
  if (charset) *charset = cs;
  std::string utf8 = BoundNesting(ToUtf8(reinterpret_cast<const char*>(data) + skip, size - skip, cs));

  Arena arena;
  GumboOptions options = ArenaOptions(&arena);
  GumboOutput* out = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
  std::unique_ptr<Node> root = out ? Convert(out->document) : std::make_unique<Node>();
  root->kind = Node::kDocument;
  InitControlState(root.get());
  return root;  // the arena frees gumbo's tree
}

std::string DecodeText(const std::string& bytes, std::string_view content_type, const std::string& label,
                       const std::string& charset) {
  std::string cs = IconvName(CharsetParam(content_type));
  size_t skip = 0;
  if (cs.empty() && bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xEF &&
      static_cast<uint8_t>(bytes[1]) == 0xBB && static_cast<uint8_t>(bytes[2]) == 0xBF) {
    cs = "UTF-8";
    skip = 3;
  }
  if (cs.empty() && !label.empty()) {
    std::string low = label;
    for (auto& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    cs = IconvName(low);
  }
  if (cs.empty()) cs = charset;
  return ToUtf8(bytes.data() + skip, bytes.size() - skip, cs);
}

std::vector<std::unique_ptr<Node>> ParseFragment(std::string_view utf8, std::string_view context_tag, int depth) {
  std::string text = BoundNesting(std::string(utf8));
  Arena arena;
  GumboOptions options = ArenaOptions(&arena);
  std::string context(context_tag);
  GumboTag tag = gumbo_tag_enum(context.c_str());
  // The fragment's parent sets the insertion mode (rows in a table body, options in a
  // select); an unknown or document-level parent parses as a body's content.
  if (tag == GUMBO_TAG_UNKNOWN || tag == GUMBO_TAG_HTML || tag == GUMBO_TAG_LAST) tag = GUMBO_TAG_BODY;
  options.fragment_context = tag;
  options.fragment_namespace = GUMBO_NAMESPACE_HTML;
  std::vector<std::unique_ptr<Node>> nodes;
  GumboOutput* out = gumbo_parse_with_options(&options, text.data(), text.size());
  if (!out) return nodes;
  // gumbo's <html> stands where the context element does: the fragment's nodes get the
  // depth of its children, so the tree stays within kMaxTreeDepth.
  std::unique_ptr<Node> root = Convert(out->document, std::max(depth, 1));
  InitControlState(root.get());
  // The fragment's nodes are the children of the one <html> element gumbo makes.
  for (auto& c : root->children) {
    if (!c || !c->IsElement("html")) continue;
    for (auto& n : c->children) {
      n->parent = nullptr;
      nodes.push_back(std::move(n));
    }
    c->children.clear();
  }
  return nodes;
}

}  // namespace kv::browser
