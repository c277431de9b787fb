#include "history/round_trip_histogram.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace kelvoran {
namespace {

TEST(RoundTripHistogram, BucketsRunFromOneMillisecondToAMinuteAndBeyond) {
  struct Case {
    std::uint32_t ms;
    int bucket;
  };
  for (const Case c : {Case{0, 0},
                       {1, 0},
                       {2, 2},
                       {60'000, 30},
                       {60'001, 31},
                       {std::numeric_limits<std::uint32_t>::max(), 31}})
    EXPECT_EQ(RoundTripHistogram::BucketOf(c.ms), c.bucket) << c.ms;
  // Every millisecond up to a minute lies inside the bounds of its bucket.
  for (std::uint32_t ms = 2; ms <= 60'000; ++ms) {
    const int bucket = RoundTripHistogram::BucketOf(ms);
    ASSERT_GT(ms, RoundTripHistogram::UpperBound(bucket - 1)) << ms;
    ASSERT_LE(ms, RoundTripHistogram::UpperBound(bucket)) << ms;
  }
}

TEST(RoundTripHistogram, StoredFormKeepsEveryCountAndRefusesDamagedBytes) {
  RoundTripHistogram histogram;
  histogram.Add(5, std::numeric_limits<std::uint32_t>::max());
  histogram.Add(5);  // saturates rather than wrapping to 0
  histogram.Add(700, 300);
  histogram.Add(1);
  EXPECT_EQ(histogram.At(RoundTripHistogram::BucketOf(5)),
            std::numeric_limits<std::uint32_t>::max());
  EXPECT_EQ(RoundTripHistogram::Decode(histogram.Encode()), histogram);
  EXPECT_EQ(RoundTripHistogram::Decode(""), RoundTripHistogram{});
  for (const std::string& damaged :
       {std::string("\x20\x01", 2), std::string("\x03", 1), std::string("\x03\x80", 2),
        std::string("\x03\xff\xff\xff\xff\x7f", 6)})
    EXPECT_FALSE(RoundTripHistogram::Decode(damaged)) << damaged.size();
}

TEST(RoundTripHistogram, PercentileOfSmallRoundTripsIsExact) {
  RoundTripHistogram histogram;
  EXPECT_FALSE(Percentile(histogram, 0.5));
  for (std::uint32_t ms : {2u, 2u, 2u, 4u, 9u}) histogram.Add(ms);
  EXPECT_EQ(Percentile(histogram, 0.5), 2.0);
  EXPECT_EQ(Percentile(histogram, 0.8), 4.0);
}

}  // namespace
}  // namespace kelvoran
