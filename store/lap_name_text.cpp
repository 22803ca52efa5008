#include "store/lap_name_text.h"

#include <cstdint>

namespace corvantis {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one character at text[pos], advancing pos. An ill-formed sequence
// yields U+FFFD and skips one byte, so decoding always makes progress.
char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(pos);
  if (lead < 0x80) {
    pos += 1;
    return lead;
  }
  int length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    pos += 1;
    return kReplacement;
  }
  if (pos + static_cast<std::size_t>(length) > text.size()) {
    pos += 1;
    return kReplacement;
  }
  for (int i = 1; i < length; ++i) {
    const uint8_t next = byte(pos + static_cast<std::size_t>(i));
    if ((next & 0xC0) != 0x80) {
      pos += 1;
      return kReplacement;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    pos += 1;
    return kReplacement;
  }
  pos += static_cast<std::size_t>(length);
  return cp;
}

}  // namespace

std::string utf16ToUtf8(const char16_t* units, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count && units[i] != 0; ++i) {
    const char32_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      const char32_t low = units[i + 1];
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::string limitLapName(std::string_view utf8) {
  std::string out;
  std::size_t chars = 0;
  std::size_t units = 0;
  std::size_t pos = 0;
  while (pos < utf8.size() && chars < kLapNameMaxChars) {
    const char32_t cp = nextCodePoint(utf8, pos);
    if (cp == 0) break;
    const std::size_t needed = cp >= 0x10000 ? 2 : 1;
    if (units + needed > kLapNameMaxUnits) break;
    appendUtf8(out, cp);
    units += needed;
    chars += 1;
  }
  return out;
}

std::u16string lapNameToUtf16(std::string_view utf8) {
  const std::string limited = limitLapName(utf8);
  std::u16string out;
  std::size_t pos = 0;
  while (pos < limited.size()) {
    const char32_t cp = nextCodePoint(limited, pos);
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace corvantis
