// The secret file on Windows lives in the user's profile (AppData), whose
// folders' access lists let in only the user, SYSTEM and the administrators;
// a new file inherits that, so there is nothing to set or refuse here.
#include "platform/secret_file_access.h"

namespace kelvoran {

std::string SecretFileExposure(const std::string&) { return {}; }

FileResult CreateOwnerOnlyFile(const std::string&) { return {}; }

}  // namespace kelvoran
