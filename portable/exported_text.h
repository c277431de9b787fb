#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

inline constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";

// How files written for other programs start and end their lines. Windows'
// spreadsheet programs read a CSV file as ANSI text unless UTF-8's byte-order
// mark starts it, and its text tools expect CRLF; on Linux files are UTF-8
// without a mark, lines LF-ended.
#ifdef _WIN32
inline constexpr std::string_view ExportedFileStart = Utf8ByteOrderMark;
inline constexpr std::string_view ExportedLineEnd = "\r\n";
#else
inline constexpr std::string_view ExportedFileStart = "";
inline constexpr std::string_view ExportedLineEnd = "\n";
#endif

// An LF-ended text of the monitor's 8-bit texts as an exported file holds it
// on this system (portable/ansi_text.h, ToUtf8Text).
std::string ExportedFileText(std::string_view text);

}  // namespace kelvoran
