#pragma once
// Lap names are UTF-8 text in memory and a NUL-terminated run of UTF-16 code
// units in options.bin. These conversions sit at that file boundary and never
// fail: a sequence that cannot be decoded becomes U+FFFD, so a damaged name
// can still be shown, edited and saved.
#include <cstddef>
#include <string>
#include <string_view>

namespace corvantis {

// The name's text limit: 31 characters, and at most 33 code units so that
// the terminating NUL still fits in the file's 34 units.
inline constexpr std::size_t kLapNameMaxChars = 31;
inline constexpr std::size_t kLapNameMaxUnits = 33;

// Decodes UTF-16 code units up to the first NUL (or all of them when there
// is none). Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const char16_t* units, std::size_t count);

// Well-formed UTF-8 of at most kLapNameMaxChars characters and at most
// kLapNameMaxUnits UTF-16 code units, cut at a character boundary. Invalid
// UTF-8 (stray bytes, overlong forms, surrogates, cut sequences) becomes
// U+FFFD; a NUL ends the name.
std::string limitLapName(std::string_view utf8);

// The UTF-16 form of limitLapName(utf8), without a terminating NUL.
std::u16string lapNameToUtf16(std::string_view utf8);

}  // namespace corvantis
