#pragma once

#include <wx/listctrl.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/host_list_text.h"
#include "engine/host_rows.h"
#include "engine/host_settings.h"
#include "history/recent_results.h"
#include "portable/private_profile.h"
#include "ui/main_window/host_row_text.h"
#include "ui/main_window/optional_columns.h"
#include "ui/main_window/row_cells.h"

class wxMenu;

namespace kelvoran {

class AlertCenter;
class CHostSettingsDialog;
class HostDependencies;
class HostMutes;
class RoutePlanner;
class HistoryLink;
class ProbeScheduler;

// The host list: one row per monitored host, each row owning its record.
// There is no other collection of hosts. The control is virtual: it asks for
// the cells as it paints them, so a row costs no measuring of text when it is
// added (a plain report list measures every cell it is given).
// What an import did: hosts added, hosts skipped as already in the list (by
// the settings file's name rule), and lines refused with the reason.
struct ImportSummary {
  std::size_t added = 0;
  std::size_t skipped = 0;
  std::vector<HostListRefusal> refused;
  // The message shown when the import ends; `path` is the file imported.
  wxString Text(const wxString& path) const;
};

class CTessarelView : public wxListCtrl, public HostRows {
 public:
  CTessarelView(wxWindow* parent, ProbeScheduler& scheduler, std::string settingsPath);
  ~CTessarelView() override;

  // Creates the columns and loads the host list from the settings file.
  void InitialUpdate();
  // One tick of the monitor: apply finished results, start the next probe.
  void ProcessTick();

  // HostRows
  int RowCount() const override;
  HostRecord& RecordAt(int row) override;
  int FindRowByHostId(std::int32_t hostId) const override;
  void FormatRow(int row) override;
  const HostRecord* DialogRecord() const override;
  void RefreshDialogResults(const HostRecord& live) override;
  int AddRow(std::unique_ptr<HostRecord> record) override;

  // Commands.
  void OnAdd(wxCommandEvent& event);
  void OnEdit(wxCommandEvent& event);
  void OnDelete(wxCommandEvent& event);
  // Delete, after the user agreed, and then the host's history too.
  void OnDeleteWithHistory(wxCommandEvent& event);
  void OnReset(wxCommandEvent& event);
  void OnImport(wxCommandEvent& event);
  void OnExport(wxCommandEvent& event);
  // Import and export without asking for the file.
  void ImportFile(const wxString& path);
  void ExportFile(const wxString& path);
  // Adds every host of the list that is not in the list yet, with the Add
  // command's starting settings, and saves them all in one write.
  ImportSummary ImportHosts(const ParsedHostList& parsed);
  // Host > Undo import: removes the hosts the last import added that are
  // still in the list, from the list and the file in one save.
  void OnUndoImport(wxCommandEvent& event);
  void OnUpdateUndoImport(wxUpdateUIEvent& event);
  // The list's hosts and descriptions, in row order, as an import reads them.
  std::string ExportText() const;
  void OnUpdateNeedsOneSelected(wxUpdateUIEvent& event);
  void OnUpdateNeedsRows(wxUpdateUIEvent& event);

  CHostSettingsDialog& SettingsDialog();
  std::int32_t SortKey() const { return sortKey_; }
  // Sorts as a click on the header of the column does.
  void SortByColumn(int column);
  // The row a new host of this name is inserted at: ascending by name.
  int InsertPosition(const std::string& host) const;
  const std::string& SettingsPath() const { return settingsPath_; }
  // The first host other than `except` whose name finds the same section of
  // the settings file as `name`, or null.
  const HostRecord* FindSectionHolder(const std::string& name, std::int32_t except = 0) const;
  // The context menu with its items enabled for the current selection.
  wxMenu& PrepareContextMenu();
  // Whether a row's status image changed, or rows came or went, since the
  // last call: the status summary of the whole list is only worked out again
  // then, not on every tick.
  bool TakeStatusesChanged() { return std::exchange(statusesChanged_, false); }
  // Where a host's change of name is told, so its history goes with it.
  void SetHistory(HistoryLink* history) { history_ = history; }
  // Whether there are paths to trace (a planner and a history to keep them).
  void SetTraceRouteAvailable(bool available) { traceRouteAvailable_ = available; }
  // The alert channels the settings dialog offers; null for none.
  void SetAlerts(AlertCenter* alerts) { alerts_ = alerts; }
  // The hold on hosts behind a down host, told when hosts come, go or are
  // renamed; null for none.
  void SetDependencies(HostDependencies* dependencies) { dependencies_ = dependencies; }
  // The user's mutes, told when hosts come and go; null for none.
  void SetMutes(HostMutes* mutes) { mutes_ = mutes; }
  // Hears of renamed and deleted hosts, as the history does. May be null.
  void SetRoutes(RoutePlanner* routes) { routes_ = routes; }
  HostMutes* Mutes() const { return mutes_; }
  // The Mute commands: the selected hosts, or the whole list, in the list
  // and the settings file.
  void OnMute(wxCommandEvent& event);
  // What the hold says about dependencies it cannot follow, in one line.
  std::optional<std::string> TakeDependencyNotices();
  // Hosts that name a renamed channel name it by its new name, in the list
  // and the settings file.
  void RenameAlertChannels(const std::map<std::string, std::string>& renamed);
  // Selects the host's row alone and scrolls it into view.
  void SelectHost(std::int32_t hostId);

  // The optional columns after the list's own (View > Columns...), and the
  // recent results they show, which hear of every result while one is shown.
  void ShowOptionalColumns(const OptionalColumnState& state);
  OptionalColumnState OptionalColumns() const;
  void OnChooseColumns(wxCommandEvent& event);
  RecentResults& Recent() { return recent_; }
  // The record of the one selected row, or null.
  const HostRecord* SelectedRecord() const;

 protected:
  wxString OnGetItemText(long row, long column) const override;
  int OnGetItemImage(long row) const override;

 private:
  // The window that gets the mouse over the rows. Defined by the toolkit port
  // (ui/gtk, ui/msw).
  wxWindow& RowsWindow();

  // A row: its record and the cells as they were last formatted. The cells
  // are kept, not computed from the record at paint time, because an edited
  // host's numbers wait for its next result. They are kept as the record's
  // bytes and made display text as painted, for the few rows on screen: a
  // wxString is half again the size of a std::string and holds wide
  // characters, which was a third of a row's memory in a long list.
  struct HostRow {
    std::unique_ptr<HostRecord> record;
    RowCells cells{kColumnCount};
    int image = 0;
  };

  void CreateColumns();
  // Gives the Last change column what the history knows from before.
  void SeedLastChanges();
  HostRecord* RecordOf(long row) const;
  long SingleSelectedRow() const;
  bool SetCellText(long row, int column, const std::string& text);
  // Runs a change that moves rows and keeps the selection on the same host.
  template <typename Change>
  void KeepingSelection(Change change);
  void ApplyRowSettings(int row, const HostRecord& edited);
  static std::unique_ptr<HostRow> MakeRow(std::unique_ptr<HostRecord> record);
  // Brings the row's cells and image up to date; whether any changed.
  bool FormatCells(HostRow& shown);
  // Adds the rows where AddRow would put each (PlaceNewRows), with the rows
  // moving once, not once a host, and the control told the count once.
  void AddRows(std::vector<std::unique_ptr<HostRecord>> records) override;
  void RemoveRows(const std::unordered_set<std::int32_t>& hostIds);
  // The hosts of the parsed list that are new to the list, as records to
  // save; the rest are counted in the summary.
  std::vector<std::unique_ptr<HostRecord>> NewImportedHosts(const ParsedHostList& parsed,
                                                            ImportSummary& summary) const;
  bool ConfirmImport(const std::vector<std::unique_ptr<HostRecord>>& records, const wxString& path);
  // Saves the records in one write and adds them to the list; returns how
  // many were added: none when the save failed or `progress` called it off.
  std::size_t AddImportedHosts(std::vector<std::unique_ptr<HostRecord>> records,
                               const SaveProgress& progress);
  // Whether the save went through; if not, says so, and that the list is
  // left as `listLeftAs` says: what the list shows is what the next start
  // loads. A save that found the file changed by someone else offers to
  // reload the list.
  bool Saved(const FileResult& saved, const char* listLeftAs);
  void OfferReload();
  // Brings the list in line with the settings file as it is now.
  void ReloadList();
  void RemoveRow(long row);
  void ListChanged();
  void MuteSelected(CalendarTime until);
  void MuteList(CalendarTime until);
  // Hosts behind `from` are behind `to` instead, or behind none when `to`
  // is empty, in the list and the settings file: a rename of the host in
  // front follows it, a delete ends the dependency.
  void MoveDependents(const std::string& from, const std::string& to);
  // Takes the host out of the settings file, then out of the list; false
  // (and told) when the file could not be saved.
  bool DeleteRow(long row);
  // Opens the settings dialog on `record`; whether it ended with OK.
  bool RunSettingsDialog(HostRecord& record, std::int32_t mode);
  void ReportFileError(const char* what, const std::string& reason);
  void OnColumnClick(wxListEvent& event);
  void OnDoubleClick(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  bool FromContextMenu(const wxUpdateUIEvent& event) const;

  std::vector<std::unique_ptr<HostRow>> rows_;
  // HostId and row, in id order, for FindRowByHostId: a sorted block, where
  // a hash map cost a long list 40 bytes a host. Stale once rows were added,
  // removed or reordered.
  mutable std::vector<std::pair<std::int32_t, int>> rowOfHost_;
  mutable bool rowOfHostStale_ = true;
  bool statusesChanged_ = true;
  ProbeScheduler& scheduler_;
  std::string settingsPath_;
  // What this copy last read or wrote of the settings file.
  ProfileWitness witness_;
  std::int32_t sortKey_ = 0;
  CHostSettingsDialog* dialog_;
  std::unique_ptr<wxMenu> contextMenu_;
  RecentResults recent_;
  OptionalColumnState optional_;
  HistoryLink* history_ = nullptr;
  bool traceRouteAvailable_ = false;
  AlertCenter* alerts_ = nullptr;
  HostDependencies* dependencies_ = nullptr;
  HostMutes* mutes_ = nullptr;
  RoutePlanner* routes_ = nullptr;
  // The hosts the last import added, for Host > Undo import.
  std::unordered_set<std::int32_t> lastImport_;
};

}  // namespace kelvoran
