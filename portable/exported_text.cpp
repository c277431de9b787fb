#include "portable/exported_text.h"

#include "portable/ansi_text.h"

namespace kelvoran {

std::string ExportedFileText(std::string_view text) {
  std::string file(ExportedFileStart);
  for (const char c : ToUtf8Text(text)) {
    if (c == '\n')
      file += ExportedLineEnd;
    else
      file += c;
  }
  return file;
}

}  // namespace kelvoran
