// Fuzz target: the print job parser, on the bytes of PrintStr (the ANSI code page), the
// way the print road reads them: paper, pages, items, their fields, the Base64 data and
// the millimetre conversion of every position. Only the framework's exceptions may leave
// a field; anything else (a crash, an overflow, another exception) is a finding.
#include <cstdint>
#include <string>

#include "platform/base/codepage.h"
#include "print_control/job.h"

namespace {

void Convert(int64_t mm) {
  try {
    zorbel::MmToPixels(mm, 600);
    zorbel::MmToPixels(mm, 254);
  } catch (const Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string ansi(reinterpret_cast<const char*>(data), size);
  zorbel::TPrintJob job(ansi);
  try {
    job.Paper();
  } catch (const Exception&) {
  }
  for (std::string_view page : job.Pages()) {
    for (std::string_view piece : zorbel::TPrintJob::Items(page)) {
      const WideString item = kv::AnsiToWide(piece);
      try {
        switch (zorbel::TJobItemKind kind = zorbel::ItemKind(item)) {
          case zorbel::TJobItemKind::Text: {
            zorbel::TTextItem t = zorbel::ParseTextItem(item, 12);
            Convert(int64_t{t.X} + 5);
            Convert(int64_t{t.Y} - 5);
            kv::WideToAnsi(t.Text);
            break;
          }
          case zorbel::TJobItemKind::Line: {
            zorbel::TLineItem l = zorbel::ParseLineItem(item);
            Convert(l.X1);
            Convert(l.Y2);
            break;
          }
          case zorbel::TJobItemKind::Picture:
          case zorbel::TJobItemKind::FetchedPicture: {
            zorbel::TPictureFields f = zorbel::SplitPictureItem(item, kind);
            if (kind == zorbel::TJobItemKind::Picture) {
              std::string bytes = zorbel::DecodeBase64(f.Data);
              if (bytes.size() > f.Data.size()) __builtin_trap();  // never more bytes than characters
            }
            zorbel::TPictureRect r = zorbel::ConvertPictureFields(f);
            Convert(int64_t{r.X} + r.W);
            Convert(int64_t{r.Y} + r.H);
            break;
          }
        }
      } catch (const Exception&) {
      }
    }
  }
  return 0;
}
