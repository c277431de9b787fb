#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/popup_sender.h"

namespace kelvoran::testing {

// A record's ten settings as a tuple of references: to fill a record in one
// statement and to compare records setting by setting.
template <class Record>
auto Settings(Record& h) {
  return std::tie(h.Host, h.Delay, h.FailPeriod, h.SuccessPeriod, h.PacketSize, h.Timeout,
                  h.PopupDestination, h.PopupMessage, h.Description, h.PopupWhenOk);
}

// A host list on a plain vector, in the order the rows were added, that
// records which rows and dialogs were refreshed.
class FakeHostRows : public HostRows {
 public:
  HostRecord& Add() {
    records_.push_back(std::make_unique<HostRecord>());
    return *records_.back();
  }
  int AddRow(std::unique_ptr<HostRecord> record) override {
    records_.push_back(std::move(record));
    return RowCount() - 1;
  }
  void Remove(int row) { records_.erase(records_.begin() + row); }

  int RowCount() const override { return static_cast<int>(records_.size()); }
  HostRecord& RecordAt(int row) override { return *records_.at(static_cast<size_t>(row)); }
  int FindRowByHostId(std::int32_t hostId) const override {
    for (size_t i = 0; i < records_.size(); ++i)
      if (records_[i]->HostId == hostId) return static_cast<int>(i);
    return -1;
  }
  void FormatRow(int row) override { formattedRows.push_back(row); }
  const HostRecord* DialogRecord() const override { return dialogRecord; }
  void RefreshDialogResults(const HostRecord& live) override {
    dialogRefreshes.push_back(live.HostId);
  }

  std::vector<int> formattedRows;
  std::vector<std::int32_t> dialogRefreshes;
  const HostRecord* dialogRecord = nullptr;

 private:
  std::vector<std::unique_ptr<HostRecord>> records_;
};

// A host of the monitors over simulated results: OK, with fail and success
// periods of 0 (it moves at its first result), telling when OK again.
inline HostRecord& AddMonitoredHost(FakeHostRows& rows, const std::string& name,
                                    const std::string& dependsOn) {
  HostRecord& host = rows.Add();
  host.Host = name;
  host.DependsOn = dependsOn;
  host.Status = StatusOk;
  host.PopupWhenOk = true;
  return host;
}

// Senders that write what reaches them into `sent`, per host: "v" down
// alert, "^" OK-again alert, "h" / "H" the same held on purpose (and why,
// into `why`), "p" popup, "k" OK-again popup.
inline PopupSenders StandInSenders(std::map<std::string, std::string>& sent, std::string& why) {
  return {[&sent](HostRecord& h) {
            if (!h.PopupSent) sent[h.Host] += "p";
            h.PopupSent = true;
            return 0;
          },
          [&sent](HostRecord& h, CalendarTime) {
            sent[h.Host] += "k";
            return 0;
          },
          [&sent, &why](const HostRecord& h, const StatusEdge& e) {
            const bool down = e.kind == StatusEdge::Kind::Down;
            if (!e.heldBecause.empty()) why = e.heldBecause;
            sent[h.Host] += e.heldBecause.empty() ? (down ? "v" : "^") : (down ? "h" : "H");
          }};
}

}  // namespace kelvoran::testing
