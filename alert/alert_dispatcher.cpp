#include "alert/alert_dispatcher.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "alert/alert_template.h"

namespace kelvoran {
namespace {

constexpr std::size_t kMostNewEntries = 10'000;

// What a delivery's log lines need once the queue has forgotten it, and the
// key the journal keeps it under (an earlier run's id for one taken up).
struct Tracked {
  std::uint64_t journalId = 0;
  AlertKind kind = AlertKind::Down;
  LocalMoment outageStart;
  bool late = false;
  // Added to each log line's text: a reminder's number, a release from
  // quiet hours.
  std::string note;
};

std::string NoteOf(const AlertEvent& event) {
  std::string note = ReminderText(event);
  if (event.keptInQuietHours)
    note += (note.empty() ? "" : ", ") + std::string("held in quiet hours");
  return note.empty() ? note : " (" + note + ")";
}

CalendarTime WallClockAt(QueueClock::time_point at) {
  using namespace std::chrono;
  const auto wall =
      system_clock::now() + duration_cast<system_clock::duration>(at - QueueClock::now());
  return duration_cast<seconds>(wall.time_since_epoch()).count();
}

const char* KindName(ChannelKind kind) {
  switch (kind) {
    case ChannelKind::Email:
      return "e-mail";
    case ChannelKind::Webhook:
      return "webhook";
    case ChannelKind::Program:
      return "program";
    case ChannelKind::Sound:
      return "sound";
  }
  return "this kind of";
}

ChannelSender* SenderOf(const ChannelSenders& senders, ChannelKind kind) {
  switch (kind) {
    case ChannelKind::Email:
      return senders.email;
    case ChannelKind::Webhook:
      return senders.webhook;
    case ChannelKind::Program:
      return senders.program;
    case ChannelKind::Sound:
      return senders.sound;
  }
  return nullptr;
}

// A sender that throws (out of memory, a library's own exception) fails the
// attempt, to be tried again, rather than ending the thread.
AttemptResult SendWith(ChannelSender* sender, const AlertChannel& channel, const AlertEvent& alert,
                       const std::string& secret) {
  if (!sender) {
    return {
        AttemptOutcome::Rejected,
        std::string("this program cannot send ").append(KindName(channel.kind)).append(" alerts")};
  }
  try {
    return sender->Send(channel, alert, secret);
  } catch (const std::exception& error) {
    return {AttemptOutcome::Failed, error.what()};
  }
}

}  // namespace

struct AlertDispatcher::State {
  ChannelSenders senders;
  SecretLookup secrets;
  AlertJournal* journal;
  DispatcherOptions options;

  mutable std::mutex mutex;
  std::condition_variable wake;
  DispatchQueue queue;
  std::unordered_map<std::string, AlertChannel> channels;
  std::unordered_map<std::uint64_t, Tracked> tracked;
  std::vector<AlertJournalCall> journalOps;
  std::vector<AlertLogEntry> newEntries;
  // Attempts per channel name: sent first, failed second.
  std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> attempts;
  std::deque<std::function<void()>> tests;
  bool stopping = false;
  // Nothing is attempted before the channels are known: alerts taken up
  // from the journal would otherwise find no channel of their name.
  bool channelsSet = false;
  // Threads waiting for work, and whether one has been woken and not yet
  // run: the tick wakes at most one thread however many alerts it raises,
  // as every wake-up is a system call and a woken thread may take the
  // tick's processor.
  std::size_t idle = 0;
  bool woken = false;
  // One thread at a time makes the journal's calls, so they keep their order.
  bool writingJournal = false;
  std::vector<std::thread> threads;

  State(ChannelSenders s, SecretLookup lookup, AlertJournal* j, DispatcherOptions o)
      : senders(s),
        secrets(std::move(lookup)),
        journal(j),
        options(std::move(o)),
        queue(options.retry) {}

  void TakeUpUnfinished();
  // Whether the named channel takes the event: OK-again only where asked
  // for. A name no longer defined takes everything: its attempt logs it.
  bool Takes(const std::string& channel, const AlertEvent& event) const;
  void Enqueue(const std::string& channel, const AlertEvent& event);
  void Log(AlertLogEntry entry);
  void CollectLog();
  void Work();
  // With the lock held: whether the caller should wake a thread.
  bool TakeWake();
  void Wait(std::unique_lock<std::mutex>& lock);
  void WriteJournal(std::unique_lock<std::mutex>& lock);
  void Attempt(std::unique_lock<std::mutex>& lock, const Delivery& delivery);
  AttemptResult Send(const std::optional<AlertChannel>& channel, const Delivery& delivery);
};

void AlertDispatcher::State::TakeUpUnfinished() {
  if (!journal) return;
  std::vector<AlertJournal::Waiting> waiting = journal->Unfinished();
  const std::lock_guard lock(mutex);
  for (const AlertJournal::Waiting& w : waiting) queue.IdsAbove(w.id);
  for (AlertJournal::Waiting& w : waiting) {
    const std::uint64_t id = queue.Enqueue(w.channel, w.alert.host, w.alert, QueueClock::now());
    tracked[id] = {w.id, w.alert.kind, w.alert.outageStart, true, NoteOf(w.alert)};
  }
}

bool AlertDispatcher::State::Takes(const std::string& channel, const AlertEvent& event) const {
  const auto found = channels.find(channel);
  return !IsBackToNormal(event.kind) || found == channels.end() || found->second.alsoWhenOk;
}

// With the lock held.
void AlertDispatcher::State::Enqueue(const std::string& channel, const AlertEvent& event) {
  const QueueClock::time_point now = QueueClock::now();
  while (queue.Waiting() >= options.mostWaiting &&
         queue.GiveUpOldest(
             "given up: more than " + std::to_string(options.mostWaiting) + " alerts were waiting",
             now)) {
  }
  const std::uint64_t id = queue.Enqueue(channel, event.host, event, now);
  tracked[id] = {id, event.kind, event.outageStart, false, NoteOf(event)};
  if (journal) journalOps.emplace_back(WaitingAlert{id, channel, event});
}

// With the lock held: the queue's new records become log entries, and what
// was sent or given up leaves the journal's queue.
void AlertDispatcher::State::CollectLog() {
  for (AttemptRecord& record : queue.TakeLog()) {
    const auto found = tracked.find(record.delivery);
    if (found == tracked.end()) continue;
    const Tracked& t = found->second;
    auto& counts = attempts[record.channel];
    ++(record.outcome == AttemptOutcome::Sent ? counts.first : counts.second);
    AlertLogEntry entry{.at = WallClockAt(record.at),
                        .channel = std::move(record.channel),
                        .host = std::move(record.host),
                        .kind = t.kind,
                        .outcome = record.outcome,
                        .text = std::move(record.text) + t.note,
                        .retryAt = std::nullopt,
                        .givenUp = record.givenUp,
                        .late = t.late,
                        .outageStart = t.outageStart};
    if (record.retryAt) entry.retryAt = WallClockAt(*record.retryAt);
    Log(std::move(entry));
    if (record.retryAt) continue;
    if (journal) journalOps.emplace_back(AlertFinished{t.journalId});
    tracked.erase(found);
  }
}

// With the lock held.
void AlertDispatcher::State::Log(AlertLogEntry entry) {
  if (journal) journalOps.emplace_back(entry);
  // Nobody reading them (no window yet): the oldest half goes.
  if (newEntries.size() >= kMostNewEntries)
    newEntries.erase(newEntries.begin(), newEntries.begin() + kMostNewEntries / 2);
  newEntries.push_back(std::move(entry));
}

void AlertDispatcher::State::Work() {
  std::unique_lock lock(mutex);
  while (true) {
    if (!journalOps.empty() && !writingJournal) {
      WriteJournal(lock);
      continue;
    }
    if (stopping) return;
    if (!tests.empty()) {
      std::function<void()> test = std::move(tests.front());
      tests.pop_front();
      lock.unlock();
      test();
      lock.lock();
      continue;
    }
    const std::vector<Delivery> due =
        channelsSet ? queue.NextDue(QueueClock::now(), 1) : std::vector<Delivery>();
    if (!due.empty()) {
      // Another alert may be due as well: an idle thread takes it meanwhile.
      if (TakeWake()) wake.notify_one();
      Attempt(lock, due.front());
      continue;
    }
    Wait(lock);
  }
}

bool AlertDispatcher::State::TakeWake() {
  if (idle == 0 || woken) return false;
  woken = true;
  return true;
}

void AlertDispatcher::State::Wait(std::unique_lock<std::mutex>& lock) {
  ++idle;
  if (const std::optional<QueueClock::time_point> next = queue.NextWake(); next && channelsSet)
    wake.wait_until(lock, *next);
  else
    wake.wait(lock);
  --idle;
  woken = false;
}

// The journal may be slow (a history file on a network share): its calls are
// made without the queue's lock, so Raise never waits for them.
void AlertDispatcher::State::WriteJournal(std::unique_lock<std::mutex>& lock) {
  std::vector<AlertJournalCall> ops = std::exchange(journalOps, {});
  writingJournal = true;
  lock.unlock();
  for (const AlertJournalCall& call : ops) MakeCall(*journal, call);
  lock.lock();
  writingJournal = false;
}

void AlertDispatcher::State::Attempt(std::unique_lock<std::mutex>& lock, const Delivery& delivery) {
  std::optional<AlertChannel> channel;
  if (const auto found = channels.find(delivery.channel); found != channels.end())
    channel = found->second;
  lock.unlock();
  const AttemptResult result = Send(channel, delivery);
  lock.lock();
  queue.Report(delivery.id, result, QueueClock::now());
  CollectLog();
  // The lane's next alert may be due now, and another thread may take it.
  wake.notify_all();
}

AttemptResult AlertDispatcher::State::Send(const std::optional<AlertChannel>& channel,
                                           const Delivery& delivery) {
  if (!channel) return {AttemptOutcome::Rejected, "no channel named " + delivery.channel};
  const std::string secret = secrets ? secrets(channel->name) : std::string();
  return SendWith(SenderOf(senders, channel->kind), *channel, delivery.alert, secret);
}

AlertDispatcher::AlertDispatcher(ChannelSenders senders, SecretLookup secrets,
                                 AlertJournal* journal, DispatcherOptions options)
    : state_(std::make_unique<State>(senders, std::move(secrets), journal, std::move(options))) {
  state_->TakeUpUnfinished();
  const std::size_t threads = std::max<std::size_t>(1, state_->options.threads);
  for (std::size_t i = 0; i < threads; ++i)
    state_->threads.emplace_back([state = state_.get()] { state->Work(); });
}

AlertDispatcher::~AlertDispatcher() {
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  const ChannelSenders& senders = state_->senders;
  for (ChannelSender* sender : {senders.email, senders.webhook, senders.program, senders.sound})
    if (sender) sender->StopAttempts();
  state_->wake.notify_all();
  for (std::thread& thread : state_->threads) thread.join();
}

void AlertDispatcher::SetChannels(std::vector<AlertChannel> channels) {
  std::unordered_map<std::string, AlertChannel> byName;
  for (AlertChannel& channel : channels) {
    std::string name = channel.name;
    byName.insert_or_assign(std::move(name), std::move(channel));
  }
  {
    const std::lock_guard lock(state_->mutex);
    state_->channels.swap(byName);
    for (const auto& [name, channel] : state_->channels) state_->attempts.try_emplace(name);
    state_->channelsSet = true;
  }
  state_->wake.notify_all();
}

void AlertDispatcher::Raise(const std::vector<std::string>& channels, const AlertEvent& event) {
  bool wakeOne = false;
  {
    const std::lock_guard lock(state_->mutex);
    for (const std::string& name : channels)
      if (state_->Takes(name, event)) state_->Enqueue(name, event);
    state_->CollectLog();
    wakeOne = state_->TakeWake();
  }
  if (wakeOne) state_->wake.notify_one();
}

void AlertDispatcher::Hold(const std::vector<std::string>& channels, const AlertEvent& event,
                           const std::string& why) {
  {
    const std::lock_guard lock(state_->mutex);
    for (const std::string& name : channels) {
      if (!state_->Takes(name, event)) continue;
      state_->Log({.at = event.time.utc,
                   .channel = name,
                   .host = event.host,
                   .kind = event.kind,
                   .outcome = AttemptOutcome::Held,
                   .text = why,
                   .retryAt = std::nullopt,
                   .givenUp = false,
                   .late = false,
                   .outageStart = event.outageStart});
    }
  }
  // The journal is written by the dispatcher's threads.
  state_->wake.notify_one();
}

void AlertDispatcher::SendTest(const AlertChannel& channel, const std::string& secret,
                               const AlertEvent& event,
                               std::function<void(const AttemptResult&)> done) {
  {
    const std::lock_guard lock(state_->mutex);
    state_->tests.push_back([state = state_.get(), channel, secret, event, done = std::move(done)] {
      done(SendWith(SenderOf(state->senders, channel.kind), channel, event, secret));
    });
  }
  state_->wake.notify_one();
}

std::vector<AlertLogEntry> AlertDispatcher::TakeNewEntries() {
  const std::lock_guard lock(state_->mutex);
  return std::exchange(state_->newEntries, {});
}

std::vector<AlertDispatcher::ChannelCounts> AlertDispatcher::AttemptCounts() const {
  const std::lock_guard lock(state_->mutex);
  std::vector<ChannelCounts> counts;
  counts.reserve(state_->attempts.size());
  for (const auto& [channel, count] : state_->attempts)
    counts.push_back({channel, count.first, count.second});
  return counts;
}

std::size_t AlertDispatcher::Waiting() const {
  const std::lock_guard lock(state_->mutex);
  return state_->queue.Waiting();
}

}  // namespace kelvoran
