#include "history/change_pages.h"

#include <algorithm>

namespace kelvoran {
namespace {

// A screenful and well beyond; then twice as many each time, up to a size
// whose read is still short.
constexpr std::int64_t kFirstPage = 1'000, kLargestPage = 64'000;

}  // namespace

ChangePages::ChangePages(HistoryQueries queries, HistoryTime from, HistoryTime to,
                         std::optional<std::string> host)
    : queries_(std::move(queries)),
      from_(from),
      host_(std::move(host)),
      readBefore_(to),
      pageSize_(kFirstPage) {
  const std::string* hostOrAll = host_ ? &*host_ : nullptr;
  if (queries_.newestChanges && queries_.changeCount) {
    const std::optional<std::int64_t> counted = queries_.changeCount(from, to, hostOrAll);
    unread_ = !counted;
    count_ = static_cast<std::size_t>(std::max<std::int64_t>(counted.value_or(0), 0));
  } else {
    // Queries that read whole ranges only: one page of them all.
    pageSize_ = -1;
    if (ReadPage()) count_ = rows_.size();
  }
  ended_ = ended_ || unread_ || count_ == 0;
}

const LoggedChange* ChangePages::Row(std::size_t index) {
  while (index >= rows_.size() && !ended_) ReadPage();
  return index < rows_.size() ? &rows_[index] : nullptr;
}

const std::vector<LoggedChange>& ChangePages::All() {
  while (!ended_) ReadPage();
  return rows_;
}

std::optional<std::vector<HistoryChange>> ChangePages::ReadNewest(HistoryTime from, HistoryTime to,
                                                                  std::int64_t limit) {
  const std::string* hostOrAll = host_ ? &*host_ : nullptr;
  if (queries_.newestChanges) return queries_.newestChanges(from, to, hostOrAll, limit);
  return queries_.changes(from, to, hostOrAll);
}

// A page ends at a time, not a row: the changes of its oldest millisecond are
// read again, all of them, with the next page, so none is lost or shown twice.
bool ChangePages::ReadPage() {
  std::optional<std::vector<HistoryChange>> page = ReadNewest(from_, readBefore_, pageSize_);
  const bool full = page && pageSize_ >= 0 && static_cast<std::int64_t>(page->size()) == pageSize_;
  if (!full) {
    ended_ = true;
  } else if (const HistoryTime oldest = page->back().time; page->front().time == oldest) {
    // A whole page in one millisecond: that millisecond read whole.
    readBefore_ = oldest;
    page = ReadNewest(oldest, oldest + 1, -1);
  } else {
    while (page->back().time == oldest) page->pop_back();
    readBefore_ = oldest + 1;
  }
  if (!page) {
    unread_ = ended_ = true;
    return false;
  }
  if (!page->empty() && onPage) onPage(page->back().time, page->front().time);
  builder_.Append(std::move(*page), rows_);
  pageSize_ = pageSize_ < 0 ? pageSize_ : std::min(pageSize_ * 2, kLargestPage);
  return true;
}

}  // namespace kelvoran
