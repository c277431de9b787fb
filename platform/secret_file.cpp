// The secret file: one "name=value" line per channel, the name escaped and
// the value in hexadecimal, so that any bytes round-trip and a line break in
// a name or secret cannot forge another line. Lines it cannot read are kept
// as they are, so that a hand edit gone wrong loses nothing else.
#include <algorithm>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/secret_file_access.h"
#include "platform/secret_store.h"
#include "portable/atomic_file.h"

namespace kelvoran {
namespace {

constexpr std::string_view kHeader =
    "# Kelvoran alert channel secrets: keep this file readable by its owner only.";
constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHex(std::string& out, unsigned char byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xf];
}

// Two hex digits at `text`, or nothing.
std::optional<char> HexByte(std::string_view text) {
  if (text.size() < 2 || HexValue(text[0]) < 0 || HexValue(text[1]) < 0) return std::nullopt;
  return static_cast<char>(HexValue(text[0]) * 16 + HexValue(text[1]));
}

// "%XX" for what would end or hide the name: '%', '=', '#', control bytes.
std::string EscapedName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '%' || c == '=' || c == '#') {
      out += '%';
      AppendHex(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapedName(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      name += text[i];
      continue;
    }
    const auto byte = HexByte(text.substr(i + 1));
    if (!byte) return std::nullopt;
    name += *byte;
    i += 2;
  }
  return name;
}

std::optional<std::string> DecodedValue(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string value;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const auto byte = HexByte(hex.substr(i));
    if (!byte) return std::nullopt;
    value += *byte;
  }
  return value;
}

// One line of the file: an entry, or a line kept as it was (comments, blank
// lines, lines that do not read as an entry).
struct Line {
  std::optional<std::string> name;
  std::string value;
  std::string text;
};

Line ParseLine(std::string_view text) {
  const auto equals = text.find('=');
  if (!text.empty() && text.front() != '#' && equals != std::string_view::npos) {
    auto name = UnescapedName(text.substr(0, equals));
    auto value = DecodedValue(text.substr(equals + 1));
    if (name && value) return {std::move(name), std::move(*value), {}};
  }
  return {std::nullopt, {}, std::string(text)};
}

std::vector<Line> ParseFile(std::string_view contents) {
  std::vector<Line> lines;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    std::string_view text = contents.substr(0, end);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    lines.push_back(ParseLine(text));
    contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
  }
  return lines;
}

std::string FormatFile(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& line : lines) {
    if (line.name) {
      out += EscapedName(*line.name);
      out += '=';
      for (const char c : line.value) AppendHex(out, static_cast<unsigned char>(c));
    } else {
      out += line.text;
    }
    out += '\n';
  }
  return out;
}

class SecretFile final : public SecretStore {
 public:
  explicit SecretFile(std::string path) : path_(std::move(path)) {}

  std::string Where() const override { return path_; }

  std::optional<std::string> Read(const std::string& channel) override {
    const std::lock_guard lock(mutex_);
    std::vector<Line> lines;
    if (!Load(lines).empty()) return std::nullopt;
    const auto entry = Find(lines, channel);
    if (entry == lines.end()) return std::nullopt;
    return entry->value;
  }

  bool Write(const std::string& channel, const std::string& secret, std::string& error) override {
    const std::lock_guard lock(mutex_);
    if (const FileResult created = CreateOwnerOnlyFile(path_); !created.ok()) {
      error = created.error;
      return false;
    }
    std::vector<Line> lines;
    error = Load(lines);
    if (!error.empty()) return false;
    const auto entry = Find(lines, channel);
    if (entry != lines.end()) {
      entry->value = secret;
    } else {
      if (lines.empty()) lines.push_back(ParseLine(kHeader));
      lines.push_back({channel, secret, {}});
    }
    error = ReplaceFileAtomically(path_, FormatFile(lines)).error;
    return error.empty();
  }

  void Erase(const std::string& channel) override {
    const std::lock_guard lock(mutex_);
    std::vector<Line> lines;
    if (!Load(lines).empty()) return;
    const auto kept = std::remove_if(lines.begin(), lines.end(),
                                     [&](const Line& line) { return line.name == channel; });
    if (kept == lines.end()) return;
    lines.erase(kept, lines.end());
    static_cast<void>(ReplaceFileAtomically(path_, FormatFile(lines)));
  }

 private:
  // Reads and parses the file (none there: no lines); returns the error.
  std::string Load(std::vector<Line>& lines) const {
    if (std::string exposure = SecretFileExposure(path_); !exposure.empty()) return exposure;
    std::optional<std::string> contents;
    if (const FileResult read = ReadWholeFile(path_, contents); !read.ok()) return read.error;
    lines = ParseFile(contents.value_or(std::string()));
    return {};
  }

  static std::vector<Line>::iterator Find(std::vector<Line>& lines, const std::string& channel) {
    return std::find_if(lines.begin(), lines.end(),
                        [&](const Line& line) { return line.name == channel; });
  }

  std::string path_;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<SecretStore> OpenSecretFile(const std::string& path) {
  return std::make_unique<SecretFile>(path);
}

}  // namespace kelvoran
