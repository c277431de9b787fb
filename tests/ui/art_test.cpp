#include "ui/parts/art.h"

#include <gtest/gtest.h>
#include <wx/image.h>

namespace kelvoran {
namespace {

// A status shows as its colour, which the operator reads at a glance: green
// OK, amber WARNING, red ERROR, sampled just inside the rim of the 32x32
// rendering; a status the list does not know shows nothing rather than
// another's colour.
TEST(ArtTest, StatusImagesShowTheirColoursAndUnknownStatusesNothing) {
  const auto rim = [](StatusImage status) {
    const wxImage image = StatusBitmap(status).GetBitmap(wxSize(32, 32)).ConvertToImage();
    return wxColour(image.GetRed(27, 16), image.GetGreen(27, 16), image.GetBlue(27, 16));
  };
  const wxColour ok = rim(StatusImage::Ok), warning = rim(StatusImage::Warning),
                 error = rim(StatusImage::Error);
  EXPECT_GT(ok.Green(), std::max(ok.Red(), ok.Blue()) + 60);
  EXPECT_GT(warning.Red(), warning.Green());
  EXPECT_GT(warning.Green(), warning.Blue() + 60);
  EXPECT_GT(error.Red(), error.Green() + 80);
  for (const int status : {0, 1, 2, -1, 3, 4, 1 << 30}) {
    EXPECT_EQ(StatusImageIndex(status), status >= 0 && status <= 2 ? status : 3) << status;
    if (status >= 0 && status <= 2) continue;
    const wxImage image = StatusBitmap(status).GetBitmap(wxSize(16, 16)).ConvertToImage();
    ASSERT_TRUE(image.HasAlpha());
    for (int y = 0; y < image.GetHeight(); ++y)
      for (int x = 0; x < image.GetWidth(); ++x) EXPECT_EQ(image.GetAlpha(x, y), 0) << status;
  }
}

}  // namespace
}  // namespace kelvoran
