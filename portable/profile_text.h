#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kelvoran {

// The text of a settings file of the INI kind, held as the lines found on
// disk, so that a change rewrites only the lines it must and every other byte
// (8-bit text, comments, line ends) passes through unchanged.
//
// How text written by hand is read:
//  - a line ends at LF, CRLF or a lone CR; the last line may have no end;
//  - a UTF-8 byte-order mark at the start of the file is skipped;
//  - blanks (space, tab) around section names, key names and values do not
//    count; a line of blanks only is a blank line;
//  - a line whose first non-blank is ';' is a comment;
//  - a line whose first non-blank is '[' starts a section; its name runs to the
//    last ']' of the line, or to the end of the line when there is none, so
//    that a name holding ']' reads back as it was written;
//  - any other line holding '=' with something before it is a key; the key
//    name runs to the first '=', the value is the rest;
//  - other lines, and keys above the first section, are kept but not read;
//  - names compare without regard to ASCII case; bytes above 127 compare
//    exactly, as the file's code page is not known;
//  - of a section or a key that occurs twice, the first one counts;
//  - one pair of matching single or double quotes around a value is removed.
//
// What is written: a CR, LF, CRLF or zero byte in a section name, key name or
// value becomes one blank, so no text can break a line and inject lines into
// other sections; names looked up are mapped the same way and still find
// their section. Values are written verbatim otherwise, so a text with
// blanks at either end, or enclosed in a pair of quotes, reads back without
// them. New lines end the way the file's first line ends (LF in a new file);
// a new section goes at the end of the file, a new key after the last key of
// its section.
class ProfileText {
 public:
  static ProfileText Parse(std::string bytes);
  std::string Serialize() const;

  // Whether two names find the same section: line breaks and zero bytes are
  // blanks, blanks at either end do not count, and ASCII case is folded. The
  // one rule for "the same section", so no caller can drift from the file.
  static bool SameSectionName(std::string_view a, std::string_view b);
  // The form of a name under that rule: names find the same section exactly
  // when their keys are equal.
  static std::string SectionKey(std::string_view name);

  // Names of the sections in file order, each once in its first spelling.
  // Empty names and names holding a zero byte are left out: in a list of
  // zero-terminated names either would end the list early and hide every
  // host after it.
  std::vector<std::string_view> SectionNames() const;
  // The value of the key, quotes removed, or nullopt when the section or key
  // is missing.
  std::optional<std::string_view> FindValue(std::string_view section, std::string_view key) const;

  // Whether `key` can be written as a key name: not empty, no '=', and not
  // starting with '[' or ';' (after blanks), which would turn it into a
  // section or comment line.
  static bool IsWritableKey(std::string_view key);
  // Gives the key a new value: an existing key keeps its place in the file, a
  // missing one goes after the last key of the section, a missing section goes
  // at the end of the file. `key` must be writable.
  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of the key from the section, so that no later
  // occurrence comes to count; a missing section or key changes nothing.
  void RemoveKey(std::string_view section, std::string_view key);
  // Removes the lines of the section (keys, comments and any other text, up
  // to the blank lines that end it); a missing section is added, empty, at the
  // end of the file.
  void EmptySection(std::string_view section);
  // Removes every section whose SectionKey is in `keys`, header line,
  // keys, comments and the blank lines that end it, every occurrence of the
  // name included, so that no later one comes to count. One pass over the
  // file, however many sections go.
  void RemoveSections(const std::unordered_set<std::string>& keys);
  // Moves the first line of each named key to the top of the section, in the
  // order given; comments, other keys and other text keep their order after
  // them.
  void OrderKeys(std::string_view section, const std::vector<std::string_view>& keys);
  // Adds a key line after the last key of an existing section, whether or not
  // the key is there already. `key` must be writable.
  void AppendKey(std::string_view section, std::string_view key, std::string_view value);

 private:
  enum class Kind : std::uint8_t { Other, Blank, Comment, Section, Key };
  // Offsets into chunks_[chunk]; name and value are relative to begin.
  struct Line {
    std::uint32_t chunk = 0, begin = 0, length = 0;
    std::uint32_t nameBegin = 0, nameLength = 0, valueBegin = 0, valueLength = 0;
    Kind kind = Kind::Other;
  };
  // Lines header + 1 .. end - 1 belong to the section.
  struct Section {
    std::size_t header = 0, end = 0;
  };

  std::string_view Raw(const Line& line) const;
  std::string_view Name(const Line& line) const;
  std::string_view Value(const Line& line) const;
  // Stores `raw` as a new chunk and classifies it.
  Line MakeLine(std::string raw, bool atFileStart);
  // Fills in the kind, name and value of a line whose bytes are set.
  Line Classify(Line line, bool atFileStart) const;
  void BuildIndex();
  std::optional<std::size_t> FindSection(std::string_view normalName) const;
  std::optional<std::size_t> FindKey(const Section& section, std::string_view normalKey) const;
  std::size_t LastKeyOrHeader(const Section& section) const;
  void EnsureLineEnd(std::size_t index);
  void InsertLine(std::size_t index, const std::string& content);
  // After lines were inserted (by > 0) or removed at `from`: the sections
  // whose header or end lies at or below `from` move by `by` lines, so the
  // section holding the change grows or shrinks and those below it move.
  void MoveSections(std::size_t from, std::ptrdiff_t by);
  std::size_t SectionForWrite(const std::string& normalName);

  std::vector<std::string> chunks_;  // chunk 0: the file as read
  std::vector<Line> lines_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> firstSection_;  // folded name -> sections_ index
  std::string lineEnd_ = "\n";
};

}  // namespace kelvoran
