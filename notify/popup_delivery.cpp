#include "notify/popup_delivery.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/host_record.h"
#include "engine/result_text.h"
#include "portable/ansi_text.h"
#include "portable/text_compare.h"

namespace kelvoran {
namespace {

// Length in bytes with the terminating zero, as the platform's calls count.
std::uint32_t CountedLength(const char* text) {
  return static_cast<std::uint32_t>(std::strlen(text) + 1);
}

// A failed call's status is the outcome, so it is kept as the signed value the
// result fields hold.
std::int32_t AsOutcome(std::uint32_t status) { return static_cast<std::int32_t>(status); }

std::int32_t SendByMessenger(const MessengerSend& send, const std::string& destination,
                             const std::string& message) {
  const std::u16string name = ToWide(destination);
  const std::u16string text = ToWide(message);
  const auto bytes = static_cast<std::uint32_t>(2 * text.size() + 2);
  return AsOutcome(send(nullptr, name.c_str(), nullptr,
                        reinterpret_cast<const std::uint8_t*>(text.c_str()), bytes));
}

// One destination: the messenger first when there is one, the console
// session when there is none or it fails.
std::int32_t SendToDestination(const PopupDelivery& delivery, const std::string& destination,
                               const std::string& message) {
  if (const MessengerSend& send = delivery.Messenger()) {
    if (SendByMessenger(send, destination, message) == 0) return 0;
  }
  return SendConsoleMessage(delivery.Services(), destination, PopupTitle, message.c_str());
}

struct Delivery {
  std::int32_t outcome = 0;
  // Whether any destination was not empty, and so was tried.
  bool tried = false;
};

Delivery SendToDestinations(const PopupDelivery& delivery, const std::string& list,
                            const std::string& message) {
  Delivery result;
  // The last destination decides: each outcome replaces the one before.
  for (const std::string& destination : SplitDestinations(list)) {
    if (destination.empty()) {
      result.outcome = OutcomeEmptyDestination;
      continue;
    }
    result.outcome = SendToDestination(delivery, destination, message);
    result.tried = true;
  }
  return result;
}

// A count and its unit, the unit's singular and plural being the same.
std::string Amount(CalendarTime count, const char* unit) {
  return std::to_string(count) + " " + unit;
}

// The larger unit, and the smaller one after it unless it is 0.
std::string TwoUnits(CalendarTime seconds, CalendarTime unit, const char* name,
                     CalendarTime subunit, const char* subname) {
  std::string text = Amount(seconds / unit, name);
  if (const CalendarTime rest = seconds % unit / subunit; rest != 0)
    text.append(" ").append(Amount(rest, subname));
  return text;
}

}  // namespace

PopupSenders PopupDelivery::Senders() const {
  return {[this](HostRecord& host) { return SendPopupMessage(host, *this); },
          [this](HostRecord& host, CalendarTime outage) {
            return SendOkAgainMessage(host, outage, *this);
          }};
}

std::vector<std::string> SplitDestinations(std::string_view list) {
  std::vector<std::string> pieces;
  for (;;) {
    const std::size_t comma = list.find(',');
    pieces.emplace_back(list.substr(0, comma));
    if (comma == std::string_view::npos) return pieces;
    list.remove_prefix(comma + 1);
  }
}

std::int32_t SendPopupMessage(HostRecord& host, const PopupDelivery& delivery) {
  if (host.PopupSent) {
    host.ResultValue = 0;
    return 0;
  }
  const Delivery sent = SendToDestinations(delivery, host.PopupDestination, host.PopupMessage);
  host.PopupSent = sent.tried;
  host.ResultValue = sent.outcome;
  if (sent.outcome != 0) host.ResultCode = ResultPopupFailed;
  return sent.outcome;
}

std::string OutageDurationText(CalendarTime seconds) {
  constexpr CalendarTime kMinute = 60, kHour = 60 * kMinute, kDay = 24 * kHour;
  if (seconds < kMinute) return Amount(std::max<CalendarTime>(seconds, 0), "s");
  if (seconds < kHour) return TwoUnits(seconds, kMinute, "min", 1, "s");
  if (seconds < kDay) return TwoUnits(seconds, kHour, "h", kMinute, "min");
  return TwoUnits(seconds, kDay, "d", kHour, "h");
}

std::string OkAgainText(const std::string& host, CalendarTime outage) {
  return host + " is OK again after " + OutageDurationText(outage) + ".";
}

std::int32_t SendOkAgainMessage(HostRecord& host, CalendarTime outage,
                                const PopupDelivery& delivery) {
  const std::int32_t outcome =
      SendToDestinations(delivery, host.PopupDestination, OkAgainText(host.Host, outage)).outcome;
  if (outcome != 0) {
    host.ResultCode = ResultPopupFailed;
    host.ResultValue = outcome;
  }
  return outcome;
}

std::int32_t SendConsoleMessage(TerminalServices& services, const std::string& serverName,
                                const char* title, const char* message) {
  if (!title || !message) return OutcomeNoConsole;
  ServerHandle server = ServerHandle::Current;
  const bool opened = !IsLocalComputer(services, serverName);
  if (opened) {
    if (const std::int32_t error = services.OpenServer(serverName, server)) return error;
  }
  std::int32_t sessionId = -1;
  std::int32_t outcome = FindConsoleSession(services, server, sessionId);
  if (outcome != 0) {
    // The session list failed: the message still goes to session 0, and the
    // list's error stays the outcome unless the send fails too.
    sessionId = 0;
  } else if (sessionId == -1) {
    if (opened) services.CloseServer(server);
    return OutcomeNoConsole;
  }
  if (const std::int32_t error = services.SendSessionMessage(
          server, sessionId, title, CountedLength(title), message, CountedLength(message)))
    outcome = error;
  if (opened) services.CloseServer(server);
  return outcome;
}

std::int32_t FindConsoleSession(TerminalServices& services, ServerHandle server,
                                std::int32_t& sessionId) {
  sessionId = -1;
  std::vector<SessionInfo> sessions;
  if (const std::int32_t error = services.EnumerateSessions(server, sessions)) return error;
  for (const SessionInfo& session : sessions) {
    if (session.WindowStation && EqualIgnoringCase(*session.WindowStation, ConsoleStationName)) {
      sessionId = session.SessionId;
      break;
    }
  }
  return 0;
}

bool IsLocalComputer(TerminalServices& services, const std::string& name) {
  const std::optional<std::string> computer = services.ComputerName();
  return computer && EqualIgnoringCase(*computer, name);
}

}  // namespace kelvoran
