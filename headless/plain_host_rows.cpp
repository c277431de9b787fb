#include "headless/plain_host_rows.h"

#include <string>
#include <unordered_set>

#include "engine/host_list_rules.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"

namespace kelvoran {

int PlainHostRows::FindRowByHostId(std::int32_t hostId) const {
  if (rowOfHostStale_) {
    rowOfHost_.clear();
    for (std::size_t row = 0; row < rows_.size(); ++row)
      rowOfHost_.emplace(rows_[row]->HostId, static_cast<int>(row));
    rowOfHostStale_ = false;
  }
  const auto found = rowOfHost_.find(hostId);
  return found == rowOfHost_.end() ? -1 : found->second;
}

int PlainHostRows::AddRow(std::unique_ptr<HostRecord> record) {
  const int row = InsertPosition(*this, record->Host);
  rows_.insert(rows_.begin() + row, std::move(record));
  rowOfHostStale_ = true;
  return row;
}

void PlainHostRows::AddRows(std::vector<std::unique_ptr<HostRecord>> records) {
  MergePlacedRows(rows_, PlaceNewRows(*this, std::move(records)));
  rowOfHostStale_ = true;
}

PlainHostRows::ReloadCounts PlainHostRows::Reload(std::vector<std::unique_ptr<HostRecord>> loaded) {
  ReloadedList list = MatchReloadedList(*this, std::move(loaded));
  for (const auto& [row, record] : list.kept) {
    RecordAt(row).CopySettings(*record);
    RecordAt(row).Section = record->Section;
  }
  const ReloadCounts counts{list.added.size(), list.gone.size(), list.kept.size()};
  std::erase_if(rows_, [&](const auto& row) { return list.gone.contains(row->HostId); });
  rowOfHostStale_ = true;
  AddRows(std::move(list.added));
  return counts;
}

}  // namespace kelvoran
