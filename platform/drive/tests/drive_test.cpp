// The drive channel from another process: a harness lists the program's windows, types
// and clicks into them, answers its message box, takes a screenshot and closes it.
#include <gtest/gtest.h>

#include <fstream>

#include "testsupport/drive_client.h"
#include "testsupport/temp_home.h"

namespace {

using kvtest::DriveClient;
using kvtest::DriveWindow;

struct DriveTest : ::testing::Test {
  kvtest::TempHome home;
  std::string socket = home / "drive.sock";
  std::string boxes = home / "boxes.txt";
  kvtest::ChildProcess app{{"./drive_test_app"},
                           {"KORVANE_DRIVE=" + socket, "KORVANE_MSGBOX_LOG=" + boxes, "KORVANE_HEADLESS=1"}};
  DriveClient drive;

  void SetUp() override { ASSERT_TRUE(drive.Connect(socket)) << "the program never listened on " << socket; }

  DriveWindow Find(const std::vector<DriveWindow>& list, const std::string& cls) {
    for (auto& w : list)
      if (w.cls == cls) return w;
    ADD_FAILURE() << "no window of class " << cls;
    return {};
  }
};

TEST_F(DriveTest, AHarnessTypesClicksAnswersAndCloses) {
  DriveWindow main = Find(drive.Windows(), "DriveTestWindow");
  EXPECT_TRUE(main.visible);
  EXPECT_EQ(main.caption, "drive test");
  EXPECT_EQ(main.width, 300);
  auto kids = drive.Windows("children " + main.Handle());
  DriveWindow edit = Find(kids, "Edit"), button = Find(kids, "Button");
  EXPECT_EQ(edit.depth, 0);
  EXPECT_EQ(button.caption, "Show");

  ASSERT_TRUE(drive.Command("click " + std::to_string(edit.left + 5) + " " + std::to_string(edit.top + 5)).ok);
  ASSERT_TRUE(drive.Command("type 发票 no. 7").ok);
  ASSERT_TRUE(drive.Command("msgbox-answer 2").ok);  // IDCANCEL
  ASSERT_TRUE(drive.Command("click " + std::to_string(button.left + 5) + " " + std::to_string(button.top + 5)).ok);
  ASSERT_TRUE(DriveClient::WaitFor([&] { return Find(drive.Windows(), "DriveTestWindow").caption == "answered cancel"; }));
  auto log = drive.Command("msgbox-log");
  ASSERT_TRUE(log.ok);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(kvtest::DriveFields(log.lines[0]), (std::vector<std::string>{"Echo", "发票 no. 7", "1", "2"}));

  std::string shot = home / "main.png";
  ASSERT_TRUE(drive.Command("screenshot " + main.Handle() + " " + shot).ok);
  std::ifstream png(shot, std::ios::binary);
  char sig[8] = {};
  png.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");

  ASSERT_TRUE(drive.Command("close " + main.Handle()).ok);
  EXPECT_EQ(app.Wait(), 3);
  std::ifstream file(boxes);
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line, log.lines[0]) << "the file log holds the same line";
}

TEST_F(DriveTest, BadCommandsAreRefusedWithTheirReason) {
  struct Case {
    const char* command;
    const char* error;
  } cases[] = {
      {"jump", "unknown command jump"},
      {"click 10", "click X Y"},
      {"key 300", "key VK [down|up]"},
      {"children 12345", "children HWND: no such window"},
      {"close zz", "close HWND: no such window"},
      {"dom", "no document is shown"},
      {"element login", "no document is shown"},
  };
  for (auto& c : cases) {
    auto r = drive.Command(c.command);
    EXPECT_FALSE(r.ok) << c.command;
    EXPECT_EQ(r.error, c.error) << c.command;
  }
  EXPECT_TRUE(drive.Command("windows").ok) << "the channel goes on after refusals";
}

}  // namespace
