#include "engine/host_list_rules.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/host_settings.h"
#include "portable/profile_text.h"

namespace kelvoran {
namespace {

constexpr std::int32_t kDescending = 65536;

// HostRows hands out records for change; these rules only read them.
const HostRecord& At(const HostRows& rows, int row) {
  return const_cast<HostRows&>(rows).RecordAt(row);
}

std::string_view SectionAt(const HostRows& rows, int row) { return SectionOf(At(rows, row)); }

}  // namespace

std::int32_t NextSortKey(std::int32_t lastSortKey, int clickedColumn) {
  const std::int32_t column = clickedColumn >= 1 && clickedColumn <= 8 ? clickedColumn : 0;
  const bool lastWasSameAscending = (lastSortKey & 0xFFFF) == column && lastSortKey < kDescending;
  return lastWasSameAscending ? column + kDescending : column;
}

int CompareRows(const HostRecord& a, const HostRecord& b, std::int32_t sortKey) {
  const int order = HostColumnAt(sortKey & 0xFFFF).compare(a, b);
  return (static_cast<std::uint32_t>(sortKey) >> 16) != 0 ? -order : order;
}

std::vector<int> SortedRowOrder(const HostRows& rows, std::int32_t sortKey) {
  std::vector<int> order(static_cast<std::size_t>(rows.RowCount()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return CompareRows(At(rows, a), At(rows, b), sortKey) < 0;
  });
  return order;
}

int InsertPosition(const HostRows& rows, std::string_view host) {
  int low = 0;
  int high = rows.RowCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (CompareHostNames(host, At(rows, middle).Host) < 0)
      high = middle;
    else
      low = middle + 1;
  }
  return low;
}

void HostRows::AddRows(std::vector<std::unique_ptr<HostRecord>> records) {
  for (auto& record : records) FormatRow(AddRow(std::move(record)));
}

std::vector<std::pair<int, std::unique_ptr<HostRecord>>> PlaceNewRows(
    const HostRows& rows, std::vector<std::unique_ptr<HostRecord>> hosts) {
  // Stable: a later host of an equal name goes after an earlier one, as its
  // InsertPosition would put it.
  std::stable_sort(hosts.begin(), hosts.end(), [](const auto& a, const auto& b) {
    return CompareHostNames(a->Host, b->Host) < 0;
  });
  std::vector<std::pair<int, std::unique_ptr<HostRecord>>> placed;
  placed.reserve(hosts.size());
  for (auto& host : hosts) placed.emplace_back(InsertPosition(rows, host->Host), std::move(host));
  // Already in order while the rows are in name order; after a sort by
  // another column the places are merely sensible, and need ordering.
  std::stable_sort(placed.begin(), placed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return placed;
}

bool SameSection(std::string_view a, std::string_view b) {
  return ProfileText::SameSectionName(a, b);
}

const HostRecord* FindSectionHolder(const HostRows& rows, std::string_view name,
                                    std::int32_t except) {
  for (int row = 0; row < rows.RowCount(); ++row) {
    const HostRecord& host = At(rows, row);
    if (host.HostId != except && SameSection(SectionOf(host), name)) return &host;
  }
  return nullptr;
}

HostEdit ClassifyEdit(const HostRecord& before, std::string_view newName) {
  if (newName.empty()) return HostEdit::Refused;
  if (newName == before.Host || SameSection(SectionOf(before), newName)) return HostEdit::InPlace;
  return HostEdit::Moves;
}

std::vector<std::unique_ptr<HostRecord>> NewHosts(const HostRows& rows,
                                                  const std::vector<HostListEntry>& entries,
                                                  const HostRecord& start, std::size_t& skipped) {
  std::unordered_set<std::string> sections;
  for (int row = 0; row < rows.RowCount(); ++row)
    sections.insert(ProfileText::SectionKey(SectionAt(rows, row)));
  std::vector<std::unique_ptr<HostRecord>> records;
  for (const HostListEntry& entry : entries) {
    if (!sections.insert(ProfileText::SectionKey(entry.host)).second) {
      ++skipped;
      continue;
    }
    auto record = std::make_unique<HostRecord>();  // an id of its own
    record->CopySettings(start);
    record->Host = entry.host;
    record->Description = entry.description;
    record->Section = entry.host;
    records.push_back(std::move(record));
  }
  return records;
}

std::unordered_set<std::int32_t> StillListed(const HostRows& rows,
                                             const std::unordered_set<std::int32_t>& hostIds) {
  std::unordered_set<std::int32_t> listed;
  for (int row = 0; row < rows.RowCount(); ++row)
    if (hostIds.contains(At(rows, row).HostId)) listed.insert(At(rows, row).HostId);
  return listed;
}

std::vector<std::string> LastImportSections(const HostRows& rows,
                                            const std::unordered_set<std::int32_t>& hostIds) {
  std::unordered_set<std::string> needed;
  for (int row = 0; row < rows.RowCount(); ++row)
    if (!hostIds.contains(At(rows, row).HostId))
      needed.insert(ProfileText::SectionKey(SectionAt(rows, row)));
  std::vector<std::string> sections;
  for (int row = 0; row < rows.RowCount(); ++row)
    if (hostIds.contains(At(rows, row).HostId) &&
        !needed.contains(ProfileText::SectionKey(SectionAt(rows, row))))
      sections.emplace_back(SectionAt(rows, row));
  return sections;
}

ReloadedList MatchReloadedList(const HostRows& rows,
                               std::vector<std::unique_ptr<HostRecord>> loaded) {
  std::unordered_map<std::string, std::size_t> loadedAt;
  for (std::size_t at = 0; at < loaded.size(); ++at)
    loadedAt.emplace(ProfileText::SectionKey(SectionOf(*loaded[at])), at);
  ReloadedList list;
  for (int row = 0; row < rows.RowCount(); ++row) {
    const auto found = loadedAt.find(ProfileText::SectionKey(SectionAt(rows, row)));
    // The first of two rows of one section takes the record; the second goes.
    if (found != loadedAt.end() && loaded[found->second])
      list.kept.emplace_back(row, std::move(loaded[found->second]));
    else
      list.gone.insert(At(rows, row).HostId);
  }
  for (auto& record : loaded)
    if (record) list.added.push_back(std::move(record));
  return list;
}

}  // namespace kelvoran
