#include "ui/art.h"

#include <gtest/gtest.h>
#include <wx/image.h>

#include <string>

namespace kelvoran {
namespace {

// How many pixels of the image at this size are not wholly transparent.
int VisiblePixels(const wxBitmapBundle& bundle, int pixels) {
  const wxImage image = bundle.GetBitmap(wxSize(pixels, pixels)).ConvertToImage();
  int visible = 0;
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x)
      visible += !image.HasAlpha() || image.GetAlpha(x, y) != 0;
  return visible;
}

// The colour at a point of the status image's 32x32 rendering.
wxColour PixelAt(StatusImage status, int x, int y) {
  const wxImage image = StatusBitmap(status).GetBitmap(wxSize(32, 32)).ConvertToImage();
  return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
}

// A status shows as its colour, which the operator reads at a glance: green
// OK, amber WARNING, red ERROR; a status the list does not know shows nothing
// rather than another's colour.
TEST(ArtTest, StatusImagesShowTheirColoursAndUnknownStatusesNothing) {
  // Sampled just inside the rim, right of the mark, and at the centre.
  const wxColour ok = PixelAt(StatusImage::Ok, 27, 16),
                 warning = PixelAt(StatusImage::Warning, 27, 16),
                 error = PixelAt(StatusImage::Error, 27, 16);
  EXPECT_GT(ok.Green(), std::max(ok.Red(), ok.Blue()) + 60);
  EXPECT_GT(warning.Red(), warning.Green());
  EXPECT_GT(warning.Green(), warning.Blue() + 60);
  EXPECT_GT(error.Red(), error.Green() + 80);
  EXPECT_GT(PixelAt(StatusImage::Warning, 16, 16).Blue(), warning.Blue() + 80) << "bright centre";
  EXPECT_GT(PixelAt(StatusImage::Error, 16, 16).Blue(), 200) << "white cross";
  for (const int status : {0, 1, 2, -1, 3, 4, 1 << 30}) {
    EXPECT_EQ(StatusImageIndex(status), status >= 0 && status <= 2 ? status : 3) << status;
    if (status >= 0 && status <= 2) continue;
    for (const int pixels : {16, 32}) {
      EXPECT_EQ(StatusBitmap(status).GetBitmap(wxSize(pixels, pixels)).GetSize(),
                wxSize(pixels, pixels));
      EXPECT_EQ(VisiblePixels(StatusBitmap(status), pixels), 0) << status;
    }
  }
}

}  // namespace
}  // namespace kelvoran
