#include "ui/art_look.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvoran {
namespace {

// The grey level of the "#rrggbb" colour that the recoloured text holds,
// or -1 when red, green and blue differ.
int GreyOf(const std::string& colour) {
  const std::string text = RecolourSvg(colour, ArtLook::Disabled);
  EXPECT_EQ(text.size(), 7u) << colour;
  const int red = std::stoi(text.substr(1, 2), nullptr, 16);
  return text.substr(1, 2) == text.substr(3, 2) && text.substr(3, 2) == text.substr(5, 2) ? red
                                                                                          : -1;
}

TEST(RecolourSvgTest, DisabledLookIsALighterGreyThatKeepsTheOrderOfDarkness) {
  const int black = GreyOf("#000000"), blue = GreyOf("#2C6CB5"), green = GreyOf("#4fd46a");
  // Black still reads as an outline, white stays white, and a darker colour
  // stays darker than a lighter one.
  EXPECT_GT(black, 100);
  EXPECT_LT(black, 180);
  EXPECT_LT(black, blue);
  EXPECT_LT(blue, green);
  EXPECT_LT(green, GreyOf("#ffffff"));
  EXPECT_EQ(GreyOf("#ffffff"), 255);
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
