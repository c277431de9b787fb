#include "ui/main_window/row_cells.h"

namespace kelvoran {

std::pair<std::size_t, std::size_t> RowCells::Span(std::size_t column) const {
  std::size_t start = 0;
  for (std::size_t skipped = 0; skipped < column; ++skipped) start = texts_.find('\0', start) + 1;
  return {start, texts_.find('\0', start) - start};
}

std::string_view RowCells::At(std::size_t column) const {
  const auto [start, length] = Span(column);
  return std::string_view(texts_).substr(start, length);
}

bool RowCells::Store(std::size_t column, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const auto [start, length] = Span(column);
  if (std::string_view(texts_).substr(start, length) == text) return false;
  texts_.replace(start, length, text);
  return true;
}

}  // namespace kelvoran
