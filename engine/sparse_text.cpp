#include "engine/sparse_text.h"

#include <ostream>

namespace kelvoran {

const std::string& SparseText::Empty() {
  static const std::string empty;
  return empty;
}

SparseText& SparseText::Assign(std::string_view text) {
  if (text.empty())
    text_.reset();
  else if (text_)
    text_->assign(text);
  else
    text_ = std::make_unique<std::string>(text);
  return *this;
}

std::ostream& operator<<(std::ostream& out, const SparseText& text) { return out << text.str(); }

}  // namespace kelvoran
