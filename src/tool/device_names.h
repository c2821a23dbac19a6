// Device names checked against what the other side can hold: the listing ends a name at the
// bytes 0x01 and 0x02, and Windows refuses some characters and names outright and folds
// case, so that two device names may land in one local file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rq {

// Why name cannot be a file name on Windows, or nullptr when it can: control characters,
// < > : " / \ | ? *, a trailing dot or blank, or a reserved device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, with or without an extension, in any case).
const char* windows_name_problem(const std::string& name);

// Finds two names that differ only in the case of ASCII letters. Returns true and their
// indexes in *first and *second.
bool find_case_clash(const std::vector<std::string>& names, size_t* first, size_t* second);

}  // namespace rq
