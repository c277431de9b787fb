#include "ui/about_box.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/settings.h>
#include <wx/uiaction.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/ui/modal_run.h"
#include "tests/ui/pointer_shape.h"
#include "tests/ui/wx_test_support.h"
#include "ui/help_request.h"
#include "ui/links.h"

namespace kelvoran {
namespace {

using namespace std::chrono_literals;
using testing::PumpEvents;
using testing::RunModal;

constexpr wxWindowID kLinkIds[] = {kMakerLabelId, kWebsiteRowLabelId, kMailRowLabelId};

CLinkLabel& Label(wxDialog& box, wxWindowID id) {
  auto* label = dynamic_cast<CLinkLabel*>(box.FindWindow(id));
  if (!label) throw std::runtime_error("no link label " + std::to_string(id));
  return *label;
}

// Clicks with the real pointer (XTest) at a point of the window, so the press
// travels through the X server and GTK like an operator's click.
void ClickAt(wxWindow& window, wxPoint point) {
  wxUIActionSimulator pointer;
  pointer.MouseMove(window.ClientToScreen(point));
  PumpEvents(50ms);
  pointer.MouseClick();
  PumpEvents(100ms);
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

  std::unique_ptr<CAboutBox, void (*)(CAboutBox*)> ShownBox(std::uint8_t startupFlag) {
    auto box = std::unique_ptr<CAboutBox, void (*)(CAboutBox*)>(new CAboutBox(nullptr, startupFlag),
                                                                [](CAboutBox* b) { b->Destroy(); });
    box->Show();
    PumpEvents(150ms);
    return box;
  }

  std::vector<std::string> opened;
  std::vector<int> helpContexts;
};

TEST_F(AboutBoxTest, NamesTheProgramAndItsMaker) {
  auto box = ShownBox(0);
  EXPECT_EQ(box->GetTitle(), "About Kelvoran");
  EXPECT_EQ(Label(*box, kVersionLabelId).GetLabel(), "Kelvoran 2.2");
  EXPECT_EQ(Label(*box, kMakerLabelId).GetLabel(), "Brindlecot");
  auto* close = dynamic_cast<wxButton*>(box->FindWindow(wxID_OK));
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->GetLabel(), "Close");
  EXPECT_EQ(box->GetDefaultItem(), close);
  EXPECT_TRUE(box->GetIcons().GetIconOfExactSize(wxSize(32, 32)).IsOk());
  // Every label shows its whole text in its font, bold included.
  for (const wxWindowID id : {kVersionLabelId, kMakerLabelId, kWebsiteRowLabelId}) {
    CLinkLabel& label = Label(*box, id);
    int textWidth = 0;
    label.GetTextExtent(label.GetLabel(), &textWidth, nullptr, nullptr, nullptr,
                        &label.LabelFont());
    EXPECT_GE(label.GetClientSize().x, textWidth) << id;
  }
}

TEST_F(AboutBoxTest, LinkLabelsAreBoldUnderlinedBlueWithAHandPointer) {
  auto box = ShownBox(0);
  for (const wxWindowID id : kLinkIds) {
    SCOPED_TRACE(id);
    CLinkLabel& link = Label(*box, id);
    EXPECT_TRUE(link.IsLink());
    EXPECT_EQ(link.LinkColor(), wxColour(0, 102, 255));
    EXPECT_EQ(link.LabelFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_TRUE(link.LabelFont().GetUnderlined());
    EXPECT_EQ(testing::PointerShapeOver(link), testing::kHandPointer);
  }
}

TEST_F(AboutBoxTest, NameAndVersionIsBoldPlainTextWithTheNormalPointer) {
  auto box = ShownBox(0);
  CLinkLabel& version = Label(*box, kVersionLabelId);
  EXPECT_FALSE(version.IsLink());
  EXPECT_EQ(version.LinkColor(), wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
  EXPECT_EQ(version.LabelFont().GetWeight(), wxFONTWEIGHT_BOLD);
  EXPECT_FALSE(version.LabelFont().GetUnderlined());
  EXPECT_NE(testing::PointerShapeOver(version), testing::kHandPointer);
  ClickAt(version, {2, 2});
  EXPECT_TRUE(opened.empty());
}

TEST_F(AboutBoxTest, ClickAnywhereInALinkOpensItsTargetAndTheBoxStaysOpen) {
  CAboutBox box(nullptr, 0, 100ms);
  std::vector<bool> stillOpen;
  const int result = RunModal(box, [&] {
    for (const wxWindowID id : kLinkIds) {
      CLinkLabel& link = Label(box, id);
      // The far corner, beyond the end of the text's ink.
      const wxSize size = link.GetClientSize();
      ClickAt(link, {size.x - 1, size.y - 1});
    }
    PumpEvents(300ms);  // longer than the close delay, which the menu box ignores
    stillOpen.push_back(box.IsModal());
    box.EndModal(wxID_OK);
  });
  EXPECT_EQ(result, wxID_OK);
  EXPECT_EQ(stillOpen, std::vector<bool>{true});
  EXPECT_EQ(opened,
            (std::vector<std::string>{std::string(kMakerHomePage), std::string(kMakerHomePage),
                                      std::string(kMakerMailLink)}));
}

TEST_F(AboutBoxTest, StartupBoxEndsItselfWithZeroAfterItsDelay) {
  CAboutBox box(nullptr, 1, 200ms);
  EXPECT_EQ(box.StartupFlag(), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunModal(box, [] {}), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(AboutBoxTest, MenuBoxWaitsForTheOperator) {
  CAboutBox box(nullptr, 0, 100ms);
  EXPECT_EQ(box.StartupFlag(), 0);
  EXPECT_EQ(RunModal(
                box, [] {}, 1s),
            testing::kWatchdogResult);
}

TEST_F(AboutBoxTest, EscapeAndTheCloseBoxEndIt) {
  CAboutBox escaped(nullptr, 0);
  const int byEscape = RunModal(escaped, [&] {
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    escape.SetEventObject(&escaped);
    escaped.GetEventHandler()->ProcessEvent(escape);
  });
  EXPECT_NE(byEscape, testing::kWatchdogResult);
  EXPECT_NE(byEscape, 0);

  CAboutBox closed(nullptr, 0);
  const int byCloseBox = RunModal(closed, [&] { closed.Close(); });
  EXPECT_NE(byCloseBox, testing::kWatchdogResult);
  EXPECT_NE(byCloseBox, 0);
}

TEST_F(AboutBoxTest, F1AsksForTheBoxHelpPageAndKeepsTheBoxOpen) {
  CAboutBox box(nullptr, 0);
  bool openAfterHelp = false;
  RunModal(box, [&] {
    wxKeyEvent f1(wxEVT_CHAR_HOOK);
    f1.m_keyCode = WXK_F1;
    f1.SetEventObject(&box);
    box.GetEventHandler()->ProcessEvent(f1);
    openAfterHelp = box.IsModal();
    box.EndModal(wxID_OK);
  });
  EXPECT_EQ(helpContexts, std::vector<int>{kAboutBoxHelpContext});
  EXPECT_EQ(kAboutBoxHelpContext, 131172);
  EXPECT_TRUE(openAfterHelp);
}

// Looks at the box that ShowAboutBox runs, then closes it.
testing::ExpectDialog<CAboutBox> InspectAboutBox(int* startupFlag) {
  return testing::ExpectDialog<CAboutBox>([startupFlag](CAboutBox& box) {
    *startupFlag = box.StartupFlag();
    return static_cast<int>(wxID_OK);
  });
}

TEST_F(AboutBoxTest, ShowAboutBoxRunsABoxModallyWithTheGivenFlag) {
  for (const std::uint8_t flag : {std::uint8_t{0}, std::uint8_t{1}}) {
    int seenFlag = -1;
    wxTEST_DIALOG(ShowAboutBox(nullptr, flag), InspectAboutBox(&seenFlag));
    EXPECT_EQ(seenFlag, flag);
  }
}

}  // namespace
}  // namespace kelvoran
