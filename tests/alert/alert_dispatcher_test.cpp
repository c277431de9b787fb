#include "alert/alert_dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>

#include "dispatcher_fakes.h"

namespace kelvoran {
namespace {

using testing::EntriesUntil;
using testing::Event;
using testing::QuickRetries;
using testing::ScriptedSender;
using testing::Webhook;

const AttemptResult Ok{AttemptOutcome::Sent, "200 OK"};

std::string Describe(const AlertLogEntry& e) {
  static const char* const outcomes[] = {"sent", "failed", "timed out", "rejected", "held"};
  std::string line =
      e.channel + " " + e.host + " " + outcomes[static_cast<int>(e.outcome)] + " " + e.text;
  if (e.retryAt) line += ", retried";
  if (e.givenUp) line += ", given up";
  return line;
}

std::vector<std::string> Described(const std::vector<AlertLogEntry>& entries) {
  std::vector<std::string> lines;
  for (const AlertLogEntry& e : entries) lines.push_back(Describe(e));
  return lines;
}

// The attempt counts the metrics endpoint serves, as "channel sent/failed".
std::vector<std::string> Counted(const AlertDispatcher& dispatcher) {
  std::vector<std::string> counts;
  for (const auto& c : dispatcher.AttemptCounts())
    counts.push_back(c.channel + " " + std::to_string(c.sent) + "/" + std::to_string(c.failed));
  return counts;
}

// A sender that throws fails its attempt, to be tried again; an alert sent
// is not sent again, and one host's alerts keep their order on a channel.
// One held is logged for the channels that would take it, and neither sent
// nor counted.
TEST(AlertDispatcher, RetriesUntilSentOnceInOrder) {
  std::atomic<int> hookAttempts = 0;
  ScriptedSender sender([&](const AlertChannel& channel, const AlertEvent&) {
    if (channel.name == "hook" && ++hookAttempts == 1) throw std::runtime_error("out of memory");
    return Ok;
  });
  AlertDispatcher dispatcher(
      {.webhook = &sender}, [](const std::string& name) { return "token of " + name; }, nullptr,
      QuickRetries());
  dispatcher.SetChannels({Webhook("hook", true), Webhook("quiet")});
  dispatcher.Raise({"hook", "quiet"}, Event("gw"));
  dispatcher.Raise({"hook", "quiet"}, Event("gw", AlertKind::OkAgain));
  dispatcher.Hold({"hook", "quiet"}, Event("db", AlertKind::OkAgain), "muted");
  std::vector<std::string> lines = Described(EntriesUntil(dispatcher, 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "hook db held muted", "hook gw failed out of memory, retried",
                       "hook gw sent 200 OK", "hook gw sent 200 OK", "quiet gw sent 200 OK"}));
  std::vector<std::string> hook, calls = sender.Calls();
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(hook),
               [](const std::string& call) { return call.starts_with("hook"); });
  EXPECT_EQ(hook, (std::vector<std::string>{"hook gw down", "hook gw down", "hook gw OK again"}));
  EXPECT_EQ(calls.size(), 4u) << "OK again only to channels that ask for it, each sent once";
  const std::vector<std::string> secrets = sender.Secrets();
  EXPECT_EQ(std::count(secrets.begin(), secrets.end(), "token of hook"), 3);
  EXPECT_EQ(dispatcher.Waiting(), 0u);
  EXPECT_EQ(Counted(dispatcher), (std::vector<std::string>{"hook 2/1", "quiet 1/0"}));
}

// A quality rule back to normal is, like OK again, only for the channels
// that ask to hear when things are well again.
TEST(AlertDispatcher, QualityBackToNormalOnlyWhereOkAgainIsWanted) {
  ScriptedSender sender([&](const AlertChannel&, const AlertEvent&) { return Ok; });
  AlertDispatcher dispatcher(
      {.webhook = &sender}, [](const std::string&) { return ""; }, nullptr, QuickRetries());
  dispatcher.SetChannels({Webhook("hook", true), Webhook("quiet")});
  for (const AlertKind kind : {AlertKind::Lossy, AlertKind::LossyEnded})
    dispatcher.Raise({"hook", "quiet"}, Event("gw", kind));
  EntriesUntil(dispatcher, 3);
  std::vector<std::string> calls = sender.Calls();
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<std::string>{"hook gw lossy", "hook gw no longer lossy",
                                             "quiet gw lossy"}));
}

// A server that takes its whole time limit: released by the test.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  void Wait() {
    std::unique_lock lock(mutex);
    opened.wait(lock, [&] { return open; });
  }
  void Open() {
    {
      const std::lock_guard lock(mutex);
      open = true;
    }
    opened.notify_all();
  }
};

TEST(AlertDispatcher, ASilentServerHoldsBackNoOtherChannel) {
  Gate gate;
  ScriptedSender sender([&](const AlertChannel& channel, const AlertEvent&) {
    if (channel.name == "slow") gate.Wait();
    return Ok;
  });
  AlertDispatcher dispatcher({.webhook = &sender}, {}, nullptr, QuickRetries());
  dispatcher.SetChannels({Webhook("slow"), Webhook("fast")});
  dispatcher.Raise({"slow", "fast"}, Event("gw"));
  dispatcher.Raise({"fast"}, Event("db"));
  std::vector<std::string> fast = Described(EntriesUntil(dispatcher, 2));
  std::sort(fast.begin(), fast.end());
  EXPECT_EQ(fast, (std::vector<std::string>{"fast db sent 200 OK", "fast gw sent 200 OK"}));
  gate.Open();
  EXPECT_EQ(Described(EntriesUntil(dispatcher, 1)),
            (std::vector<std::string>{"slow gw sent 200 OK"}));
}

TEST(AlertDispatcher, GivesUpWhatCannotBeSentWithAClearText) {
  Gate gate;
  ScriptedSender sender([&](const AlertChannel&, const AlertEvent& alert) {
    if (alert.host == "first") gate.Wait();
    return Ok;
  });
  DispatcherOptions options = QuickRetries();
  options.threads = 1;
  options.mostWaiting = 2;
  AlertDispatcher dispatcher({.webhook = &sender}, {}, nullptr, options);
  AlertChannel mail = Webhook("mail");
  mail.kind = ChannelKind::Email;
  dispatcher.SetChannels({Webhook("hook"), mail});
  dispatcher.Raise({"hook"}, Event("first"));
  while (sender.Calls().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // "first" is in flight and counts: of the two behind it the older goes.
  dispatcher.Raise({"hook"}, Event("second"));
  dispatcher.Raise({"hook"}, Event("third"));
  gate.Open();
  std::vector<std::string> lines = Described(EntriesUntil(dispatcher, 3));
  dispatcher.Raise({"gone", "mail"}, Event("fourth"));
  for (const std::string& line : Described(EntriesUntil(dispatcher, 2))) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "gone fourth rejected no channel named gone, given up", "hook first sent 200 OK",
                "hook second failed given up: more than 2 alerts were waiting, given up",
                "hook third sent 200 OK",
                "mail fourth rejected this program cannot send e-mail alerts, given up"}));
  // A name no longer defined counts too; one given up unsent counts a failure.
  EXPECT_EQ(Counted(dispatcher), (std::vector<std::string>{"gone 0/1", "hook 2/1", "mail 0/1"}));
}

TEST(AlertDispatcher, SendsATestAlertOnceWithTheGivenSecret) {
  ScriptedSender sender([](const AlertChannel&, const AlertEvent&) { return Ok; });
  AlertDispatcher dispatcher({.webhook = &sender}, {}, nullptr, QuickRetries());
  std::promise<AttemptResult> result;
  dispatcher.SendTest(Webhook("new"), "typed secret", Event("gw"),
                      [&](const AttemptResult& r) { result.set_value(r); });
  EXPECT_EQ(result.get_future().get().text, "200 OK");
  EXPECT_EQ(sender.Secrets(), std::vector<std::string>{"typed secret"});
  EXPECT_TRUE(dispatcher.TakeNewEntries().empty()) << "a test is not logged";
}

}  // namespace
}  // namespace kelvoran
