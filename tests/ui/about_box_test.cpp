#include "ui/about_box.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/ui/modal_run.h"
#include "ui/help_request.h"
#include "ui/links.h"

namespace kelvoran {
namespace {

using namespace std::chrono_literals;
using testing::PumpEvents;
using testing::RunModal;

CLinkLabel& Label(wxDialog& box, wxWindowID id) {
  auto* label = dynamic_cast<CLinkLabel*>(box.FindWindow(id));
  if (!label) throw std::runtime_error("no link label " + std::to_string(id));
  return *label;
}

// Records the opened links and the help requests instead of acting on them.
class AboutBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLinkOpener([this](const std::string& target) { opened.push_back(target); });
    SetHelpRequester([this](int context) { helpContexts.push_back(context); });
  }
  void TearDown() override {
    SetLinkOpener(nullptr);
    SetHelpRequester(nullptr);
  }
  std::vector<std::string> opened;
  std::vector<int> helpContexts;
};

// A click in the far corner of each link, beyond the end of the text's ink,
// opens it and leaves the box open; then Escape, the close box and F1.
TEST_F(AboutBoxTest, LinksOpenTheirTargetsEscapeAndCloseEndTheBoxAndF1AsksForItsPage) {
  const std::function<void(CAboutBox&)> acts[] = {
      [](CAboutBox& box) {
        for (const wxWindowID id : {kMakerLabelId, kWebsiteRowLabelId, kMailRowLabelId}) {
          const wxSize size = Label(box, id).GetClientSize();
          testing::ClickWithPointer(Label(box, id), {size.x - 1, size.y - 1});
        }
        PumpEvents(300ms);  // longer than the close delay, which the menu box ignores
      },
      [](CAboutBox& box) { testing::PressKey(box, WXK_F1); },
      [](CAboutBox& box) { testing::PressKey(box, WXK_ESCAPE); },
      [](CAboutBox& box) { box.Close(); }};
  for (std::size_t act = 0; act < std::size(acts); ++act) {
    SCOPED_TRACE(act);
    const bool ends = act >= 2;
    CAboutBox box(nullptr, 0, 100ms);
    bool stillOpen = false;
    const int result = RunModal(box, [&] {
      acts[act](box);
      stillOpen = box.IsModal();
      if (stillOpen) box.EndModal(wxID_OK);
    });
    EXPECT_EQ(stillOpen, !ends);
    EXPECT_NE(result, testing::kWatchdogResult);
    EXPECT_NE(result, 0);
  }
  const std::string home(kMakerHomePage), mail(kMakerMailLink);
  EXPECT_EQ(opened, (std::vector<std::string>{home, home, mail}));
  EXPECT_EQ(helpContexts, std::vector<int>{131172});
}

// The start-up box (flag 1) ends itself with 0; the one from the menu waits.
TEST_F(AboutBoxTest, ShowAboutBoxRunsABoxModallyAndOnlyTheStartupBoxEndsItself) {
  for (const int flag : {0, 1}) {
    int seenFlag = -1;
    wxTEST_DIALOG(ShowAboutBox(nullptr, static_cast<std::uint8_t>(flag)),
                  testing::ExpectDialog<CAboutBox>([&](CAboutBox& box) {
                    seenFlag = box.StartupFlag();
                    return static_cast<int>(wxID_OK);
                  }));
    EXPECT_EQ(seenFlag, flag);
    CAboutBox box(nullptr, static_cast<std::uint8_t>(flag), 200ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunModal(
                  box, [] {}, 1s),
              flag ? 0 : testing::kWatchdogResult);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  }
}

}  // namespace
}  // namespace kelvoran
