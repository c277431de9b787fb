#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kelvoran {

class HostRecord;

// What the engine needs of the host list. The desktop view implements it on
// its list rows; tests implement it on a plain vector. Rows are counted in the
// list's current display order; every call happens on the user-interface
// thread.
class HostRows {
 public:
  virtual ~HostRows() = default;

  virtual int RowCount() const = 0;
  virtual HostRecord& RecordAt(int row) = 0;
  // The first row from the top whose record has this id, or -1.
  virtual int FindRowByHostId(std::int32_t hostId) const = 0;

  // Redraws a row from its record.
  virtual void FormatRow(int row) = 0;
  // The working record of the open host settings dialog, or null when the
  // dialog is not open.
  virtual const HostRecord* DialogRecord() const { return nullptr; }
  // Shows the live results of the dialog's host in the open dialog.
  virtual void RefreshDialogResults(const HostRecord& /*live*/) {}

  // Adds a row that takes ownership of the record, placed by the list's own
  // order, and returns its index. Used when the host list is loaded.
  virtual int AddRow(std::unique_ptr<HostRecord> record) = 0;
  // Adds many rows, each where AddRow would put it, each drawn. A list of
  // many rows does better than the default's insertion of one at a time.
  virtual void AddRows(std::vector<std::unique_ptr<HostRecord>> records);
};

}  // namespace kelvoran
