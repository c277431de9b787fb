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

PixelCensus Census(const wxBitmapBundle& bundle, wxSize size) {
  const wxImage image = bundle.GetBitmap(size).ConvertToImage();
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

// The colour at the image's centre, where each status disc shows its mark.
wxColour CentreOf(const wxBitmapBundle& bundle, wxSize size) {
  const wxImage image = bundle.GetBitmap(size).ConvertToImage();
  const int x = size.x / 2, y = size.y / 2;
  return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
}

// Samples the disc just inside its rim, right of the mark.
wxColour RimOf(const wxBitmapBundle& bundle) {
  const wxImage image = bundle.GetBitmap(wxSize(32, 32)).ConvertToImage();
  return {image.GetRed(27, 16), image.GetGreen(27, 16), image.GetBlue(27, 16)};
}

void ExpectRendersAt(const wxBitmapBundle& bundle, wxSize size, const std::string& what) {
  SCOPED_TRACE(what + " at " + std::to_string(size.x) + "x" + std::to_string(size.y));
  ASSERT_TRUE(bundle.IsOk());
  const wxBitmap bitmap = bundle.GetBitmap(size);
  ASSERT_TRUE(bitmap.IsOk());
  EXPECT_EQ(bitmap.GetSize(), size);
  // Art drawn with transparency: a corner stays see-through on any background.
  EXPECT_TRUE(bitmap.HasAlpha());
  EXPECT_GT(Census(bundle, size).visible, size.x * size.y / 4);
}

TEST(ArtTest, EveryImageRendersCrispAtOneAndTwoTimesItsSize) {
  for (int index = 0; index < kStatusImageCount - 1; ++index) {
    for (const int pixels : {16, 32}) {
      ExpectRendersAt(StatusBitmap(index), {pixels, pixels}, "status " + std::to_string(index));
    }
  }
  for (int image = 0; image < kToolbarImageCount; ++image) {
    for (const ArtLook look : {ArtLook::Normal, ArtLook::Disabled, ArtLook::Hot}) {
      for (const int pixels : {16, 32}) {
        ExpectRendersAt(ToolbarBitmap(static_cast<ToolbarImage>(image), look), {pixels, pixels},
                        "toolbar " + std::to_string(image));
      }
    }
  }
  for (const int pixels : {16, 32, 48, 256}) {
    ExpectRendersAt(AppIconBundle(), {pixels, pixels}, "app icon");
  }
  EXPECT_EQ(AboutPicture().GetDefaultSize(), wxSize(140, 338));
  ExpectRendersAt(AboutPicture(), {140, 338}, "about picture");
  ExpectRendersAt(AboutPicture(), {280, 676}, "about picture");
}

TEST(ArtTest, StatusImagesShowTheirStatusColours) {
  const wxColour ok = RimOf(StatusBitmap(StatusImage::Ok));
  EXPECT_GT(ok.Green(), ok.Red() + 60);
  EXPECT_GT(ok.Green(), ok.Blue() + 60);
  const wxColour warning = RimOf(StatusBitmap(StatusImage::Warning));
  EXPECT_GT(warning.Red(), warning.Green());
  EXPECT_GT(warning.Green(), warning.Blue() + 60);
  const wxColour error = RimOf(StatusBitmap(StatusImage::Error));
  EXPECT_GT(error.Red(), error.Green() + 80);
  // Each mark sits in the centre: bright on warning, white on the cross.
  const wxColour warningCentre = CentreOf(StatusBitmap(StatusImage::Warning), {32, 32});
  EXPECT_GT(warningCentre.Blue(), warning.Blue() + 80);
  const wxColour cross = CentreOf(StatusBitmap(StatusImage::Error), {32, 32});
  EXPECT_GT(cross.Blue(), 200);
}

TEST(ArtTest, UnknownStatusesShowTheFullyTransparentImage) {
  EXPECT_EQ(StatusImageIndex(0), 0);
  EXPECT_EQ(StatusImageIndex(1), 1);
  EXPECT_EQ(StatusImageIndex(2), 2);
  for (const int odd : {-1, 3, 4, 1 << 30}) {
    EXPECT_EQ(StatusImageIndex(odd), 3) << odd;
    for (const int pixels : {16, 32}) {
      const wxBitmap bitmap = StatusBitmap(odd).GetBitmap(wxSize(pixels, pixels));
      ASSERT_TRUE(bitmap.IsOk());
      EXPECT_EQ(bitmap.GetSize(), wxSize(pixels, pixels));
      EXPECT_EQ(Census(StatusBitmap(odd), {pixels, pixels}).visible, 0) << odd;
    }
  }
}

TEST(ArtTest, DisabledToolbarImagesAreGreyAndHotOnesLighter) {
  for (int image = 0; image < kToolbarImageCount; ++image) {
    SCOPED_TRACE("toolbar image " + std::to_string(image));
    const auto tool = static_cast<ToolbarImage>(image);
    const PixelCensus normal = Census(ToolbarBitmap(tool), {32, 32});
    const PixelCensus disabled = Census(ToolbarBitmap(tool, ArtLook::Disabled), {32, 32});
    const PixelCensus hot = Census(ToolbarBitmap(tool, ArtLook::Hot), {32, 32});
    EXPECT_GT(normal.coloured, 0);
    EXPECT_EQ(disabled.coloured, 0);
    EXPECT_GT(hot.brightness, normal.brightness);
  }
}

TEST(ArtTest, AppIconsCoverTheDesktopSizes) {
  const wxIconBundle icons = AppIcons();
  for (const int pixels : {16, 24, 32, 48, 64, 128, 256}) {
    const wxIcon icon = icons.GetIconOfExactSize(wxSize(pixels, pixels));
    ASSERT_TRUE(icon.IsOk()) << pixels;
    EXPECT_EQ(icon.GetSize(), wxSize(pixels, pixels));
  }
}

}  // namespace
}  // namespace kelvoran
