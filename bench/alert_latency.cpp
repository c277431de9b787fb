// Delivery latency of the real alert path: from the tick handing an alert to
// the dispatcher to the real server having received it, for a mail (STARTTLS
// with AUTH) and a webhook (HTTPS), 100 alerts each, one at a time. Run under
// tests/delivery/with-delivery-servers (bench/alert_latency.sh).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_dispatcher.h"
#include "delivery/email_sender.h"
#include "delivery/webhook_sender.h"
#include "tests/delivery/test_servers.h"

namespace kelvoran {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<AlertChannel> Channels(const test::TestServers& servers) {
  AlertChannel mail;
  mail.name = "mail";
  mail.server = "localhost";
  mail.port = servers.Port("SMTP_STARTTLS_PORT");
  mail.security = SmtpSecurity::StartTls;
  mail.user = servers.Value("SMTP_USER");
  mail.from = "kelvoran@example.test";
  mail.recipients = {"ops@example.test"};
  mail.caFile = servers.Value("CA_FILE");
  AlertChannel hook;
  hook.name = "hook";
  hook.kind = ChannelKind::Webhook;
  hook.url = "https://localhost:" + servers.Value("HTTPS_PORT") + "/status/200/latency";
  hook.body = R"({"host": "{host}"})";
  hook.caFile = mail.caFile;
  return {mail, hook};
}

void Report(const char* name, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s: %zu alerts, median %.2f ms, 90th %.2f ms, worst %.2f ms\n", name, ms.size(),
              ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
}

int Run() {
  const auto servers = test::TestServers::FromEnvironment();
  if (!servers) {
    std::fprintf(stderr, "run under tests/delivery/with-delivery-servers\n");
    return 1;
  }
  EmailSender email;
  WebhookSender webhook;
  const std::string password = servers->Value("SMTP_PASSWORD");
  AlertDispatcher dispatcher(
      {&email, &webhook, nullptr, nullptr}, [&](const std::string&) { return password; }, nullptr);
  dispatcher.SetChannels(Channels(*servers));
  for (const char* channel : {"mail", "hook"}) {
    std::vector<double> latencies;
    for (int i = 0; i < 100; ++i) {
      AlertEvent alert;
      alert.host = "host-" + std::to_string(i);
      alert.status = "ERROR";
      const std::size_t before = servers->ReceivedCount();
      const Clock::time_point raised = Clock::now();
      dispatcher.Raise({channel}, alert);
      while (servers->ReceivedCount() == before)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - raised).count());
      dispatcher.TakeNewEntries();
    }
    Report(channel, latencies);
  }
  return 0;
}

}  // namespace
}  // namespace kelvoran

int main() { return kelvoran::Run(); }
