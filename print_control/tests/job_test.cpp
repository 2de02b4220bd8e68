// The job string's pieces: the conversion, Base64, paper, item kinds and fields.
#include <gtest/gtest.h>

#include "platform/base/codepage.h"
#include "print_control/job.h"

namespace {

using namespace zorbel;

TEST(MmToPixels, ThroughSingleFloats) {
  struct Case {
    int64_t mm;
    int dpi;
    int pixels;
  } cases[] = {
      {10, 600, 236}, {127, 600, 3000}, {1, 600, 23},     {409, 254, 4089},
      {0, 600, 0},    {-10, 600, -236}, {148, 600, 3496}, {210, 300, 2480},
  };
  // 409 mm at 254 dpi: 4089 through single floats (4090 in double precision).
  for (const auto& c : cases) EXPECT_EQ(MmToPixels(c.mm, c.dpi), c.pixels) << c.mm << " mm at " << c.dpi;
  EXPECT_THROW(MmToPixels(int64_t{4000000000}, 600), EConvertError);
  EXPECT_THROW(MmToPixels(int64_t{-4000000000}, 600), EConvertError);
}

TEST(Base64, FrameworkDecoding) {
  struct Case {
    const char16_t* text;
    std::string bytes;
  } cases[] = {
      {u"TWFu", "Man"},
      {u"TWE=", "Ma"},
      {u"TQ==", "M"},
      {u"TW\r\nF u\t", "Man"},  // line breaks and blanks are skipped
      {u"TQ==TWFu", "MMan"},    // "=" ends its group only
      {u"T", ""},               // a lone character gives no byte
      {u"!!TWFu??", "Man"},
      {u"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.text), c.bytes) << kv::WideToUtf8(c.text);
}

TEST(JobPaper, HeaderFields) {
  struct Case {
    const char* job;
    int width, length;
  } cases[] = {
      {"10,10,x", 2100, 2970},
      {"148,210$^x", 1480, 2100},
      {"abc,250$^x", 2100, 2500},
      {"250$^x", 2100, 2500},
      {"100,xyz$^x", 1000, 2970},
      {",$^x", 2100, 2970},
      {"100,50$^a$^b", 1000, 500},
      // Sizes that convert are kept as the 16-bit fields hold them, whatever the printer
      // makes of them.
      {"0,0$^x", 0, 0},
      {"-5,100$^x", -50, 1000},
      {"5000,100$^x", -15536, 1000},
      {"2147483647,1$^x", -10, 10},
  };
  for (const auto& c : cases) {
    TPrintJob job(c.job);
    EXPECT_EQ(job.Paper().Width, c.width) << c.job;
    EXPECT_EQ(job.Paper().Length, c.length) << c.job;
  }
}

TEST(JobPages, PagesAndItemsArePiecesOfTheText) {
  using Items = std::vector<std::string_view>;
  const std::string text = "1,1,a`2,2,b#*3,3,c#*";
  TPrintJob job(text);
  ASSERT_EQ(job.Pages().size(), 3u);
  EXPECT_EQ(TPrintJob::Items(job.Pages()[0]), (Items{"1,1,a", "2,2,b"}));
  EXPECT_EQ(TPrintJob::Items(job.Pages()[1]), (Items{"3,3,c"}));
  EXPECT_EQ(TPrintJob::Items(job.Pages()[2]), (Items{""}));
  EXPECT_EQ(job.Pages()[1].data(), text.data() + 13);  // read in place
}

TEST(JobText, APrintKeepsItsTextWhenANewOneIsSet) {
  TJobText text = "10,10,a";
  const std::shared_ptr<const AnsiString> printing = text.Share();
  TPrintJob job(*printing);
  text = "20,20,b";  // as a page's script may while a message box of the print is up
  EXPECT_EQ(std::string_view(text), "20,20,b");
  EXPECT_EQ(TPrintJob::Items(job.Pages()[0]), (std::vector<std::string_view>{"10,10,a"}));
  EXPECT_EQ(std::string_view(TJobText()), "");
  EXPECT_EQ(*TJobText().Share(), "");
}

TEST(JobPages, AGraveAccentInsideADoubleByteCharacterIsNoMarker) {
  using Items = std::vector<std::string_view>;
  // In GBK "\x81\x60" and "\xB7\x60" end in the grave accent's byte; a lead byte before a
  // byte that is never a trail byte ("#", ",") is a character of its own.
  TPrintJob job("1,1,\x81\x60`1,1,\xB7\x60x#*1,1,\xB7#*");
  ASSERT_EQ(job.Pages().size(), 3u);
  EXPECT_EQ(TPrintJob::Items(job.Pages()[0]), (Items{"1,1,\x81\x60", "1,1,\xB7\x60x"}));
  EXPECT_EQ(TPrintJob::Items(job.Pages()[1]), (Items{"1,1,\xB7"}));
  EXPECT_EQ(TPrintJob::Items(job.Pages()[2]), (Items{""}));
  EXPECT_EQ(TPrintJob("\xB7,5$^x").Paper().Length, 50);
}

TEST(JobItems, KindIsCaseSensitive) {
  EXPECT_EQ(ItemKind(u"<image>1,2,3,4,QQ=="), TJobItemKind::Picture);
  EXPECT_EQ(ItemKind(u"1,2,3,4,[image]QQ=="), TJobItemKind::Picture);
  EXPECT_EQ(ItemKind(u"<imgURL>1,2,3,4,http://a/<line>"), TJobItemKind::FetchedPicture);
  EXPECT_EQ(ItemKind(u"<line>1,2,3,4,"), TJobItemKind::Line);
  EXPECT_EQ(ItemKind(u"[LINE]1,2,3,4,"), TJobItemKind::Text);
  EXPECT_EQ(ItemKind(u"<IMAGE>1,2,3,4,"), TJobItemKind::Text);
}

TEST(JobItems, LineFields) {
  struct Case {
    const char16_t* item;
    TPenStyle style;
    int width;
  } cases[] = {
      {u"<line>1,2,3,4,", psSolid, 1},
      {u"<line>1,2,3,4,3", psSolid, 1},
      {u"<line>1,2,3,4,3,2", psDot, 2},
      {u"<line>1,2,3,4,2,5,9", psDash, 5},
      {u"<line>1,2,3,4,3,", psDot, 1},
      {u"<line>1,2,3,4,6,1", psClear, 1},
      {u"<line>1,2,3,4,7,1", psInsideFrame, 1},
      {u"<line>1,2,3,4,9,1", psSolid, 1},
      {u"1,2<LINE>,3,4,4,1", psDashDot, 1},
      {u"[line]1,2,3,4,5,1", psDashDotDot, 1},
      {u"<line>1,2,3,4,1,32767", psSolid, 32767},
  };
  for (const auto& c : cases) {
    TLineItem l = ParseLineItem(c.item);
    EXPECT_EQ(l.X1, 1);
    EXPECT_EQ(l.Y2, 4);
    EXPECT_EQ(l.Style, c.style) << kv::WideToUtf8(c.item);
    EXPECT_EQ(l.Width, c.width) << kv::WideToUtf8(c.item);
  }
  for (const char16_t* bad :
       {u"<line>1,2,3,4", u"<line>1,2,3,4,,2", u"<line>1,2,3,4,1,x", u"<line>1,2,3", u"<line>1,2,3,4,1,32768"})
    EXPECT_THROW(ParseLineItem(bad), EConvertError) << kv::WideToUtf8(bad);
}

TEST(JobItems, TextFields) {
  TTextItem t = ParseTextItem(u"<font>=12,10,20,Total, with comma", 9);
  EXPECT_EQ(t.Size, 12);
  EXPECT_EQ(t.X, 10);
  EXPECT_EQ(t.Y, 20);
  EXPECT_EQ(t.Text, u"Total, with comma");
  t = ParseTextItem(u"10,20,x", 9);
  EXPECT_EQ(t.Size, 9);
  EXPECT_EQ(t.Text, u"x");
  EXPECT_EQ(ParseTextItem(u"[font]=0,1,2,", 9).Size, 0);
  for (const char16_t* bad : {u"10,20", u"", u"10.5,20,x", u"<font>=,1,2,x", u"<font>=12", u"1,<font>=3,4,x"})
    EXPECT_THROW(ParseTextItem(bad, 9), EConvertError) << kv::WideToUtf8(bad);
}

TEST(JobItems, PictureFieldsKeepTheRest) {
  TPictureFields f = SplitPictureItem(u"<IMGurl>1,2,3,4,http://h/a?b=1,2[imgurl]", TJobItemKind::FetchedPicture);
  EXPECT_EQ(f.Data, u"http://h/a?b=1,2");
  TPictureRect r = ConvertPictureFields(f);
  EXPECT_EQ(r.X + r.Y + r.W + r.H, 10);
  f = SplitPictureItem(u"<image>1,2,x,4,QQ==", TJobItemKind::Picture);
  EXPECT_THROW(ConvertPictureFields(f), EConvertError);
}

}  // namespace
