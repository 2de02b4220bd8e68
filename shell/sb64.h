// The Base64 form of the values in the shell's configuration file.
//
// Standard alphabet, but the padding follows the length of the output, not of the
// input, and decoding skips every "=" and stops at the first other character outside
// the alphabet. Stored files rely on exactly this form.
#pragma once

#include "framework/core/sysutils.h"

class TSB64 {
 public:
  static constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  static constexpr char kPad = '=';

  // Bytes to text: 6 bits a character, most significant first, a last group of 1 to 5
  // bits left-aligned; then "==" when the output length is 1 mod 3, "=" when 2 mod 3.
  AnsiString Encode(const AnsiString& Data) const;
  // Text to bytes: "=" is skipped, whole bytes are kept, left-over bits dropped. False
  // at the first character neither "=" nor in the alphabet, and Dest keeps what it held.
  bool Decode(const AnsiString& Text, AnsiString& Dest) const;
};
