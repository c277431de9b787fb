// The Linux side of popup delivery: the desktop as the local terminal server,
// and the UTF-8 reading of the monitor's 8-bit texts for the messenger and
// the desktop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/console_presenter.h"
#include "platform/linux/desktop_terminal_services.h"
#include "portable/ansi_text.h"

namespace kelvoran {
namespace {

constexpr std::int32_t kConsole = DesktopTerminalServices::ConsoleSessionId;

// Keeps what it was asked to show instead of showing it.
struct RecordingPresenter : ConsolePresenter {
  struct Shown {
    std::string title, message;
  };
  bool Present(const std::string& title, const std::string& message) override {
    shown.push_back({title, message});
    return succeed;
  }
  std::vector<Shown> shown;
  bool succeed = true;
};

class DesktopServer : public ::testing::Test {
 protected:
  DesktopServer() { services.SetPresenter(&presenter); }
  std::int32_t Send(const std::string& message, std::int32_t session = kConsole,
                    ServerHandle server = ServerHandle::Current) {
    return services.SendSessionMessage(server, session, "T", 2, message.c_str(),
                                       static_cast<std::uint32_t>(message.size() + 1));
  }

  bool display = true;
  RecordingPresenter presenter;
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

// An answer is kept for its life, then the name is asked about again.
TEST(DesktopServerNames, AnswersAreKeptForTheirLifeAndThenAskedAgain) {
  int lookups = 0;
  auto now = std::chrono::steady_clock::now();
  DesktopTerminalServices services({[] { return true; }, [] { return std::nullopt; },
                                    [&](const std::string&) { return ++lookups > 1; },
                                    [&] { return now; }});
  ServerHandle server = ServerHandle::Current;
  EXPECT_EQ(services.OpenServer("desk", server), ErrorServerUnavailable);
  now += DesktopTerminalServices::kNameAnswerLife - std::chrono::seconds(1);
  EXPECT_EQ(services.OpenServer("DESK", server), ErrorServerUnavailable);
  now += std::chrono::seconds(1);
  EXPECT_EQ(services.OpenServer("desk", server), 0) << "the name server is back";
  EXPECT_EQ(lookups, 2);
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

// Well-formed UTF-8 converts (a surrogate pair included); bytes a hand-edited
// file may hold in another code page (cut or broken sequences, overlong forms,
// encoded surrogates, values above U+10FFFF) each stand for their Latin-1
// character, and their neighbours survive.
TEST(ToWide, ConvertsUtf8AndReadsMalformedBytesAsLatin1) {
  EXPECT_EQ(ToWide(""), u"");
  EXPECT_EQ(ToWide("host \xC3\xBC \xE2\x82\xAC"), u"host \u00FC \u20AC");
  EXPECT_EQ(ToWide("\xF0\x9F\x94\xA5"), u"\U0001F525");
  for (const std::string text : {"caf\xE9", "\xFF\xFE", "\xC3", "\xE2\x82x", "\xC0\xAF",
                                 "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    std::u16string latin1;
    for (const char byte : text) latin1 += static_cast<char16_t>(static_cast<unsigned char>(byte));
    EXPECT_EQ(ToWide(text), latin1) << text;
  }
}

// The display form is well-formed UTF-8: one character per malformed byte,
// and converting it again changes nothing, for every possible byte pair.
TEST(ToDisplayText, GivesWellFormedUtf8StableForEveryBytePair) {
  EXPECT_EQ(ToDisplayText("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(ToDisplayText("\xF0\x9F\x94\xA5 ok"), "\xF0\x9F\x94\xA5 ok");
  EXPECT_EQ(ToDisplayText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string text{static_cast<char>(first), static_cast<char>(second)};
      const std::string display = ToDisplayText(text);
      ASSERT_EQ(ToDisplayText(display), display) << first << "," << second;
      ASSERT_FALSE(ToWide(text).empty());
    }
  }
}

}  // namespace
}  // namespace kelvoran
