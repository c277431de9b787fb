#pragma once

#include <wx/string.h>

namespace kelvoran {

// The one document of the program. It holds no data (the host list is the
// view's rows and the settings file) and is never modified; it only names the
// main window.
class CTessarelDoc {
 public:
  const wxString& GetTitle() const { return title_; }
  // The main window's caption: the document's title, " - ", the maker's web
  // address.
  wxString FrameCaption() const;

 private:
  wxString title_ = "Kelvoran by Brindlecot";
};

}  // namespace kelvoran
