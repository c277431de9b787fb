#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/host_rows.h"

namespace kelvoran {

// The host list without a window: the rows in the order the window would
// first show them (by name), each owning its record.
class PlainHostRows final : public HostRows {
 public:
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  HostRecord& RecordAt(int row) override { return *rows_[static_cast<std::size_t>(row)]; }
  int FindRowByHostId(std::int32_t hostId) const override;
  // Nothing is drawn.
  void FormatRow(int /*row*/) override {}
  int AddRow(std::unique_ptr<HostRecord> record) override;
  // In one pass: a list of 100,000 loads in the time of a sort.
  void AddRows(std::vector<std::unique_ptr<HostRecord>> records) override;

  struct ReloadCounts {
    std::size_t added = 0;
    std::size_t removed = 0;
    std::size_t kept = 0;
  };
  // Brings the rows in line with the host list as just read, as the window's
  // reload does: a host whose section is still there keeps its row and its
  // results and takes the file's settings; one no longer there goes; one new
  // to the list is added.
  ReloadCounts Reload(std::vector<std::unique_ptr<HostRecord>> loaded);

 private:
  std::vector<std::unique_ptr<HostRecord>> rows_;
  // HostId -> row; built again on the first question after rows moved.
  mutable std::unordered_map<std::int32_t, int> rowOfHost_;
  mutable bool rowOfHostStale_ = true;
};

}  // namespace kelvoran
