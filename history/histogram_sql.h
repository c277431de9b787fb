#pragma once

#include <sqlite3.h>

namespace kelvoran::sqlite {

// Adds to the connection the SQL functions the summaries are built with:
// histogram_of(rtt), an aggregate giving the stored form of a
// RoundTripHistogram of its non-NULL arguments, and merge_histograms(a, b),
// the stored form of both added together. SQLITE_OK or why not.
int AddHistogramFunctions(sqlite3* db);

}  // namespace kelvoran::sqlite
