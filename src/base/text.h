// Small text helpers shared by the whole program.
// Texts are 8-bit strings in the ANSI code page; positions are 1-based, 0 meaning "not found".
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace calvorin {

// Which bytes of the system's ANSI code page begin a two-byte character (the Japanese, Chinese
// and Korean code pages); nullptr for a single-byte code page. The second byte of such a
// character may have the value of a letter or of a backslash ("\x83\x5C" is one character), so
// byte-wise operations that change letters or look for separators step over it.
using LeadByteTest = bool (*)(unsigned char byte);

// The code page's test that the operations on names and paths below use; nullptr (single-byte)
// until the Windows program installs the ANSI code page's.
void SetLeadByteTest(LeadByteTest fn);
LeadByteTest CurrentLeadByteTest();

// Bytes in the character that begins at text[i]: 2 for a lead byte with a byte after it, else 1.
inline std::size_t CharSize(std::string_view text, std::size_t i, LeadByteTest lead) {
  const auto byte = static_cast<unsigned char>(text[i]);
  return byte >= 0x80 && lead != nullptr && i + 1 < text.size() && lead(byte) ? 2 : 1;
}
// Where the last backslash of `text` that is a character of its own lies (the second byte 0x5C
// of a two-byte character is none); npos when there is none.
std::size_t LastBackslash(std::string_view text, LeadByteTest lead);
// `folder` and `name` joined by one backslash: none is added after a folder that ends in one
// ("C:\\"), which a second byte of that value does not ("\x83\x5C" is one character).
std::string JoinPath(std::string_view folder, std::string_view name);

// "con.log", "NUL.txt", "com1.exe", "C:nul", "conout$"...: a path whose last component Windows
// takes for a device whatever the folder and extension (RtlIsDosDeviceName_U): the component
// (after the drive of a "C:nul" without a separator) up to its first "." or ":", less trailing
// spaces, is CON, PRN, AUX, NUL, CONIN$, CONOUT$, or COM or LPT and a digit 1-9 or a
// superscript one, two or three (bytes 0xB9, 0xB2, 0xB3 in code page 1252 and its Latin kin;
// taken so in every single-byte code page, while a double-byte one has no such byte). No file
// of that name can be found: a lookup answers with the device itself (Wine's in every folder),
// a listing never shows it. `lead` is CurrentLeadByteTest(): nullptr exactly for a single-byte
// code page.
bool IsDosDeviceName(std::string_view path, LeadByteTest lead);

// Appends `text` with its ASCII capitals lowered; the second byte of a two-byte character is
// kept as it is.
void AppendLowerAsciiChars(std::string& out, std::string_view text, LeadByteTest lead);

char UpperAscii(char c);
char LowerAscii(char c);
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);

// 1-based position of the first occurrence of `sub` in `text`, 0 when absent or `sub` is empty.
int Pos(std::string_view sub, std::string_view text);
bool Contains(std::string_view text, std::string_view sub);
bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> subs);

// 1-based substring as the program's rules describe it: `count` characters from `start`,
// clipped to the text; a start below 1 counts from 1, a negative count gives "".
std::string Copy(std::string_view text, int start, int count);

// printf-style formatting ("%d", "%s", "0x%.8X ...").
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

// Case-insensitive ordering used when sorting registry names. The default folds ASCII only;
// the Windows program installs the user locale's comparison (CompareStringA, NORM_IGNORECASE).
using TextCompareFn = int (*)(const std::string& a, const std::string& b);
int CompareTextAscii(const std::string& a, const std::string& b);
void SetTextCompare(TextCompareFn fn);
int CompareText(const std::string& a, const std::string& b);

}  // namespace calvorin
