#include "alert/dispatch_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace kelvoran {
namespace {

using std::chrono::seconds;
using Log = std::vector<std::string>;

const QueueClock::time_point Start{std::chrono::hours(1000)};

std::int64_t SecondsAt(QueueClock::time_point t) {
  return std::chrono::duration_cast<seconds>(t - Start).count();
}

// An alert raised at a second of the scenario.
struct Raised {
  std::int64_t at;
  std::string host;
  AlertKind kind;
};

// What the far side answers to an attempt at a second of the scenario.
using Server = std::function<AttemptResult(std::int64_t at, const Delivery&)>;

std::string Describe(const AttemptRecord& record, const std::string& kind) {
  static const char* const outcomes[] = {"sent", "failed", "timed out", "rejected"};
  std::string line = std::to_string(SecondsAt(record.at)) + " " + record.host + " " + kind + " " +
                     outcomes[static_cast<int>(record.outcome)];
  if (record.retryAt) line += ", retry " + std::to_string(SecondsAt(*record.retryAt));
  if (record.givenUp) line += ", given up: " + record.text;
  return line;
}

// Runs the queue on a fake clock that jumps to whatever happens next: an
// alert raised or a delivery due. Every attempt gets the server's answer.
Log Deliver(const std::vector<Raised>& raised, const Server& server) {
  DispatchQueue queue;
  std::vector<std::string> kinds(1);
  Log log;
  std::size_t next = 0;
  QueueClock::time_point now = Start;
  while (true) {
    std::optional<QueueClock::time_point> wake = queue.NextWake();
    if (next < raised.size()) {
      wake =
          std::min(wake.value_or(QueueClock::time_point::max()), Start + seconds(raised[next].at));
    }
    if (!wake) return log;
    // A delivery that fell due while its lane was held goes now, not back then.
    now = std::max(now, *wake);
    for (; next < raised.size() && Start + seconds(raised[next].at) <= now; ++next) {
      AlertEvent alert;
      alert.kind = raised[next].kind;
      queue.Enqueue("hook", raised[next].host, alert, now);
      kinds.push_back(raised[next].kind == AlertKind::Down ? "down" : "ok");
    }
    for (const Delivery& delivery : queue.NextDue(now)) {
      queue.Report(delivery.id, server(SecondsAt(now), delivery), now);
    }
    for (const AttemptRecord& record : queue.TakeLog()) {
      log.push_back(Describe(record, kinds.at(record.delivery)));
    }
  }
}

struct Scenario {
  const char* name;
  std::vector<Raised> raised;
  Server server;
  Log expected;
};

const AttemptResult Ok{AttemptOutcome::Sent, "200 OK"};
const AttemptResult ServerError{AttemptOutcome::Failed, "500 Internal Server Error"};
const AttemptResult Rejected{AttemptOutcome::Rejected, "401 Unauthorized"};
const AttemptResult NoAnswer{AttemptOutcome::TimedOut, "no answer in 30 s"};

TEST(DispatchQueue, RetriesUntilDeliveredInOrder) {
  const std::vector<Scenario> scenarios = {
      {"refused once, then accepted",
       {{0, "gw", AlertKind::Down}},
       [](std::int64_t at, const Delivery&) { return at == 0 ? ServerError : Ok; },
       {"0 gw down failed, retry 30", "30 gw down sent"}},
      {"server down for a minute: late, and OK after down",
       {{0, "gw", AlertKind::Down}, {10, "gw", AlertKind::OkAgain}},
       [](std::int64_t at, const Delivery&) { return at < 60 ? NoAnswer : Ok; },
       {"0 gw down timed out, retry 30", "30 gw down timed out, retry 90", "90 gw down sent",
        "90 gw ok sent"}},
      {"a refusal that will not change is not retried, and holds nothing back",
       {{0, "gw", AlertKind::Down}, {10, "gw", AlertKind::OkAgain}},
       [](std::int64_t at, const Delivery&) { return at == 0 ? Rejected : Ok; },
       {"0 gw down rejected, given up: 401 Unauthorized", "10 gw ok sent"}},
      {"one host's failures hold back no other host",
       {{0, "gw", AlertKind::Down}, {10, "db", AlertKind::Down}},
       [](std::int64_t at, const Delivery& d) { return d.host == "gw" && at < 60 ? NoAnswer : Ok; },
       {"0 gw down timed out, retry 30", "10 db down sent", "30 gw down timed out, retry 90",
        "90 gw down sent"}},
  };
  for (const Scenario& s : scenarios) {
    EXPECT_EQ(Deliver(s.raised, s.server), s.expected) << s.name;
  }
}

TEST(DispatchQueue, GivesUpAfterADayOfFailures) {
  const Log log = Deliver({{0, "gw", AlertKind::Down}},
                          [](std::int64_t, const Delivery&) { return ServerError; });
  ASSERT_EQ(log.size(), 53u);
  EXPECT_EQ(log[6], "1890 gw down failed, retry 3690");
  EXPECT_EQ(log[51], "82890 gw down failed, retry 84690");
  EXPECT_EQ(log[52], "84690 gw down failed, given up: 500 Internal Server Error");
}

// A retry due at the very end of the alert's lifetime is still made.
TEST(DispatchQueue, HandsOutAnAttemptOnceUntilReported) {
  DispatchQueue queue(
      {.firstPause = seconds(30), .longestPause = seconds(30), .lifetime = seconds(30)});
  const std::uint64_t id = queue.Enqueue("mail", "gw", {}, Start);
  ASSERT_EQ(queue.NextDue(Start).size(), 1u);
  EXPECT_TRUE(queue.NextDue(Start).empty());
  EXPECT_FALSE(queue.NextWake());
  queue.Report(id, NoAnswer, Start);
  EXPECT_EQ(queue.NextWake(), Start + seconds(30));
  EXPECT_TRUE(queue.NextDue(Start + seconds(29)).empty());
  EXPECT_EQ(queue.Waiting(), 1u);
}

}  // namespace
}  // namespace kelvoran
