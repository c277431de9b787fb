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

namespace fs = std::filesystem;

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
    if (const auto equals = line.find('='); equals != std::string::npos)
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
  // Items being written are "NNNN.partial" until complete.
  for (const auto& entry : fs::directory_iterator(Value("RECEIVED_DIR")))
    count += entry.path().extension().empty();
  return count;
}

std::map<std::string, std::string> TestServers::Received(std::size_t number) const {
  char name[16];
  std::snprintf(name, sizeof name, "%04zu", number);
  std::map<std::string, std::string> fields;
  for (const auto& entry : fs::directory_iterator(fs::path(Value("RECEIVED_DIR")) / name)) {
    std::ostringstream text;
    text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    fields[entry.path().filename().string()] = text.str();
  }
  return fields;
}

std::string Exchange::Field(const std::string& name) const {
  const auto found = item.find(name);
  return found == item.end() ? std::string() : found->second;
}

void ServersTest::SetUp() {
  servers_ = TestServers::FromEnvironment();
  if (!servers_) GTEST_SKIP() << "needs the servers of tests/delivery/with-delivery-servers";
}

Exchange ServersTest::Attempt(ChannelSender& sender, const AlertChannel& channel,
                              const AlertEvent& alert, const std::string& secret) const {
  const std::size_t before = servers_->ReceivedCount();
  const auto start = std::chrono::steady_clock::now();
  Exchange exchange;
  exchange.result = sender.Send(channel, alert, secret);
  exchange.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t after = servers_->ReceivedCount();
  exchange.receivedItems = after - before;
  if (after > before) exchange.item = servers_->Received(after);
  return exchange;
}

void ExpectResult(const Exchange& exchange, AttemptOutcome outcome, const std::string& textStart,
                  const std::string& secret, bool received) {
  EXPECT_EQ(exchange.result.outcome, outcome) << exchange.result.text;
  EXPECT_TRUE(exchange.result.text.starts_with(textStart)) << exchange.result.text;
  EXPECT_EQ(exchange.result.text.find(secret), std::string::npos) << exchange.result.text;
  EXPECT_EQ(exchange.receivedItems != 0, received);
}

void ExpectTimedOutAfterTwoSeconds(const Exchange& exchange, const std::string& secret) {
  ExpectResult(exchange, AttemptOutcome::TimedOut, "no answer within the time limit (2 s)", secret,
               exchange.receivedItems != 0);
  EXPECT_GE(exchange.seconds, 1.9);
  EXPECT_LT(exchange.seconds, 3.5);
}

AlertEvent SampleAlert(const std::string& host) {
  AlertEvent alert;
  alert.host = host;
  alert.description = "Core router";
  alert.status = "Request timed out";
  alert.previousStatus = "OK";
  alert.error = "No reply within 2000 ms";
  alert.outageStart = {.utc = 1796678100, .utcOffsetSeconds = -(5 * 3600 + 30 * 60)};
  alert.outageSeconds = 303;
  alert.lossPercent = 12;
  alert.time = {.utc = 1796678403, .utcOffsetSeconds = -(5 * 3600 + 30 * 60)};
  alert.computer = "monitor-1";
  return alert;
}

}  // namespace kelvoran::test
