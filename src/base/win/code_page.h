// The ANSI code page's two-byte characters, for the portable text operations on names and paths.
#pragma once

namespace calvorin::win32 {

// Makes CurrentLeadByteTest() the ANSI code page's: IsDBCSLeadByte under a double-byte code page
// (932, 936, 949, 950), nullptr under a single-byte one, where no byte begins a pair. Every
// operation on the code page's bytes asks CurrentLeadByteTest(), never the system directly.
void InstallAnsiLeadBytes();

}  // namespace calvorin::win32
