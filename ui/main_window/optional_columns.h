#pragma once

#include <wx/string.h>

#include <array>
#include <vector>

#include "history/recent_results.h"

class wxConfigBase;
class wxWindow;

namespace kelvoran {

class HostRecord;

// Columns the user may add after the list's own, all off until asked for
// (View > Columns...), remembered with the window placement.
enum class OptionalColumn { Loss, LastChange, Recent, Quality, Jitter };
inline constexpr std::size_t kOptionalColumnCount = 5;

struct OptionalColumnState {
  std::vector<OptionalColumn> shown;               // in the list's order
  std::array<int, kOptionalColumnCount> widths{};  // 0: the column's default

  void Load(wxConfigBase& profile);
  void Save(wxConfigBase& profile) const;
};

wxString OptionalColumnTitle(OptionalColumn column);
// A width fitting the column's longest usual text in `window`'s font.
int OptionalColumnDefaultWidth(OptionalColumn column, const wxWindow& window);
// The cell of `record`, whose recent results are `host` (null: no result yet
// since the column was shown).
wxString OptionalColumnText(OptionalColumn column, const HostRecord& record,
                            const RecentResults::Host* host);
// The results the sparkline draws.
inline constexpr std::size_t kSparklineResults = 60;

// Asks which optional columns to show; false when the user cancelled.
bool ChooseOptionalColumns(wxWindow* parent, std::vector<OptionalColumn>& shown);

}  // namespace kelvoran
