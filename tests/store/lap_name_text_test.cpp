#include "store/lap_name_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvantis {
namespace {

TEST(LapNameText, Utf16DecodingStopsAtNulAndReplacesLoneSurrogates) {
  const char16_t units[] = {u'N', 0x00FC, u'r', 0xD83C, 0xDFC1, 0, u'x'};  // "Nür🏁"
  EXPECT_EQ(utf16ToUtf8(units, 7), "N\xC3\xBCr\xF0\x9F\x8F\x81");
  const char16_t lone[] = {u'a', 0xDC00, u'b', 0xD800};  // low alone, high at the end
  EXPECT_EQ(utf16ToUtf8(lone, 4), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  const char16_t noNul[] = {u'a', u'b'};
  EXPECT_EQ(utf16ToUtf8(noNul, 2), "ab");
}

TEST(LapNameText, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"Spa", "Spa"},
      {"a\xFF" "b", "a" + fffd + "b"},                 // byte that never starts a character
      {"\xC0\xAF", fffd + fffd},                        // overlong '/'
      {"\xED\xA0\x80", fffd + fffd + fffd},             // encoded surrogate
      {"ok\xE2\x82", "ok" + fffd + fffd},               // cut at the end
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
      {std::string("a\0b", 3), "a"},                    // a NUL ends the name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(limitLapName(c.in), c.out);
  }
}

TEST(LapNameText, NamesAreLimitedTo31CharactersAnd33Units) {
  EXPECT_EQ(limitLapName(std::string(40, 'x')), std::string(31, 'x'));
  // Three-byte characters count as one character each.
  std::string euros;
  for (int i = 0; i < 40; ++i) euros += "\xE2\x82\xAC";
  EXPECT_EQ(limitLapName(euros).size(), 31u * 3);
  // Characters beyond the basic plane take two units: 16 of them would need
  // 32 units, 17 need 34, so the name stops at 16 and keeps room for the NUL.
  std::string flags;
  for (int i = 0; i < 20; ++i) flags += "\xF0\x9F\x8F\x81";
  EXPECT_EQ(lapNameToUtf16(flags).size(), 32u);
  EXPECT_EQ(lapNameToUtf16(std::string(31, 'y') + "\xF0\x9F\x8F\x81").size(), 31u);
  EXPECT_EQ(lapNameToUtf16("x\xF0\x9F\x8F\x81"), (std::u16string{u'x', 0xD83C, 0xDFC1}));
}

}  // namespace
}  // namespace corvantis
