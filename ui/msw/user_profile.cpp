#include "ui/main_window/user_profile.h"

#include <wx/config.h>
#include <wx/msw/regconf.h>

namespace kelvoran {

// HKEY_CURRENT_USER\Software\Brindlecot\Kelvoran by Brindlecot, one sub-key
// per group; wxRegConfig stores numbers as REG_DWORD. The machine-wide key
// is not read: nothing is installed there.
std::unique_ptr<wxConfigBase> OpenUserProfile() {
  return std::make_unique<wxRegConfig>("Kelvoran by Brindlecot", "Brindlecot", wxString(),
                                       wxString(), wxCONFIG_USE_LOCAL_FILE);
}

}  // namespace kelvoran
