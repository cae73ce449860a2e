// The ANSI code page's two-byte characters, for the portable text operations on names and paths.
#pragma once

namespace calvorin::win32 {

// Whether `byte` begins a two-byte character in the ANSI code page (IsDBCSLeadByte).
bool AnsiLeadByte(unsigned char byte);

// Makes CurrentLeadByteTest() the ANSI code page's: AnsiLeadByte under a double-byte code page
// (932, 936, 949, 950), nullptr under a single-byte one, where no byte begins a pair.
void InstallAnsiLeadBytes();

}  // namespace calvorin::win32
