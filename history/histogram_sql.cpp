#include "history/histogram_sql.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "history/round_trip_histogram.h"

namespace kelvoran::sqlite {
namespace {

std::string_view BlobOf(sqlite3_value* value) {
  const void* bytes = sqlite3_value_blob(value);
  const int size = sqlite3_value_bytes(value);
  return bytes ? std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
               : std::string_view();
}

// A damaged stored histogram counts as empty rather than failing the write
// it is part of: the counts beside it stay right.
RoundTripHistogram HistogramOf(sqlite3_value* value) {
  return RoundTripHistogram::Decode(BlobOf(value)).value_or(RoundTripHistogram{});
}

void Return(sqlite3_context* context, const RoundTripHistogram& histogram) {
  const std::string bytes = histogram.Encode();
  sqlite3_result_blob(context, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

// SQLite's aggregate context is zeroed memory it owns and frees itself: a
// histogram of counts only, so all zeros is a valid empty one.
RoundTripHistogram* Accumulator(sqlite3_context* context, int bytes) {
  return static_cast<RoundTripHistogram*>(sqlite3_aggregate_context(context, bytes));
}

void HistogramStep(sqlite3_context* context, int, sqlite3_value** arguments) {
  RoundTripHistogram* histogram = Accumulator(context, sizeof(RoundTripHistogram));
  if (!histogram) return sqlite3_result_error_nomem(context);
  if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) return;
  const sqlite3_int64 rtt = sqlite3_value_int64(arguments[0]);
  histogram->Add(static_cast<std::uint32_t>(
      std::clamp<sqlite3_int64>(rtt, 0, std::numeric_limits<std::uint32_t>::max())));
}

void HistogramFinal(sqlite3_context* context) {
  const RoundTripHistogram* histogram = Accumulator(context, 0);
  Return(context, histogram ? *histogram : RoundTripHistogram{});
}

void MergeHistograms(sqlite3_context* context, int, sqlite3_value** arguments) {
  RoundTripHistogram merged = HistogramOf(arguments[0]);
  merged.Merge(HistogramOf(arguments[1]));
  Return(context, merged);
}

}  // namespace

int AddHistogramFunctions(sqlite3* db) {
  constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int code = sqlite3_create_function(db, "histogram_of", 1, kFlags, nullptr, nullptr, HistogramStep,
                                     HistogramFinal);
  if (code == SQLITE_OK)
    code = sqlite3_create_function(db, "merge_histograms", 2, kFlags, nullptr, MergeHistograms,
                                   nullptr, nullptr);
  return code;
}

}  // namespace kelvoran::sqlite
