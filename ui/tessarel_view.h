#pragma once

#include <wx/listctrl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/host_rows.h"
#include "ui/host_row_text.h"

class wxMenu;

namespace kelvoran {

class CHostSettingsDialog;
class ProbeScheduler;

// The host list: one row per monitored host, each row owning its record.
// There is no other collection of hosts. The control is virtual: it asks for
// the cells as it paints them, so a row costs no measuring of text when it is
// added (a plain report list measures every cell it is given).
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
  void OnReset(wxCommandEvent& event);
  void OnUpdateNeedsOneSelected(wxUpdateUIEvent& event);
  void OnUpdateNeedsRows(wxUpdateUIEvent& event);

  CHostSettingsDialog& SettingsDialog();
  std::int32_t SortKey() const { return sortKey_; }
  // Sorts as a click on the header of the column does.
  void SortByColumn(int column);
  // The row a new host of this name is inserted at: ascending by name.
  int InsertPosition(const std::string& host) const;
  const std::string& SettingsPath() const { return settingsPath_; }
  // The context menu with its items enabled for the current selection.
  wxMenu& PrepareContextMenu();

 protected:
  wxString OnGetItemText(long row, long column) const override;
  int OnGetItemImage(long row) const override;

 private:
  // A row: its record and the cells as they were last formatted. The cells
  // are kept, not computed from the record at paint time, because an edited
  // host's numbers wait for its next result.
  struct HostRow {
    std::unique_ptr<HostRecord> record;
    std::array<wxString, kColumnCount> cells;
    int image = 0;
  };

  void CreateColumns();
  HostRecord* RecordOf(long row) const;
  long SingleSelectedRow() const;
  bool SetCellText(long row, int column, const wxString& text);
  // Runs a change that moves rows and keeps the selection on the same host.
  template <typename Change>
  void KeepingSelection(Change change);
  void ApplyRowSettings(int row, const HostRecord& edited);
  void SaveHost(const HostRecord& host);
  void EmptySection(const std::string& section);
  void RewriteHost(const HostRecord& host);
  void ResaveNamesake(const std::string& section);
  void ReportFileError(const char* what, const std::string& reason);
  void OnColumnClick(wxListEvent& event);
  void OnDoubleClick(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  bool FromContextMenu(const wxUpdateUIEvent& event) const;

  std::vector<std::unique_ptr<HostRow>> rows_;
  ProbeScheduler& scheduler_;
  std::string settingsPath_;
  std::int32_t sortKey_ = 0;
  CHostSettingsDialog* dialog_;
  std::unique_ptr<wxMenu> contextMenu_;
};

}  // namespace kelvoran
