#include "ui/history/history_text.h"

#include <wx/datetime.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

#include <filesystem>
#include <fstream>

#include "history/csv_export.h"
#include "notify/popup_delivery.h"

namespace kelvoran {
namespace {

// fn_str() gives a file name as this system's file calls take it: a wide
// pointer on Windows, a buffer of bytes in the file-name encoding elsewhere.
[[maybe_unused]] std::filesystem::path NativePath(const wxCharBuffer& name) { return name.data(); }
[[maybe_unused]] std::filesystem::path NativePath(const wchar_t* name) { return name; }

}  // namespace

wxString LocalTimeText(HistoryTime ms) {
  return wxDateTime(static_cast<time_t>(ms / 1000)).Format("%Y-%m-%d %H:%M:%S");
}

wxString DurationText(std::optional<HistoryTime> ms) {
  // To the nearest second: the same-second results of a host are recorded a
  // millisecond apart, which must not make 44 s read 43 s.
  return ms ? wxString(OutageDurationText((*ms + 500) / 1000)) : wxString();
}

wxString TimeAxisText(HistoryTime ms, HistoryTime span) {
  constexpr HistoryTime kDay = 24 * 3600 * 1000;
  const wxDateTime time(static_cast<time_t>(ms / 1000));
  return time.Format(span < kDay ? "%H:%M:%S" : "%Y-%m-%d %H:%M");
}

wxString SummaryText(const RangeSummary& summary) {
  if (summary.probes == 0) return "No results recorded in this range.";
  wxString text = wxString::Format("%lld probes, %.1f %% lost.",
                                   static_cast<long long>(summary.probes), summary.lossPercent);
  if (summary.minRoundTrip)
    text +=
        wxString::Format("  Round trip: min %u ms, avg %.1f ms, max %u ms, 95th percentile %u ms.",
                         *summary.minRoundTrip, summary.averageRoundTrip, *summary.maxRoundTrip,
                         *summary.percentile95);
  if (summary.msInError) text += "  In ERROR for " + DurationText(summary.msInError) + ".";
  return text;
}

wxString AskCsvPath(wxWindow* parent, const wxString& title, const wxString& name) {
  // A host's address may hold what Windows refuses in a name (an IPv6 colon).
  const wxString proposed = wxString::FromUTF8(PortableFileName(name.utf8_string()));
  wxFileDialog dialog(parent, title, wxEmptyString, proposed, "CSV files (*.csv)|*.csv|All files|*",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  return dialog.ShowModal() == wxID_OK ? dialog.GetPath() : wxString();
}

bool WriteCsvFile(wxWindow* parent, const wxString& path,
                  const std::function<void(std::ostream&)>& write) {
  std::ofstream out(NativePath(path.fn_str()), std::ios::binary);
  if (out) write(out);
  out.close();
  if (out) return true;
  wxMessageBox(wxString::Format("The file %s could not be written.", path), "Export",
               wxOK | wxICON_ERROR, parent);
  return false;
}

}  // namespace kelvoran
