#pragma once

#include "notify/messenger.h"

namespace kelvoran {

// Loads the messenger library and looks up its send entry point, a C function
// of the MessengerSend shape (WINAPI on Windows, where the system provides
// it). On Linux no such library ships, so normally nothing is found; a site
// that has a messenger gateway can provide one under that name.
MessengerEntry FindMessenger(const char* libraryName = MessengerLibraryName);

}  // namespace kelvoran
