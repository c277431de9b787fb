// The real scheduler, accounting, delivery and desktop terminal server
// together: only the probe, the clock, the threads and the presenter are
// stand-ins.
#include <gtest/gtest.h>

#include "engine/result_mailbox.h"
#include "engine/result_text.h"
#include "engine/scheduler.h"
#include "fake_host_rows.h"
#include "notify/popup_delivery.h"
#include "platform/linux/desktop_terminal_services.h"
#include "platform/local_names.h"
#include "recording_presenter.h"

namespace kelvoran {
namespace {

class PopupThroughScheduler : public ::testing::Test {
 protected:
  PopupThroughScheduler() {
    services.SetPresenter(&presenter);
    HostRecord& host = rows.Add();
    host.Host = "web01";
    host.Delay = 10;
    // This computer by its name (used without a connection) and by a name
    // that resolves to it (opened, then closed).
    host.PopupDestination = ShortHostName().value_or("") + ",localhost";
    host.PopupMessage = "web01 <b>down</b> & out";
  }
  // One probe with the given outcome, applied at the following tick.
  void Probe(std::int32_t code) {
    now += 10;
    nextCode = code;
    scheduler.ProcessTick(rows);
    scheduler.ProcessTick(rows);
  }
  HostRecord& Host() { return rows.RecordAt(0); }

  CalendarTime now = 1'000'000;
  std::int32_t nextCode = 0;
  testing::RecordingPresenter presenter;
  DesktopTerminalServices services{{[] { return true; }, {}, {}}};
  PopupDelivery delivery{services};
  ResultMailbox mailbox;
  testing::FakeHostRows rows;
  ProbeScheduler scheduler{
      mailbox,
      [this](const ProbeRequest&, ProbeResult& result) {
        result.StartTime = now;
        result.ResultCode = nextCode;
        return nextCode;
      },
      delivery.Senders(),
      // Workers run on the spot: the job is in the mailbox before the tick ends.
      {[this] { return now; },
       [](std::function<void()> body) {
         body();
         return true;
       }}};
};

TEST_F(PopupThroughScheduler, EachOutageShowsTheMessageOnceAndItsEndOnce) {
  Host().FailPeriod = 20;
  Host().SuccessPeriod = 20;
  Host().PopupWhenOk = true;
  for (int i = 0; i < 6; ++i) Probe(IpRequestTimedOut);
  ASSERT_EQ(Host().Status, StatusError);
  ASSERT_EQ(presenter.shown.size(), 2u);
  EXPECT_EQ(presenter.shown[0].title + "|" + presenter.shown[0].message,
            "Kelvoran Notification|web01 <b>down</b> & out");
  EXPECT_EQ(Host().ResultCode, IpRequestTimedOut) << "delivered: the probe's code stays";

  Probe(0);  // one success: WARNING, not OK
  for (int i = 0; i < 4; ++i) Probe(IpRequestTimedOut);
  ASSERT_EQ(Host().Status, StatusError);
  EXPECT_EQ(presenter.shown.size(), 2u) << "the outage has not ended";

  for (int i = 0; i < 4; ++i) Probe(0);
  ASSERT_EQ(Host().Status, StatusOk);
  ASSERT_EQ(presenter.shown.size(), 4u);
  // ERROR came with the probe started at +30 s, OK with the one at +140 s.
  EXPECT_EQ(presenter.shown[3].title + "|" + presenter.shown[3].message,
            "Kelvoran Notification|web01 is OK again after 1 min 50 s.");
  for (int i = 0; i < 4; ++i) Probe(IpRequestTimedOut);
  EXPECT_EQ(presenter.shown.size(), 6u) << "a new outage after OK";
  EXPECT_EQ(services.OpenConnections(), 0u);
}

}  // namespace
}  // namespace kelvoran
