#include "portable/profile_text.h"

#include <algorithm>
#include <cstring>

#include "portable/text_compare.h"

namespace kelvoran {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One blank for every line break (CRLF counted once) and every zero byte.
std::string Sanitized(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
  }
  return out;
}

std::string NormalName(std::string_view name) { return std::string(Trim(Sanitized(name))); }

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::size_t LineEndLength(std::string_view raw) {
  if (raw.ends_with("\r\n")) return 2;
  return !raw.empty() && (raw.back() == '\n' || raw.back() == '\r') ? 1 : 0;
}

// Finds where each line ends. memchr does the scanning; the next LF is
// remembered, so a file of CR-only line ends is not scanned again per line.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view bytes) : bytes_(bytes) {
    nextLf_ = Find('\n', 0, bytes_.size());
  }
  // The start of the line after the one at `begin`, its line end included.
  std::size_t NextLineStart(std::size_t begin) {
    if (nextLf_ < begin) nextLf_ = Find('\n', begin, bytes_.size());
    const std::size_t end = Find('\r', begin, nextLf_);
    if (end == bytes_.size()) return end;
    const bool crlf = bytes_[end] == '\r' && end + 1 < bytes_.size() && bytes_[end + 1] == '\n';
    return end + (crlf ? 2 : 1);
  }

 private:
  // The position of `c` in [from, to), or `to`.
  std::size_t Find(char c, std::size_t from, std::size_t to) const {
    const void* found = std::memchr(bytes_.data() + from, c, to - from);
    return found == nullptr
               ? to
               : static_cast<std::size_t>(static_cast<const char*>(found) - bytes_.data());
  }

  std::string_view bytes_;
  std::size_t nextLf_ = 0;
};

std::uint32_t OffsetIn(std::string_view whole, std::string_view part) {
  return static_cast<std::uint32_t>(part.data() - whole.data());
}

}  // namespace

std::string_view ProfileText::Raw(const Line& line) const {
  return std::string_view(chunks_[line.chunk]).substr(line.begin, line.length);
}

std::string_view ProfileText::Name(const Line& line) const {
  return Raw(line).substr(line.nameBegin, line.nameLength);
}

std::string_view ProfileText::Value(const Line& line) const {
  return Raw(line).substr(line.valueBegin, line.valueLength);
}

ProfileText ProfileText::Parse(std::string bytes) {
  ProfileText text;
  text.chunks_.push_back(std::move(bytes));
  const std::string_view whole = text.chunks_.front();
  LineSplitter splitter(whole);
  for (std::size_t begin = 0; begin < whole.size();) {
    const std::size_t next = splitter.NextLineStart(begin);
    Line line;
    line.begin = static_cast<std::uint32_t>(begin);
    line.length = static_cast<std::uint32_t>(next - begin);
    text.lines_.push_back(text.Classify(line, begin == 0));
    begin = next;
  }
  if (!text.lines_.empty() && LineEndLength(text.Raw(text.lines_.front())) != 0) {
    const std::string_view first = text.Raw(text.lines_.front());
    text.lineEnd_ = std::string(first.substr(first.size() - LineEndLength(first)));
  }
  text.BuildIndex();
  return text;
}

ProfileText::Line ProfileText::MakeLine(std::string raw, bool atFileStart) {
  Line line;
  line.chunk = static_cast<std::uint32_t>(chunks_.size());
  line.length = static_cast<std::uint32_t>(raw.size());
  chunks_.push_back(std::move(raw));
  return Classify(line, atFileStart);
}

ProfileText::Line ProfileText::Classify(Line line, bool atFileStart) const {
  const std::string_view whole = Raw(line);
  std::string_view content = whole.substr(0, whole.size() - LineEndLength(whole));
  if (atFileStart && content.starts_with(kByteOrderMark)) content.remove_prefix(3);
  const std::string_view body = Trim(content);
  if (body.empty()) {
    line.kind = Kind::Blank;
  } else if (body.front() == ';') {
    line.kind = Kind::Comment;
  } else if (body.front() == '[') {
    // rfind gives npos when there is no ']', and npos - 1 still means "to the end".
    const std::size_t close = body.rfind(']');
    const std::string_view name = Trim(body.substr(1, close - 1));
    line.kind = Kind::Section;
    line.nameBegin = OffsetIn(whole, name);
    line.nameLength = static_cast<std::uint32_t>(name.size());
  } else if (const std::size_t equals = body.find('=');
             equals != std::string_view::npos && !Trim(body.substr(0, equals)).empty()) {
    const std::string_view name = Trim(body.substr(0, equals));
    const std::string_view value = Unquoted(Trim(body.substr(equals + 1)));
    line.kind = Kind::Key;
    line.nameBegin = OffsetIn(whole, name);
    line.nameLength = static_cast<std::uint32_t>(name.size());
    line.valueBegin = OffsetIn(whole, value);
    line.valueLength = static_cast<std::uint32_t>(value.size());
  }
  return line;
}

std::string ProfileText::Serialize() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.length;
  std::string out;
  out.reserve(size);
  for (const Line& line : lines_) out.append(Raw(line));
  return out;
}

void ProfileText::BuildIndex() {
  sections_.clear();
  firstSection_.clear();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != Kind::Section) continue;
    if (!sections_.empty()) sections_.back().end = i;
    sections_.push_back({i, lines_.size()});
    firstSection_.emplace(FoldAscii(Name(lines_[i])), sections_.size() - 1);
  }
}

bool ProfileText::SameSectionName(std::string_view a, std::string_view b) {
  return EqualIgnoringCase(NormalName(a), NormalName(b));
}

std::string ProfileText::SectionKey(std::string_view name) { return FoldAscii(NormalName(name)); }

std::vector<std::string_view> ProfileText::SectionNames() const {
  std::vector<std::string_view> names;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const std::string_view name = Name(lines_[sections_[s].header]);
    if (name.empty() || name.find('\0') != std::string_view::npos) continue;
    if (firstSection_.at(FoldAscii(name)) == s) names.push_back(name);
  }
  return names;
}

std::optional<std::size_t> ProfileText::FindSection(std::string_view normalName) const {
  const auto found = firstSection_.find(FoldAscii(normalName));
  if (found == firstSection_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::size_t> ProfileText::FindKey(const Section& section,
                                                std::string_view normalKey) const {
  for (std::size_t i = section.header + 1; i < section.end; ++i)
    if (lines_[i].kind == Kind::Key && EqualIgnoringCase(Name(lines_[i]), normalKey)) return i;
  return std::nullopt;
}

std::optional<std::string_view> ProfileText::FindValue(std::string_view section,
                                                       std::string_view key) const {
  const auto s = FindSection(NormalName(section));
  if (!s) return std::nullopt;
  const auto line = FindKey(sections_[*s], NormalName(key));
  if (!line) return std::nullopt;
  return Value(lines_[*line]);
}

bool ProfileText::IsWritableKey(std::string_view key) {
  const std::string name = NormalName(key);
  return !name.empty() && name.find('=') == std::string::npos && name.front() != '[' &&
         name.front() != ';';
}

std::size_t ProfileText::LastKeyOrHeader(const Section& section) const {
  for (std::size_t i = section.end; i > section.header + 1; --i)
    if (lines_[i - 1].kind == Kind::Key) return i - 1;
  return section.header;
}

void ProfileText::EnsureLineEnd(std::size_t index) {
  const std::string_view raw = Raw(lines_[index]);
  if (LineEndLength(raw) == 0) lines_[index] = MakeLine(std::string(raw) + lineEnd_, index == 0);
}

void ProfileText::InsertLine(std::size_t index, const std::string& content) {
  if (index > 0) EnsureLineEnd(index - 1);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                MakeLine(content + lineEnd_, index == 0));
  MoveSections(index, 1);
}

void ProfileText::MoveSections(std::size_t from, std::ptrdiff_t by) {
  const auto moved = [by](std::size_t line) {
    return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(line) + by);
  };
  // Sections stand in file order, so their ends rise: only those from the
  // first one that ends at or below `from` can move. An import appends at the
  // end of the file, and then moves one section, not every one.
  const auto first = std::partition_point(sections_.begin(), sections_.end(),
                                          [from](const Section& s) { return s.end < from; });
  for (auto section = first; section != sections_.end(); ++section) {
    if (section->header >= from) section->header = moved(section->header);
    section->end = moved(section->end);
  }
}

std::size_t ProfileText::SectionForWrite(const std::string& normalName) {
  if (const auto found = FindSection(normalName)) return *found;
  const std::size_t header = lines_.size();
  if (header > 0) EnsureLineEnd(header - 1);
  lines_.push_back(MakeLine("[" + normalName + "]" + lineEnd_, header == 0));
  sections_.push_back({header, header + 1});
  firstSection_.emplace(FoldAscii(normalName), sections_.size() - 1);
  return sections_.size() - 1;
}

void ProfileText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  const std::string normalKey = NormalName(key);
  const Section span = sections_[SectionForWrite(NormalName(section))];
  if (const auto found = FindKey(span, normalKey)) {
    // The line keeps the key's spelling as found, and its line end.
    const std::string_view old = Raw(lines_[*found]);
    const std::string content = std::string(Name(lines_[*found])) + "=" + Sanitized(value);
    lines_[*found] =
        MakeLine(content + std::string(old.substr(old.size() - LineEndLength(old))), false);
    return;
  }
  InsertLine(LastKeyOrHeader(span) + 1, normalKey + "=" + Sanitized(value));
}

void ProfileText::AppendKey(std::string_view section, std::string_view key,
                            std::string_view value) {
  const Section span = sections_[SectionForWrite(NormalName(section))];
  InsertLine(LastKeyOrHeader(span) + 1, NormalName(key) + "=" + Sanitized(value));
}

void ProfileText::RemoveKey(std::string_view section, std::string_view key) {
  const auto found = FindSection(NormalName(section));
  if (!found) return;
  const std::string normalKey = NormalName(key);
  while (const auto line = FindKey(sections_[*found], normalKey)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*line));
    MoveSections(*line + 1, -1);
  }
}

void ProfileText::EmptySection(std::string_view section) {
  const std::string name = NormalName(section);
  const auto found = FindSection(name);
  if (!found) {
    SectionForWrite(name);
    return;
  }
  const Section span = sections_[*found];
  std::size_t keepFrom = span.end;
  while (keepFrom > span.header + 1 && lines_[keepFrom - 1].kind == Kind::Blank) --keepFrom;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(span.header + 1),
               lines_.begin() + static_cast<std::ptrdiff_t>(keepFrom));
  MoveSections(keepFrom, -static_cast<std::ptrdiff_t>(keepFrom - (span.header + 1)));
}

void ProfileText::RemoveSections(const std::unordered_set<std::string>& keys) {
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  bool removing = false;
  for (const Line& line : lines_) {
    if (line.kind == Kind::Section) removing = keys.contains(SectionKey(Name(line)));
    if (!removing) kept.push_back(line);
  }
  lines_ = std::move(kept);
  BuildIndex();
}

void ProfileText::OrderKeys(std::string_view section, const std::vector<std::string_view>& keys) {
  const auto found = FindSection(NormalName(section));
  if (!found) return;
  const Section span = sections_[*found];
  std::vector<std::size_t> ordered;
  for (const std::string_view key : keys)
    if (const auto line = FindKey(span, NormalName(key))) ordered.push_back(*line);
  std::vector<Line> lines;
  for (const std::size_t line : ordered) lines.push_back(lines_[line]);
  for (std::size_t i = span.header + 1; i < span.end; ++i)
    if (std::find(ordered.begin(), ordered.end(), i) == ordered.end()) lines.push_back(lines_[i]);
  std::copy(lines.begin(), lines.end(),
            lines_.begin() + static_cast<std::ptrdiff_t>(span.header + 1));
  // The file's last line may have had no end, and may not be last any more.
  for (std::size_t i = span.header + 1; i < span.end && i + 1 < lines_.size(); ++i)
    EnsureLineEnd(i);
}

}  // namespace kelvoran
