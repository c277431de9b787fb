// Runs the window tests against a real X server: the one in DISPLAY, or an
// Xvfb started here on a free display number when there is none.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A helper program that lives as long as the test run.
struct ChildProcess {
  pid_t pid = -1;
  void Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid = -1;
  }
  ~ChildProcess() {
    if (pid > 0 && ::kill(pid, SIGTERM) == 0) ::waitpid(pid, nullptr, 0);
  }
};

// Starts Xvfb on a free display number and points DISPLAY at it. Xvfb writes
// the number it chose to -displayfd once it accepts connections.
bool StartPrivateXServer(ChildProcess& server) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  server.Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                "-noreset", "-nolisten", "tcp"});
  ::close(fds[1]);
  // The number and its line end come in two writes; closing the pipe after
  // the first would fail the second and with it the server.
  std::string number;
  char c = 0;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) return false;
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  return true;
}

class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  ChildProcess server;
  if (!std::getenv("DISPLAY") && !StartPrivateXServer(server)) {
    std::fprintf(stderr, "cannot start Xvfb for the window tests\n");
    return 1;
  }
  // Maximising and minimising need a window manager; tests of placement run
  // one on their display.
  ChildProcess windowManager;
#ifdef KELVORAN_TEST_WINDOW_MANAGER
  windowManager.Spawn({"openbox", "--sm-disable"});
  ::sleep(1);  // let it take over the screen before the first window maps
#endif
  wxApp::SetInstance(new TestApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot open the X display\n");
    return 1;
  }
  const int failures = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return failures;
}
