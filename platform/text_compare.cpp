#include "platform/text_compare.h"

#include <algorithm>

namespace kelvoran {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualIgnoringCase(std::string_view left, std::string_view right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
}

}  // namespace kelvoran
