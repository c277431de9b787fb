#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "alert/alert_event.h"
#include "alert/channel_sender.h"

namespace kelvoran::test {

// The servers started by with-delivery-servers (delivery_servers.py), as
// its servers.env tells them, and what they received.
class TestServers {
 public:
  // From the file KELVORAN_DELIVERY_SERVERS names; none when it is not set.
  static std::optional<TestServers> FromEnvironment();

  std::string Value(const std::string& key) const;
  std::uint16_t Port(const std::string& key) const;
  // How many mails and requests have been received so far.
  std::size_t ReceivedCount() const;
  // The fields of the received item with the given number (1 is the first).
  std::map<std::string, std::string> Received(std::size_t number) const;

 private:
  std::map<std::string, std::string> values_;
};

// One attempt through a sender: its result, how long it took, and the items
// the servers received meanwhile (the last, whose missing fields read "").
struct Exchange {
  AttemptResult result;
  double seconds = 0;
  std::size_t receivedItems = 0;
  std::map<std::string, std::string> item;
  std::string Field(const std::string& name) const;
};

// Wine's TLS checks a server's certificate only against a CA file given to
// it, never against the system's store: there a certificate nobody signed
// passes. Real Windows and Linux check it.
bool UnderWineWithoutStoreChecks();

// A test against the servers; skipped when run without them.
class ServersTest : public testing::Test {
 protected:
  void SetUp() override;
  Exchange Attempt(ChannelSender& sender, const AlertChannel& channel, const AlertEvent& alert,
                   const std::string& secret) const;

  std::optional<TestServers> servers_;
};

// An attempt's outcome, the start of its text, the secret nowhere in the
// text, and whether the servers received anything.
void ExpectResult(const Exchange& exchange, AttemptOutcome outcome, const std::string& textStart,
                  const std::string& secret, bool received);

// An attempt at a server that never answers, with a limit of 2 s: timed out,
// neither much sooner nor much later.
void ExpectTimedOutAfterTwoSeconds(const Exchange& exchange, const std::string& secret);

// An alert as the monitor raises it, for host.
AlertEvent SampleAlert(const std::string& host);

// A host name made to break out: quotes, a backslash, a shell command, a
// line break followed by a header, the secret's placeholder.
inline const std::string HostileHost =
    "gw\"'\\;$(reboot)`id`\r\nBcc: victim@example.test\n{secret}";

}  // namespace kelvoran::test
