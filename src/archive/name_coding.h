// How the bytes of a stored name are read on this host, and how a new name
// is marked, in one place. Where the host's own names are UTF-8 (POSIX):
// - a name with the UTF-8 flag (bit 11) is UTF-8 as it stands;
// - a name without it, made on a host whose names are in code page 437
//   (DOS, OS/2, Windows: made-by hosts 0, 6, 10, 11 and 14), is converted
//   from code page 437 to UTF-8;
// - any other host's name passes through as bytes.
// Where they are not (Windows), stored names are OEM text as they have always
// been read, through the host's OEM-to-ANSI conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zar::archive {

// The reading a stored name gets.
enum class NameCoding { Utf8, CodePage437, HostOem, Bytes };

NameCoding nameCoding(uint16_t flags, uint16_t versionMadeBy);

// The stored name in the host's code page. Where a conversion makes the name
// longer than `limit` bytes the stored bytes are kept instead, so that a name
// is never cut.
std::string hostFormOfName(std::string_view stored, uint16_t flags, uint16_t versionMadeBy, size_t limit);

// True when a new entry of this name gets the UTF-8 flag: where host names
// are UTF-8, a name that is valid UTF-8 and not pure ASCII.
bool takesUtf8Flag(std::string_view name);

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing past U+10FFFF.
bool isValidUtf8(std::string_view text);

// The UTF-8 form of code-page-437 text; bytes below 0x80 are ASCII.
std::string utf8FromCodePage437(std::string_view text);

}  // namespace zar::archive
