#include "http_client/id_buffer.h"

#include <algorithm>

#include "framework/core/sysutils.h"
#include "http_client/id_exceptions.h"
#include "http_client/id_global.h"

std::string TIdManagedBuffer::TakeBytes(size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer("Not enough data in buffer.");
  std::string out(Memory(), count);
  DropBytes(count);
  return out;
}

void TIdManagedBuffer::DropBytes(size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer("Not enough data in buffer.");
  if (count == Size()) {
    Clear();
  } else {
    consumed_ += count;
    if (consumed_ >= kPackThreshold) {
      data_.erase(0, consumed_);
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
