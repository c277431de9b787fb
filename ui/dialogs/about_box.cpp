#include "ui/dialogs/about_box.h"

#include <wx/button.h>
#include <wx/hyperlink.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>

#include <string_view>

#include "ui/parts/art.h"
#include "ui/parts/help_request.h"
#include "ui/parts/links.h"

namespace kelvoran {
namespace {

constexpr char kTitle[] = "About Kelvoran";
constexpr char kNameAndVersion[] = "Kelvoran 2.2";
constexpr char kMakerName[] = "Brindlecot";
constexpr char kCloseText[] = "Close";

constexpr char kThanks[] =
    "Thank you for using Kelvoran. It pings the hosts on your list around the clock, keeps "
    "statistics for each of them, and sends a popup message to the people you name when a "
    "host stops answering.";
constexpr char kAboutMaker[] =
    "Kelvoran is made by Brindlecot, a small workshop that builds plain, dependable tools for "
    "the people who keep networks running. Visit our website for news and updates, or write "
    "to us with questions and ideas: we read every message.";

constexpr int kParagraphWidth = 400;
constexpr int kMargin = 14;
constexpr int kIconPixels = 48;

struct LinkRow {
  wxWindowID id;
  ToolbarImage image;
  const char* text;
  const char* description;
  std::string_view target;
};

constexpr LinkRow kLinkRows[] = {
    {kWebsiteRowLabelId, ToolbarImage::Website, "brindlecot.example", "News, updates and help",
     kMakerHomePage},
    {kMailRowLabelId, ToolbarImage::Email, "info@brindlecot.example",
     "Questions, ideas and bug reports", kMakerMailLink},
};

wxColour LinkColour() { return {0, 102, 255}; }

std::string_view LinkTarget(wxWindowID id) {
  if (id == kMakerLabelId) return kMakerHomePage;
  for (const LinkRow& row : kLinkRows) {
    if (row.id == id) return row.target;
  }
  return {};
}

wxStaticText* Paragraph(wxWindow* parent, const char* text, int width) {
  auto* paragraph = new wxStaticText(parent, wxID_ANY, text);
  paragraph->Wrap(width);
  return paragraph;
}

}  // namespace

CAboutBox::CAboutBox(wxWindow* owner, std::uint8_t startupFlag,
                     std::chrono::milliseconds closeDelay)
    : wxDialog(owner, wxID_ANY, kTitle),
      m_startupFlag(startupFlag),
      m_closeDelay(closeDelay),
      m_closeTimer(this) {
  SetIcons(AppIcons());
  BuildLayout();
  StyleLabels();
  Bind(wxEVT_SHOW, &CAboutBox::OnShow, this);
  Bind(wxEVT_TIMER, &CAboutBox::OnCloseTimer, this);
  Bind(wxEVT_HYPERLINK, &CAboutBox::OnLink, this);
  Bind(wxEVT_CHAR_HOOK, &CAboutBox::OnCharHook, this);
  if (wxWindow* close = FindWindow(wxID_OK)) close->SetFocus();
  CentreOnParent();
}

void CAboutBox::BuildLayout() {
  auto* names = new wxBoxSizer(wxVERTICAL);
  names->Add(new CLinkLabel(this, kVersionLabelId, kNameAndVersion));
  names->Add(new CLinkLabel(this, kMakerLabelId, kMakerName), 0, wxLEFT | wxTOP, FromDIP(6));

  auto* close = new wxButton(this, wxID_OK, kCloseText);
  close->SetDefault();

  auto* header = new wxBoxSizer(wxHORIZONTAL);
  header->Add(new wxStaticBitmap(this, wxID_ANY, AppIconBundle()), 0, wxALIGN_TOP);
  header->Add(names, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, FromDIP(kMargin));
  header->AddStretchSpacer();
  header->Add(close, 0, wxALIGN_TOP | wxLEFT, FromDIP(kMargin));

  auto* rows = new wxFlexGridSizer(3, FromDIP(wxSize(8, 6)));
  for (const LinkRow& row : kLinkRows) {
    rows->Add(new wxStaticBitmap(this, wxID_ANY, ToolbarBitmap(row.image)), 0,
              wxALIGN_CENTER_VERTICAL);
    rows->Add(new CLinkLabel(this, row.id, row.text), 0, wxALIGN_CENTER_VERTICAL);
    rows->Add(new wxStaticText(this, wxID_ANY, row.description), 0, wxALIGN_CENTER_VERTICAL);
  }

  const int width = FromDIP(kParagraphWidth);
  auto* content = new wxBoxSizer(wxVERTICAL);
  content->Add(header, 0, wxEXPAND);
  content->Add(Paragraph(this, kThanks, width), 0, wxTOP, FromDIP(18));
  content->Add(Paragraph(this, kAboutMaker, width), 0, wxTOP, FromDIP(10));
  content->AddStretchSpacer();
  content->Add(new wxStaticLine(this), 0, wxEXPAND | wxTOP | wxBOTTOM, FromDIP(10));
  content->Add(rows);

  auto* outer = new wxBoxSizer(wxHORIZONTAL);
  outer->Add(new wxStaticBitmap(this, wxID_ANY, AboutPicture()));
  outer->Add(content, 1, wxEXPAND | wxALL, FromDIP(kMargin));
  SetSizerAndFit(outer);
}

void CAboutBox::StyleLabels() {
  if (auto* version = dynamic_cast<CLinkLabel*>(FindWindow(kVersionLabelId))) {
    version->SetBold(true);
  }
  const wxCursor hand(wxCURSOR_HAND);
  for (const wxWindowID id : {kMakerLabelId, kWebsiteRowLabelId, kMailRowLabelId}) {
    if (auto* link = dynamic_cast<CLinkLabel*>(FindWindow(id))) {
      link->SetLink(true).SetLinkColor(LinkColour()).SetUnderline(true).SetBold(true);
      link->SetLinkCursor(hand);
    }
  }
  Fit();
}

void CAboutBox::OnShow(wxShowEvent& event) {
  event.Skip();
  if (event.IsShown() && m_startupFlag == 1)
    m_closeTimer.StartOnce(static_cast<int>(m_closeDelay.count()));
}

void CAboutBox::OnCloseTimer(wxTimerEvent& /*event*/) {
  if (IsModal()) {
    EndModal(0);
  } else {
    SetReturnCode(0);
    Hide();
  }
}

void CAboutBox::OnLink(wxCommandEvent& event) {
  const std::string_view target = LinkTarget(event.GetId());
  if (!target.empty()) OpenLink(target);
}

void CAboutBox::OnCharHook(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_F1 && !event.HasAnyModifiers()) {
    RequestHelp(kAboutBoxHelpContext);
    return;
  }
  event.Skip();
}

void ShowAboutBox(wxWindow* owner, std::uint8_t startupFlag) {
  CAboutBox box(owner, startupFlag);
  box.ShowModal();
}

}  // namespace kelvoran
