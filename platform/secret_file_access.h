#pragma once

#include <string>

#include "portable/file_result.h"

namespace kelvoran {

// What each system says about the secret file (secret_file.cpp keeps its
// text). Why the file must not be used because others may read it, or empty
// when only its owner can (or it does not exist yet).
std::string SecretFileExposure(const std::string& path);

// Creates the file empty, readable and writable by its owner only, when none
// is there; the atomic replacement keeps the mode of the file it replaces.
FileResult CreateOwnerOnlyFile(const std::string& path);

}  // namespace kelvoran
