// The monitor's 8-bit texts are UTF-8 on Linux, but a hand-edited settings
// file can hold any bytes: every well-formed UTF-8 sequence is its character,
// and every byte that is not part of one stands for its Latin-1 character.
#include "portable/ansi_text.h"

#include <cstddef>
#include <cstdint>

namespace kelvoran {
namespace {

struct Decoded {
  char32_t codePoint;
  std::size_t length;  // bytes taken from the text
};

std::uint8_t ByteAt(std::string_view text, std::size_t at) {
  return static_cast<std::uint8_t>(text[at]);
}

bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0u) == 0x80u; }

// The length a lead byte announces, or 0 for a byte that cannot lead.
std::size_t SequenceLength(std::uint8_t lead) {
  if (lead < 0x80u) return 1;
  if (lead >= 0xC2u && lead <= 0xDFu) return 2;
  if (lead >= 0xE0u && lead <= 0xEFu) return 3;
  if (lead >= 0xF0u && lead <= 0xF4u) return 4;
  return 0;
}

// Overlong forms, UTF-16 surrogates and values above U+10FFFF are malformed
// even when their continuation bytes look right.
bool IsWellFormed(char32_t codePoint, std::size_t length) {
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kSmallest[length]) return false;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
  return codePoint <= 0x10FFFF;
}

Decoded DecodeAt(std::string_view text, std::size_t at) {
  const std::uint8_t lead = ByteAt(text, at);
  const Decoded asLatin1{lead, 1};
  const std::size_t length = SequenceLength(lead);
  if (length <= 1 || at + length > text.size()) return asLatin1;
  static constexpr std::uint8_t kLeadBits[] = {0, 0, 0x1F, 0x0F, 0x07};
  char32_t codePoint = lead & kLeadBits[length];
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = ByteAt(text, at + i);
    if (!IsContinuation(next)) return asLatin1;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  if (!IsWellFormed(codePoint, length)) return asLatin1;
  return {codePoint, length};
}

template <typename Sink>
void ForEachCharacter(std::string_view text, Sink sink) {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded decoded = DecodeAt(text, at);
    sink(decoded.codePoint);
    at += decoded.length;
  }
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<char16_t>(codePoint));
    return;
  }
  const char32_t offset = codePoint - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (codePoint < 0x80) {
    put(codePoint);
  } else if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  } else {
    put(0xF0 | (codePoint >> 18));
    put(0x80 | ((codePoint >> 12) & 0x3F));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

std::u16string ToWide(std::string_view text) {
  std::u16string wide;
  // Never more UTF-16 units than bytes: a sequence of n bytes gives at most
  // n units, so this one reservation is enough.
  wide.reserve(text.size());
  ForEachCharacter(text, [&wide](char32_t codePoint) { AppendUtf16(wide, codePoint); });
  return wide;
}

std::string ToDisplayText(std::string_view text) {
  std::string display;
  display.reserve(text.size());
  ForEachCharacter(text, [&display](char32_t codePoint) { AppendUtf8(display, codePoint); });
  return display;
}

std::string ToUtf8Text(std::string_view text) { return std::string(text); }

std::string FromUtf8Text(std::string_view text) { return std::string(text); }

}  // namespace kelvoran
