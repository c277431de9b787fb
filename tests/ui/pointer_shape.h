#pragma once

#include <wx/window.h>

namespace kelvoran::testing {

// GDK's cursor types for the two pointers the tests look for.
inline constexpr int kHandPointer = 60;  // GDK_HAND2, wx's wxCURSOR_HAND on GTK
inline constexpr int kNoOwnPointer = -1;

// The pointer that GTK shows over the window: the GdkCursorType set on the
// window's own GdkWindow, or kNoOwnPointer when it inherits its parent's.
int PointerShapeOver(wxWindow& window);

}  // namespace kelvoran::testing
