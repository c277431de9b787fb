#include "notify/popup_delivery.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/host_record.h"
#include "engine/result_text.h"
#include "portable/ansi_text.h"

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
    return name == "down" ? downError : 0;
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

  std::int32_t downError = 0;  // what opening "down" fails with
  std::vector<SessionInfo> sessions = {{0, "Services", SessionDisconnected},
                                       {2, std::nullopt, SessionActive},
                                       {3, "CONSOLE", SessionActive}};
  std::int32_t enumerateError = 0;
  std::int32_t sendError = 0;
  Names opened;
  std::vector<Sent> sent;
  int closed = 0;
};

struct MessengerCall {
  std::u16string name;
  std::u16string text;
  std::uint32_t length;
};

// A fresh outage (PopupSent clear, as the accounting leaves it) sent to
// `destinations`; with `messenger`, a recording messenger that fails with
// 2273 for "down" is installed.
struct Outage {
  Outage(const std::string& destinations, bool withMessenger, const std::string& message) {
    host.PopupMessage = message;
    host.ResultCode = IpRequestTimedOut;
    host.PopupDestination = destinations;
    if (!withMessenger) return;
    delivery.InstallMessenger([this](const char16_t* server, const char16_t* name,
                                     const char16_t* from, const std::uint8_t* buffer,
                                     std::uint32_t length) -> std::uint32_t {
      EXPECT_EQ(server, nullptr);
      EXPECT_EQ(from, nullptr);
      messenger.push_back({name, reinterpret_cast<const char16_t*>(buffer), length});
      return std::u16string(name) == u"down" ? 2273u : 0u;
    });
  }
  std::vector<MessengerCall> messenger;
  ScriptedServices services;
  PopupDelivery delivery{services};
  HostRecord host;
};

const std::string kMessage = "Gr\xC3\xBC\xC3\x9F";  // "Grüß"

TEST(PopupDelivery, EachDestinationKindAndTheLastPieceDecides) {
  enum Script { Plain, DownUnavailable, NoConsole, ListFails, ListAndSendFail };
  const struct {
    const char* list;
    bool messenger;
    Script script;
    std::int32_t outcome;
    bool popupSent;
    Names opened;
    std::size_t consoleSends;
    std::size_t messengerCalls;
    std::string message = kMessage;
  } cases[] = {
      {"", false, Plain, OutcomeEmptyDestination, false, {}, 0, 0},
      {",,", false, Plain, OutcomeEmptyDestination, false, {}, 0, 0},
      {"a,,b", false, Plain, 0, true, {"a", "b"}, 2, 0},
      {"a, b", false, Plain, 0, true, {"a", " b"}, 2, 0},  // the blank stays in the name
      {"down,b", false, DownUnavailable, 0, true, {"down", "b"}, 1, 0},
      {"b,down", false, DownUnavailable, ErrorServerUnavailable, true, {"b", "down"}, 1, 0},
      {"a,b,", false, Plain, OutcomeEmptyDestination, true, {"a", "b"}, 2, 0},
      {"MONITOR", false, Plain, 0, true, {}, 1, 0},  // this computer: no connection
      {"a", false, NoConsole, OutcomeNoConsole, true, {"a"}, 0, 0},
      {"a", false, ListFails, 5, true, {"a"}, 1, 0},  // sent to session 0
      {"a", false, ListAndSendFail, 7022, true, {"a"}, 1, 0},
      {"ops,desk", true, Plain, 0, true, {}, 0, 2},
      {"down", true, Plain, 0, true, {"down"}, 1, 1},  // falls back to the console
      {"down", true, DownUnavailable, ErrorServerUnavailable, true, {"down"}, 0, 1},
      {"ops,down", true, Plain, 0, true, {"down"}, 1, 2, ""},  // an empty message still goes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.list + "\" script " + std::to_string(c.script) +
                 (c.messenger ? " with messenger" : ""));
    Outage outage(c.list, c.messenger, c.message);
    ScriptedServices& services = outage.services;
    if (c.script == DownUnavailable) services.downError = ErrorServerUnavailable;
    if (c.script == NoConsole) services.sessions.pop_back();
    if (c.script >= ListFails) services.enumerateError = 5;
    if (c.script == ListAndSendFail) services.sendError = 7022;
    EXPECT_EQ(SendPopupMessage(outage.host, outage.delivery), c.outcome);
    EXPECT_EQ(outage.host.ResultValue, c.outcome);
    EXPECT_EQ(outage.host.ResultCode, c.outcome ? ResultPopupFailed : IpRequestTimedOut);
    EXPECT_EQ(outage.host.PopupSent, c.popupSent);
    EXPECT_EQ(services.opened, c.opened);
    const int failedOpens = services.downError ? 1 : 0;
    EXPECT_EQ(services.closed, static_cast<int>(c.opened.size()) - failedOpens)
        << "every opened server is closed";
    ASSERT_EQ(services.sent.size(), c.consoleSends);
    for (const auto& sent : services.sent) {
      EXPECT_EQ(sent.session, c.script >= ListFails ? 0 : 3) << "found by its station in any case";
      EXPECT_EQ(sent.title, "Kelvoran Notification");
      EXPECT_EQ(sent.messageLength, c.message.size() + 1);
      EXPECT_EQ(sent.server == ServerHandle::Current, c.opened.empty());
    }
    ASSERT_EQ(outage.messenger.size(), c.messengerCalls);
    if (c.messengerCalls == 0) continue;
    const std::string first = SplitDestinations(c.list)[0];
    EXPECT_EQ(outage.messenger[0].name, std::u16string(first.begin(), first.end()));
    // The message as the platform reads 8-bit text: UTF-8 on Linux, the ANSI
    // code page on Windows.
    const std::u16string wide = ToWide(c.message);
    EXPECT_EQ(outage.messenger[0].text, wide);
    EXPECT_EQ(outage.messenger[0].length, 2 * wide.size() + 2);
  }
}

TEST(PopupDelivery, SecondEntryIntoErrorSendsNothing) {
  Outage outage("a", false, kMessage);
  SendPopupMessage(outage.host, outage.delivery);
  outage.host.ResultValue = 77;
  EXPECT_EQ(SendPopupMessage(outage.host, outage.delivery), 0);
  EXPECT_EQ(outage.services.sent.size(), 1u);
  EXPECT_EQ(outage.host.ResultValue, 0);
  EXPECT_EQ(outage.host.ResultCode, IpRequestTimedOut);
}

TEST(PopupDelivery, OutageLengthsReadInTheirTwoLargestUnits) {
  const std::pair<CalendarTime, const char*> cases[] = {
      {-5, "0 s"},         {45, "45 s"},  {60, "1 min"},          {303, "5 min 3 s"},
      {7530, "2 h 5 min"}, {3600, "1 h"}, {86399, "23 h 59 min"}, {86400, "1 d"},
      {273659, "3 d 4 h"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(OutageDurationText(seconds), text);
}

// The host is OK, its outage over: PopupSent is clear and must stay so for
// the next outage to send the popup again.
TEST(PopupDelivery, OkAgainGoesWhereThePopupGoesAndOnlyAFailureShows) {
  Outage outage("ops,down", true, kMessage);
  HostRecord& host = outage.host;
  host.Host = "web01";
  host.ResultValue = 77;
  const std::string text = "web01 is OK again after 2 h 5 min.";
  EXPECT_EQ(SendOkAgainMessage(host, 7530, outage.delivery), 0);
  ASSERT_EQ(outage.messenger.size(), 2u);
  EXPECT_EQ(outage.messenger[0].name, u"ops");
  EXPECT_EQ(outage.messenger[1].text, ToWide(text));
  ASSERT_EQ(outage.services.sent.size(), 1u) << "down's messenger failed: its console";
  EXPECT_EQ(outage.services.sent[0].messageLength, text.size() + 1);
  EXPECT_EQ(std::tuple(host.PopupSent, host.ResultCode, host.ResultValue),
            std::tuple(false, IpRequestTimedOut, 77));
  outage.services.downError = ErrorServerUnavailable;
  EXPECT_EQ(SendOkAgainMessage(host, 7530, outage.delivery), ErrorServerUnavailable);
  EXPECT_EQ(std::tuple(host.PopupSent, host.ResultCode, host.ResultValue),
            std::tuple(false, ResultPopupFailed, ErrorServerUnavailable));
}

TEST(PopupDelivery, AbsentTitleOrMessageIsRejected) {
  ScriptedServices services;
  EXPECT_EQ(SendConsoleMessage(services, "a", nullptr, "text"), OutcomeNoConsole);
  EXPECT_EQ(SendConsoleMessage(services, "a", "title", nullptr), OutcomeNoConsole);
  EXPECT_TRUE(services.opened.empty());
}

}  // namespace
}  // namespace kelvoran
