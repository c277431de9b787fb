#pragma once

#include <wx/listctrl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/host_rows.h"

class wxMenu;

namespace kelvoran {

class CHostSettingsDialog;
class ProbeScheduler;

// The host list: one row per monitored host, each row owning its record.
// There is no other collection of hosts.
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

 private:
  void CreateColumns();
  HostRecord* RecordOf(long row) const;
  long SingleSelectedRow() const;
  void SetCellText(long row, int column, const wxString& text);
  void ApplyRowSettings(int row, const HostRecord& edited);
  void SaveHost(const HostRecord& host);
  void EmptySection(const std::string& section);
  void RewriteHost(const HostRecord& host);
  void ResaveNamesake(const std::string& section);
  void ReportFileError(const char* what, const std::string& reason);
  void OnDeleteItem(wxListEvent& event);
  void OnColumnClick(wxListEvent& event);
  void OnDoubleClick(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);

  ProbeScheduler& scheduler_;
  std::string settingsPath_;
  std::int32_t sortKey_ = 0;
  CHostSettingsDialog* dialog_;
  std::unique_ptr<wxMenu> contextMenu_;
};

}  // namespace kelvoran
