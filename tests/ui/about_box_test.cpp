#include "ui/dialogs/about_box.h"

#include <gtest/gtest.h>

#include "tests/ui/modal_run.h"
#include "ui/parts/links.h"

namespace kelvoran {
namespace {

using namespace std::chrono_literals;
using testing::RunModal;

// A click in the far corner of each link, beyond the end of the text's ink,
// opens it and leaves the box open; Escape ends it. The box from the menu waits for the
// user; the start-up box (flag 1) ends itself with 0. (F1 in the box, and
// the start-up box ending under the help window: tests/ui/help_window_test.)
TEST(AboutBox, LinksOpenTheirTargetsAndOnlyTheStartupBoxEndsItself) {
  std::vector<std::string> opened;
  SetLinkOpener([&](const std::string& target) { opened.push_back(target); });
  CAboutBox box(nullptr, 0, 100ms);
  bool stillOpen = false;
  EXPECT_NE(
      RunModal(box,
               [&] {
                 for (const wxWindowID id : {kMakerLabelId, kWebsiteRowLabelId, kMailRowLabelId}) {
                   wxWindow& link = *box.FindWindow(id);
                   const wxSize size = link.GetClientSize();
                   testing::ClickWithPointer(link, {size.x - 1, size.y - 1});
                 }
                 // Longer than the close delay, which the menu box ignores.
                 testing::PumpEvents(300ms);
                 stillOpen = box.IsModal();
                 testing::PressKey(box, WXK_ESCAPE);
               }),
      testing::kWatchdogResult)
      << "Escape ends the box";
  SetLinkOpener(nullptr);
  EXPECT_TRUE(stillOpen);
  const std::string home(kMakerHomePage), mail(kMakerMailLink);
  EXPECT_EQ(opened, (std::vector<std::string>{home, home, mail}));
  for (const int flag : {0, 1}) {
    int seenFlag = -1;
    wxTEST_DIALOG(ShowAboutBox(nullptr, static_cast<std::uint8_t>(flag)),
                  testing::ExpectDialog<CAboutBox>([&](CAboutBox& shown) {
                    seenFlag = shown.StartupFlag();
                    return static_cast<int>(wxID_OK);
                  }));
    EXPECT_EQ(seenFlag, flag);
    CAboutBox timed(nullptr, static_cast<std::uint8_t>(flag), 200ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunModal(
                  timed, [] {}, 1s),
              flag ? 0 : testing::kWatchdogResult);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  }
}

}  // namespace
}  // namespace kelvoran
