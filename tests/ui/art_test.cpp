#include "ui/art.h"

#include <gtest/gtest.h>
#include <wx/image.h>

#include <string>

namespace kelvoran {
namespace {

struct PixelCensus {
  int visible = 0;   // alpha > 0
  int coloured = 0;  // visible and clearly not grey
  long brightness = 0;
};

PixelCensus Census(const wxBitmapBundle& bundle, int width, int height = 0) {
  const wxImage image = bundle.GetBitmap(wxSize(width, height ? height : width)).ConvertToImage();
  PixelCensus census;
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      if (image.HasAlpha() && image.GetAlpha(x, y) == 0) continue;
      const int r = image.GetRed(x, y), g = image.GetGreen(x, y), b = image.GetBlue(x, y);
      ++census.visible;
      census.brightness += r + g + b;
      if (std::max({r, g, b}) - std::min({r, g, b}) > 24) ++census.coloured;
    }
  }
  return census;
}

// The colour at a point of the status image's 32x32 rendering.
wxColour PixelAt(StatusImage status, int x, int y) {
  const wxImage image = StatusBitmap(status).GetBitmap(wxSize(32, 32)).ConvertToImage();
  return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
}

void ExpectRendersAt(const wxBitmapBundle& bundle, wxSize size, const std::string& what) {
  SCOPED_TRACE(what + " at " + std::to_string(size.x) + "x" + std::to_string(size.y));
  ASSERT_TRUE(bundle.IsOk());
  const wxBitmap bitmap = bundle.GetBitmap(size);
  ASSERT_TRUE(bitmap.IsOk());
  EXPECT_EQ(bitmap.GetSize(), size);
  // Art drawn with transparency: a corner stays see-through on any background.
  EXPECT_TRUE(bitmap.HasAlpha());
  EXPECT_GT(Census(bundle, size.x, size.y).visible, size.x * size.y / 4);
}

TEST(ArtTest, EveryImageRendersCrispAtOneAndTwoTimesItsSize) {
  for (const int pixels : {16, 32}) {
    for (int index = 0; index < kStatusImageCount - 1; ++index)
      ExpectRendersAt(StatusBitmap(index), {pixels, pixels}, "status " + std::to_string(index));
    for (int image = 0; image < kToolbarImageCount; ++image)
      for (const ArtLook look : {ArtLook::Normal, ArtLook::Disabled, ArtLook::Hot})
        ExpectRendersAt(ToolbarBitmap(static_cast<ToolbarImage>(image), look), {pixels, pixels},
                        "toolbar " + std::to_string(image));
  }
  // Disabled toolbar images are grey, hot ones lighter.
  for (int image = 0; image < kToolbarImageCount; ++image) {
    const auto tool = static_cast<ToolbarImage>(image);
    const PixelCensus normal = Census(ToolbarBitmap(tool), 32);
    EXPECT_GT(normal.coloured, 0) << image;
    EXPECT_EQ(Census(ToolbarBitmap(tool, ArtLook::Disabled), 32).coloured, 0) << image;
    EXPECT_GT(Census(ToolbarBitmap(tool, ArtLook::Hot), 32).brightness, normal.brightness) << image;
  }
  for (const int pixels : {16, 32, 48, 256})
    ExpectRendersAt(AppIconBundle(), {pixels, pixels}, "app icon");
  const wxIconBundle icons = AppIcons();
  for (const int pixels : {16, 24, 32, 48, 64, 128, 256})
    EXPECT_EQ(icons.GetIconOfExactSize(wxSize(pixels, pixels)).GetSize(), wxSize(pixels, pixels));
  EXPECT_EQ(AboutPicture().GetDefaultSize(), wxSize(140, 338));
  ExpectRendersAt(AboutPicture(), {140, 338}, "about picture");
  ExpectRendersAt(AboutPicture(), {280, 676}, "about picture");
}

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
      EXPECT_EQ(Census(StatusBitmap(status), pixels).visible, 0) << status;
    }
  }
}

}  // namespace
}  // namespace kelvoran
