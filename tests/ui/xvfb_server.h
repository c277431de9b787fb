#pragma once

#include <sys/types.h>

#include <string>

namespace kelvoran::test {

// A private X server for the UI tests: Xvfb picks a free display number
// itself (-displayfd), so parallel test processes never collide, and it dies
// with the test process even when that crashes.
class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":N", or empty when the server could not be started.
  const std::string& Display() const { return m_display; }

 private:
  pid_t m_pid = -1;
  std::string m_display;
};

}  // namespace kelvoran::test
