#include "notify/popup_delivery.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "engine/result_text.h"

namespace kelvoran {
namespace {

// Terminal services scripted per server name, recording every call.
class ScriptedServices : public TerminalServices {
 public:
  struct Sent {
    ServerHandle server;
    std::int32_t session;
    std::string title;
    std::uint32_t titleLength;
    std::string message;
    std::uint32_t messageLength;
  };

  std::optional<std::string> ComputerName() override { return computerName; }
  std::int32_t OpenServer(const std::string& name, ServerHandle& server) override {
    opened.push_back(name);
    if (auto error = openErrors.find(name); error != openErrors.end()) return error->second;
    server = static_cast<ServerHandle>(static_cast<std::int32_t>(opened.size()));
    return 0;
  }
  std::int32_t EnumerateSessions(ServerHandle, std::vector<SessionInfo>& list) override {
    list = sessions;
    return enumerateError;
  }
  std::int32_t SendSessionMessage(ServerHandle server, std::int32_t session, const char* title,
                                  std::uint32_t titleLength, const char* message,
                                  std::uint32_t messageLength) override {
    sent.push_back({server, session, std::string(title, titleLength - 1), titleLength,
                    std::string(message, messageLength - 1), messageLength});
    return sendError;
  }
  void CloseServer(ServerHandle server) override { closed.push_back(server); }

  std::optional<std::string> computerName = "Monitor";
  std::map<std::string, std::int32_t> openErrors;
  std::vector<SessionInfo> sessions = {{0, "Services", SessionDisconnected},
                                       {3, "CONSOLE", SessionActive}};
  std::int32_t enumerateError = 0;
  std::int32_t sendError = 0;

  std::vector<std::string> opened;
  std::vector<Sent> sent;
  std::vector<ServerHandle> closed;
};

// A messenger that fails for the names it is told to and records what it got.
struct ScriptedMessenger {
  struct Call {
    bool serverGiven;
    std::u16string name;
    bool fromGiven;
    std::u16string text;
    std::uint32_t length;
  };
  std::map<std::u16string, std::uint32_t> failures;
  std::vector<Call> calls;

  MessengerSend Function() {
    return [this](const char16_t* server, const char16_t* name, const char16_t* from,
                  const std::uint8_t* buffer, std::uint32_t length) -> std::uint32_t {
      const auto* text = reinterpret_cast<const char16_t*>(buffer);
      calls.push_back({server != nullptr, name, from != nullptr, std::u16string(text), length});
      auto failure = failures.find(name);
      return failure == failures.end() ? 0u : failure->second;
    };
  }
};

class Delivery : public ::testing::Test {
 protected:
  Delivery() {
    host.PopupMessage = "web01 is down";
    host.Status = StatusError;
    host.ResultCode = IpRequestTimedOut;
  }
  std::int32_t Send(const std::string& destinations) {
    host.PopupDestination = destinations;
    return SendPopupMessage(host, delivery);
  }

  ScriptedServices services;
  ScriptedMessenger messenger;
  PopupDelivery delivery{services};
  HostRecord host;
};

TEST(SplitDestinations, KeepsEveryPieceAsWritten) {
  using List = std::vector<std::string>;
  EXPECT_EQ(SplitDestinations(""), List{""});
  EXPECT_EQ(SplitDestinations("a"), (List{"a"}));
  EXPECT_EQ(SplitDestinations("a,,b"), (List{"a", "", "b"}));
  EXPECT_EQ(SplitDestinations("a,b,"), (List{"a", "b", ""}));
  EXPECT_EQ(SplitDestinations("a, b"), (List{"a", " b"}));
  EXPECT_EQ(SplitDestinations(","), (List{"", ""}));
}

TEST_F(Delivery, EmptyListSendsNothingAndFails) {
  EXPECT_EQ(Send(""), OutcomeEmptyDestination);
  EXPECT_FALSE(host.PopupSent) << "only a tried destination counts";
  EXPECT_EQ(host.ResultValue, 1400);
  EXPECT_EQ(host.ResultCode, ResultPopupFailed);
  EXPECT_TRUE(services.opened.empty());
  EXPECT_TRUE(services.sent.empty());
}

TEST_F(Delivery, ListOfOnlyCommasNeverSetsPopupSent) {
  EXPECT_EQ(Send(",,"), OutcomeEmptyDestination);
  EXPECT_FALSE(host.PopupSent);
}

TEST_F(Delivery, EmptyMiddlePieceIsReplacedByTheNext) {
  EXPECT_EQ(Send("a,,b"), 0);
  EXPECT_EQ(services.opened, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(host.ResultValue, 0);
  EXPECT_EQ(host.ResultCode, IpRequestTimedOut) << "success leaves the probe's code";
  EXPECT_TRUE(host.PopupSent);
}

TEST_F(Delivery, TrailingCommaFailsEvenAfterEveryDelivery) {
  EXPECT_EQ(Send("a,b,"), OutcomeEmptyDestination);
  EXPECT_EQ(services.sent.size(), 2u);
  EXPECT_EQ(host.ResultValue, 1400);
  EXPECT_EQ(host.ResultCode, ResultPopupFailed);
  EXPECT_TRUE(host.PopupSent);
}

TEST_F(Delivery, BlankAfterCommaStaysPartOfTheDestination) {
  delivery.InstallMessenger(messenger.Function());
  messenger.failures[u" b"] = 2273;
  services.openErrors[" b"] = ErrorServerUnavailable;
  EXPECT_EQ(Send("a, b"), ErrorServerUnavailable);
  ASSERT_EQ(messenger.calls.size(), 2u);
  EXPECT_EQ(messenger.calls[1].name, u" b");
  EXPECT_EQ(services.opened, std::vector<std::string>{" b"});
}

TEST_F(Delivery, LastPieceDecidesBetweenFailureAndSuccess) {
  services.openErrors["down"] = ErrorServerUnavailable;
  EXPECT_EQ(Send("down,up"), 0);
  EXPECT_EQ(host.ResultCode, IpRequestTimedOut);
  host.PopupSent = false;
  EXPECT_EQ(Send("up,down"), ErrorServerUnavailable);
}

TEST_F(Delivery, WithoutMessengerEveryPieceGoesToTheConsole) {
  EXPECT_EQ(Send("a,b,c"), 0);
  ASSERT_EQ(services.sent.size(), 3u);
  for (const auto& sent : services.sent) {
    EXPECT_EQ(sent.session, 3) << "the console session, found in any case";
    EXPECT_EQ(sent.title, "Kelvoran Notification");
    EXPECT_EQ(sent.message, "web01 is down");
    EXPECT_EQ(sent.messageLength, sent.message.size() + 1);
  }
  EXPECT_EQ(services.closed.size(), 3u) << "every opened connection is closed";
}

TEST_F(Delivery, LocalNameInAnotherCaseOpensNoConnection) {
  EXPECT_EQ(Send("MONITOR"), 0);
  EXPECT_TRUE(services.opened.empty());
  EXPECT_TRUE(services.closed.empty());
  ASSERT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(services.sent[0].server, ServerHandle::Current);
}

TEST_F(Delivery, UnknownComputerNameOpensEveryPiece) {
  services.computerName.reset();
  EXPECT_EQ(Send("monitor"), 0);
  EXPECT_EQ(services.opened, std::vector<std::string>{"monitor"});
}

TEST_F(Delivery, ServerWithoutConsoleSessionGetsNothing) {
  services.sessions = {{0, "Services", SessionActive}, {2, std::nullopt, SessionActive}};
  EXPECT_EQ(Send("a"), OutcomeNoConsole);
  EXPECT_TRUE(services.sent.empty());
  EXPECT_EQ(services.closed.size(), 1u);
  EXPECT_EQ(host.ResultValue, -1);
  EXPECT_EQ(host.ResultCode, ResultPopupFailed);
  EXPECT_TRUE(host.PopupSent) << "the destination was tried";
}

TEST_F(Delivery, FailedSessionListStillSendsToSessionZero) {
  services.enumerateError = 5;
  EXPECT_EQ(Send("a"), 5);
  ASSERT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(services.sent[0].session, 0);
  services.sendError = 7022;
  host.PopupSent = false;
  EXPECT_EQ(Send("a"), 7022) << "a failed send replaces the list's error";
}

TEST_F(Delivery, SecondEntryIntoErrorSendsNothing) {
  Send("a");
  host.ResultCode = IpRequestTimedOut;
  host.ResultValue = 77;
  services.sendError = 5;
  EXPECT_EQ(Send("a"), 0);
  EXPECT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(host.ResultValue, 0);
  EXPECT_EQ(host.ResultCode, IpRequestTimedOut);
}

TEST_F(Delivery, EmptyMessageIsStillSent) {
  delivery.InstallMessenger(messenger.Function());
  host.PopupMessage.clear();
  EXPECT_EQ(Send("a"), 0);
  ASSERT_EQ(messenger.calls.size(), 1u);
  EXPECT_EQ(messenger.calls[0].length, 2u) << "the terminating zero only";
  messenger.failures[u"a"] = 2273;
  host.PopupSent = false;
  EXPECT_EQ(Send("a"), 0);
  ASSERT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(services.sent[0].messageLength, 1u);
}

TEST_F(Delivery, MessengerGetsWideTextAndItsSuccessSkipsTheConsole) {
  delivery.InstallMessenger(messenger.Function());
  host.PopupMessage = "Gr\xC3\xBC\xC3\x9F";  // "Grüß" in UTF-8
  EXPECT_EQ(Send("ops,desk"), 0);
  ASSERT_EQ(messenger.calls.size(), 2u);
  const auto& call = messenger.calls[0];
  EXPECT_FALSE(call.serverGiven);
  EXPECT_FALSE(call.fromGiven);
  EXPECT_EQ(call.name, u"ops");
  EXPECT_EQ(call.text, u"Gr\u00FC\u00DF");
  EXPECT_EQ(call.length, 2 * 4 + 2u);
  EXPECT_TRUE(services.sent.empty());
  EXPECT_TRUE(host.PopupSent);
}

TEST_F(Delivery, MessengerFailureFallsBackToTheConsoleAndIsNotStored) {
  delivery.InstallMessenger(messenger.Function());
  messenger.failures[u"ops"] = 2273;
  EXPECT_EQ(Send("ops"), 0);
  EXPECT_EQ(services.opened, std::vector<std::string>{"ops"});
  EXPECT_EQ(host.ResultValue, 0) << "the console's outcome, not the messenger's";
  services.openErrors["ops"] = ErrorServerUnavailable;
  host.PopupSent = false;
  EXPECT_EQ(Send("ops"), ErrorServerUnavailable);
}

TEST_F(Delivery, AbsentTitleOrMessageIsRejectedBeforeAnyConnection) {
  EXPECT_EQ(SendConsoleMessage(services, "a", nullptr, "text"), OutcomeNoConsole);
  EXPECT_EQ(SendConsoleMessage(services, "a", "title", nullptr), OutcomeNoConsole);
  EXPECT_TRUE(services.opened.empty());
}

TEST(LoadMessenger, FindsNoMessengerOnThisPlatform) {
  ScriptedServices services;
  PopupDelivery delivery(services);
  delivery.LoadMessenger();
  EXPECT_EQ(delivery.LoadedLibrary(), nullptr);
  EXPECT_FALSE(delivery.Messenger());
}

}  // namespace
}  // namespace kelvoran
