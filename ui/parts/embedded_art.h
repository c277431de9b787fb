#pragma once

#include <string_view>

namespace kelvoran {

// The text of res/<name>.svg as built into the program, or an empty view when
// no such file was embedded. The text is NUL-terminated.
std::string_view EmbeddedSvg(std::string_view name);

}  // namespace kelvoran
