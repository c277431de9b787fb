#include "test_servers.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kelvoran::test {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool UnderWineWithoutStoreChecks() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

std::optional<TestServers> TestServers::FromEnvironment() {
  const char* file = std::getenv("KELVORAN_DELIVERY_SERVERS");
  if (file == nullptr || *file == '\0') return std::nullopt;
  TestServers servers;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos)
      servers.values_[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return servers;
}

std::string TestServers::Value(const std::string& key) const {
  const auto found = values_.find(key);
  return found == values_.end() ? std::string() : found->second;
}

std::uint16_t TestServers::Port(const std::string& key) const {
  return static_cast<std::uint16_t>(std::stoul(Value(key)));
}

std::size_t TestServers::ReceivedCount() const {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Value("RECEIVED_DIR"))) {
    // Items being written are "NNNN.partial" until complete.
    if (entry.path().extension().empty()) ++count;
  }
  return count;
}

std::map<std::string, std::string> TestServers::Received(std::size_t number) const {
  char name[16];
  std::snprintf(name, sizeof name, "%04zu", number);
  std::map<std::string, std::string> fields;
  const std::filesystem::path folder = std::filesystem::path(Value("RECEIVED_DIR")) / name;
  if (!std::filesystem::is_directory(folder)) return fields;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    fields[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return fields;
}

std::string Field(const std::map<std::string, std::string>& item, const std::string& name) {
  const auto found = item.find(name);
  return found == item.end() ? std::string() : found->second;
}

void ExpectFields(const std::map<std::string, std::string>& item,
                  const std::map<std::string, std::string>& expected) {
  for (const auto& [name, value] : expected) EXPECT_EQ(Field(item, name), value) << name;
}

Exchange Attempt(ChannelSender& sender, const TestServers& servers, const AlertChannel& channel,
                 const AlertEvent& alert, const std::string& secret) {
  const std::size_t before = servers.ReceivedCount();
  const auto start = std::chrono::steady_clock::now();
  Exchange exchange;
  exchange.result = sender.Send(channel, alert, secret);
  exchange.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t after = servers.ReceivedCount();
  exchange.receivedItems = after - before;
  if (after > before) exchange.item = servers.Received(after);
  return exchange;
}

void ExpectResult(const Exchange& exchange, AttemptOutcome outcome, const std::string& textStart,
                  const std::string& secret) {
  EXPECT_STREQ(OutcomeName(exchange.result.outcome), OutcomeName(outcome)) << exchange.result.text;
  EXPECT_TRUE(exchange.result.text.starts_with(textStart)) << exchange.result.text;
  EXPECT_EQ(exchange.result.text.find(secret), std::string::npos) << exchange.result.text;
}

void ExpectUndelivered(const Exchange& exchange, AttemptOutcome outcome,
                       const std::string& textStart, const std::string& secret) {
  ExpectResult(exchange, outcome, textStart, secret);
  EXPECT_EQ(exchange.receivedItems, 0u);
}

void ExpectTimedOutAfterTwoSeconds(const Exchange& exchange, const std::string& secret) {
  ExpectResult(exchange, AttemptOutcome::TimedOut, "no answer within the time limit (2 s)", secret);
  EXPECT_GE(exchange.seconds, 1.9);
  EXPECT_LT(exchange.seconds, 3.5);
}

const char* OutcomeName(AttemptOutcome outcome) {
  switch (outcome) {
    case AttemptOutcome::Sent:
      return "Sent";
    case AttemptOutcome::Failed:
      return "Failed";
    case AttemptOutcome::TimedOut:
      return "TimedOut";
    case AttemptOutcome::Rejected:
      return "Rejected";
  }
  return "?";
}

AlertEvent SampleAlert(const std::string& host) {
  AlertEvent alert;
  alert.kind = AlertKind::Down;
  alert.host = host;
  alert.description = "Core router";
  alert.status = "Request timed out";
  alert.previousStatus = "OK";
  alert.error = "No reply within 2000 ms";
  alert.outageStart = {.utc = 1796678100, .utcOffsetSeconds = -(5 * 3600 + 30 * 60)};
  alert.outageSeconds = 303;
  alert.roundTripMs = std::nullopt;
  alert.lossPercent = 12;
  alert.time = {.utc = 1796678403, .utcOffsetSeconds = -(5 * 3600 + 30 * 60)};
  alert.computer = "monitor-1";
  return alert;
}

}  // namespace kelvoran::test
