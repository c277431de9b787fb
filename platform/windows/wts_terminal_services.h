#pragma once

#include <map>

#include "platform/system_services.h"

namespace kelvoran {

// The terminal services of Windows, called as they are: the local server
// through the system's handle for the current server, other computers through
// a connection opened by name. The system shows the message box in the
// session itself.
class WtsTerminalServices final : public SystemTerminalServices {
 public:
  WtsTerminalServices() = default;
  WtsTerminalServices(const WtsTerminalServices&) = delete;
  WtsTerminalServices& operator=(const WtsTerminalServices&) = delete;
  ~WtsTerminalServices() override;

  void SetPresenter(ConsolePresenter*) override {}

  std::optional<std::string> ComputerName() override;
  std::int32_t OpenServer(const std::string& name, ServerHandle& server) override;
  std::int32_t EnumerateSessions(ServerHandle server, std::vector<SessionInfo>& sessions) override;
  std::int32_t SendSessionMessage(ServerHandle server, std::int32_t sessionId, const char* title,
                                  std::uint32_t titleLength, const char* message,
                                  std::uint32_t messageLength) override;
  void CloseServer(ServerHandle server) override;

 private:
  // The system's handle behind a ServerHandle (null is the current server),
  // or nothing when it names no server open here.
  std::optional<void*> Native(ServerHandle server) const;

  std::map<ServerHandle, void*> open_;  // connections from WTSOpenServerA
  std::int32_t lastHandle_ = 0;
};

}  // namespace kelvoran
