// Picture items: inline Base64 and fetched by URL, sniffed, stretched into their
// rectangles; unsupported kinds, broken data and HTTP failures.
#include <filesystem>

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
      {"GIF89a", "GIF"}, {"BM", "BMP"},  {std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), "JPG"},
      {"\xFF\xD8\xFF\xE1", "JPG"},   {"\x89PNG", "PNG"},  {"......JFIF", "JPG"},
      {"\xFF\xD8", "UNKONWN"},        {"", "UNKONWN"},       {"gif", "UNKONWN"},
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
  loopback::ScriptedHttp server(
      {{"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(jpeg.size()) +
        "\r\n\r\n" + jpeg}});
  Print("<imgURL>20,30,40,25," + server.Url("/pic/a.jpg?n=1,2"));
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], "GET /pic/a.jpg?n=1,2 HTTP/1.1\r\n"
                                  "Content-Type: text/html\r\n"
                                  "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"
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
    loopback::ScriptedHttp server({{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(jpeg.size()) +
                                    "\r\n\r\n" + jpeg, true}});
    Print("<imgURL>20,x,40,25," + server.Url("/a.jpg"));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(control_.ErrorMessage, "'x' is not a valid integer value");
  }
}

}  // namespace
