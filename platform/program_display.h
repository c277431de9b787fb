#pragma once

namespace kelvoran {

// Whether the program runs where a person can see its windows: on Linux a
// display server is named (DISPLAY or WAYLAND_DISPLAY); on Windows its window
// station is the interactive one, not the invisible station of a service.
bool ProgramHasDisplay();

}  // namespace kelvoran
