#pragma once

#include <wx/control.h>
#include <wx/cursor.h>
#include <wx/font.h>

namespace kelvoran {

// A static text that can act as a link: drawn in its own colour and font on
// the dialog's background, with its own pointer. Once it is a link, pressing
// the left button anywhere in its rectangle sends a wxEVT_HYPERLINK event with
// the label's id to the parent; the parent decides what the link opens.
class CLinkLabel : public wxControl {
 public:
  CLinkLabel(wxWindow* parent, wxWindowID id, const wxString& text);

  // Each setter redraws the label at once and returns it, so calls chain.
  CLinkLabel& SetLink(bool link);
  CLinkLabel& SetLinkColor(const wxColour& colour);
  CLinkLabel& SetUnderline(bool underline);
  CLinkLabel& SetBold(bool bold);
  // The pointer shown over the label; an invalid cursor leaves the default.
  CLinkLabel& SetLinkCursor(const wxCursor& cursor);

  bool IsLink() const { return m_link; }
  const wxColour& LinkColor() const { return m_textColour; }
  const wxFont& LabelFont() const { return m_font; }
  const wxCursor& LinkCursor() const { return m_linkCursor; }

  void SetLabel(const wxString& label) override;
  bool AcceptsFocus() const override { return false; }

 protected:
  wxSize DoGetBestClientSize() const override;

 private:
  void ApplyFont();
  void Redraw();
  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);

  wxColour m_textColour;
  wxFont m_font;
  bool m_link = false;
  wxCursor m_linkCursor;
};

}  // namespace kelvoran
