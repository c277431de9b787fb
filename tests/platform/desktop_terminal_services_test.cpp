#include "platform/desktop_terminal_services.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../notify/recording_presenter.h"

namespace kelvoran {
namespace {

class DesktopServer : public ::testing::Test {
 protected:
  DesktopServer() { services.SetPresenter(&presenter); }
  std::int32_t Send(ServerHandle server, std::int32_t session, const std::string& message) {
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
  EXPECT_EQ(sessions[0].SessionId, DesktopTerminalServices::ConsoleSessionId);

  display = false;
  ASSERT_EQ(services.EnumerateSessions(ServerHandle::Current, sessions), 0);
  EXPECT_TRUE(sessions.empty());
  EXPECT_EQ(Send(ServerHandle::Current, DesktopTerminalServices::ConsoleSessionId, "x"),
            ErrorSessionNotFound);
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(DesktopServer, OnlyThisMachineCanBeOpened) {
  ServerHandle server = ServerHandle::Current;
  EXPECT_EQ(services.OpenServer("elsewhere", server), ErrorServerUnavailable);
  ASSERT_EQ(services.OpenServer("deskbox", server), 0);
  EXPECT_NE(server, ServerHandle::Current);
  EXPECT_EQ(Send(server, DesktopTerminalServices::ConsoleSessionId, "x"), 0);
  services.CloseServer(server);
  EXPECT_EQ(services.OpenConnections(), 0u);
  EXPECT_EQ(Send(server, DesktopTerminalServices::ConsoleSessionId, "x"), ErrorInvalidHandle);
  std::vector<SessionInfo> sessions;
  EXPECT_EQ(services.EnumerateSessions(server, sessions), ErrorInvalidHandle);
}

// The whole text reaches the presenter, byte for byte: long, multi-line,
// markup-like and not even UTF-8.
TEST_F(DesktopServer, HandsTheWholeMessageToThePresenter) {
  std::string message;
  while (message.size() < 10'000) message += "<b>&amp;</b>\n\xFF\xE9 ";
  message.resize(10'000);
  ASSERT_EQ(Send(ServerHandle::Current, DesktopTerminalServices::ConsoleSessionId, message), 0);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].title, "T");
  EXPECT_EQ(presenter.shown[0].message, message);

  ASSERT_EQ(Send(ServerHandle::Current, DesktopTerminalServices::ConsoleSessionId, ""), 0);
  EXPECT_EQ(presenter.shown.back().message, "");
}

TEST_F(DesktopServer, RefusesWhatCannotBeShown) {
  EXPECT_EQ(Send(ServerHandle::Current, 0, "x"), ErrorSessionNotFound);
  EXPECT_EQ(services.SendSessionMessage(ServerHandle::Current, 1, "T", 0, "x", 2),
            ErrorInvalidParameter);
  presenter.succeed = false;
  EXPECT_EQ(Send(ServerHandle::Current, 1, "x"), ErrorNotReady);
  services.SetPresenter(nullptr);
  EXPECT_EQ(Send(ServerHandle::Current, 1, "x"), ErrorNotReady);
}

}  // namespace
}  // namespace kelvoran
