#include "ui/parts/art_look.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

namespace kelvoran {
namespace {

using Rgb = std::array<double, 3>;

constexpr std::size_t kHexColourLength = 7;  // "#rrggbb"

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const int lower = std::tolower(static_cast<unsigned char>(c));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

std::optional<Rgb> ParseHexColour(std::string_view text) {
  if (text.size() < kHexColourLength || text[0] != '#') return std::nullopt;
  // "#rrggbbaa" or a longer run of hex digits is no colour we know how to map.
  if (text.size() > kHexColourLength && HexDigit(text[kHexColourLength]) >= 0) return std::nullopt;
  Rgb rgb{};
  for (std::size_t channel = 0; channel < 3; ++channel) {
    const int high = HexDigit(text[1 + 2 * channel]);
    const int low = HexDigit(text[2 + 2 * channel]);
    if (high < 0 || low < 0) return std::nullopt;
    rgb[channel] = high * 16 + low;
  }
  return rgb;
}

// Greyed: the colour's luminance, washed out towards white so the disabled
// image recedes on a light toolbar while keeping its outline readable.
Rgb Disabled(const Rgb& rgb) {
  const double luminance = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
  const double grey = 255.0 - (255.0 - luminance) * 0.45;
  return {grey, grey, grey};
}

// Hot: a little lighter, as if lit by the pointer.
Rgb Hot(const Rgb& rgb) {
  Rgb lit{};
  for (std::size_t channel = 0; channel < 3; ++channel) {
    lit[channel] = rgb[channel] + (255.0 - rgb[channel]) * 0.22;
  }
  return lit;
}

std::string FormatHexColour(const Rgb& rgb) {
  std::array<char, kHexColourLength + 1> text{};
  auto channel = [&](std::size_t i) {
    return static_cast<unsigned>(std::lround(std::clamp(rgb[i], 0.0, 255.0)));
  };
  std::snprintf(text.data(), text.size(), "#%02x%02x%02x", channel(0), channel(1), channel(2));
  return std::string(text.data(), kHexColourLength);
}

}  // namespace

std::string RecolourSvg(std::string_view svg, ArtLook look) {
  if (look == ArtLook::Normal) return std::string(svg);
  std::string out;
  out.reserve(svg.size());
  std::size_t pos = 0;
  while (pos < svg.size()) {
    const std::optional<Rgb> colour = ParseHexColour(svg.substr(pos));
    if (!colour) {
      out.push_back(svg[pos++]);
      continue;
    }
    out += FormatHexColour(look == ArtLook::Disabled ? Disabled(*colour) : Hot(*colour));
    pos += kHexColourLength;
  }
  return out;
}

}  // namespace kelvoran
