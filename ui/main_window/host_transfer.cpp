// Host > Import... and Host > Export...: many hosts in and out of the list at
// once, as plain text (see engine/host_list_text.h for the format).
#include <wx/busyinfo.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/progdlg.h>
#include <wx/utils.h>

#include <optional>
#include <unordered_set>

#include "engine/host_list_rules.h"
#include "engine/host_list_text.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "portable/atomic_file.h"
#include "portable/exported_text.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/display_text.h"
#include "ui/dialogs/host_settings_dialog.h"
#include "ui/main_window/tessarel_view.h"

namespace kelvoran {
namespace {

constexpr const char* kImportTypes = "Host lists (*.txt;*.csv)|*.txt;*.csv|All files|*";
// Windows' save dialog may append the chosen type's first extension to a
// name whose own it does not take for that type, so the type of the proposed
// hosts.csv comes first: with the import's types it is saved as hosts.csv.txt.
constexpr const char* kExportTypes = "CSV files (*.csv)|*.csv|Text files (*.txt)|*.txt|All files|*";
// A summary lists at most this many refused lines; the rest are counted.
constexpr std::size_t kRefusalsShown = 15;
// An import of more hosts than this is a big one: it asks first, naming the
// first few, and shows its progress with a Cancel.
constexpr std::size_t kQuietImport = 500;
constexpr std::size_t kNamesShown = 10;

wxString Plural(std::size_t count, const char* one, const char* many) {
  return wxString::Format("%zu %s", count, count == 1 ? one : many);
}

}  // namespace

std::vector<std::unique_ptr<HostRecord>> CTessarelView::NewImportedHosts(
    const ParsedHostList& parsed, ImportSummary& summary) const {
  summary.refused = parsed.refused;
  return NewHosts(*this, parsed.entries, AddModeHost(), summary.skipped);
}

std::size_t CTessarelView::AddImportedHosts(std::vector<std::unique_ptr<HostRecord>> records,
                                            const SaveProgress& progress) {
  if (records.empty()) return 0;
  std::vector<const HostRecord*> added;
  added.reserve(records.size());
  for (const auto& record : records) added.push_back(record.get());
  // All in one write; only a saved host becomes a row. A save called off
  // wrote nothing, so the list stays as the file is.
  bool called = true;
  const SaveProgress heard = [&](std::size_t set) { return called = !progress || progress(set); };
  if (!Saved(SaveHostSettings(added, settingsPath_, &witness_, heard), "No host was added.") ||
      !called)
    return 0;
  lastImport_.clear();
  for (const auto& record : records) lastImport_.insert(record->HostId);
  AddRows(std::move(records));
  return added.size();
}

ImportSummary CTessarelView::ImportHosts(const ParsedHostList& parsed) {
  ImportSummary summary;
  summary.added = AddImportedHosts(NewImportedHosts(parsed, summary), nullptr);
  return summary;
}

bool CTessarelView::ConfirmImport(const std::vector<std::unique_ptr<HostRecord>>& records,
                                  const wxString& path) {
  wxString question = "Add " + Plural(records.size(), "host", "hosts") + " from " + path +
                      "?\n\nThe first of them:";
  for (std::size_t i = 0; i < records.size() && i < kNamesShown; ++i)
    question += "\n    " + ToDisplay(records[i]->Host);
  if (records.size() > kNamesShown)
    question += wxString::Format("\n    ...and %zu more.", records.size() - kNamesShown);
  question += "\n\nHost > Undo import removes them again.";
  return wxMessageBox(question, kAppTitle, wxYES_NO | wxICON_QUESTION, wxGetTopLevelParent(this)) ==
         wxYES;
}

void CTessarelView::OnUndoImport(wxCommandEvent& /*event*/) {
  // Hosts deleted since are gone already; the rest go.
  const std::unordered_set<std::int32_t> hostIds = StillListed(*this, lastImport_);
  const wxString question = "Remove the " + Plural(hostIds.size(), "host", "hosts") +
                            " the last import added, from the list and from " +
                            ToDisplay(settingsPath_) + "?";
  if (wxMessageBox(question, kAppTitle, wxYES_NO | wxICON_QUESTION, wxGetTopLevelParent(this)) !=
      wxYES)
    return;
  wxBusyCursor busy;
  if (!Saved(RemoveHostSections(LastImportSections(*this, hostIds), settingsPath_, &witness_),
             "The hosts stay in the list."))
    return;
  RemoveRows(hostIds);
  lastImport_.clear();
}

void CTessarelView::OnUpdateUndoImport(wxUpdateUIEvent& event) {
  event.Enable(!lastImport_.empty());
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
  std::optional<std::string> bytes;
  const FileResult read = ReadWholeFile(path.utf8_string(), bytes);
  if (!read.ok()) {
    wxMessageBox(ToDisplay(read.error), kAppTitle, wxOK | wxICON_ERROR, top);
    return;
  }
  const DecodedHostList decoded = DecodeHostListFile(bytes.value_or(""));
  if (!decoded.refusal.empty()) {
    wxMessageBox(path + " was not imported: no host was added.\n\n" + ToDisplay(decoded.refusal),
                 kAppTitle, wxOK | wxICON_ERROR, top);
    return;
  }
  ImportSummary summary;
  auto records = NewImportedHosts(ParseHostListText(decoded.text), summary);
  const bool big = records.size() > kQuietImport;
  if (big && !ConfirmImport(records, path)) return;
  {
    wxBusyCursor busy;
    std::optional<wxProgressDialog> progress;
    if (big)
      progress.emplace("Import hosts",
                       "Saving " + Plural(records.size(), "host", "hosts") + " to " +
                           ToDisplay(settingsPath_) + "...",
                       static_cast<int>(records.size()), top,
                       wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME);
    summary.added = AddImportedHosts(std::move(records), [&](std::size_t set) {
      return !progress || progress->Update(static_cast<int>(set));
    });
    if (summary.added == 0 && progress && progress->WasCancelled()) return;
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
