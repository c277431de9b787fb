#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// How a toolbar image is drawn: as it is, greyed for a disabled command, or
// lightened while the pointer rests on its button.
enum class ArtLook { Normal, Disabled, Hot };

// Returns the SVG text with every "#rrggbb" colour turned into the given look.
// Shapes, sizes and opacities stay as they are, so the look scales as crisply
// as the original. Text without such colours comes back unchanged.
std::string RecolourSvg(std::string_view svg, ArtLook look);

}  // namespace kelvoran
