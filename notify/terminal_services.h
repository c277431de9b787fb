#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvoran {

// A terminal server as the delivery addresses it: the local server, which is
// used without opening anything, or a connection opened by name.
enum class ServerHandle : std::int32_t { Current = 0 };

// Platform error codes the terminal-service operations report. The values are
// the well-known system error numbers an operator may look up.
enum TerminalServiceError : std::int32_t {
  ErrorInvalidHandle = 6,
  ErrorNotReady = 21,
  ErrorInvalidParameter = 87,
  ErrorServerUnavailable = 1722,
  ErrorSessionNotFound = 7022,
};

enum SessionState : std::int32_t { SessionActive = 0, SessionDisconnected = 4 };

struct SessionInfo {
  std::int32_t SessionId = 0;
  // Absent for sessions that have no window station.
  std::optional<std::string> WindowStation;
  std::int32_t State = SessionActive;
};

// The terminal-service operations the popup delivery needs. Each one returns 0
// on success or the platform's error code. Texts are 8-bit; the lengths given
// to SendSessionMessage count the terminating zero.
class TerminalServices {
 public:
  virtual ~TerminalServices() = default;

  // The local computer's name, or nothing when it cannot be obtained.
  virtual std::optional<std::string> ComputerName() = 0;
  virtual std::int32_t OpenServer(const std::string& name, ServerHandle& server) = 0;
  virtual std::int32_t EnumerateSessions(ServerHandle server,
                                         std::vector<SessionInfo>& sessions) = 0;
  // Hands the message to the session and returns without waiting for anyone
  // to read it.
  virtual std::int32_t SendSessionMessage(ServerHandle server, std::int32_t sessionId,
                                          const char* title, std::uint32_t titleLength,
                                          const char* message, std::uint32_t messageLength) = 0;
  // Releases a connection from OpenServer; the local server is never closed.
  virtual void CloseServer(ServerHandle server) = 0;
};

}  // namespace kelvoran
