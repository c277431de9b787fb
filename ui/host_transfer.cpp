// Host > Import... and Host > Export...: many hosts in and out of the list at
// once, as plain text (see engine/host_list_text.h for the format).
#include <wx/busyinfo.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <optional>
#include <unordered_set>

#include "engine/host_list_text.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "portable/atomic_file.h"
#include "portable/exported_text.h"
#include "portable/profile_text.h"
#include "ui/command_ids.h"
#include "ui/display_text.h"
#include "ui/host_settings_dialog.h"
#include "ui/tessarel_view.h"

namespace kelvoran {
namespace {

constexpr const char* kImportTypes = "Host lists (*.txt;*.csv)|*.txt;*.csv|All files|*";
// Windows' save dialog may append the chosen type's first extension to a
// name whose own it does not take for that type, so the type of the proposed
// hosts.csv comes first: with the import's types it is saved as hosts.csv.txt.
constexpr const char* kExportTypes = "CSV files (*.csv)|*.csv|Text files (*.txt)|*.txt|All files|*";
// A summary lists at most this many refused lines; the rest are counted.
constexpr std::size_t kRefusalsShown = 15;

wxString Plural(std::size_t count, const char* one, const char* many) {
  return wxString::Format("%zu %s", count, count == 1 ? one : many);
}

}  // namespace

ImportSummary CTessarelView::ImportHosts(const ParsedHostList& parsed) {
  ImportSummary summary;
  summary.refused = parsed.refused;
  std::unordered_set<std::string> sections;
  for (const auto& row : rows_) sections.insert(ProfileText::SectionKey(SectionOf(*row->record)));
  std::vector<std::unique_ptr<HostRecord>> records;
  for (const HostListEntry& entry : parsed.entries) {
    if (!sections.insert(ProfileText::SectionKey(entry.host)).second) {
      ++summary.skipped;
      continue;
    }
    auto record = std::make_unique<HostRecord>(AddModeHost());
    record->Host = entry.host;
    record->Description = entry.description;
    record->Section = entry.host;
    records.push_back(std::move(record));
  }
  if (records.empty()) return summary;
  std::vector<const HostRecord*> added;
  for (const auto& record : records) added.push_back(record.get());
  // All in one write; only a saved host becomes a row.
  if (!Saved(SaveHostSettings(added, settingsPath_, &witness_), "No host was added."))
    return summary;
  summary.added = added.size();
  for (auto& record : records) FormatRow(AddRow(std::move(record)));
  return summary;
}

std::string CTessarelView::ExportText() const {
  std::vector<HostListEntry> entries;
  entries.reserve(rows_.size());
  for (const auto& row : rows_) entries.push_back({row->record->Host, row->record->Description});
  return FormatHostListText(entries);
}

wxString ImportSummary::Text(const wxString& path) const {
  wxString text = "Imported " + Plural(added, "host", "hosts") + " from " + path + ".";
  if (skipped > 0)
    text += "\nSkipped " + Plural(skipped, "host", "hosts") + " already in the list.";
  if (refused.empty()) return text;
  text += "\nRefused " + Plural(refused.size(), "line:", "lines:");
  for (std::size_t i = 0; i < refused.size() && i < kRefusalsShown; ++i)
    text += wxString::Format("\nLine %zu: %s", refused[i].line, refused[i].why);
  if (refused.size() > kRefusalsShown)
    text += wxString::Format("\n...and %zu more.", refused.size() - kRefusalsShown);
  return text;
}

void CTessarelView::OnImport(wxCommandEvent& /*event*/) {
  wxFileDialog chooser(wxGetTopLevelParent(this), "Import hosts", "", "", kImportTypes,
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (chooser.ShowModal() == wxID_OK) ImportFile(chooser.GetPath());
}

void CTessarelView::ImportFile(const wxString& path) {
  wxWindow* top = wxGetTopLevelParent(this);
  std::optional<std::string> text;
  const FileResult read = ReadWholeFile(path.utf8_string(), text);
  if (!read.ok()) {
    wxMessageBox(ToDisplay(read.error), kAppTitle, wxOK | wxICON_ERROR, top);
    return;
  }
  ImportSummary summary;
  {
    wxBusyCursor busy;
    Freeze();
    summary = ImportHosts(ParseHostListText(ImportedFileText(text.value_or(""))));
    Thaw();
  }
  const long icon = summary.refused.empty() ? wxICON_INFORMATION : wxICON_WARNING;
  wxMessageBox(summary.Text(path), kAppTitle, wxOK | icon, top);
}

void CTessarelView::OnExport(wxCommandEvent& /*event*/) {
  wxFileDialog chooser(wxGetTopLevelParent(this), "Export hosts", "", "hosts.csv", kExportTypes,
                       wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (chooser.ShowModal() == wxID_OK) ExportFile(chooser.GetPath());
}

void CTessarelView::ExportFile(const wxString& path) {
  const FileResult written =
      ReplaceFileAtomically(path.utf8_string(), ExportedFileText(ExportText()));
  if (!written.ok())
    wxMessageBox(ToDisplay(written.error), kAppTitle, wxOK | wxICON_ERROR,
                 wxGetTopLevelParent(this));
}

}  // namespace kelvoran
