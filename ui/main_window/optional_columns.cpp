#include "ui/main_window/optional_columns.h"

#include <wx/choicdlg.h>
#include <wx/config.h>
#include <wx/datetime.h>
#include <wx/tokenzr.h>
#include <wx/window.h>

#include <algorithm>

#include "engine/host_record.h"
#include "engine/quality_watch.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

struct Layout {
  const char* title;
  const char* key;     // in the stored list and the width's name
  const char* sample;  // the widest usual text
};
constexpr Layout kLayouts[kOptionalColumnCount] = {
    {"Loss (last 100)", "Loss", "Loss (last 100)"},
    {"Last change", "LastChange", "2026-12-31 23:59:59"},
    {"Recent", "Recent", nullptr},
    {"Quality", "Quality", "slow, lossy, jittery"},
    {"Jitter (last 100)", "Jitter", "Jitter (last 100)"},
};
constexpr const char* kShownKey = "MainWnd/OptionalColumns";
constexpr int kMargin = 16;

const Layout& LayoutOf(OptionalColumn column) { return kLayouts[static_cast<std::size_t>(column)]; }
wxString WidthKey(std::size_t index) {
  return wxString("MainWnd/") + kLayouts[index].key + "Width";
}

}  // namespace

void OptionalColumnState::Load(wxConfigBase& profile) {
  shown.clear();
  wxStringTokenizer keys(profile.Read(kShownKey, wxString()), ",");
  while (keys.HasMoreTokens()) {
    const wxString key = keys.GetNextToken();
    for (std::size_t index = 0; index < kOptionalColumnCount; ++index) {
      const auto column = static_cast<OptionalColumn>(index);
      if (key == kLayouts[index].key &&
          std::find(shown.begin(), shown.end(), column) == shown.end())
        shown.push_back(column);
    }
  }
  // A hand-edited width outside what a screen could show is taken as unset.
  for (std::size_t index = 0; index < kOptionalColumnCount; ++index) {
    const long width = profile.ReadLong(WidthKey(index), 0);
    widths[index] = width > 0 && width < 10000 ? static_cast<int>(width) : 0;
  }
}

void OptionalColumnState::Save(wxConfigBase& profile) const {
  wxString keys;
  for (const OptionalColumn column : shown) {
    if (!keys.empty()) keys += ',';
    keys += LayoutOf(column).key;
  }
  profile.Write(kShownKey, keys);
  for (std::size_t index = 0; index < kOptionalColumnCount; ++index)
    if (widths[index] > 0) profile.Write(WidthKey(index), static_cast<long>(widths[index]));
}

wxString OptionalColumnTitle(OptionalColumn column) { return LayoutOf(column).title; }

int OptionalColumnDefaultWidth(OptionalColumn column, const wxWindow& window) {
  const char* sample = LayoutOf(column).sample;
  const wxString text = sample ? wxString(sample) : wxString(wxUniChar(0x2588), kSparklineResults);
  return window.GetTextExtent(text).x + kMargin;
}

wxString OptionalColumnText(OptionalColumn column, const HostRecord& record,
                            const RecentResults::Host* host) {
  // The flags are the record's own, there with or without recent results.
  if (column == OptionalColumn::Quality) return QualityFlagsText(record.QualityFlags);
  if (!host) return wxString();
  switch (column) {
    case OptionalColumn::Loss: {
      const std::optional<double> loss = RecentLossPercent(*host);
      return loss ? wxString::Format("%.0f %%", *loss) : wxString();
    }
    case OptionalColumn::LastChange:
      return host->lastChange
                 ? wxDateTime(static_cast<time_t>(*host->lastChange)).Format("%Y-%m-%d %H:%M:%S")
                 : wxString();
    case OptionalColumn::Recent: {
      wxString bars;
      for (const char32_t bar : Sparkline(*host, kSparklineResults)) bars += wxUniChar(bar);
      return bars;
    }
    case OptionalColumn::Jitter: {
      const std::optional<double> jitter = RecentJitterMs(*host);
      return jitter ? wxString::Format("%.0f ms", *jitter) : wxString();
    }
    case OptionalColumn::Quality:
      break;
  }
  return wxString();
}

bool ChooseOptionalColumns(wxWindow* parent, std::vector<OptionalColumn>& shown) {
  wxArrayString titles;
  for (const Layout& layout : kLayouts) titles.Add(layout.title);
  wxMultiChoiceDialog dialog(parent, "Show these columns after the list's own:", "Columns", titles);
  wxArrayInt selected;
  for (const OptionalColumn column : shown) selected.Add(static_cast<int>(column));
  dialog.SetSelections(selected);
  dialog.SetIcons(AppIcons());
  AnswerHelpKey(dialog, kColumnsDialogHelpContext);
  if (dialog.ShowModal() != wxID_OK) return false;
  shown.clear();
  for (const int index : dialog.GetSelections())
    shown.push_back(static_cast<OptionalColumn>(index));
  return true;
}

}  // namespace kelvoran
