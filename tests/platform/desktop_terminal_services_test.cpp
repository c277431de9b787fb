#include "platform/desktop_terminal_services.h"

#include <gtest/gtest.h>

#include <string>

#include "../notify/recording_presenter.h"

namespace kelvoran {
namespace {

constexpr std::int32_t kConsole = DesktopTerminalServices::ConsoleSessionId;

class DesktopServer : public ::testing::Test {
 protected:
  DesktopServer() { services.SetPresenter(&presenter); }
  std::int32_t Send(const std::string& message, std::int32_t session = kConsole,
                    ServerHandle server = ServerHandle::Current) {
    return services.SendSessionMessage(server, session, "T", 2, message.c_str(),
                                       static_cast<std::uint32_t>(message.size() + 1));
  }

  bool display = true;
  testing::RecordingPresenter presenter;
  DesktopTerminalServices services{{[this] { return display; },
                                    [] { return std::optional<std::string>("deskbox"); },
                                    [](const std::string& name) { return name == "deskbox"; }}};
};

TEST_F(DesktopServer, ConsoleSessionExistsOnlyWithADisplay) {
  std::vector<SessionInfo> sessions;
  ASSERT_EQ(services.EnumerateSessions(ServerHandle::Current, sessions), 0);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].WindowStation, "Console");
  EXPECT_EQ(sessions[0].SessionId, kConsole);
  display = false;
  ASSERT_EQ(services.EnumerateSessions(ServerHandle::Current, sessions), 0);
  EXPECT_TRUE(sessions.empty());
  EXPECT_EQ(Send("x"), ErrorSessionNotFound);
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(DesktopServer, OnlyThisMachineCanBeOpenedAndAClosedHandleIsRefused) {
  ServerHandle server = ServerHandle::Current;
  EXPECT_EQ(services.OpenServer("elsewhere", server), ErrorServerUnavailable);
  ASSERT_EQ(services.OpenServer("deskbox", server), 0);
  EXPECT_NE(server, ServerHandle::Current);
  EXPECT_EQ(Send("x", kConsole, server), 0);
  services.CloseServer(server);
  EXPECT_EQ(services.OpenConnections(), 0u);
  EXPECT_EQ(Send("x", kConsole, server), ErrorInvalidHandle);
  std::vector<SessionInfo> sessions;
  EXPECT_EQ(services.EnumerateSessions(server, sessions), ErrorInvalidHandle);
}

// The whole text reaches the presenter, byte for byte: long, multi-line,
// markup-like, not even UTF-8, or empty. What cannot be shown is refused.
TEST_F(DesktopServer, HandsTheWholeMessageToThePresenterOrRefuses) {
  std::string message;
  while (message.size() < 10'000) message += "<b>&amp;</b>\n\xFF\xE9 ";
  message.resize(10'000);
  for (const std::string& text : {message, std::string()}) {
    ASSERT_EQ(Send(text), 0);
    EXPECT_EQ(presenter.shown.back().title, "T");
    EXPECT_EQ(presenter.shown.back().message, text);
  }
  EXPECT_EQ(Send("x", 0), ErrorSessionNotFound);
  EXPECT_EQ(services.SendSessionMessage(ServerHandle::Current, kConsole, "T", 0, "x", 2),
            ErrorInvalidParameter);
  presenter.succeed = false;
  EXPECT_EQ(Send("x"), ErrorNotReady);
  services.SetPresenter(nullptr);
  EXPECT_EQ(Send("x"), ErrorNotReady);
}

}  // namespace
}  // namespace kelvoran
