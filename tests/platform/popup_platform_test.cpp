// The platform side of popup delivery: the desktop as the local terminal
// server, which names mean this machine, the messenger library seam and the
// text conversions for the messenger and the desktop.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>

#include "../notify/recording_presenter.h"
#include "platform/linux/desktop_terminal_services.h"
#include "platform/local_names.h"
#include "platform/messenger_library.h"
#include "portable/ansi_text.h"

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

NameCheck ScriptedCheck(std::optional<AddressList> answer) {
  NameCheck check;
  check.hostName = [] { return std::optional<std::string>("Desk.example.org"); };
  check.lookup = [answer](const std::string&) { return answer; };
  check.ownAddresses = [] { return AddressList{"192.0.2.7", "2001:db8::7"}; };
  return check;
}

TEST(NamesThisMachine, HostNameInAnyCaseAndForm) {
  const NameCheck check = ScriptedCheck(std::nullopt);
  EXPECT_TRUE(NamesThisMachine("desk", check));
  EXPECT_TRUE(NamesThisMachine("DESK.EXAMPLE.ORG", check));
  EXPECT_FALSE(NamesThisMachine("desk2", check));
  EXPECT_FALSE(NamesThisMachine(" desk", check)) << "a blank is part of the name";
  EXPECT_FALSE(NamesThisMachine("", check));
}

TEST(NamesThisMachine, NamesResolvingToOwnAddresses) {
  EXPECT_TRUE(NamesThisMachine("alias", ScriptedCheck(AddressList{"2001:db8::7"})));
  EXPECT_TRUE(NamesThisMachine("lo", ScriptedCheck(AddressList{"127.0.1.1"})));
  EXPECT_TRUE(NamesThisMachine("lo6", ScriptedCheck(AddressList{"::1"})));
  EXPECT_TRUE(NamesThisMachine("mixed", ScriptedCheck(AddressList{"198.51.100.1", "192.0.2.7"})));
  EXPECT_FALSE(NamesThisMachine("other", ScriptedCheck(AddressList{"198.51.100.1"})));
}

// A resolver that hangs must not hold the caller: the check gives up after
// its bound and says no. The hanging lookup is released afterwards so that
// its thread ends.
TEST(NamesThisMachine, GivesUpOnAHangingResolver) {
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  NameCheck check = ScriptedCheck(std::nullopt);
  check.bound = std::chrono::milliseconds(20);
  check.lookup = [released](const std::string&) -> std::optional<AddressList> {
    released.wait();
    return AddressList{"127.0.0.1"};
  };
  EXPECT_FALSE(NamesThisMachine("slow", check));
  release->set_value();
}

TEST(NamesThisMachine, RealResolverKnowsLocalhostAndTheHostName) {
  EXPECT_TRUE(NamesThisMachine("localhost"));
  EXPECT_TRUE(NamesThisMachine("LOCALHOST"));
  const std::optional<std::string> name = ShortHostName();
  ASSERT_TRUE(name);
  EXPECT_TRUE(NamesThisMachine(*name));
  EXPECT_EQ(name->find('.'), std::string::npos);
}

TEST(FindMessenger, FindsNoneOnLinuxAndCallsTheEntryPointOfALibraryThatHasIt) {
  const MessengerEntry none = FindMessenger();
  EXPECT_EQ(none.library, nullptr);
  EXPECT_FALSE(none.send);

  const MessengerEntry entry = FindMessenger(KELVORAN_FAKE_MESSENGER);
  ASSERT_TRUE(entry.send);
  const std::u16string text = u"down";
  const auto* buffer = reinterpret_cast<const std::uint8_t*>(text.c_str());
  EXPECT_EQ(entry.send(nullptr, u"ops", nullptr, buffer, 10), 0u);
  EXPECT_EQ(entry.send(nullptr, u"desk", nullptr, buffer, 10), 10u);
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
