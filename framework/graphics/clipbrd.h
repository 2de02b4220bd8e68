// The framework's clipboard object over the platform's in-process clipboard.
#pragma once

#include "framework/graphics/graphics.h"
#include "platform/user/clipboard.h"

class TClipboard : public TPersistent {
 public:
  KV_CLASS_NAME(TClipboard)
  ~TClipboard() override;

  // Opens nest; EInvalidOperation "Cannot open clipboard" when another holder has it.
  void Open();
  void Close();
  void Clear();
  bool HasFormat(WORD Format);
  int FormatCount();
  WORD Formats(int Index);

  // CF_TEXT in the ANSI code page.
  AnsiString AsText();
  void SetAsText(const AnsiString& Value);
  // The handle stays the clipboard's.
  HANDLE GetAsHandle(WORD Format);
  // The clipboard takes the handle.
  void SetAsHandle(WORD Format, HANDLE Value);
  // A copy of raw bytes under a registered format.
  void SetBuffer(WORD Format, const void* Buffer, int Size);

  // Puts a graphic or picture on the clipboard (its clipboard format); takes a picture
  // or graphic from it (Assign(Clipboard()) on a TPicture or TBitmap).
  void Assign(TPersistent* Source) override;

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  int open_count_ = 0;
};

// The process's clipboard object.
TClipboard* Clipboard();
