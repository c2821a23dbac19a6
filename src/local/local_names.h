// Local names under Windows' rules, which hold wherever local_names_windows() says so:
// Windows refuses some characters and names outright, gives some names to devices, and
// folds case, so that two device names may land in one local file. Portable code, so that
// the rules are tested everywhere.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rq {

// Why name cannot be a file name on Windows, or nullptr when it can: control characters,
// < > : " / \ | ? *, a trailing dot or blank, or a reserved device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, with or without an extension, in any case).
const char* windows_name_problem(const std::string& name);

// True when name (one path element) is a reserved device name: it names the device, with
// or without an extension and whatever the case.
bool windows_reserved_name(const std::string& name);

// Finds two names that differ only in the case of ASCII letters. Returns true and their
// indexes in *first and *second.
bool find_case_clash(const std::vector<std::string>& names, size_t* first, size_t* second);

}  // namespace rq
