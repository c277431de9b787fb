#pragma once

// The host list's rules, over the rows the view owns (HostRows): which names
// are one host, where a new row goes, how rows sort, what an edit or an
// import does to the settings file's sections. Plain logic, tested on a
// vector of records.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/host_columns.h"
#include "engine/host_list_text.h"

namespace kelvoran {

class HostRecord;
class HostRows;

// The sort key after a click on a column header: the column (0 for anything
// outside 1 to 8) plus 65536 when the same column was last sorted ascending.
std::int32_t NextSortKey(std::int32_t lastSortKey, int clickedColumn);

// Negative when a goes above b under the sort key, 0 when equal.
int CompareRows(const HostRecord& a, const HostRecord& b, std::int32_t sortKey);

// The rows' indexes in their order under the sort key; equal rows keep
// their order.
std::vector<int> SortedRowOrder(const HostRows& rows, std::int32_t sortKey);

// The row a new host of this name is inserted at: after the last row whose
// name is not greater. A binary search, since rows stand in name order while
// the list loads; after a sort by another column the place is just somewhere
// sensible.
int InsertPosition(const HostRows& rows, std::string_view host);

// Where new hosts go when they join the rows all at once: each with the row
// of the list (as it is) it goes before, RowCount() for the end, in the order
// they then stand. While the rows are in name order that is the order AddRow
// of each in turn would leave, ties in name included (each after the names
// equal to it), at a cost of one sort rather than a move of the rows a host.
std::vector<std::pair<int, std::unique_ptr<HostRecord>>> PlaceNewRows(
    const HostRows& rows, std::vector<std::unique_ptr<HostRecord>> hosts);

// `rows` with each of `placed` (as PlaceNewRows gives them, its records made
// into rows) put before the row its place names, in one pass.
template <typename Row>
void MergePlacedRows(std::vector<Row>& rows, std::vector<std::pair<int, Row>> placed) {
  std::vector<Row> merged;
  merged.reserve(rows.size() + placed.size());
  auto next = placed.begin();
  for (std::size_t old = 0; old <= rows.size(); ++old) {
    for (; next != placed.end() && static_cast<std::size_t>(next->first) == old; ++next)
      merged.push_back(std::move(next->second));
    if (old < rows.size()) merged.push_back(std::move(rows[old]));
  }
  rows = std::move(merged);
}

// Whether two host names find the same section: the settings file's own rule.
bool SameSection(std::string_view a, std::string_view b);

// The first host other than `except` whose section `name` finds, or null: a
// second host of such a name would share the first one's section, and one of
// the two would be lost at the next start.
const HostRecord* FindSectionHolder(const HostRows& rows, std::string_view name,
                                    std::int32_t except = 0);

// What OK in the settings dialog does to the file. An empty name would make
// the host vanish at the next start: refused. A name that still finds the
// host's section edits it in place; any other name moves the host to a
// section of the new name.
enum class HostEdit { Refused, InPlace, Moves };
HostEdit ClassifyEdit(const HostRecord& before, std::string_view newName);

// The hosts of the import that are new to the list, each with the settings
// of `start`, the entry's name and description, and an id of its own; an entry whose section a row
// or an earlier entry finds already is counted in `skipped`.
std::vector<std::unique_ptr<HostRecord>> NewHosts(const HostRows& rows,
                                                  const std::vector<HostListEntry>& entries,
                                                  const HostRecord& start, std::size_t& skipped);

// Of the hosts an import added, those still in the list.
std::unordered_set<std::int32_t> StillListed(const HostRows& rows,
                                             const std::unordered_set<std::int32_t>& hostIds);

// The sections the undo of an import removes: those of its hosts still in
// the list, less any another host of the list still needs.
std::vector<std::string> LastImportSections(const HostRows& rows,
                                            const std::unordered_set<std::int32_t>& hostIds);

// The host list as just read again, matched to the rows: a host whose
// section is still in the file keeps its row and its results and takes the
// file's settings (`kept`: the row and the record read); one no longer there
// goes (`gone`, by HostId); one new to the list is added (`added`).
struct ReloadedList {
  std::vector<std::pair<int, std::unique_ptr<HostRecord>>> kept;
  std::unordered_set<std::int32_t> gone;
  std::vector<std::unique_ptr<HostRecord>> added;
};
ReloadedList MatchReloadedList(const HostRows& rows,
                               std::vector<std::unique_ptr<HostRecord>> loaded);

}  // namespace kelvoran
