// kvdrive SOCKET COMMAND...: sends each command to a program started with KORVANE_DRIVE=SOCKET
// and prints each reply's lines as they come; exits 1 at the first refused command.
// kvdrive SOCKET --wait-window CLASS [SECONDS]: waits until a visible top-level window of
// that class exists and prints its line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "testsupport/drive_client.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: kvdrive SOCKET COMMAND...\n"
                 "       kvdrive SOCKET --wait-window CLASS [SECONDS]\n");
    return 2;
  }
  kvtest::DriveClient drive;
  if (!drive.Connect(argv[1])) {
    std::fprintf(stderr, "kvdrive: nobody listens on %s\n", argv[1]);
    return 1;
  }
  if (std::strcmp(argv[2], "--wait-window") == 0 && argc >= 4) {
    std::string cls = argv[3];
    int seconds = argc >= 5 ? std::atoi(argv[4]) : 20;
    std::string found;
    bool ok = kvtest::DriveClient::WaitFor(
        [&] {
          auto r = drive.Command("windows");
          for (auto& l : r.lines) {
            auto w = kvtest::ParseDriveWindow(l);
            if (w.visible && w.cls == cls) found = l;
          }
          return !found.empty();
        },
        std::chrono::seconds(seconds));
    if (!ok) {
      std::fprintf(stderr, "kvdrive: no window of class %s within %d s\n", cls.c_str(), seconds);
      return 1;
    }
    std::printf("%s\n", found.c_str());
    return 0;
  }
  for (int i = 2; i < argc; ++i) {
    auto r = drive.Command(argv[i]);
    if (!r.ok) {
      std::fprintf(stderr, "kvdrive: %s: %s\n", argv[i], r.error.c_str());
      return 1;
    }
    for (auto& l : r.lines) std::printf("%s\n", l.c_str());
  }
  return 0;
}
