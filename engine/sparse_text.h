#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace kelvoran {

// A text that is empty for almost every owner: one pointer, null while empty,
// so an empty one costs 8 bytes instead of a std::string's 32. Reads like a
// const std::string; assigning an empty text frees the block.
class SparseText {
 public:
  SparseText() = default;
  // Implicit both ways, so that the code reads it like the string it stands for.
  SparseText(std::string_view text) { Assign(text); }
  SparseText(const std::string& text) { Assign(text); }
  SparseText(const char* text) { Assign(text); }
  SparseText(const SparseText& other) { Assign(other.str()); }
  SparseText(SparseText&&) noexcept = default;
  SparseText& operator=(const SparseText& other) {
    if (this != &other) Assign(other.str());
    return *this;
  }
  SparseText& operator=(SparseText&&) noexcept = default;
  SparseText& operator=(std::string_view text) { return Assign(text); }
  SparseText& operator=(const std::string& text) { return Assign(text); }
  SparseText& operator=(const char* text) { return Assign(text); }

  void clear() { text_.reset(); }

  const std::string& str() const { return text_ ? *text_ : Empty(); }
  operator const std::string&() const { return str(); }
  bool empty() const { return !text_; }
  std::size_t size() const { return str().size(); }
  const char* c_str() const { return str().c_str(); }

  friend bool operator==(const SparseText& a, const SparseText& b) { return a.str() == b.str(); }
  friend bool operator==(const SparseText& a, std::string_view b) { return a.str() == b; }
  friend bool operator==(const SparseText& a, const std::string& b) { return a.str() == b; }
  friend bool operator==(const SparseText& a, const char* b) { return a.str() == b; }

  // Test failures print the text, not the pointer's bytes.
  friend std::ostream& operator<<(std::ostream& out, const SparseText& text);

 private:
  static const std::string& Empty();
  SparseText& Assign(std::string_view text);

  std::unique_ptr<std::string> text_;
};

}  // namespace kelvoran
