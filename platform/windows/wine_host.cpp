#include "platform/windows/wine_host.h"

#include <windows.h>

namespace kelvoran {

// Wine's ntdll exports its version; that of Windows has no such entry point.
bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace kelvoran
