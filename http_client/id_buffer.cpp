#include "http_client/id_buffer.h"

#include <algorithm>
#include <cstring>

#include "framework/core/sysutils.h"
#include "http_client/id_exceptions.h"
#include "http_client/id_global.h"

std::string TIdManagedBuffer::TakeBytes(size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer("Not enough data in buffer.");
  std::string out(Memory(), count);
  DropBytes(count);
  return out;
}

void TIdManagedBuffer::Append(const char* bytes, size_t count) {
  if (count == 0) return;
  std::memcpy(Space(count), bytes, count);
  Commit(count);
}

char* TIdManagedBuffer::Space(size_t count) {
  if (capacity_ - end_ < count) {
    const size_t live = Size();
    if (capacity_ - live >= count && consumed_ > 0) {
      std::memmove(data_.get(), data_.get() + consumed_, live);
    } else {
      const size_t grown = std::max(live + count, capacity_ * 2);
      std::unique_ptr<char[]> bigger(new char[grown]);
      if (live > 0) std::memcpy(bigger.get(), data_.get() + consumed_, live);
      data_ = std::move(bigger);
      capacity_ = grown;
    }
    end_ = live;
    consumed_ = 0;
  }
  return data_.get() + end_;
}

void TIdManagedBuffer::DropBytes(size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer("Not enough data in buffer.");
  if (count == Size()) {
    Clear();
  } else {
    consumed_ += count;
    if (consumed_ >= kPackThreshold) {
      std::memmove(data_.get(), data_.get() + consumed_, Size());
      end_ -= consumed_;
      consumed_ = 0;
    }
  }
  if (OnBytesRemoved && count > 0) OnBytesRemoved(count);
}

void TIdRFCReply::SetNumericCode(int value) {
  numeric_ = value;
  if (value > 0) text_code_ = std::to_string(value);
}

void TIdRFCReply::SetTextCode(const std::string& value) {
  text_code_ = value;
  if (!value.empty()) numeric_ = DecimalToInt(value, 0);
}

void TIdRFCReply::Clear() {
  numeric_ = 0;
  Text.clear();
  text_code_.clear();
}

void TIdRFCReply::Assign(const TIdRFCReply& source) {
  Clear();
  numeric_ = source.numeric_;
  text_code_ = source.text_code_;
  Text = source.Text;
}

void TIdRFCReply::ParseReplyLines(const std::vector<std::string>& lines) {
  Clear();
  if (lines.empty()) return;
  std::string code = Trim(lines[0].substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code.resize(3);
  SetTextCode(code);
  for (const auto& line : lines) Text.push_back(line.size() > 4 ? line.substr(4) : std::string());
}
