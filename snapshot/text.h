#pragma once
#include <string>
#include <string_view>

// Conversion between the controllers' 8-bit text (cp1250: names in blocks, type names, the report)
// and the UTF-8 of files and terminals. The table behind both directions is glibc's iconv.

// A byte that cp1250 leaves undefined, and a control character, become the four characters
// "\xNN", so that nothing a controller sends can steer a terminal and no two different names
// read the same.
std::string Utf8FromCp1250(std::string_view cp1250);
// A character that cp1250 cannot hold, a control character and invalid UTF-8 become "?", as in
// the window.
std::string Cp1250FromUtf8(std::string_view utf8);

// The characters, not bytes, of UTF-8 text: what a terminal column and a length limit count.
std::size_t Utf8Length(std::string_view utf8);

// A count with its Polish noun form: 1 "przejście", 2-4 (not 12-14) "przejścia", else "przejść".
std::string Counted(long n, const char* one, const char* few, const char* many);
