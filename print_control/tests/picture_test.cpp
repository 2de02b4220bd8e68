// Picture items: inline Base64 and fetched by URL, sniffed, stretched into their
// rectangles; unsupported kinds, broken data and HTTP failures.
#include <filesystem>

#include "gif/gif_image.h"
#include "http_client/tests/loopback_server.h"
#include "print_control/tests/fixture.h"

namespace {

using namespace zorbel_test;

// The rectangle of a picture at (20, 30) sized 40 x 25 mm on a 600 dpi page.
struct Box {
  int l = Px(20, 600), t = Px(30, 600), r = Px(20, 600) + Px(40, 600), b = Px(30, 600) + Px(25, 600);
};

void ExpectFilled(const Page& page, const Box& box) {
  EXPECT_TRUE(page.dark(box.l + 1, box.t + 1));
  EXPECT_TRUE(page.dark(box.r - 2, box.b - 2));
  EXPECT_TRUE(page.dark((box.l + box.r) / 2, (box.t + box.b) / 2));
  EXPECT_FALSE(page.dark(box.l - 2, box.t + 10));
  EXPECT_FALSE(page.dark(box.r + 1, box.b - 10));
  EXPECT_FALSE(page.dark(box.l + 10, box.b + 1));
}

// An Exif JPEG: the same picture with its APP0 "JFIF" segment turned into APP1 "Exif".
std::string ExifJpeg() {
  std::string jpeg = BlackPicture("jpeg");
  EXPECT_EQ(jpeg.substr(6, 4), "JFIF");
  jpeg[3] = static_cast<char>(0xE1);
  jpeg.replace(6, 4, "Exif");
  return jpeg;
}

std::string MyTestFile() { return kvtest::ReadFile(kv::MapPath("c:\\mytest.jpg")); }

TEST_F(PrintTest, InlinePicturesFillTheirRectangles) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"jpeg", BlackPicture("jpeg")},
      {"exif jpeg", ExifJpeg()},
      {"bmp", BlackPicture("bmp")},
      {"gif", BlackGif()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KvPrintClearDocuments();
    Print("<image>20,30,40,25," + Base64(c.bytes));
    EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
    Page page(PagePath(LastDocument(), 1));
    ASSERT_TRUE(page.ok());
    ExpectFilled(page, Box{});
  }
}

TEST_F(PrintTest, BrokenBase64DrawsAsIfUnbroken) {
  std::string text = Base64(BlackPicture("jpeg"));
  std::string broken;
  for (size_t i = 0; i < text.size(); ++i) broken += text[i] + std::string(i % 7 == 6 ? "\r\n " : "");
  Print("[image]20,30,40,25," + broken);
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  Page page(PagePath(LastDocument(), 1));
  ExpectFilled(page, Box{});
}

TEST_F(PrintTest, UnsupportedPicturesAreSkipped) {
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string(24, '\0');
  Print("<image>20,30,40,25," + Base64(png) + "`10,80,after");
  EXPECT_EQ(control_.ErrorNum, 0);
  EXPECT_TRUE(zorbel::MessageBoxLog().empty());
  Page page(PagePath(LastDocument(), 1));
  EXPECT_EQ(page.ink(0, 0, page.width(), Px(75, 600)), 0);
  EXPECT_GT(page.ink(Px(10, 600), Px(80, 600), Px(40, 600), Px(85, 600)), 0);

  control_.IsDebug = 1;
  Print("<image>20,30,40,25," + Base64(png) + "`<image>20,30,40,25," + Base64("GIZ"));
  auto log = zorbel::MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(Utf8(log[0]), "不支持的图片格式[PNG]。");
  EXPECT_EQ(Utf8(log[1]), "不支持的图片格式[UNKONWN]。");
  // Every picture stream goes to the dump file; it holds the last one.
  EXPECT_EQ(MyTestFile(), "GIZ");
}

TEST_F(PrintTest, PictureKinds) {
  struct Case {
    std::string head;
    const char* kind;
  } cases[] = {
      {"GIF89a", "GIF"},           {"BM", "BMP"},      {std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), "JPG"},
      {"\xFF\xD8\xFF\xE1", "JPG"}, {"\x89PNG", "PNG"}, {"......JFIF", "JPG"},
      {"\xFF\xD8", "UNKONWN"},     {"", "UNKONWN"},    {"gif", "UNKONWN"},
  };
  for (const auto& c : cases) {
    TMemoryStream s;
    s.Write(c.head.data(), static_cast<int>(c.head.size()));
    EXPECT_EQ(zorbel::PictureKind(s), c.kind) << c.head;
  }
}

TEST_F(PrintTest, BrokenPicturesFailThePrint) {
  control_.IsDebug = 1;
  Print("10,10,first`<image>20,30,40,25," + Base64("\xFF\xD8\xFF\xE0 broken jpeg data"));
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_FALSE(control_.ErrorMessage.empty());
  EXPECT_EQ(MyTestFile().substr(0, 3), "\xFF\xD8\xFF");
  Page page(PagePath(LastDocument(), 1));
  EXPECT_GT(page.ink(Px(10, 600), Px(10, 600), Px(40, 600), Px(15, 600)), 0);
}

TEST_F(PrintTest, FetchedPictureWithItsExactRequest) {
  const std::string jpeg = BlackPicture("jpeg");
  loopback::ScriptedHttp server({{"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                  std::to_string(jpeg.size()) + "\r\n\r\n" + jpeg}});
  Print("<imgURL>20,30,40,25," + server.Url("/pic/a.jpg?n=1,2"));
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /pic/a.jpg?n=1,2 HTTP/1.1\r\n"
            "Content-Type: text/html\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.Port()) +
                "\r\n"
                "Accept: text/html, */*\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Idlane Library)\r\n"
                "\r\n");
  Page page(PagePath(LastDocument(), 1));
  ExpectFilled(page, Box{});
}

TEST_F(PrintTest, FetchFailures) {
  {
    loopback::ScriptedHttp server({{"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", true}});
    Print("10,10,first`<imgURL>20,30,40,25," + server.Url("/missing.gif"));
    EXPECT_EQ(control_.ErrorNum, 2);
    EXPECT_EQ(control_.ErrorMessage, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(LastDocument().pages, 1u);
  }
  control_.ErrorMessage.clear();
  Print("<imgURL>20,30,40,25,https://127.0.0.1:1/a.jpg");
  EXPECT_EQ(control_.ErrorMessage, "IOHandler value is not valid");
  {
    // The download comes before the number fields are converted.
    const std::string jpeg = BlackPicture("jpeg");
    loopback::ScriptedHttp server(
        {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(jpeg.size()) + "\r\n\r\n" + jpeg, true}});
    Print("<imgURL>20,x,40,25," + server.Url("/a.jpg"));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(control_.ErrorMessage, "'x' is not a valid integer value");
  }
}

}  // namespace

namespace {

using namespace zorbel_test;

// A run-length BMP of 4100 x 61695 pixels in 62 bytes: one run and the end of the picture.
std::string RunLengthBomb() {
  std::string b = "BM";
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i));
  };
  auto u16 = [&](uint16_t v) {
    b += static_cast<char>(v);
    b += static_cast<char>(v >> 8);
  };
  u32(62);
  u32(0);
  u32(58);
  u32(40);
  u32(4100);
  u32(61695);
  u16(1);
  u16(8);
  u32(1 /* BI_RLE8 */);
  u32(4);
  u32(0);
  u32(0);
  u32(1);
  u32(0);
  u32(0);                                   // the one colour
  b += std::string("\xFF\x00\x00\x01", 4);  // 255 pixels of colour 0, end of picture
  return b;
}

// A JPEG whose frame header claims 16 x 40000 pixels.
std::string TallJpeg() {
  std::string jpeg = BlackPicture("jpeg");
  size_t sof = jpeg.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  jpeg[sof + 5] = static_cast<char>(40000 >> 8);
  jpeg[sof + 6] = static_cast<char>(40000 & 0xFF);
  return jpeg;
}

// Pictures beyond what can be printed fail their item at once, in words about the picture;
// what was drawn before them is printed.
TEST_F(PrintTest, OversizedPicturesFailAtOnce) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"run-length bmp", RunLengthBomb(), "Bitmap image is too large"},
      {"tall jpeg", TallJpeg(),
       "JPG picture of 16 x 40000 pixels is too large to print (at most 32767 pixels a side and 67108864 pixels)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KvPrintClearDocuments();
    control_.ErrorNum = 0;
    Print("10,10,first`<image>20,30,30,30," + Base64(c.bytes));
    EXPECT_EQ(control_.ErrorNum, 2);
    EXPECT_EQ(control_.ErrorMessage, c.message);
    KvPrintDocument d = LastDocument();
    EXPECT_FALSE(d.aborted);
    Page page(PagePath(d, 1));
    EXPECT_GT(page.ink(236, 236, 944, 354), 0);
  }
}

// A picture larger than its rectangle reaches the page at the rectangle's device pixels.
TEST_F(PrintTest, LargePicturesAreReducedToTheirRectangle) {
  Print("<image>20,30,10,10," + Base64(BlackPicture("bmp", 800)));
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  KvPrintDocument d = LastDocument();
  Page page(PagePath(d, 1));
  EXPECT_TRUE(page.dark(473, 709));
  EXPECT_TRUE(page.dark(472 + 234, 708 + 234));
  EXPECT_FALSE(page.dark(472 + 237, 708 + 100));
  // The PDF holds the picture at 236 x 236 pixels (10 mm at 600 dpi).
  FILE* p = popen(("pdfimages -list '" + std::string(d.pdfPath) + "' 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string listing;
  char line[512];
  while (fgets(line, sizeof line, p)) listing += line;
  pclose(p);
  int page_no = 0, num = 0, width = 0, height = 0;
  char type[32];
  size_t row = listing.find("\n", listing.find("----"));
  ASSERT_NE(row, std::string::npos) << listing;
  ASSERT_EQ(std::sscanf(listing.c_str() + row, " %d %d %31s %d %d", &page_no, &num, type, &width, &height), 5)
      << listing;
  EXPECT_EQ(width, 236);
  EXPECT_EQ(height, 236);
}

TEST_F(PrintTest, FetchedGifAndBmpPictures) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {{"gif", BlackGif()}, {"bmp", BlackPicture("bmp")}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    loopback::ScriptedHttp server(
        {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(c.bytes.size()) + "\r\n\r\n" + c.bytes}});
    KvPrintClearDocuments();
    Print("<imgURL>20,30,40,25," + server.Url(std::string("/a.") + c.name));
    EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
    Page page(PagePath(LastDocument(), 1));
    ASSERT_TRUE(page.ok());
    ExpectFilled(page, Box{});
  }
}

// A 4 x 4 GIF of two frames on a black and white table: the first frame black on its left
// half and white on its right, the second the other way round.
std::string TwoFrameGif() {
  TGIFImage image;
  image.GlobalColorMap()->Add(clBlack);
  image.GlobalColorMap()->Add(clWhite);
  for (int frame = 0; frame < 2; ++frame) {
    auto* sub = new TGIFSubImage(&image);
    sub->SetBoundsRect(0, 0, 4, 4);
    for (int i = 0; i < 16; ++i) sub->Data()[i] = static_cast<BYTE>((i % 4 < 2) == (frame == 0) ? 0 : 1);
    image.Images()->Add(sub);
  }
  TMemoryStream out;
  image.SaveToStream(&out);
  return std::string(static_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
}

TEST_F(PrintTest, MultiFrameGifPrintsItsFirstFrame) {
  const std::string gif = TwoFrameGif();
  {
    TGIFImage check;
    TStringStream in(gif);
    check.LoadFromStream(&in);
    ASSERT_EQ(check.Images()->Count(), 2);
  }
  loopback::ScriptedHttp server(
      {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(gif.size()) + "\r\n\r\n" + gif}});
  for (const std::string& item :
       {"<image>20,30,40,25," + Base64(gif), "<imgURL>20,30,40,25," + server.Url("/two.gif")}) {
    SCOPED_TRACE(item.substr(0, 10));
    KvPrintClearDocuments();
    Print(item);
    EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
    Page page(PagePath(LastDocument(), 1));
    ASSERT_TRUE(page.ok());
    const Box box;
    const int middle = box.l + Px(20, 600);  // the picture's two columns of pixels meet here
    EXPECT_EQ(page.ink(box.l + 2, box.t + 2, middle - 2, box.b - 2), (middle - 4 - box.l) * (box.b - 4 - box.t));
    EXPECT_EQ(page.ink(middle + 2, box.t + 2, box.r - 2, box.b - 2), 0);
  }
}

}  // namespace
