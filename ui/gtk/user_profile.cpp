#include "ui/main_window/user_profile.h"

#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>

namespace kelvoran {

// A file in the user's configuration folder:
// $XDG_CONFIG_HOME/Brindlecot/Kelvoran by Brindlecot.conf.
std::unique_ptr<wxConfigBase> OpenUserProfile() {
  wxStandardPaths::Get().SetFileLayout(wxStandardPaths::FileLayout_XDG);
  wxFileName file(wxStandardPaths::Get().GetUserConfigDir(), "Kelvoran by Brindlecot.conf");
  file.AppendDir("Brindlecot");
  // wxFileConfig does not create missing folders.
  file.Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
  return std::make_unique<wxFileConfig>("Kelvoran by Brindlecot", "Brindlecot", file.GetFullPath(),
                                        wxString(), wxCONFIG_USE_LOCAL_FILE);
}

}  // namespace kelvoran
