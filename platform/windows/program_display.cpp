#include "platform/program_display.h"

#include <windows.h>

namespace kelvoran {

// Only the interactive window station (WinSta0) is visible; a service's
// station carries no WSF_VISIBLE and nothing drawn there is ever seen.
bool ProgramHasDisplay() {
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  const HWINSTA station = GetProcessWindowStation();
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed))
    return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace kelvoran
