#include "notify/popup_delivery.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "engine/result_text.h"

namespace kelvoran {
namespace {

using Names = std::vector<std::string>;

// Terminal services scripted per server name, recording every call.
class ScriptedServices : public TerminalServices {
 public:
  struct Sent {
    ServerHandle server;
    std::int32_t session;
    std::string title;
    std::uint32_t messageLength;
  };

  std::optional<std::string> ComputerName() override { return "Monitor"; }
  std::int32_t OpenServer(const std::string& name, ServerHandle& server) override {
    opened.push_back(name);
    server = static_cast<ServerHandle>(static_cast<std::int32_t>(opened.size()));
    return openErrors.count(name) ? openErrors[name] : 0;
  }
  std::int32_t EnumerateSessions(ServerHandle, std::vector<SessionInfo>& list) override {
    list = sessions;
    return enumerateError;
  }
  std::int32_t SendSessionMessage(ServerHandle server, std::int32_t session, const char* title,
                                  std::uint32_t, const char*, std::uint32_t length) override {
    sent.push_back({server, session, title, length});
    return sendError;
  }
  void CloseServer(ServerHandle) override { ++closed; }

  std::map<std::string, std::int32_t> openErrors;
  std::vector<SessionInfo> sessions = {{0, "Services", SessionDisconnected},
                                       {2, std::nullopt, SessionActive},
                                       {3, "CONSOLE", SessionActive}};
  std::int32_t enumerateError = 0;
  std::int32_t sendError = 0;
  Names opened;
  std::vector<Sent> sent;
  int closed = 0;
};

class Delivery : public ::testing::Test {
 protected:
  Delivery() {
    host.PopupMessage = "Gr\xC3\xBC\xC3\x9F";  // "Grüß"
    host.ResultCode = IpRequestTimedOut;
  }
  // A fresh outage: PopupSent is clear, as the accounting leaves it.
  std::int32_t Send(const std::string& destinations) {
    host.PopupDestination = destinations;
    host.PopupSent = false;
    return SendPopupMessage(host, delivery);
  }
  // A messenger that records its calls and fails with 2273 for "down".
  void InstallMessenger() {
    delivery.InstallMessenger([this](const char16_t* server, const char16_t* name,
                                     const char16_t* from, const std::uint8_t* buffer,
                                     std::uint32_t length) -> std::uint32_t {
      EXPECT_EQ(server, nullptr);
      EXPECT_EQ(from, nullptr);
      messenger.push_back({name, reinterpret_cast<const char16_t*>(buffer), length});
      return std::u16string(name) == u"down" ? 2273u : 0u;
    });
  }
  void ExpectFailed(std::int32_t value) {
    EXPECT_EQ(host.ResultValue, value);
    EXPECT_EQ(host.ResultCode, ResultPopupFailed);
  }
  void ExpectDelivered() {
    EXPECT_EQ(host.ResultValue, 0);
    EXPECT_EQ(host.ResultCode, IpRequestTimedOut) << "success leaves the probe's code";
    EXPECT_TRUE(host.PopupSent);
  }

  struct MessengerCall {
    std::u16string name;
    std::u16string text;
    std::uint32_t length;
  };
  std::vector<MessengerCall> messenger;
  ScriptedServices services;
  PopupDelivery delivery{services};
  HostRecord host;
};

TEST(SplitDestinations, KeepsEveryPieceAsWritten) {
  EXPECT_EQ(SplitDestinations(""), Names{""});
  EXPECT_EQ(SplitDestinations("a,,b"), (Names{"a", "", "b"}));
  EXPECT_EQ(SplitDestinations("a,b,"), (Names{"a", "b", ""}));
  EXPECT_EQ(SplitDestinations("a, b"), (Names{"a", " b"}));
}

TEST_F(Delivery, EmptyPiecesSendNothingAndNeverSetPopupSent) {
  for (const char* list : {"", ",,"}) {
    EXPECT_EQ(Send(list), OutcomeEmptyDestination);
    EXPECT_FALSE(host.PopupSent);
    ExpectFailed(1400);
  }
  EXPECT_TRUE(services.opened.empty());
}

TEST_F(Delivery, TheLastPieceDecides) {
  services.openErrors["down"] = ErrorServerUnavailable;
  EXPECT_EQ(Send("a,,b"), 0);
  EXPECT_EQ(services.opened, (Names{"a", "b"}));
  ExpectDelivered();
  EXPECT_EQ(Send("down,b"), 0);
  ExpectDelivered();
  EXPECT_EQ(Send("b,down"), ErrorServerUnavailable);
  ExpectFailed(ErrorServerUnavailable);
  EXPECT_EQ(Send("a,b,"), OutcomeEmptyDestination) << "even though a and b got it";
  ExpectFailed(1400);
  EXPECT_TRUE(host.PopupSent);
}

TEST_F(Delivery, WithoutMessengerEveryPieceGoesToTheConsoleSession) {
  EXPECT_EQ(Send("a, b"), 0);
  EXPECT_EQ(services.opened, (Names{"a", " b"})) << "the blank stays in the name";
  ASSERT_EQ(services.sent.size(), 2u);
  for (const auto& sent : services.sent) {
    EXPECT_EQ(sent.session, 3) << "found by its window station in any case";
    EXPECT_EQ(sent.title, "Kelvoran Notification");
    EXPECT_EQ(sent.messageLength, host.PopupMessage.size() + 1);
  }
  EXPECT_EQ(services.closed, 2);
}

TEST_F(Delivery, LocalNameInAnotherCaseOpensNoConnection) {
  EXPECT_EQ(Send("MONITOR"), 0);
  EXPECT_TRUE(services.opened.empty());
  EXPECT_EQ(services.closed, 0);
  ASSERT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(services.sent[0].server, ServerHandle::Current);
}

TEST_F(Delivery, ServerWithoutConsoleSessionGetsNothing) {
  services.sessions.pop_back();
  EXPECT_EQ(Send("a"), OutcomeNoConsole);
  EXPECT_TRUE(services.sent.empty());
  EXPECT_EQ(services.closed, 1);
  ExpectFailed(-1);
  EXPECT_TRUE(host.PopupSent) << "the destination was tried";
}

TEST_F(Delivery, FailedSessionListStillSendsToSessionZero) {
  services.enumerateError = 5;
  EXPECT_EQ(Send("a"), 5);
  ASSERT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(services.sent[0].session, 0);
  services.sendError = 7022;
  EXPECT_EQ(Send("a"), 7022) << "a failed send replaces the list's error";
}

TEST_F(Delivery, SecondEntryIntoErrorSendsNothing) {
  Send("a");
  host.ResultValue = 77;
  EXPECT_EQ(SendPopupMessage(host, delivery), 0);
  EXPECT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(host.ResultValue, 0);
  EXPECT_EQ(host.ResultCode, IpRequestTimedOut);
}

TEST_F(Delivery, MessengerGetsWideTextAndItsSuccessSkipsTheConsole) {
  InstallMessenger();
  EXPECT_EQ(Send("ops,desk"), 0);
  ASSERT_EQ(messenger.size(), 2u);
  EXPECT_EQ(messenger[0].name, u"ops");
  EXPECT_EQ(messenger[0].text, u"Gr\u00FC\u00DF");
  EXPECT_EQ(messenger[0].length, 2 * 4 + 2u);
  EXPECT_TRUE(services.sent.empty());
  ExpectDelivered();
}

TEST_F(Delivery, MessengerFailureFallsBackToTheConsoleAndIsNotStored) {
  InstallMessenger();
  EXPECT_EQ(Send("down"), 0);
  EXPECT_EQ(services.opened, Names{"down"});
  ExpectDelivered();
  services.openErrors["down"] = ErrorServerUnavailable;
  EXPECT_EQ(Send("down"), ErrorServerUnavailable) << "the console's outcome, not the messenger's";
}

TEST_F(Delivery, EmptyMessageIsStillSent) {
  InstallMessenger();
  host.PopupMessage.clear();
  EXPECT_EQ(Send("ops,down"), 0);
  ASSERT_EQ(messenger.size(), 2u);
  EXPECT_EQ(messenger[0].length, 2u) << "the terminating zero only";
  ASSERT_EQ(services.sent.size(), 1u);
  EXPECT_EQ(services.sent[0].messageLength, 1u);
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
