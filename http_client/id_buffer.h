// Received bytes not yet consumed, and a protocol reply's code and text.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/classes.h"

// Received bytes not yet consumed. Consuming advances a count; memory moves only when
// 32768 consumed bytes have gathered. The storage is left uninitialised, so receiving
// straight into its free end (Space, then Commit) costs no clearing and no extra copy.
class TIdManagedBuffer {
 public:
  size_t Size() const { return end_ - consumed_; }
  const char* Memory() const { return data_ ? data_.get() + consumed_ : nullptr; }
  void Append(const char* bytes, size_t count);
  // Room for `count` more bytes after the content; Commit(n) makes the first n of them content.
  char* Space(size_t count);
  void Commit(size_t count) { end_ += count; }
  std::string TakeBytes(size_t count);  // EIdNotEnoughDataInBuffer when count > Size()
  void DropBytes(size_t count);
  void Clear() { end_ = consumed_ = 0; }
  std::function<void(size_t)> OnBytesRemoved;

 private:
  static constexpr size_t kPackThreshold = 32768;
  std::unique_ptr<char[]> data_;
  size_t capacity_ = 0, end_ = 0, consumed_ = 0;
};

class TIdRFCReply : public TObject {
 public:
  KV_CLASS_NAME(TIdRFCReply)
  int NumericCode() const { return numeric_; }
  void SetNumericCode(int value);
  const std::string& TextCode() const { return text_code_; }
  void SetTextCode(const std::string& value);
  void Clear();
  void Assign(const TIdRFCReply& source);
  void ParseReplyLines(const std::vector<std::string>& lines);
  std::vector<std::string> Text;

 private:
  int numeric_ = 0;
  std::string text_code_;
};

enum TIdMaxLineAction { maException, maSplit };
