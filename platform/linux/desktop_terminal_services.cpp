#include "platform/linux/desktop_terminal_services.h"

#include <cstdlib>
#include <utility>

#include "platform/local_names.h"
#include "portable/text_compare.h"

namespace kelvoran {
namespace {

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// A text handed over with its length, the terminating zero counted.
bool ReadCountedText(const char* text, std::uint32_t length, std::string& out) {
  if (!text || length == 0) return false;
  out.assign(text, length - 1);
  return true;
}

}  // namespace

bool ProgramHasDisplay() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

DesktopTerminalServices::DesktopTerminalServices() : DesktopTerminalServices(Environment{}) {}

DesktopTerminalServices::DesktopTerminalServices(Environment environment)
    : environment_(std::move(environment)) {
  if (!environment_.computerName) environment_.computerName = ShortHostName;
  if (!environment_.namesThisMachine)
    environment_.namesThisMachine = [](const std::string& name) {
      return kelvoran::NamesThisMachine(name);
    };
}

std::optional<std::string> DesktopTerminalServices::ComputerName() {
  return environment_.computerName();
}

std::int32_t DesktopTerminalServices::OpenServer(const std::string& name, ServerHandle& server) {
  server = ServerHandle::Current;
  if (!NamesThisMachine(name)) return ErrorServerUnavailable;
  server = static_cast<ServerHandle>(++lastHandle_);
  open_.insert(server);
  return 0;
}

std::int32_t DesktopTerminalServices::EnumerateSessions(ServerHandle server,
                                                        std::vector<SessionInfo>& sessions) {
  sessions.clear();
  if (!IsValid(server)) return ErrorInvalidHandle;
  if (environment_.hasDisplay())
    sessions.push_back({ConsoleSessionId, std::string(ConsoleStation), SessionActive});
  return 0;
}

std::int32_t DesktopTerminalServices::SendSessionMessage(ServerHandle server,
                                                         std::int32_t sessionId, const char* title,
                                                         std::uint32_t titleLength,
                                                         const char* message,
                                                         std::uint32_t messageLength) {
  if (!IsValid(server)) return ErrorInvalidHandle;
  std::string titleText;
  std::string messageText;
  if (!ReadCountedText(title, titleLength, titleText) ||
      !ReadCountedText(message, messageLength, messageText))
    return ErrorInvalidParameter;
  if (sessionId != ConsoleSessionId || !environment_.hasDisplay()) return ErrorSessionNotFound;
  if (!presenter_ || !presenter_->Present(titleText, messageText)) return ErrorNotReady;
  return 0;
}

void DesktopTerminalServices::CloseServer(ServerHandle server) { open_.erase(server); }

bool DesktopTerminalServices::NamesThisMachine(const std::string& name) {
  const auto now = environment_.now();
  const std::string key = FoldAscii(name);
  if (const auto known = nameAnswers_.find(key);
      known != nameAnswers_.end() && now < known->second.expires)
    return known->second.thisMachine;
  // Destinations are few; a hand-edited list with thousands of them only
  // needs the stale answers dropped now and then.
  if (nameAnswers_.size() >= 1024)
    std::erase_if(nameAnswers_, [now](const auto& entry) { return entry.second.expires <= now; });
  const bool thisMachine = environment_.namesThisMachine(name);
  // Timed from the answer: a stalled lookup must not eat into its life.
  nameAnswers_[key] = {thisMachine, environment_.now() + kNameAnswerLife};
  return thisMachine;
}

bool DesktopTerminalServices::IsValid(ServerHandle server) const {
  return server == ServerHandle::Current || open_.count(server) != 0;
}

}  // namespace kelvoran
