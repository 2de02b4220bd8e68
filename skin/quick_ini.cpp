#include "skin/quick_ini.h"

#include "framework/core/sysutils.h"

void TQuickIni::LoadFromStream(TStream* Stream) {
  AnsiString text;
  char buffer[4096];
  for (int n; (n = Stream->Read(buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  LoadFromText(text);
}

void TQuickIni::LoadFromText(const AnsiString& Text) {
  lines_.clear();
  headers_.clear();
  const size_t end = std::min(Text.find('\0'), Text.size());
  size_t start = 0;
  while (start < end) {
    size_t stop = start;
    while (stop < end && Text[stop] != '\r' && Text[stop] != '\n') ++stop;
    AnsiString line = Trim(Text.substr(start, stop - start));
    if (stop < end && Text[stop] == '\r' && stop + 1 < end && Text[stop + 1] == '\n') ++stop;
    start = stop + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      headers_.emplace_back(line, static_cast<int>(lines_.size()));
    lines_.push_back(line);
  }
}

std::vector<AnsiString> TQuickIni::Sections() const {
  std::vector<AnsiString> out;
  for (const auto& h : headers_) out.push_back(Trim(h.first.substr(1, h.first.size() - 2)));
  return out;
}

void TQuickIni::SectionList(TStrings* Target) const {
  Target->Clear();
  for (const AnsiString& s : Sections()) Target->Add(s);
}

int TQuickIni::FindSection(const AnsiString& Section) const {
  const AnsiString wanted = "[" + Section + "]";
  for (size_t i = 0; i < headers_.size(); ++i)
    if (SameText(headers_[i].first, wanted)) return static_cast<int>(i);
  return -1;
}

bool TQuickIni::ReadString(const AnsiString& Section, const AnsiString& Key, AnsiString& Value,
                           const AnsiString& Default) const {
  Value = Default;
  const int h = FindSection(Section);
  if (h < 0) return false;
  const size_t first = static_cast<size_t>(headers_[static_cast<size_t>(h)].second) + 1;
  const size_t last = static_cast<size_t>(h) + 1 < headers_.size()
                          ? static_cast<size_t>(headers_[static_cast<size_t>(h) + 1].second)
                          : lines_.size();
  const AnsiString key = LowerCase(Key);
  for (size_t i = first; i < last; ++i) {
    const AnsiString& line = lines_[i];
    const size_t eq = line.find('=');
    if (eq == AnsiString::npos) continue;
    if (LowerCase(Trim(line.substr(0, eq))) != key) continue;
    AnsiString v = Trim(line.substr(eq + 1));
    if (v.empty()) return false;
    Value = v;
    return true;
  }
  return false;
}

AnsiString TQuickIni::ReadString(const AnsiString& Section, const AnsiString& Key, const AnsiString& Default) const {
  AnsiString v;
  ReadString(Section, Key, v, Default);
  return v;
}

int TQuickIni::ReadInteger(const AnsiString& Section, const AnsiString& Key, int Default) const {
  AnsiString v;
  if (!ReadString(Section, Key, v, "")) return Default;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v = "$" + v.substr(2);
  return StrToIntDef(v, Default);
}
