// The skin description reader: an INI-like text held in memory. Lines are trimmed, empty
// lines and lines starting with ";" are dropped; a kept line "[name]" opens a section.
// Sections and keys match without regard to case; the first matching key decides.
#pragma once

#include <vector>

#include "framework/core/classes.h"
#include "framework/core/strings.h"

class TQuickIni : public TObject {
 public:
  KV_CLASS_NAME(TQuickIni)
  // Reads from the stream's position to its end; a NUL character ends the text.
  void LoadFromStream(TStream* Stream);
  void LoadFromText(const AnsiString& Text);
  // The section names without brackets, trimmed, in order.
  void SectionList(TStrings* Target) const;
  std::vector<AnsiString> Sections() const;
  // False (Value := Default) when the section or key is missing or the value is empty.
  bool ReadString(const AnsiString& Section, const AnsiString& Key, AnsiString& Value, const AnsiString& Default) const;
  AnsiString ReadString(const AnsiString& Section, const AnsiString& Key, const AnsiString& Default) const;
  // "0x" / "0X" hexadecimal, "$" hexadecimal or decimal; anything else gives Default.
  int ReadInteger(const AnsiString& Section, const AnsiString& Key, int Default) const;

 private:
  int FindSection(const AnsiString& Section) const;  // index into headers_, -1 if none
  std::vector<AnsiString> lines_;
  std::vector<std::pair<AnsiString, int>> headers_;  // header line, its index in lines_
};
