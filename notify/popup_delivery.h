#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/calendar_time.h"
#include "engine/popup_sender.h"
#include "notify/messenger.h"
#include "notify/terminal_services.h"

namespace kelvoran {

class HostRecord;

inline constexpr const char* PopupTitle = "Kelvoran Notification";
inline constexpr const char* ConsoleStationName = "console";
// Outcome of an empty destination (the system's "invalid window handle").
inline constexpr std::int32_t OutcomeEmptyDestination = 1400;
// Outcome when the server has no console session, or title or message is absent.
inline constexpr std::int32_t OutcomeNoConsole = -1;

// What the delivery works with: the messenger, looked up once at start-up, and
// the terminal services. Lives as long as the application; used on the
// user-interface thread only.
class PopupDelivery {
 public:
  explicit PopupDelivery(TerminalServices& services) : services_(services) {}

  // Takes the messenger the platform found at start-up. What is missing stays
  // absent, and every destination takes the console path.
  void UseMessenger(MessengerEntry entry) {
    MessengerLibrary_ = entry.library;
    MessengerSend_ = std::move(entry.send);
  }
  // Puts a messenger in place directly, as if the platform had found it.
  void InstallMessenger(MessengerSend send) { MessengerSend_ = std::move(send); }

  const MessengerSend& Messenger() const { return MessengerSend_; }
  TerminalServices& Services() const { return services_; }

  // What the scheduler calls when a host enters ERROR and when it is OK again
  // after an outage. They refer to this object, which must outlive the
  // scheduler.
  PopupSenders Senders() const;

 private:
  TerminalServices& services_;
  void* MessengerLibrary_ = nullptr;
  MessengerSend MessengerSend_;
};

// The destinations of a list: split at every comma, untrimmed, empty pieces
// kept; the empty text is one empty piece.
std::vector<std::string> SplitDestinations(std::string_view list);

// Sends the host's popup message to each destination unless PopupSent is set,
// and leaves the outcome of the last destination in ResultValue (and 13000 in
// ResultCode when it is a failure). Returns that outcome.
std::int32_t SendPopupMessage(HostRecord& host, const PopupDelivery& delivery);

// How long an outage lasted, in the largest two units that matter: "45 s",
// "5 min 3 s", "2 h 5 min", "3 d 4 h", "1 h". Less than nothing (the clock
// was set back) reads "0 s".
std::string OutageDurationText(CalendarTime seconds);

// "<Host> is OK again after <duration>."
std::string OkAgainText(const std::string& host, CalendarTime outage);

// Sends OkAgainText to the host's popup destinations the way SendPopupMessage
// sends the popup message, but whatever PopupSent says, and without changing
// it. A failure ends in ResultCode and ResultValue as the popup's does; a
// success leaves the probe's values. Returns the outcome.
std::int32_t SendOkAgainMessage(HostRecord& host, CalendarTime outage,
                                const PopupDelivery& delivery);

// Shows the message in the console session of the named terminal server.
// Title and message are zero-terminated; null means absent. Returns 0 when the
// message was handed over.
std::int32_t SendConsoleMessage(TerminalServices& services, const std::string& serverName,
                                const char* title, const char* message);

// Sets sessionId to the first session whose window station is "console" in
// any case, or to -1; returns 0, or the error of the session list.
std::int32_t FindConsoleSession(TerminalServices& services, ServerHandle server,
                                std::int32_t& sessionId);

// Whether the name is the local computer's, in any case. When the computer's
// name cannot be obtained no name is, and the name is opened as a server.
bool IsLocalComputer(TerminalServices& services, const std::string& name);

}  // namespace kelvoran
