#include "print_control/job.h"

#include <cmath>

#include "platform/base/ansi_char.h"
#include "platform/base/codepage.h"

namespace zorbel {
namespace {

constexpr size_t npos = WideString::npos;

bool Contains(const WideString& s, const char16_t* tag) { return s.find(tag) != npos; }

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Removes every occurrence of `tag`, ASCII letters compared without case.
void RemoveTagNoCase(WideString& s, const WideString& tag) {
  WideString out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    bool match = i + tag.size() <= s.size();
    for (size_t k = 0; match && k < tag.size(); ++k) match = Lower(s[i + k]) == Lower(tag[k]);
    if (match) {
      i += tag.size();
    } else {
      out.push_back(s[i++]);
    }
  }
  s.swap(out);
}

// The next field: the text before the first ","; the field and its "," leave `rest`.
// Without a ",", the field is empty and `rest` stays (an empty field never converts).
WideString TakeField(WideString& rest) {
  size_t comma = rest.find(u',');
  if (comma == npos) return WideString();
  WideString field = rest.substr(0, comma);
  rest.erase(0, comma + 1);
  return field;
}

// The first `marker` (ASCII) at a character start of the ANSI text `s` from `from`.
size_t FindMarker(std::string_view s, std::string_view marker, size_t from = 0) {
  for (size_t i = from; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == static_cast<unsigned char>(marker[0]) && s.compare(i, marker.size(), marker) == 0) return i;
    i += c < 0x80 ? 1 : kv::AnsiCharLength(s.substr(i));
  }
  return npos;
}

std::vector<std::string_view> Split(std::string_view s, std::string_view marker) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t at = FindMarker(s, marker, start);
    if (at == npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, at - start));
    start = at + marker.size();
  }
}

TPenStyle PenStyleOf(const WideString& style) {
  if (style.empty()) throw EConvertError("'' is not a valid pen style");
  switch (style[0]) {
    case u'2': return psDash;
    case u'3': return psDot;
    case u'4': return psDashDot;
    case u'5': return psDashDotDot;
    case u'6': return psClear;
    case u'7': return psInsideFrame;
    default: return psSolid;
  }
}

// A paper size from the header, in tenths of a millimetre, wrapped to 16 bits.
int PaperTenths(std::string_view field, int fallback) {
  int mm = 0;
  if (!TryStrToInt(AnsiString(field), mm)) return fallback;
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(mm) * 10u));
}

}  // namespace

int JobInt(const WideString& field) { return StrToInt(kv::WideToAnsi(field)); }

TPrintJob::TPrintJob(std::string_view job) {
  std::string_view body = job;
  size_t at = FindMarker(job, "$^");
  if (at != npos) {
    has_header_ = true;
    header_ = job.substr(0, at);
    body = job.substr(at + 2);
  }
  pages_ = Split(body, "#*");
}

std::vector<std::string_view> TPrintJob::Items(std::string_view page) { return Split(page, "`"); }

TJobPaper TPrintJob::Paper() const {
  TJobPaper paper;
  if (!has_header_) return paper;
  size_t comma = FindMarker(header_, ",");
  std::string_view w = comma == npos ? std::string_view() : header_.substr(0, comma);
  std::string_view h = comma == npos ? header_ : header_.substr(comma + 1);
  paper.Width = PaperTenths(w, 2100);
  paper.Length = PaperTenths(h, 2970);
  return paper;
}

TJobItemKind ItemKind(const WideString& item) {
  if (Contains(item, u"<image>") || Contains(item, u"[image]")) return TJobItemKind::Picture;
  if (Contains(item, u"<imgURL>") || Contains(item, u"[imgURL]")) return TJobItemKind::FetchedPicture;
  if (Contains(item, u"<line>") || Contains(item, u"[line]")) return TJobItemKind::Line;
  return TJobItemKind::Text;
}

TTextItem ParseTextItem(const WideString& item, int font_size) {
  TTextItem t;
  WideString rest = item;
  if (Contains(item, u"<font>=") || Contains(item, u"[font]=")) {
    // The size runs from the 8th character to the first ","; the tag opens the item.
    size_t comma = rest.find(u',');
    WideString size = (comma == npos || comma < 7) ? WideString() : rest.substr(7, comma - 7);
    t.Size = JobInt(size);
    rest.erase(0, comma + 1);
  } else {
    t.Size = font_size;
  }
  t.X = JobInt(TakeField(rest));
  t.Y = JobInt(TakeField(rest));
  t.Text = rest;
  return t;
}

TLineItem ParseLineItem(const WideString& item) {
  WideString rest = item;
  RemoveTagNoCase(rest, u"<line>");
  RemoveTagNoCase(rest, u"[line]");
  TLineItem l;
  l.X1 = JobInt(TakeField(rest));
  l.Y1 = JobInt(TakeField(rest));
  l.X2 = JobInt(TakeField(rest));
  l.Y2 = JobInt(TakeField(rest));
  WideString style = u"1", width = u"1";
  size_t comma = rest.find(u',');
  if (comma != npos) {
    style = rest.substr(0, comma);
    WideString after = rest.substr(comma + 1);
    size_t next = after.find(u',');
    if (next != npos) {
      width = after.substr(0, next);
    } else if (!after.empty()) {
      width = after;
    }
  }
  l.Style = PenStyleOf(style);
  l.Width = JobInt(width);
  // Far beyond any paper; the drawing of such a pen would exhaust the machine.
  if (l.Width > kMaxPenWidth) throw EConvertError("Pen width " + IntToStr(l.Width) + " is out of range");
  return l;
}

TPictureFields SplitPictureItem(const WideString& item, TJobItemKind kind) {
  WideString rest = item;
  if (kind == TJobItemKind::Picture) {
    RemoveTagNoCase(rest, u"<image>");
    RemoveTagNoCase(rest, u"[image]");
  } else {
    RemoveTagNoCase(rest, u"<imgURL>");
    RemoveTagNoCase(rest, u"[imgURL]");
  }
  TPictureFields f;
  f.X = TakeField(rest);
  f.Y = TakeField(rest);
  f.W = TakeField(rest);
  f.H = TakeField(rest);
  f.Data = rest;
  return f;
}

TPictureRect ConvertPictureFields(const TPictureFields& fields) {
  TPictureRect r;
  r.X = JobInt(fields.X);
  r.Y = JobInt(fields.Y);
  r.W = JobInt(fields.W);
  r.H = JobInt(fields.H);
  return r;
}

int MmToPixels(int64_t mm, int dpi) {
  const float v = static_cast<float>(mm);
  const float t = v / 25.4f;
  const float p = t * static_cast<float>(dpi);
  // Beyond an int the truncation has no value; such a position is bad input.
  if (!(p > -2147483648.0f && p < 2147483648.0f))
    throw EConvertError("Position " + IntToStr(mm) + " mm is out of range");
  return static_cast<int>(p);
}

std::string DecodeBase64(const WideString& text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t group = 0;
  int count = 0;
  auto flush = [&] {
    // count characters of 6 bits give count * 6 / 8 whole bytes.
    if (count >= 2) out.push_back(static_cast<char>(group >> 16));
    if (count >= 3) out.push_back(static_cast<char>(group >> 8));
    if (count >= 4) out.push_back(static_cast<char>(group));
    group = 0;
    count = 0;
  };
  for (char16_t c : text) {
    int v;
    if (c >= u'A' && c <= u'Z')
      v = c - u'A';
    else if (c >= u'a' && c <= u'z')
      v = c - u'a' + 26;
    else if (c >= u'0' && c <= u'9')
      v = c - u'0' + 52;
    else if (c == u'+')
      v = 62;
    else if (c == u'/')
      v = 63;
    else if (c == u'=') {
      if (count > 0) {
        group <<= 6 * (4 - count);
        flush();
      }
      continue;
    } else {
      continue;
    }
    group = (group << 6) | static_cast<uint32_t>(v);
    if (++count == 4) flush();
  }
  if (count > 0) {
    group <<= 6 * (4 - count);
    flush();
  }
  return out;
}

}  // namespace zorbel
