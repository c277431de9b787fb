// Runs the window tests against a real X server: the one in DISPLAY, or an
// Xvfb started here on a free display number when there is none.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <string>

namespace {

class PrivateXServer {
 public:
  ~PrivateXServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // Xvfb writes the display number it chose to -displayfd once it accepts
  // connections, so no fixed number can collide with another run.
  bool Start() {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
      ::_exit(127);
    }
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

 private:
  pid_t pid_ = -1;
};

// Maximising and minimising need a window manager; tests of placement run
// one on their display.
class WindowManager {
 public:
  ~WindowManager() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void Start() {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::sleep(1);  // let it take over the screen before the first window maps
  }

 private:
  pid_t pid_ = -1;
};

class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  PrivateXServer server;
  if (!std::getenv("DISPLAY") && !server.Start()) {
    std::fprintf(stderr, "cannot start Xvfb for the window tests\n");
    return 1;
  }
  WindowManager windowManager;
#ifdef KELVORAN_TEST_WINDOW_MANAGER
  windowManager.Start();
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
