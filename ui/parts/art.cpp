#include "ui/parts/art.h"

#include <array>
#include <string>
#include <string_view>

#include "ui/parts/embedded_art.h"

namespace kelvoran {
namespace {

const wxSize kSmallImageSize(16, 16);
const wxSize kAppIconSize(48, 48);
const wxSize kAboutPictureSize(140, 338);
constexpr std::array kAppIconPixels = {16, 24, 32, 48, 64, 128, 256};

constexpr std::array<std::string_view, kStatusImageCount> kStatusNames = {
    "status_ok", "status_warning", "status_error", "status_empty"};

constexpr std::array<std::string_view, kToolbarImageCount> kToolbarNames = {
    "tool_add_host", "tool_edit_host", "tool_delete_host", "tool_reset_results",
    "tool_website",  "tool_email",     "tool_about",       "tool_history"};

// nanosvg parses in place, so wx copies the text first; the std::string keeps
// the NUL terminator that FromSVG relies on.
wxBitmapBundle FromEmbeddedSvg(std::string_view name, wxSize size, ArtLook look = ArtLook::Normal) {
  const std::string text = RecolourSvg(EmbeddedSvg(name), look);
  if (text.empty()) return {};
  return wxBitmapBundle::FromSVG(text.c_str(), size);
}

}  // namespace

int StatusImageIndex(int status) {
  return status >= 0 && status < static_cast<int>(StatusImage::Empty)
             ? status
             : static_cast<int>(StatusImage::Empty);
}

wxBitmapBundle StatusBitmap(int index) {
  const auto slot = static_cast<std::size_t>(StatusImageIndex(index));
  return FromEmbeddedSvg(kStatusNames[slot], kSmallImageSize);
}

wxBitmapBundle StatusBitmap(StatusImage image) { return StatusBitmap(static_cast<int>(image)); }

wxBitmapBundle ToolbarBitmap(ToolbarImage image, ArtLook look) {
  const auto slot = static_cast<std::size_t>(image);
  if (slot >= kToolbarNames.size()) return {};
  return FromEmbeddedSvg(kToolbarNames[slot], kSmallImageSize, look);
}

wxBitmapBundle AppIconBundle() { return FromEmbeddedSvg("app_icon", kAppIconSize); }

wxIconBundle AppIcons() {
  const wxBitmapBundle bundle = AppIconBundle();
  wxIconBundle icons;
  for (const int pixels : kAppIconPixels) {
    wxIcon icon;
    icon.CopyFromBitmap(bundle.GetBitmap(wxSize(pixels, pixels)));
    icons.AddIcon(icon);
  }
  return icons;
}

wxBitmapBundle AboutPicture() { return FromEmbeddedSvg("about_picture", kAboutPictureSize); }

}  // namespace kelvoran
