#include "ui/main_window/tessarel_view.h"

#include <wx/menu.h>
#include <wx/msgdlg.h>

#include <algorithm>
#include <climits>

#include "alert/channel_keys.h"
#include "engine/accounting.h"
#include "engine/host_dependencies.h"
#include "engine/host_list_rules.h"
#include "engine/host_mute.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "engine/scheduler.h"
#include "history/history_link.h"
#include "portable/profile_text.h"
#include "route/route_planner.h"
#include "ui/dialogs/host_settings_dialog.h"
#include "ui/main_window/alert_center.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/commands.h"
#include "ui/main_window/display_text.h"
#include "ui/main_window/host_row_text.h"
#include "ui/main_window/mute_menu.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"
#include "ui/parts/menu_help_key.h"

namespace kelvoran {
namespace {

// Pixels the header keeps clear on either side of a title: wx's renderer
// reserves 5, inside the button's 1-pixel border.
constexpr int kHeaderLabelMargin = 6;

constexpr const char* kNotSaved = "The change could not be saved to %s.";

constexpr long kSelectedAndFocused = wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED;

// How far back the history is asked for hosts' last changes: as long as it
// keeps changes.
constexpr HistoryTime kChangesKept = 365LL * 24 * 3600 * 1000;

}  // namespace

CTessarelView::CTessarelView(wxWindow* parent, ProbeScheduler& scheduler, std::string settingsPath)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL | wxBORDER_THEME),
      scheduler_(scheduler),
      settingsPath_(std::move(settingsPath)),
      dialog_(nullptr),
      contextMenu_(std::make_unique<wxMenu>()) {
  AppendCommands(*contextMenu_,
                 {ID_HOST_ADD, ID_HOST_EDIT, ID_HOST_DELETE, ID_HOST_DELETE_WITH_HISTORY,
                  kMenuSeparator, ID_HOST_RESET, ID_HOST_HISTORY, ID_HOST_TRACE_ROUTE},
                 WithPrompts::No);
  contextMenu_->AppendSeparator();
  contextMenu_->AppendSubMenu(MakeMuteMenu(MuteTarget::Hosts), "&Mute");
  WatchMenuHelpKey(*this, *contextMenu_, [](int id) { RequestHelp(MenuHelpContext(id)); });

  Bind(wxEVT_LIST_COL_CLICK, &CTessarelView::OnColumnClick, this);
  Bind(wxEVT_CONTEXT_MENU, &CTessarelView::OnContextMenu, this);
  RowsWindow().Bind(wxEVT_LEFT_DCLICK, &CTessarelView::OnDoubleClick, this);
}

CTessarelView::~CTessarelView() {
  // The rows go before the control does: it must not ask for them any more.
  SetItemCount(0);
}

void CTessarelView::InitialUpdate() {
  wxVector<wxBitmapBundle> images;
  for (int index = 0; index < 4; ++index) images.push_back(StatusBitmap(index));
  SetSmallImages(images);
  CreateColumns();
  // Read whole, sorted once and added in one step: the control learns the
  // count once (each change of count makes the system's list view ask for a
  // redraw, which under Wine is a server round trip), and no row is moved
  // for the next one (inserting each host at its place moved half the rows
  // a host: quadratic in the hosts).
  std::vector<std::unique_ptr<HostRecord>> hosts;
  const FileResult loaded = ReadHostList(hosts, settingsPath_, &witness_);
  AddRows(std::move(hosts));
  if (!loaded.ok()) ReportFileError("The host list could not be read from %s.", loaded.error);
}

void CTessarelView::CreateColumns() {
  for (int column = 0; column < kColumnCount; ++column) {
    const HostColumnDefinition& layout = HostColumnAt(column);
    // The widths suit a small font; GTK's default one is larger and would cut
    // titles short ("Min.resp(m"). A column is at least as wide as its title.
    const int titleWidth = GetTextExtent(layout.title).x + 2 * kHeaderLabelMargin;
    const auto align =
        layout.align == ColumnAlign::Right ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT;
    AppendColumn(layout.title, align, std::max(FromDIP(layout.width), titleWidth));
  }
}

void CTessarelView::ProcessTick() { scheduler_.ProcessTick(*this); }

int CTessarelView::RowCount() const { return static_cast<int>(rows_.size()); }

HostRecord* CTessarelView::RecordOf(long row) const {
  return rows_[static_cast<std::size_t>(row)]->record.get();
}

wxString CTessarelView::OnGetItemText(long row, long column) const {
  const HostRow& shown = *rows_[static_cast<std::size_t>(row)];
  if (column < kColumnCount) return ToDisplay(shown.cells.At(static_cast<std::size_t>(column)));
  // Written as painted: they change with every result, and only the rows on
  // screen are asked for.
  return OptionalColumnText(optional_.shown[static_cast<std::size_t>(column - kColumnCount)],
                            *shown.record, recent_.Of(shown.record->HostId));
}

int CTessarelView::OnGetItemImage(long row) const {
  return rows_[static_cast<std::size_t>(row)]->image;
}

HostRecord& CTessarelView::RecordAt(int row) { return *RecordOf(row); }

int CTessarelView::FindRowByHostId(std::int32_t hostId) const {
  // Every result of a tick asks this; with thousands of rows a search through
  // them would be most of the tick. The index is built again on the first
  // question after rows moved, not at each move: a list loading row by row
  // would otherwise rebuild it once a row.
  if (rowOfHostStale_) {
    rowOfHost_.clear();
    rowOfHost_.reserve(rows_.size());
    for (std::size_t row = 0; row < rows_.size(); ++row)
      rowOfHost_.emplace_back(rows_[row]->record->HostId, static_cast<int>(row));
    std::sort(rowOfHost_.begin(), rowOfHost_.end());
    rowOfHostStale_ = false;
  }
  const auto found =
      std::lower_bound(rowOfHost_.begin(), rowOfHost_.end(), std::pair(hostId, INT_MIN));
  return found == rowOfHost_.end() || found->first != hostId ? -1 : found->second;
}

bool CTessarelView::SetCellText(long row, int column, const std::string& text) {
  // Only a changed cell is stored, and only a changed row repainted.
  return rows_[static_cast<std::size_t>(row)]->cells.Store(static_cast<std::size_t>(column), text);
}

bool CTessarelView::FormatCells(HostRow& shown) {
  const int image = StatusImageIndex(shown.record->Status);
  bool changed = shown.image != image;
  statusesChanged_ |= changed;
  shown.image = image;
  const auto cells = RowCellTexts(*shown.record);
  for (std::size_t column = 1; column < cells.size(); ++column)
    changed |= shown.cells.Store(column, cells[column]);
  return changed;
}

void CTessarelView::FormatRow(int row) {
  if (FormatCells(*rows_[static_cast<std::size_t>(row)]) || !optional_.shown.empty())
    RefreshItem(row);
}

const HostRecord* CTessarelView::DialogRecord() const {
  return dialog_ ? dialog_->OpenRecord() : nullptr;
}

void CTessarelView::RefreshDialogResults(const HostRecord& live) {
  if (dialog_) dialog_->RefreshResults(live);
}

CHostSettingsDialog& CTessarelView::SettingsDialog() {
  // Made on first use: its forty-odd controls would otherwise add to the
  // program's start-up for a dialog that may never open.
  if (!dialog_) dialog_ = new CHostSettingsDialog(wxGetTopLevelParent(this));
  return *dialog_;
}

int CTessarelView::InsertPosition(const std::string& host) const {
  return kelvoran::InsertPosition(*this, host);
}

template <typename Change>
void CTessarelView::KeepingSelection(Change change) {
  // The control remembers selected positions, not hosts.
  const long selected = SingleSelectedRow();
  const HostRow* selectedRow =
      selected >= 0 ? rows_[static_cast<std::size_t>(selected)].get() : nullptr;
  change();
  rowOfHostStale_ = true;
  statusesChanged_ = true;
  ListChanged();
  SetItemCount(static_cast<long>(rows_.size()));
  // Rows moved under the ones on screen. Windows' list view repaints only
  // the rows a count change adds or takes away, and would go on showing the
  // old host at each moved position.
  Refresh();
  if (!selectedRow) return;
  const auto found = std::find_if(rows_.begin(), rows_.end(), [selectedRow](const auto& row) {
    return row.get() == selectedRow;
  });
  const long now = static_cast<long>(found - rows_.begin());
  if (now == selected) return;
  SetItemState(selected, 0, kSelectedAndFocused);
  SetItemState(now, kSelectedAndFocused, kSelectedAndFocused);
}

std::unique_ptr<CTessarelView::HostRow> CTessarelView::MakeRow(std::unique_ptr<HostRecord> record) {
  auto shown = std::make_unique<HostRow>();
  shown->cells.Store(ColumnHost, record->Host);
  shown->image = 1;
  shown->record = std::move(record);
  return shown;
}

int CTessarelView::AddRow(std::unique_ptr<HostRecord> record) {
  const int row = InsertPosition(record->Host);
  KeepingSelection([&] { rows_.insert(rows_.begin() + row, MakeRow(std::move(record))); });
  return row;
}

void CTessarelView::AddRows(std::vector<std::unique_ptr<HostRecord>> records) {
  std::vector<std::pair<int, std::unique_ptr<HostRow>>> placed;
  placed.reserve(records.size());
  for (auto& [at, record] : PlaceNewRows(*this, std::move(records))) {
    placed.emplace_back(at, MakeRow(std::move(record)));
    FormatCells(*placed.back().second);
  }
  KeepingSelection([&] { MergePlacedRows(rows_, std::move(placed)); });
}

void CTessarelView::RemoveRows(const std::unordered_set<std::int32_t>& hostIds) {
  const auto removed = [&](const std::unique_ptr<HostRow>& row) {
    return hostIds.contains(row->record->HostId);
  };
  // The control remembers the selected position, which another host takes.
  if (const long selected = SingleSelectedRow();
      selected >= 0 && removed(rows_[static_cast<std::size_t>(selected)]))
    SetItemState(selected, 0, kSelectedAndFocused);
  for (const std::int32_t hostId : hostIds) recent_.Forget(hostId);
  KeepingSelection([&] { std::erase_if(rows_, removed); });
}

long CTessarelView::SingleSelectedRow() const {
  if (GetSelectedItemCount() != 1) return -1;
  return GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}

bool CTessarelView::RunSettingsDialog(HostRecord& record, std::int32_t mode) {
  CHostSettingsDialog& dialog = SettingsDialog();
  dialog.EditRecord = &record;
  dialog.EditMode = mode;
  dialog.ChannelNames = alerts_ ? alerts_->ChannelNames() : std::vector<std::string>{};
  dialog.IsHostTaken = [this, id = record.HostId](const std::string& host) {
    return FindSectionHolder(host, id) != nullptr;
  };
  dialog.HostNames.clear();
  for (const auto& row : rows_)
    if (row->record->HostId != record.HostId) dialog.HostNames.push_back(row->record->Host);
  dialog.DependencyLoop = [this, id = record.HostId](const std::string& host,
                                                     const std::string& parent) {
    return DependencyLoopText(*this, id, host, parent);
  };
  const bool ok = dialog.ShowModal() == wxID_OK;
  dialog.EditRecord = nullptr;
  dialog.IsHostTaken = nullptr;
  dialog.DependencyLoop = nullptr;
  return ok;
}

void CTessarelView::RenameAlertChannels(const std::map<std::string, std::string>& renamed) {
  for (int row = 0; row < RowCount(); ++row) {
    HostRecord& host = *RecordOf(row);
    HostRecord after(host);
    after.AlertChannels = RenameInChannelList(host.AlertChannels, renamed);
    if (after.AlertChannels == host.AlertChannels) continue;
    if (!Saved(SaveHostEdit(host, after, settingsPath_, &witness_),
               "The host still sends to the channel's old name."))
      continue;
    host.AlertChannels = after.AlertChannels;
  }
}

void CTessarelView::OnAdd(wxCommandEvent& /*event*/) {
  auto record = std::make_unique<HostRecord>();
  if (!RunSettingsDialog(*record, CHostSettingsDialog::ModeAdd) || record->Host.empty()) return;
  // Saved first: a host the file lacks would be probed now and gone at the
  // next start.
  if (!Saved(SaveHostSettings(*record, record->Host, settingsPath_, &witness_),
             "The host was not added."))
    return;
  record->Section = record->Host;
  FormatRow(AddRow(std::move(record)));
}

void CTessarelView::OnEdit(wxCommandEvent& /*event*/) {
  const long selected = SingleSelectedRow();
  if (selected < 0) return;
  HostRecord copy(*RecordOf(selected));
  const std::string oldName = copy.Host;
  // An empty name would make the host vanish at the next start: the edit is
  // refused and the host keeps its settings and its section.
  if (!RunSettingsDialog(copy, CHostSettingsDialog::ModeEdit)) return;
  const HostRecord& before = *RecordOf(selected);
  const HostEdit edit = ClassifyEdit(before, copy.Host);
  if (edit == HostEdit::Refused) return;
  // The file first, the row after: a refused save leaves the row as the file
  // has it.
  const std::string oldSection(SectionOf(before));
  const bool moves = edit == HostEdit::Moves;
  const FileResult saved =
      moves ? RenameHostSection(copy, oldSection, FindSectionHolder(oldSection, copy.HostId),
                                settingsPath_, &witness_)
            : SaveHostEdit(before, copy, settingsPath_, &witness_);
  if (!Saved(saved, "The host keeps its former settings.")) return;
  copy.Section = moves ? copy.Host : oldSection;
  const int row = FindRowByHostId(copy.HostId);
  if (row >= 0) ApplyRowSettings(row, copy);
  if (copy.Host != oldName) {
    if (history_) history_->HostRenamed(oldName, copy.Host);
    if (routes_) routes_->HostRenamed(oldName, copy.Host);
  }
  if (copy.Host != oldName) MoveDependents(oldName, copy.Host);
}

void CTessarelView::MoveDependents(const std::string& from, const std::string& to) {
  std::vector<HostRecord> moved;
  for (const int row : RowsDependingOn(*this, from)) {
    moved.push_back(*RecordOf(row));
    moved.back().DependsOn = to;
  }
  if (moved.empty()) return;
  std::vector<const HostRecord*> hosts;
  for (const HostRecord& host : moved) hosts.push_back(&host);
  if (!Saved(SaveDependencies(hosts, settingsPath_, &witness_),
             "The hosts behind it keep their former dependency."))
    return;
  for (const HostRecord& host : moved)
    if (const int row = FindRowByHostId(host.HostId); row >= 0)
      RecordOf(row)->DependsOn = host.DependsOn;
  ListChanged();
}

void CTessarelView::ListChanged() {
  if (dependencies_) dependencies_->ListChanged();
  if (mutes_) mutes_->Changed();
}

void CTessarelView::OnMute(wxCommandEvent& event) {
  const auto target = MuteTargetOf(event.GetId());
  if (!mutes_ || !target) return;
  const auto until = ChooseMuteEnd(event.GetId(), SystemClock(), wxGetTopLevelParent(this));
  if (!until) return;
  if (*target == MuteTarget::List)
    MuteList(*until);
  else
    MuteSelected(*until);
}

void CTessarelView::MuteSelected(CalendarTime until) {
  std::vector<HostRecord> muted;
  for (long row = -1; (row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
    muted.push_back(*RecordOf(row));
    muted.back().MutedUntil = until;
  }
  std::vector<const HostRecord*> hosts;
  for (const HostRecord& host : muted) hosts.push_back(&host);
  if (hosts.empty() || !Saved(SaveHostMutes(hosts, settingsPath_, &witness_),
                              "The hosts stay muted or not as they were."))
    return;
  for (const HostRecord& host : muted)
    if (const int row = FindRowByHostId(host.HostId); row >= 0) RecordOf(row)->MutedUntil = until;
  mutes_->Refresh();
}

void CTessarelView::MuteList(CalendarTime until) {
  if (!Saved(SaveListMute(until, settingsPath_, &witness_),
             "The list stays muted or not as it was."))
    return;
  mutes_->MuteList(until);
  mutes_->Refresh();
  statusesChanged_ = true;
}

std::optional<std::string> CTessarelView::TakeDependencyNotices() {
  if (!dependencies_) return std::nullopt;
  std::optional<std::string> notices;
  while (const auto notice = dependencies_->TakeNotice())
    notices = notices ? *notices + "  " + *notice : *notice;
  return notices;
}

void CTessarelView::ApplyRowSettings(int row, const HostRecord& edited) {
  if (SetCellText(row, ColumnHost, edited.Host)) RefreshItem(row);
  RecordOf(row)->CopySettings(edited);
  RecordOf(row)->Section = edited.Section;
  ListChanged();
}

void CTessarelView::OnDelete(wxCommandEvent& /*event*/) {
  const long selected = SingleSelectedRow();
  if (selected >= 0) DeleteRow(selected);
}

void CTessarelView::OnDeleteWithHistory(wxCommandEvent& /*event*/) {
  const long selected = SingleSelectedRow();
  if (selected < 0) return;
  const std::string host = RecordOf(selected)->Host;
  const std::int32_t hostId = RecordOf(selected)->HostId;
  const wxString question = wxString::Format(
      "Delete %s from the list and delete its recorded history (results, summaries and changes "
      "of status)? This cannot be undone.",
      ToDisplay(host));
  if (wxMessageBox(question, kAppTitle, wxYES_NO | wxNO_DEFAULT | wxICON_EXCLAMATION,
                   wxGetTopLevelParent(this)) != wxYES)
    return;
  // Ticks go on while the question is open: the row may have moved.
  const int row = FindRowByHostId(hostId);
  // A refused save leaves the host in the file and the list: its history too.
  if (row >= 0 && DeleteRow(row) && history_) history_->HostForgotten(host);
}

bool CTessarelView::DeleteRow(long row) {
  const HostRecord& record = *RecordOf(row);
  // Hosts of a hand-written file may share one section: when one of them
  // goes, the section must still hold the other.
  const std::string section(SectionOf(record));
  const HostRecord* namesake = FindSectionHolder(section, record.HostId);
  if (!Saved(RemoveHostSection(section, namesake, settingsPath_, &witness_),
             "The host stays in the list."))
    return false;
  const std::string host = record.Host;
  RemoveRow(row);
  // A namesake still answers to the name the hosts behind it give.
  if (!namesake) MoveDependents(host, {});
  if (routes_ && !namesake) routes_->HostForgotten(host);
  return true;
}

void CTessarelView::RemoveRow(long row) {
  recent_.Forget(RecordOf(row)->HostId);
  // The control still reads the row while it takes it out.
  DeleteItem(row);
  rows_.erase(rows_.begin() + row);
  rowOfHostStale_ = true;
  statusesChanged_ = true;
  ListChanged();
}

void CTessarelView::OfferReload() {
  const wxString question = wxString::Format(
      "%s was changed by another program, or another copy of Kelvoran, since this list was "
      "loaded. Your change was saved and the other changes were kept.\n\nReload the list to show "
      "them?",
      ToDisplay(settingsPath_));
  if (wxMessageBox(question, kAppTitle, wxYES_NO | wxICON_QUESTION, wxGetTopLevelParent(this)) ==
      wxYES)
    ReloadList();
}

void CTessarelView::ReloadList() {
  std::vector<std::unique_ptr<HostRecord>> loaded;
  if (const FileResult read = ReadHostList(loaded, settingsPath_, &witness_); !read.ok()) {
    ReportFileError("The host list could not be read from %s.", read.error);
    return;
  }
  ReloadedList list = MatchReloadedList(*this, std::move(loaded));
  for (const auto& [row, record] : list.kept) {
    ApplyRowSettings(row, *record);
    FormatRow(row);
  }
  RemoveRows(list.gone);
  AddRows(std::move(list.added));
}

const HostRecord* CTessarelView::FindSectionHolder(const std::string& name,
                                                   std::int32_t except) const {
  return kelvoran::FindSectionHolder(*this, name, except);
}

void CTessarelView::OnReset(wxCommandEvent& /*event*/) {
  const int answer = wxMessageBox("Are you sure you want to reset all ping data?", kAppTitle,
                                  wxYES_NO | wxICON_EXCLAMATION, wxGetTopLevelParent(this));
  if (answer == wxYES) ResetAllResults(*this);
}

// The frame brings the context menu's items up to date as it opens, through
// these same handlers (wx's frame answers every menu's opening so): the menu's
// own rules must win there.
bool CTessarelView::FromContextMenu(const wxUpdateUIEvent& event) const {
  return event.GetEventObject() == contextMenu_.get();
}

void CTessarelView::OnUpdateNeedsOneSelected(wxUpdateUIEvent& event) {
  const int selected = GetSelectedItemCount();
  event.Enable(FromContextMenu(event) ? selected > 0 : selected == 1);
}

void CTessarelView::OnUpdateNeedsRows(wxUpdateUIEvent& event) {
  event.Enable(FromContextMenu(event) || !rows_.empty());
}

void CTessarelView::SortByColumn(int column) {
  sortKey_ = NextSortKey(sortKey_, column);
  const std::vector<int> order = SortedRowOrder(*this, sortKey_);
  KeepingSelection([&] {
    std::vector<std::unique_ptr<HostRow>> sorted;
    sorted.reserve(rows_.size());
    for (const int row : order) sorted.push_back(std::move(rows_[static_cast<std::size_t>(row)]));
    rows_ = std::move(sorted);
  });
}

void CTessarelView::OnColumnClick(wxListEvent& event) {
  // The optional columns are not among the sort keys the settings file keeps.
  if (event.GetColumn() < kColumnCount) SortByColumn(event.GetColumn());
}

void CTessarelView::ShowOptionalColumns(const OptionalColumnState& state) {
  // Widths the user gave columns now shown stand unless `state` has its own.
  const auto widths = OptionalColumns().widths;
  for (int column = GetColumnCount() - 1; column >= kColumnCount; --column) DeleteColumn(column);
  optional_ = state;
  for (std::size_t index = 0; index < kOptionalColumnCount; ++index)
    if (optional_.widths[index] == 0) optional_.widths[index] = widths[index];
  for (const OptionalColumn column : optional_.shown) {
    const int width = optional_.widths[static_cast<std::size_t>(column)];
    AppendColumn(OptionalColumnTitle(column), wxLIST_FORMAT_LEFT,
                 width > 0 ? width : OptionalColumnDefaultWidth(column, *this));
  }
  recent_.SetKeeping(!optional_.shown.empty());
  SeedLastChanges();
  Refresh();
}

void CTessarelView::SeedLastChanges() {
  if (!history_ || std::find(optional_.shown.begin(), optional_.shown.end(),
                             OptionalColumn::LastChange) == optional_.shown.end())
    return;
  // Newest first: each host's first change read is its last.
  const HistoryQueries queries = history_->Queries();
  const HistoryTime now = queries.now();
  std::unordered_map<std::string, HistoryTime> latest;
  for (const HistoryChange& change :
       queries.changes(now - kChangesKept, now + 1, nullptr).value_or(std::vector<HistoryChange>{}))
    latest.emplace(ProfileText::SectionKey(change.host), change.time);
  for (const auto& row : rows_)
    if (const auto found = latest.find(ProfileText::SectionKey(row->record->Host));
        found != latest.end())
      recent_.SeedLastChange(row->record->HostId, found->second / 1000);
}

OptionalColumnState CTessarelView::OptionalColumns() const {
  OptionalColumnState state = optional_;
  for (std::size_t at = 0; at < state.shown.size(); ++at)
    state.widths[static_cast<std::size_t>(state.shown[at])] =
        GetColumnWidth(kColumnCount + static_cast<int>(at));
  return state;
}

void CTessarelView::OnChooseColumns(wxCommandEvent& /*event*/) {
  OptionalColumnState state = OptionalColumns();
  if (ChooseOptionalColumns(this, state.shown)) ShowOptionalColumns(state);
}

void CTessarelView::OnDoubleClick(wxMouseEvent& event) {
  wxCommandEvent edit(wxEVT_MENU, ID_HOST_EDIT);
  OnEdit(edit);
  event.Skip();
}

const HostRecord* CTessarelView::SelectedRecord() const {
  const long row = SingleSelectedRow();
  return row < 0 ? nullptr : RecordOf(row);
}

wxMenu& CTessarelView::PrepareContextMenu() {
  // Add and Reset results stay enabled here whatever the main menu says.
  const bool anySelected = GetSelectedItemCount() > 0;
  contextMenu_->Enable(ID_HOST_EDIT, anySelected);
  contextMenu_->Enable(ID_HOST_DELETE, anySelected);
  contextMenu_->Enable(ID_HOST_DELETE_WITH_HISTORY, anySelected);
  contextMenu_->Enable(ID_HOST_HISTORY, history_ != nullptr && SelectedRecord() != nullptr);
  contextMenu_->Enable(ID_HOST_TRACE_ROUTE, traceRouteAvailable_ && SelectedRecord() != nullptr);
  return *contextMenu_;
}

void CTessarelView::SelectHost(std::int32_t hostId) {
  const int row = FindRowByHostId(hostId);
  if (row < 0) return;
  for (long selected = -1;
       (selected = GetNextItem(selected, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;)
    SetItemState(selected, 0, kSelectedAndFocused);
  SetItemState(row, kSelectedAndFocused, kSelectedAndFocused);
  EnsureVisible(row);
}

void CTessarelView::OnContextMenu(wxContextMenuEvent& /*event*/) {
  PopupMenu(&PrepareContextMenu());
}

bool CTessarelView::Saved(const FileResult& saved, const char* listLeftAs) {
  if (!saved.ok()) {
    ReportFileError(kNotSaved, saved.error + "\n\n" + listLeftAs);
    return false;
  }
  // Asked once the command is over, not in the middle of it.
  if (witness_.TakeChangedElsewhere()) CallAfter(&CTessarelView::OfferReload);
  return true;
}

void CTessarelView::ReportFileError(const char* what, const std::string& reason) {
  wxMessageBox(wxString::Format(what, ToDisplay(settingsPath_)) + "\n\n" + ToDisplay(reason),
               kAppTitle, wxOK | wxICON_ERROR, wxGetTopLevelParent(this));
}

}  // namespace kelvoran
