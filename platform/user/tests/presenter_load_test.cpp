// The presenter's display library is loaded only when a display is wanted; when it cannot
// be used, the windows stay headless and the process says so once on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/base/system.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

class PresenterLoadTest : public UserTest {};

TEST_F(PresenterLoadTest, AHeadlessProcessNeverMapsTheDisplayLibrary) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  DestroyWindow(h);
  std::stringstream maps;
  maps << std::ifstream("/proc/self/maps").rdbuf();
  EXPECT_EQ(maps.str().find("libSDL2"), std::string::npos);
}

// Run only as the child of the test below, in the environment it sets up.
TEST_F(PresenterLoadTest, ChildShowsAWindowWithTheStandInLibrary) {
  if (!std::getenv("KV_PRESENTER_LOAD_CHILD")) GTEST_SKIP() << "run by UnusableLibraryLeavesTheWindowsHeadless";
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100);
  MSG m;
  for (int i = 0; i < 3; ++i)
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);  // the headless screen, no display's
  DestroyWindow(h);
}

TEST(PresenterLoad, UnusableLibraryLeavesTheWindowsHeadless) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  std::string command = std::string("env -u KORVANE_HEADLESS DISPLAY=:kv-none KV_PRESENTER_LOAD_CHILD=1 ") +
                        "LD_LIBRARY_PATH=" + KvProgramDirectory() + "no_sdl '" + self +
                        "' --gtest_filter=PresenterLoadTest.ChildShowsAWindowWithTheStandInLibrary 2>&1";
  FILE* child = popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr);
  std::string out;
  char buf[512];
  while (size_t got = fread(buf, 1, sizeof buf, child)) out.append(buf, got);
  int status = pclose(child);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out;
  // One line, however often the windows were pumped.
  const std::string note = "\nkorvane: no presenter, windows stay headless: libSDL2-2.0.so.0: no SDL_CaptureMouse\n";
  size_t at = out.find(note);
  EXPECT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.find("korvane:", at + note.size()), std::string::npos) << out;
}

}  // namespace
}  // namespace kvtest
