#pragma once

#include <wx/string.h>

#include <functional>
#include <optional>
#include <ostream>

class wxWindow;

#include "history/history_types.h"
#include "history/range_summary.h"

namespace kelvoran {

// How the history windows write times, durations and summaries.
wxString LocalTimeText(HistoryTime ms);
wxString DurationText(std::optional<HistoryTime> ms);
// A time on the graph's axis, with its date when the range shown is a day or
// more: the same hour then comes more than once.
wxString TimeAxisText(HistoryTime ms, HistoryTime span);
wxString SummaryText(const RangeSummary& summary);
// Writes `write`'s table to the file the user chose; false after telling the
// user that it could not be written.
bool WriteCsvFile(wxWindow* parent, const wxString& path,
                  const std::function<void(std::ostream&)>& write);
// Asks where to save a CSV file, proposing `name` made valid on every system;
// empty when the user cancelled.
wxString AskCsvPath(wxWindow* parent, const wxString& title, const wxString& name);

}  // namespace kelvoran
