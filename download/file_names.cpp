#include "download/file_names.h"

AnsiString ContentDispositionFileName(const AnsiString& Header) {
  static const AnsiString kKey = "filename=";
  const size_t at = Header.find(kKey);
  if (at == AnsiString::npos) return AnsiString();
  AnsiString rest = Header.substr(at + kKey.size());
  const size_t end = rest.find(!rest.empty() && rest[0] == '"' ? "\";" : ";");
  if (end != AnsiString::npos) rest.erase(!rest.empty() && rest[0] == '"' ? end + 1 : end);
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  else if (!rest.empty() && rest.front() == '"') rest.erase(0, 1);
  return rest;
}

AnsiString ReplaceInvalidFileNameChars(const AnsiString& Name) {
  AnsiString out = Name;
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127 || AnsiString("\\/:*?\"<>|").find(c) != AnsiString::npos) c = '_';
  }
  return out;
}

AnsiString SafeFileName(const AnsiString& Name, const AnsiString& Fallback) {
  AnsiString s = Name;
  const size_t semi = s.find(';');
  if (semi != AnsiString::npos) s.erase(semi);
  AnsiString unquoted;
  for (char c : s)
    if (c != '"') unquoted += c;
  const size_t sep = unquoted.find_last_of("\\/");
  if (sep != AnsiString::npos) unquoted.erase(0, sep + 1);
  s = Trim(ReplaceInvalidFileNameChars(unquoted));
  while (!s.empty() && (s.back() == '.' || s.back() == ' ')) s.pop_back();
  return s.empty() ? Fallback : s;
}
