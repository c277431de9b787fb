#include "platform/windows/wts_terminal_services.h"

#include <windows.h>
#include <wtsapi32.h>

namespace kelvoran {
namespace {

// The reason a call failed. Wine's stubs fail without setting one, and a
// failure must never read as the 0 of success.
std::int32_t FailureReason() {
  const DWORD error = GetLastError();
  return static_cast<std::int32_t>(error ? error : ERROR_CALL_NOT_IMPLEMENTED);
}

SessionInfo ToSessionInfo(const WTS_SESSION_INFOA& session) {
  SessionInfo info;
  info.SessionId = static_cast<std::int32_t>(session.SessionId);
  if (session.pWinStationName) info.WindowStation = session.pWinStationName;
  info.State = static_cast<std::int32_t>(session.State);
  return info;
}

}  // namespace

WtsTerminalServices::~WtsTerminalServices() {
  for (const auto& [server, handle] : open_) WTSCloseServer(handle);
}

std::optional<std::string> WtsTerminalServices::ComputerName() {
  char name[256];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return std::nullopt;
  return std::string(name, size);
}

std::int32_t WtsTerminalServices::OpenServer(const std::string& name, ServerHandle& server) {
  server = ServerHandle::Current;
  // The name is only read; the declaration lacks its const.
  const HANDLE handle = WTSOpenServerA(const_cast<LPSTR>(name.c_str()));
  if (!handle) return FailureReason();
  server = static_cast<ServerHandle>(++lastHandle_);
  open_.emplace(server, handle);
  return 0;
}

std::int32_t WtsTerminalServices::EnumerateSessions(ServerHandle server,
                                                    std::vector<SessionInfo>& sessions) {
  sessions.clear();
  const std::optional<HANDLE> handle = Native(server);
  if (!handle) return ErrorInvalidHandle;
  WTS_SESSION_INFOA* list = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateSessionsA(*handle, 0, 1, &list, &count)) return FailureReason();
  for (DWORD i = 0; i < count; ++i) sessions.push_back(ToSessionInfo(list[i]));
  WTSFreeMemory(list);
  return 0;
}

std::int32_t WtsTerminalServices::SendSessionMessage(ServerHandle server, std::int32_t sessionId,
                                                     const char* title, std::uint32_t titleLength,
                                                     const char* message,
                                                     std::uint32_t messageLength) {
  const std::optional<HANDLE> handle = Native(server);
  if (!handle) return ErrorInvalidHandle;
  DWORD response = 0;
  // Style 0 is a box with an OK button; time-out 0 and no waiting return as
  // soon as the session has the message. The texts are only read.
  if (!WTSSendMessageA(*handle, static_cast<DWORD>(sessionId), const_cast<LPSTR>(title),
                       titleLength, const_cast<LPSTR>(message), messageLength, 0, 0, &response,
                       FALSE))
    return FailureReason();
  return 0;
}

void WtsTerminalServices::CloseServer(ServerHandle server) {
  const auto connection = open_.find(server);
  if (connection == open_.end()) return;
  WTSCloseServer(connection->second);
  open_.erase(connection);
}

std::optional<void*> WtsTerminalServices::Native(ServerHandle server) const {
  if (server == ServerHandle::Current) return WTS_CURRENT_SERVER_HANDLE;
  const auto connection = open_.find(server);
  if (connection == open_.end()) return std::nullopt;
  return connection->second;
}

std::unique_ptr<SystemTerminalServices> MakeSystemTerminalServices() {
  return std::make_unique<WtsTerminalServices>();
}

}  // namespace kelvoran
