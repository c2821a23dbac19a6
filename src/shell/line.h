#pragma once

namespace rq {

// Ends the line at its first CR or LF; a line with neither loses its trailing blanks
// (so blanks typed before the line feed stay part of the command).
void trim_line(char* line);

// ASCII-only case-insensitive comparison of the first n characters.
int strnicmp_ascii(const char* a, const char* b, unsigned n);

}  // namespace rq
