#include "ui/parts/link_label.h"

#include <wx/dcclient.h>
#include <wx/hyperlink.h>
#include <wx/settings.h>

namespace kelvoran {

CLinkLabel::CLinkLabel(wxWindow* parent, wxWindowID id, const wxString& text)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE),
      m_textColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT)),
      m_font(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT)) {
  wxControl::SetLabel(text);
  SetFont(m_font);
  SetForegroundColour(m_textColour);
  Bind(wxEVT_PAINT, &CLinkLabel::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &CLinkLabel::OnLeftDown, this);
  SetInitialSize();
}

CLinkLabel& CLinkLabel::SetLink(bool link) {
  m_link = link;
  return *this;
}

CLinkLabel& CLinkLabel::SetLinkColor(const wxColour& colour) {
  m_textColour = colour;
  SetForegroundColour(colour);
  Redraw();
  return *this;
}

CLinkLabel& CLinkLabel::SetUnderline(bool underline) {
  m_font.SetUnderlined(underline);
  ApplyFont();
  return *this;
}

CLinkLabel& CLinkLabel::SetBold(bool bold) {
  m_font.SetWeight(bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
  ApplyFont();
  return *this;
}

CLinkLabel& CLinkLabel::SetLinkCursor(const wxCursor& cursor) {
  m_linkCursor = cursor;
  SetCursor(cursor);
  return *this;
}

void CLinkLabel::SetLabel(const wxString& label) {
  wxControl::SetLabel(label);
  InvalidateBestSize();
  Redraw();
}

wxSize CLinkLabel::DoGetBestClientSize() const {
  int width = 0;
  int height = 0;
  GetTextExtent(GetLabelText(), &width, &height, nullptr, nullptr, &m_font);
  return {width, height};
}

// A bold font is wider: the label grows to keep its whole text visible.
void CLinkLabel::ApplyFont() {
  SetFont(m_font);
  InvalidateBestSize();
  SetMinSize(wxDefaultSize);
  SetInitialSize();
  if (GetParent() && GetParent()->GetSizer()) GetParent()->Layout();
  Redraw();
}

void CLinkLabel::Redraw() {
  Refresh();
  Update();
}

void CLinkLabel::OnPaint(wxPaintEvent& /*event*/) {
  wxPaintDC dc(this);
  dc.SetFont(m_font);
  dc.SetTextForeground(m_textColour);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  const wxSize text = dc.GetTextExtent(GetLabelText());
  dc.DrawText(GetLabelText(), 0, (GetClientSize().y - text.y) / 2);
}

void CLinkLabel::OnLeftDown(wxMouseEvent& event) {
  event.Skip();
  if (!m_link) return;
  wxHyperlinkEvent click(this, GetId(), wxString());
  GetEventHandler()->ProcessEvent(click);
}

}  // namespace kelvoran
