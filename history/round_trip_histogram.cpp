#include "history/round_trip_histogram.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvoran {
namespace {

// Bucket 30 ends at 60,000 ms: ratio 60000^(1/30), about 1.44.
constexpr double kLastBound = 60'000.0;
const double kLogRatio = std::log(kLastBound) / 30.0;

}  // namespace

double RoundTripHistogram::UpperBound(int bucket) {
  if (bucket >= kBuckets - 1) return std::numeric_limits<std::uint32_t>::max();
  // Exactly, not as exp() rounds it on one C library or another: a minute
  // is in bucket 30 wherever the file was written.
  if (bucket == kBuckets - 2) return kLastBound;
  return std::exp(kLogRatio * bucket);
}

int RoundTripHistogram::BucketOf(std::uint32_t milliseconds) {
  if (milliseconds <= 1) return 0;
  int bucket = static_cast<int>(std::ceil(std::log(static_cast<double>(milliseconds)) / kLogRatio));
  // exp/log rounding at an exact bound: the bound belongs to the lower bucket.
  while (bucket > 1 && milliseconds <= UpperBound(bucket - 1)) --bucket;
  while (bucket < kBuckets - 1 && milliseconds > UpperBound(bucket)) ++bucket;
  return std::min(bucket, kBuckets - 1);
}

void RoundTripHistogram::Add(std::uint32_t milliseconds, std::uint32_t times) {
  std::uint32_t& count = counts_[static_cast<std::size_t>(BucketOf(milliseconds))];
  count = count > std::numeric_limits<std::uint32_t>::max() - times
              ? std::numeric_limits<std::uint32_t>::max()
              : count + times;
}

void RoundTripHistogram::Merge(const RoundTripHistogram& other) {
  for (std::size_t i = 0; i < counts_.size(); ++i) {
    const std::uint64_t sum = std::uint64_t{counts_[i]} + other.counts_[i];
    counts_[i] = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(sum, std::numeric_limits<std::uint32_t>::max()));
  }
}

std::uint64_t RoundTripHistogram::Count() const {
  std::uint64_t total = 0;
  for (const std::uint32_t count : counts_) total += count;
  return total;
}

std::string RoundTripHistogram::Encode() const {
  std::string bytes;
  for (std::size_t i = 0; i < counts_.size(); ++i) {
    if (!counts_[i]) continue;
    bytes.push_back(static_cast<char>(i));
    for (std::uint32_t rest = counts_[i];; rest >>= 7) {
      const auto low = static_cast<unsigned char>(rest & 0x7F);
      if (rest < 0x80) {
        bytes.push_back(static_cast<char>(low));
        break;
      }
      bytes.push_back(static_cast<char>(low | 0x80));
    }
  }
  return bytes;
}

std::optional<RoundTripHistogram> RoundTripHistogram::Decode(std::string_view bytes) {
  RoundTripHistogram histogram;
  for (std::size_t at = 0; at < bytes.size();) {
    const auto bucket = static_cast<unsigned char>(bytes[at++]);
    if (bucket >= kBuckets) return std::nullopt;
    std::uint64_t count = 0;
    for (int shift = 0;; shift += 7) {
      if (at == bytes.size() || shift > 28) return std::nullopt;
      const auto byte = static_cast<unsigned char>(bytes[at++]);
      count |= std::uint64_t{byte & 0x7Fu} << shift;
      if (!(byte & 0x80)) break;
    }
    if (count > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    histogram.counts_[bucket] = static_cast<std::uint32_t>(count);
  }
  return histogram;
}

std::optional<double> Percentile(const RoundTripHistogram& histogram, double fraction) {
  const std::uint64_t total = histogram.Count();
  if (!total) return std::nullopt;
  const double clamped = std::clamp(fraction, 0.0, 1.0);
  const auto rank = std::max<std::uint64_t>(
      1, static_cast<std::uint64_t>(std::ceil(clamped * static_cast<double>(total))));
  std::uint64_t below = 0;
  for (int bucket = 0; bucket < RoundTripHistogram::kBuckets; ++bucket) {
    const std::uint32_t count = histogram.At(bucket);
    if (below + count < rank) {
      below += count;
      continue;
    }
    if (bucket == 0) return 1.0;
    // The whole milliseconds inside the bucket: above the lower bound, up to
    // the upper; the rank's share of the way across them.
    const double low = std::floor(RoundTripHistogram::UpperBound(bucket - 1)) + 1;
    const double high = std::max(low, std::floor(RoundTripHistogram::UpperBound(bucket)));
    const double share = (static_cast<double>(rank - below) - 0.5) / count;
    return low + (high - low) * share;
  }
  return std::nullopt;
}

}  // namespace kelvoran
