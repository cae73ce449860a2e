// The ANSI code page's two-byte characters, for the portable text operations on names and paths,
// and the program's ANSI texts in UTF-16 for the places that take only that.
#pragma once

#include <string>
#include <string_view>

namespace calvorin::win32 {

// Makes CurrentLeadByteTest() the ANSI code page's: IsDBCSLeadByte under a double-byte code page
// (932, 936, 949, 950), nullptr under a single-byte one, where no byte begins a pair. Every
// operation on the code page's bytes asks CurrentLeadByteTest(), never the system directly.
void InstallAnsiLeadBytes();

// An ANSI text in UTF-16, as the system converts it for the ...A calls ("" when it cannot).
std::wstring AnsiToWide(std::string_view ansi);

}  // namespace calvorin::win32
