#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <set>

#include "notify/console_presenter.h"
#include "notify/terminal_services.h"
#include "platform/program_display.h"
#include "platform/system_services.h"

namespace kelvoran {

// The terminal server of this platform is the desktop the program runs on.
// Its only session is the console session, and it exists only while the
// program has a display; a message sent to it goes to the registered
// presenter. Other computers offer no terminal service to this platform, so
// any name that does not mean this machine cannot be opened.
class DesktopTerminalServices final : public SystemTerminalServices {
 public:
  static constexpr std::int32_t ConsoleSessionId = 1;
  static constexpr const char* ConsoleStation = "Console";

  struct Environment {
    std::function<bool()> hasDisplay = ProgramHasDisplay;
    std::function<std::optional<std::string>()> computerName;  // ShortHostName when empty
    std::function<bool(const std::string&)> namesThisMachine;  // NamesThisMachine when empty
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
  };

  // How long the answer to "is this name this machine?" is kept, a failed
  // lookup's too: while the name server cannot be reached, every lookup
  // stalls the user-interface thread for its bound, and a flapping list
  // would ask again for each host that goes down.
  static constexpr std::chrono::minutes kNameAnswerLife{5};

  DesktopTerminalServices();
  explicit DesktopTerminalServices(Environment environment);

  // Where console messages are shown; null takes the presenter away, and
  // messages then fail with ErrorNotReady. Not owned.
  void SetPresenter(ConsolePresenter* presenter) override { presenter_ = presenter; }

  std::optional<std::string> ComputerName() override;
  std::int32_t OpenServer(const std::string& name, ServerHandle& server) override;
  std::int32_t EnumerateSessions(ServerHandle server, std::vector<SessionInfo>& sessions) override;
  std::int32_t SendSessionMessage(ServerHandle server, std::int32_t sessionId, const char* title,
                                  std::uint32_t titleLength, const char* message,
                                  std::uint32_t messageLength) override;
  void CloseServer(ServerHandle server) override;

  // Connections opened and not yet closed.
  std::size_t OpenConnections() const { return open_.size(); }

 private:
  bool IsValid(ServerHandle server) const;
  bool NamesThisMachine(const std::string& name);

  struct NameAnswer {
    bool thisMachine;
    std::chrono::steady_clock::time_point expires;
  };

  Environment environment_;
  ConsolePresenter* presenter_ = nullptr;
  std::set<ServerHandle> open_;
  std::int32_t lastHandle_ = 0;
  // By name, case folded.
  std::map<std::string, NameAnswer> nameAnswers_;
};

}  // namespace kelvoran
