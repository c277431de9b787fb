#include "notify/popup_delivery.h"

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

std::int32_t SendToDestination(HostRecord& host, const PopupDelivery& delivery,
                               const std::string& destination) {
  if (const MessengerSend& send = delivery.Messenger()) {
    const std::int32_t status = SendByMessenger(send, destination, host.PopupMessage);
    host.PopupSent = true;
    if (status == 0) return 0;
  }
  const std::int32_t outcome =
      SendConsoleMessage(delivery.Services(), destination, PopupTitle, host.PopupMessage.c_str());
  host.PopupSent = true;
  return outcome;
}

}  // namespace

PopupSender PopupDelivery::Sender() const {
  return [this](HostRecord& host) { return SendPopupMessage(host, *this); };
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
  std::int32_t outcome = 0;
  // The last destination decides: each outcome replaces the one before.
  for (const std::string& destination : SplitDestinations(host.PopupDestination)) {
    outcome = destination.empty() ? OutcomeEmptyDestination
                                  : SendToDestination(host, delivery, destination);
  }
  host.ResultValue = outcome;
  if (outcome != 0) host.ResultCode = ResultPopupFailed;
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
