#include "engine/quality_watch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/probe_job.h"
#include "fake_host_rows.h"

namespace kelvoran {
namespace {

// One host's results fed to the watch: "150" a reply in 150 ms, "x" a failure,
// "E" a failure in ERROR.
// The edges come back as "probe:rule+" (raised) or "probe:rule-" (back to
// normal), probes counted from 1.
struct Watch {
  Watch() {
    watch.Attach(rows);
    host.Status = StatusOk;
    watch.SetObserver([this](const HostRecord& h, const QualityEdge& edge) {
      const std::string name = QualityFlagsText(QualityFlag(edge.rule));
      edges += (edges.empty() ? "" : " ") + std::to_string(probes) + ":" + name +
               (edge.raised ? "+" : "-");
      EXPECT_EQ(h.QualityFlags & QualityFlag(edge.rule), edge.raised ? QualityFlag(edge.rule) : 0);
    });
  }
  void Feed(const std::string& results) {
    std::istringstream words(results);
    for (std::string word; words >> word;) {
      ++probes;
      ProbeResult result;
      result.StartTime = probes;
      host.Status = word == "E" ? StatusError : StatusOk;
      if (word == "x" || word == "E")
        result.ResultCode = 11010;
      else
        result.RoundTripTime = static_cast<std::uint32_t>(std::stoul(word));
      watch.ResultApplied(host, result, host.Status);
      watch.TickEnded();
    }
  }

  testing::FakeHostRows rows;
  HostRecord& host = rows.Add();
  QualityWatch watch;
  int probes = 0;
  std::string edges;
};

QualityRules Rules(std::uint32_t window, std::uint32_t slow, std::uint32_t loss,
                   std::uint32_t jitter) {
  return {window, slow, loss, jitter};
}

struct Case {
  const char* what;
  QualityRules rules;
  const char* results;
  const char* edges;
};

const Case kCases[] = {
    {"slow needs a full window", Rules(4, 100, 0, 0), "150 150 150", ""},
    {"slow raised on the window's last probe", Rules(4, 100, 0, 0), "150 150 150 150", "4:slow+"},
    {"median, not mean: one spike is not slow", Rules(5, 100, 0, 0), "10 10 900 10 10 10", ""},
    {"at the limit is not above it", Rules(4, 100, 0, 0), "100 100 100 100", ""},
    {"back to normal only after a full clean window", Rules(4, 100, 0, 0),
     "150 150 150 150 10 10 10 10", "4:slow+ 8:slow-"},
    {"one fast probe does not end slowness", Rules(4, 100, 0, 0),
     "150 150 150 150 10 150 150 150 150", "4:slow+"},
    {"failures do not count for the median", Rules(4, 100, 0, 0), "150 x x 150", "4:slow+"},
    {"a window of failures decides nothing", Rules(4, 100, 0, 0), "150 150 150 150 x x x x x x",
     "4:slow+"},
    {"no new raise before a full window after the end", Rules(2, 100, 0, 0),
     "150 150 10 10 150 150", "2:slow+ 4:slow- 6:slow+"},
    {"lossy above the share", Rules(5, 0, 20, 0), "1 x 1 x 1", "5:lossy+"},
    {"lossy at the share is not above it", Rules(5, 0, 20, 0), "1 x 1 1 1 1 1", ""},
    {"lossy back to normal", Rules(5, 0, 20, 0), "x x x x x 1 1 1 1 1", "5:lossy+ 10:lossy-"},
    {"an outage is not lossy, nor what led to it", Rules(5, 0, 20, 0),
     "1 1 x x E E E E E E 1 1 1 1 1", ""},
    {"lossy before an outage ends after a clean window past it", Rules(5, 0, 20, 0),
     "x x x x x E E 1 1 1 1 1", "5:lossy+ 12:lossy-"},
    {"jitter over consecutive replies", Rules(4, 0, 0, 30), "10 60 10 60", "4:jittery+"},
    {"jitter skips failures", Rules(4, 0, 0, 30), "10 x 10 12 11 x 10 11", ""},
    {"steady high round trips are not jittery", Rules(4, 0, 0, 30), "500 510 505 500", ""},
    {"rules are judged apart", Rules(4, 100, 40, 30), "10 x 10 x 10 10 300 300",
     "4:lossy+ 7:jittery+ 8:slow+ 8:lossy-"},
    {"all off: nothing", Rules(4, 0, 0, 0), "x x x x 900 900 900 900", ""},
};

TEST(QualityWatch, RulesOverTheirWindows) {
  for (const Case& test : kCases) {
    Watch watch;
    watch.host.Quality = test.rules;
    watch.Feed(test.results);
    EXPECT_EQ(watch.edges, test.edges) << test.what;
    EXPECT_EQ(watch.host.Status, StatusOk) << test.what;
  }
}

TEST(QualityWatch, OffKeepsNothingAndDropsRaisedFlagsWithoutAWord) {
  Watch watch;
  watch.host.Quality = Rules(3, 100, 0, 0);
  watch.Feed("200 200 200");
  EXPECT_EQ(watch.host.QualityFlags, QualityFlag(QualityRule::Slow));
  watch.host.Quality.slowMs = 0;
  watch.Feed("200");
  EXPECT_EQ(watch.host.QualityFlags, 0);
  EXPECT_EQ(watch.watch.WatchedCount(), 0u);
  EXPECT_EQ(watch.edges, "3:slow+");
}

TEST(QualityWatch, ANewWindowSizeStartsAFreshWindowAndKeepsWhatIsRaised) {
  Watch watch;
  watch.host.Quality = Rules(3, 100, 0, 0);
  watch.Feed("200 200 200");
  watch.host.Quality.window = 5;
  watch.Feed("10 10 10 10");
  EXPECT_EQ(watch.edges, "3:slow+") << "four probes do not fill the new window";
  watch.Feed("10");
  EXPECT_EQ(watch.edges, "3:slow+ 8:slow-");
}

TEST(QualityWatch, AResetHostStartsAgain) {
  Watch watch;
  watch.host.Quality = Rules(3, 100, 0, 0);
  watch.Feed("200 200 200");
  watch.host.ResetResults();
  watch.Feed("200 200");
  EXPECT_EQ(watch.edges, "3:slow+");
  watch.Feed("200");
  EXPECT_EQ(watch.edges, "3:slow+ 6:slow+");
}

TEST(QualityWatch, EdgeTextsTellTheFigureAndTheLimit) {
  EXPECT_EQ(QualityEdgeText({QualityRule::Slow, true, 912.4, 20, 500, 0, 0, {}}),
            "slow: median 912 ms over 20 probes (limit 500 ms)");
  EXPECT_EQ(QualityEdgeText({QualityRule::Lossy, false, 5, 50, 10, 0, 0, {}}),
            "no longer lossy: 5 % lost over 50 probes (limit 10 %)");
  EXPECT_EQ(QualityFlagsText(QualityFlag(QualityRule::Slow) | QualityFlag(QualityRule::Jittery)),
            "slow, jittery");
}

TEST(QualityWatch, AbsurdRulesAreRefusedOrBroughtWithinLimits) {
  struct Limit {
    QualityRules given;
    bool refused;
    QualityRules kept;
  };
  const Limit limits[] = {
      {Rules(20, 500, 10, 30), false, Rules(20, 500, 10, 30)},
      {Rules(0, 0, 0, 0), false, Rules(2, 0, 0, 0)},
      {Rules(1, 500, 0, 0), true, Rules(2, 500, 0, 0)},
      {Rules(5000, 500, 0, 0), true, Rules(1000, 500, 0, 0)},
      {Rules(20, 0, 100, 0), true, Rules(20, 0, 0, 0)},
      {Rules(20, 4'000'000'000u, 0, 70'000), true, Rules(20, 0, 0, 0)},
  };
  for (const Limit& limit : limits) {
    EXPECT_EQ(!QualityRulesProblem(limit.given).empty(), limit.refused) << limit.given.window;
    EXPECT_EQ(WithinQualityLimits(limit.given), limit.kept) << limit.given.window;
  }
}

}  // namespace
}  // namespace kelvoran
