#include "tests/ui/xvfb_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

namespace kelvoran::test {
namespace {

constexpr int kStartTimeoutMs = 15'000;

[[noreturn]] void ExecXvfb(int displayFd) {
  // SIGTERM on our death: a crashed test leaves no server behind.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  const std::string fd = std::to_string(displayFd);
  execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten",
         "tcp", "-noreset", static_cast<char*>(nullptr));
  std::perror("exec Xvfb");
  _exit(127);
}

// Xvfb writes the display number and a newline once it accepts clients.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  std::array<char, 16> buffer{};
  pollfd wait{fd, POLLIN, 0};
  while (poll(&wait, 1, kStartTimeoutMs) > 0) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    number.append(buffer.data(), static_cast<std::size_t>(got));
    if (number.find('\n') != std::string::npos) {
      return number.substr(0, number.find('\n'));
    }
  }
  return {};
}

}  // namespace

XvfbServer::XvfbServer() {
  std::array<int, 2> pipeFds{};
  if (pipe(pipeFds.data()) != 0) return;
  m_pid = fork();
  if (m_pid == 0) {
    close(pipeFds[0]);
    ExecXvfb(pipeFds[1]);
  }
  close(pipeFds[1]);
  if (m_pid > 0) {
    const std::string number = ReadDisplayNumber(pipeFds[0]);
    if (!number.empty()) m_display = ":" + number;
  }
  close(pipeFds[0]);
}

XvfbServer::~XvfbServer() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  waitpid(m_pid, nullptr, 0);
}

}  // namespace kelvoran::test
