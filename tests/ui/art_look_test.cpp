#include "ui/art_look.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kelvoran {
namespace {

using Rgb = std::array<int, 3>;

// Reads the "#rrggbb" colour that the recoloured text holds at its start.
Rgb ColourAt(const std::string& text) {
  EXPECT_EQ(text.size(), 7u);
  Rgb rgb{};
  for (std::size_t i = 0; i < 3; ++i) rgb[i] = std::stoi(text.substr(1 + 2 * i, 2), nullptr, 16);
  return rgb;
}

TEST(RecolourSvgTest, DisabledLookIsALighterGreyThatKeepsTheOrderOfDarkness) {
  const Rgb black = ColourAt(RecolourSvg("#000000", ArtLook::Disabled));
  const Rgb blue = ColourAt(RecolourSvg("#2C6CB5", ArtLook::Disabled));
  const Rgb green = ColourAt(RecolourSvg("#4fd46a", ArtLook::Disabled));
  const Rgb white = ColourAt(RecolourSvg("#ffffff", ArtLook::Disabled));
  for (const Rgb& grey : {black, blue, green, white}) {
    EXPECT_EQ(grey[0], grey[1]);
    EXPECT_EQ(grey[1], grey[2]);
  }
  // Black still reads as an outline, white stays white, and a darker colour
  // stays darker than a lighter one.
  EXPECT_GT(black[0], 100);
  EXPECT_LT(black[0], 180);
  EXPECT_EQ(white[0], 255);
  EXPECT_LT(black[0], blue[0]);
  EXPECT_LT(blue[0], green[0]);
  EXPECT_LT(green[0], white[0]);
}

TEST(RecolourSvgTest, ChangesOnlySixDigitColoursAndFindsOneAtTheEnd) {
  // References, short and eight-digit forms, a colour cut off at the end and
  // non-hex digits pass unchanged.
  const std::string text = R"(url(#g) #abc #11223344 #12345 #12g456 #)";
  EXPECT_EQ(RecolourSvg(text, ArtLook::Disabled), text);
  EXPECT_EQ(RecolourSvg("#17792F", ArtLook::Normal), "#17792F");
  const std::string recoloured = RecolourSvg(R"(<a fill="#000000"/>x#000000)", ArtLook::Hot);
  EXPECT_EQ(recoloured.substr(0, 9), R"(<a fill=")");
  EXPECT_EQ(recoloured.substr(16, 5), R"("/>x#)");
  EXPECT_NE(recoloured.substr(21), "000000");
  EXPECT_EQ(recoloured.size(), 27u);
}

}  // namespace
}  // namespace kelvoran
