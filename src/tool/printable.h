// Names as text output shows them. A name from the device or from a local directory may hold
// a line feed, which would forge a line of a listing or an error, or control bytes that hide
// or move what follows on a terminal. Text output escapes them C style: \n, \t, \r, \\ and
// \xHH for the other control bytes (DEL included); bytes from 0x80 up pass as they are
// (UTF-8 letters). JSON output carries names exactly instead.
#pragma once

#include <string>

namespace rq {

// text with its control bytes and backslashes escaped.
std::string printable(const std::string& text);

// The same for a line that holds local paths (an error, a summary). On Windows a backslash
// there separates names, and no Windows name holds one or a control byte: it stays as it is.
std::string printable_line(const std::string& text);

}  // namespace rq
