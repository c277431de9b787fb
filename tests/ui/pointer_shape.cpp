#include "tests/ui/pointer_shape.h"

#include <dlfcn.h>

namespace kelvoran::testing {
namespace {

// The GTK functions are looked up in the already loaded toolkit, so the tests
// need no GTK development headers.
template <typename Function>
Function Lookup(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

int PointerShapeOver(wxWindow& window) {
  using GetWindow = void* (*)(void*);
  using GetCursor = void* (*)(void*);
  using GetCursorType = int (*)(void*);
  const auto getWindow = Lookup<GetWindow>("gtk_widget_get_window");
  const auto getCursor = Lookup<GetCursor>("gdk_window_get_cursor");
  const auto getType = Lookup<GetCursorType>("gdk_cursor_get_cursor_type");
  if (!getWindow || !getCursor || !getType) return kNoOwnPointer;
  void* gdkWindow = getWindow(window.GetHandle());
  void* cursor = gdkWindow ? getCursor(gdkWindow) : nullptr;
  return cursor ? getType(cursor) : kNoOwnPointer;
}

}  // namespace kelvoran::testing
