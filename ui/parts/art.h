#pragma once

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

#include "ui/parts/art_look.h"

namespace kelvoran {

// The host list's row images, by image index.
enum class StatusImage { Ok, Warning, Error, Empty };
inline constexpr int kStatusImageCount = 4;

// The image index shown for a host status: 0 OK, 1 WARNING and 2 ERROR show
// their own image, any other value the empty one.
int StatusImageIndex(int status);

// The row image of an image index (0 to 3); any other index gives the empty
// image. 16 x 16 at 1x.
wxBitmapBundle StatusBitmap(int index);
wxBitmapBundle StatusBitmap(StatusImage image);

// The seven toolbar images, in toolbar order. 16 x 16 at 1x.
enum class ToolbarImage {
  AddHost,
  EditHost,
  DeleteHost,
  ResetResults,
  Website,
  Email,
  About,
  History
};
inline constexpr int kToolbarImageCount = 8;

wxBitmapBundle ToolbarBitmap(ToolbarImage image, ArtLook look = ArtLook::Normal);

// The application icon: 48 x 48 at 1x, drawn for any size up to 256 x 256.
wxBitmapBundle AppIconBundle();
// The application icon at the sizes desktops ask for (16 to 256 pixels).
wxIconBundle AppIcons();

// The About box's tall picture, 140 x 338 at 1x.
wxBitmapBundle AboutPicture();

}  // namespace kelvoran
