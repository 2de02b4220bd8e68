// Inside libplatform.so: the registry's trees and their text file.
//
// The file is UTF-8 text, one section per key, in key order:
//
//   KORVANE REGISTRY 1
//
//   [HKEY_CLASSES_ROOT\CLSID\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\InprocServer32]
//   @="/opt/app/Zorbel.ocx"
//   "ThreadingModel"="Apartment"
//   "Count"=dword:0000000a
//
// Data forms: "text" (REG_SZ), expand:"text", multi:"a","b", dword:8 hex digits,
// qword:16 hex digits, hex:01,02 (REG_BINARY), and hex(N):... for any type whose bytes
// do not fit its own form (a string without its terminator, a DWORD of 3 bytes ...).
// Quoted text escapes \\ \" \n \r \t \0 and \uXXXX (other control characters and lone
// surrogates). Key names escape "%", "[", "]" and control characters as %XX (or %uXXXX).
// A key without values still has its section, so empty keys survive.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace kv::reg {

struct CaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};
bool SameName(const std::u16string& a, const std::u16string& b);

struct Value {
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct Key;
using KeyPtr = std::shared_ptr<Key>;

struct Key {
  std::u16string name;
  std::map<std::u16string, KeyPtr, CaseLess> subkeys;
  std::vector<Value> values;
  bool deleted = false;

  KeyPtr Find(const std::u16string& n) const;
  KeyPtr Add(const std::u16string& n);
  void Remove(const std::u16string& n);
  Value* FindValue(const std::u16string& n);
  bool RemoveValue(const std::u16string& n);
};

constexpr int kRootCount = 4;
// Keys nest at most this many levels below a root, as on the platform; deeper paths are
// refused, so no walk over a tree can run out of stack.
constexpr size_t kMaxDepth = 512;
extern const char* const kRootNames[kRootCount];

struct Tree {
  Tree();
  KeyPtr roots[kRootCount];
};

// Marks a key and everything below it deleted (handles to them then fail).
void MarkDeleted(Key& key);

std::string Serialize(const Tree& tree);
// Fills `tree` from `text`; false with a message naming the line when it does not parse
// (a key name holding a backslash, or a key deeper than kMaxDepth, does not).
bool Parse(const std::string& text, Tree& tree, std::string& error);

}  // namespace kv::reg
