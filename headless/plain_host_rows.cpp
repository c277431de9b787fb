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

PlainHostRows::ReloadCounts PlainHostRows::Reload(std::vector<std::unique_ptr<HostRecord>> loaded) {
  std::unordered_map<std::string, std::size_t> loadedAt;
  for (std::size_t at = 0; at < loaded.size(); ++at)
    loadedAt.emplace(ProfileText::SectionKey(SectionOf(*loaded[at])), at);
  ReloadCounts counts;
  std::unordered_set<const HostRecord*> gone;
  for (const auto& row : rows_) {
    const auto found = loadedAt.find(ProfileText::SectionKey(SectionOf(*row)));
    std::unique_ptr<HostRecord>* match = found == loadedAt.end() ? nullptr : &loaded[found->second];
    if (match && *match) {
      row->CopySettings(**match);
      row->Section = (*match)->Section;
      match->reset();
      ++counts.kept;
    } else {
      gone.insert(row.get());
    }
  }
  counts.removed = std::erase_if(rows_, [&](const auto& row) { return gone.contains(row.get()); });
  rowOfHostStale_ = true;
  for (auto& record : loaded)
    if (record) {
      AddRow(std::move(record));
      ++counts.added;
    }
  return counts;
}

}  // namespace kelvoran
