#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/history_queries.h"
#include "history/range_summary.h"

namespace kelvoran {

// The changes of a range, newest first with their durations, read a page at
// a time: a year of thousands of hosts holds half a million changes, and the
// outage log shows its first page without reading them all. Pages grow as
// they are read, so that scrolling far costs few reads.
class ChangePages {
 public:
  // Of one host when `host` is given.
  ChangePages(HistoryQueries queries, HistoryTime from, HistoryTime to,
              std::optional<std::string> host);

  // How many changes the range held when counted.
  std::size_t Count() const { return count_; }
  // Whether the history could not be read, for the count or for a page.
  bool Unread() const { return unread_; }
  // Reads on until row `index` is read; null past the last row read.
  const LoggedChange* Row(std::size_t index);
  // Every row, read to the end.
  const std::vector<LoggedChange>& All();

  // Told each page's span of times, oldest and newest, as it is read.
  std::function<void(HistoryTime oldest, HistoryTime newest)> onPage;

 private:
  std::optional<std::vector<HistoryChange>> ReadNewest(HistoryTime from, HistoryTime to,
                                                       std::int64_t limit);
  bool ReadPage();

  const HistoryQueries queries_;
  const HistoryTime from_;
  const std::optional<std::string> host_;
  HistoryTime readBefore_;  // what is older than this is yet to be read
  std::int64_t pageSize_;
  std::size_t count_ = 0;
  bool ended_ = false, unread_ = false;
  ChangeLogBuilder builder_;
  std::vector<LoggedChange> rows_;
};

}  // namespace kelvoran
