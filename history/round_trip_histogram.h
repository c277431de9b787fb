#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvoran {

// Round trips counted in 32 log-spaced buckets: bucket 0 holds 0-1 ms, bucket
// i (i >= 1) those above kRatio^(i-1) up to kRatio^i ms, the ratio chosen so
// that bucket 30 ends at 60 s; bucket 31 holds all longer ones. Enough to
// tell a median or a 95th percentile to within a bucket's width, and within a
// few percent for spread-out round trips once interpolated inside it.
class RoundTripHistogram {
 public:
  static constexpr int kBuckets = 32;
  static double UpperBound(int bucket);
  static int BucketOf(std::uint32_t milliseconds);

  void Add(std::uint32_t milliseconds, std::uint32_t times = 1);
  void Merge(const RoundTripHistogram& other);
  std::uint64_t Count() const;
  std::uint32_t At(int bucket) const { return counts_[static_cast<std::size_t>(bucket)]; }

  // Compact stored form: for each bucket that is not empty, its index byte
  // followed by its count as a base-128 varint. An empty histogram is empty.
  std::string Encode() const;
  // Nothing when the bytes are not such a form (a damaged row).
  static std::optional<RoundTripHistogram> Decode(std::string_view bytes);

  bool operator==(const RoundTripHistogram&) const = default;

 private:
  std::array<std::uint32_t, kBuckets> counts_{};
};

// The round trip below which `fraction` (0-1) of those counted lie, by
// nearest rank, interpolated inside its bucket among the whole milliseconds
// the bucket holds; nothing for an empty histogram.
std::optional<double> Percentile(const RoundTripHistogram& histogram, double fraction);

}  // namespace kelvoran
