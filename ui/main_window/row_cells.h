#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvoran {

// The texts of a row's cells, one after the other in one string, each ended
// by a NUL. A list of tens of thousands of rows keeps these for every row;
// an array of strings cost 32 bytes a cell even when empty, and a heap block
// more for each text too long to fit inside its string (a time, a long
// error), where this costs one block for the whole row.
class RowCells {
 public:
  explicit RowCells(std::size_t columns) : texts_(columns, '\0') {}

  std::string_view At(std::size_t column) const;
  // Stores the cell's text, up to any NUL in it; whether the cell changed.
  bool Store(std::size_t column, std::string_view text);

 private:
  // Where the cell's text starts in texts_, and how long it is.
  std::pair<std::size_t, std::size_t> Span(std::size_t column) const;

  std::string texts_;
};

}  // namespace kelvoran
