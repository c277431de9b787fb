#include "portable/text_compare.h"

#include <algorithm>

namespace kelvoran {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string FoldAscii(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) { return FoldAscii(c); });
  return folded;
}

bool EqualIgnoringCase(std::string_view left, std::string_view right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
}

int CompareIgnoringCase(std::string_view left, std::string_view right) {
  const auto byte = [](char c) { return static_cast<unsigned char>(FoldAscii(c)); };
  const auto [l, r] = std::mismatch(left.begin(), left.end(), right.begin(), right.end(),
                                    [&](char a, char b) { return byte(a) == byte(b); });
  if (l != left.end() && r != right.end()) return byte(*l) < byte(*r) ? -1 : 1;
  if (left.size() == right.size()) return 0;
  return left.size() < right.size() ? -1 : 1;
}

}  // namespace kelvoran
