// The decoder reads each sentence in one pass and plain decimals by integer
// arithmetic. Its results must be those of the straightforward reader it
// replaced (kept below as the reference: every field found again with
// strchr, copied out and read with std::from_chars), to the bit, on every
// real log, the fuzz corpus and mutations of them.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gps/nmea_decoder.h"

namespace corvantis {
namespace {

namespace reference {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

void copyPart(const char* text, std::size_t length, FieldBuffer& out) {
  std::size_t n = 0;
  while (n < length && n + 1 < kFieldBufferSize && text[n] != '\0') {
    out[n] = text[n];
    ++n;
  }
  out[n] = '\0';
}

int32_t readInteger(const char* text) {
  while (isBlank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  int64_t value = 0;
  for (; isDigit(*text); ++text) {
    value = value * 10 + (*text - '0');
    if (value > std::numeric_limits<int32_t>::max()) {
      return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

double readDecimal(const char* text) {
  while (isBlank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  const char* end = text;
  bool anyDigit = false;
  while (isDigit(*end)) ++end, anyDigit = true;
  if (*end == '.') {
    ++end;
    while (isDigit(*end)) ++end, anyDigit = true;
  }
  if (!anyDigit) return 0.0;
  if (*end == 'e' || *end == 'E') {
    const char* exponent = end + 1;
    if (*exponent == '+' || *exponent == '-') ++exponent;
    if (isDigit(*exponent)) {
      end = exponent;
      while (isDigit(*end)) ++end;
    }
  }
  double value = 0.0;
  const auto result = std::from_chars(text, end, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

double readDegreesMinutes(const FieldBuffer& field, std::size_t degreeDigits) {
  FieldBuffer degrees;
  copyPart(field, degreeDigits, degrees);
  const std::size_t length = std::strlen(field);
  const char* minutes = field + (length < degreeDigits ? length : degreeDigits);
  return readDecimal(degrees) + readDecimal(minutes) * (1.0 / 60.0);
}

uint32_t readTimeOfDay(const char* field) {
  FieldBuffer part;
  copyPart(field, 2, part);
  const int64_t hours = readInteger(part);
  copyPart(std::strlen(field) > 2 ? field + 2 : "", 2, part);
  const int64_t minutes = readInteger(part);
  copyPart(std::strlen(field) > 4 ? field + 4 : "", 2, part);
  const int64_t seconds = readInteger(part);
  int64_t fraction = 0;
  if (std::strlen(field) > 6 && field[6] == '.') {
    const char* digits = field + 7;
    fraction = readInteger(digits);
    switch (std::strlen(digits)) {
      case 1: fraction *= 100; break;
      case 2: fraction *= 10; break;
      case 3: break;
      case 4: fraction /= 10; break;
      case 5: fraction /= 100; break;
      default: break;
    }
  }
  const int64_t timeMs = ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction;
  return static_cast<uint32_t>(static_cast<uint64_t>(timeMs));
}

bool extractField(const char* text, int index, FieldBuffer& out) {
  out[0] = '\0';
  if (index < 1 || text[0] == '\0') return false;
  const char* position = text;
  for (int i = 0; i < index; ++i) {
    position = std::strchr(position + 1, ',');
    if (position == nullptr) return false;
  }
  const char* start = position + 1;
  const char* end = std::strchr(start, ',');
  if (end == nullptr || end == start) return false;
  copyPart(start, static_cast<std::size_t>(end - start), out);
  return true;
}

bool decodeSentence(const char* text, CurrentFix& fix, FixHistory& history, Talkers talkers) {
  const bool gga = talkers == Talkers::Any ? isGgaOfAnyTalker(text) : std::strncmp(text, "$GPGGA", 6) == 0;
  if (!gga) return false;
  if (!checksumHolds(text)) return false;
  FieldBuffer field;
  if (!extractField(text, 6, field) || readInteger(field) == 0) {
    fix.satellites = 0;
    return false;
  }
  extractField(text, 7, field);
  fix.satellites = readInteger(field);
  extractField(text, 2, field);
  double latitude = readDegreesMinutes(field, 2);
  extractField(text, 4, field);
  double longitude = readDegreesMinutes(field, 3);
  extractField(text, 9, field);
  const double altitude = readDecimal(field);
  extractField(text, 3, field);
  if (field[0] == 'S') latitude = -latitude;
  extractField(text, 5, field);
  if (field[0] == 'W') longitude = -longitude;
  extractField(text, 8, field);
  const double hdop = std::trunc(readDecimal(field));
  if (hdop >= 2147483647.0) fix.hdop = std::numeric_limits<int32_t>::max();
  else if (hdop <= -2147483648.0) fix.hdop = std::numeric_limits<int32_t>::min();
  else fix.hdop = static_cast<int32_t>(hdop);
  extractField(text, 1, field);
  const uint32_t timeOfDayMs = readTimeOfDay(field);
  if (history.recordFix(latitude, longitude, altitude, timeOfDayMs) == RecordOutcome::Refused) return false;
  fix.speed = history.newest().speed;
  fix.latitude = latitude;
  fix.longitude = longitude;
  return true;
}

}  // namespace reference

bool sameBits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }
bool sameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

bool sameSample(const FixSample& a, const FixSample& b) {
  return sameBits(a.latitude, b.latitude) && sameBits(a.longitude, b.longitude) && sameBits(a.altitude, b.altitude) &&
         sameBits(a.speed, b.speed) && a.time == b.time;
}

// Both decoders, each with its own state, fed the same sentences.
struct SideBySide {
  Talkers talkers;
  CurrentFix newFix, oldFix;
  std::unique_ptr<FixHistory> newHistory = std::make_unique<FixHistory>();
  std::unique_ptr<FixHistory> oldHistory = std::make_unique<FixHistory>();
  long sentences = 0;
  long fixes = 0;

  explicit SideBySide(Talkers t) : talkers(t) {}

  // False (with a message) at the first difference.
  ::testing::AssertionResult feed(const std::string& sentence) {
    ++sentences;
    const bool a = decodeSentence(sentence.c_str(), newFix, *newHistory, talkers);
    const bool b = reference::decodeSentence(sentence.c_str(), oldFix, *oldHistory, talkers);
    fixes += a ? 1 : 0;
    const bool same = a == b && newFix.satellites == oldFix.satellites && newFix.hdop == oldFix.hdop &&
                      sameBits(newFix.speed, oldFix.speed) && sameBits(newFix.latitude, oldFix.latitude) &&
                      sameBits(newFix.longitude, oldFix.longitude) && newHistory->count == oldHistory->count &&
                      sameSample(newHistory->oldest(), oldHistory->oldest()) &&
                      sameSample(newHistory->previous(), oldHistory->previous()) &&
                      sameSample(newHistory->newest(), oldHistory->newest());
    // The history reuses the cosine of each latitude; the speed it keeps
    // must be the one worked out afresh.
    const double fresh = speedBetween(newHistory->newest(), newHistory->previous());
    const float expectedSpeed = fresh > FLT_MAX ? FLT_MAX : static_cast<float>(fresh);
    if (same && sameBits(newHistory->newest().speed, expectedSpeed)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "decoders differ on: " << sentence;
  }
};

// The sentences of a stream as the pump hands them over: from each "$" to
// the next, with that "$" left at the end.
std::vector<std::string> sentencesOf(const std::string& stream) {
  std::vector<std::string> out;
  std::size_t start = stream.find('$');
  while (start != std::string::npos) {
    const std::size_t next = stream.find('$', start + 1);
    out.push_back(next == std::string::npos ? stream.substr(start) + "$" : stream.substr(start, next - start + 1));
    start = next;
  }
  return out;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::filesystem::path> filesUnder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename() != "README.md") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(DecoderEquivalence, RealLogsAndTheFuzzCorpusGiveTheSameFixesToTheBit) {
  const std::filesystem::path realLogs = std::filesystem::path(CORV_SHARED_DATA_DIR) / "nmea-real";
  if (!std::filesystem::exists(realLogs)) GTEST_SKIP() << "no real NMEA logs in " << realLogs;
  std::vector<std::filesystem::path> files = filesUnder(realLogs);
  for (const auto& path : filesUnder(std::filesystem::path(CORV_SOURCE_DIR) / "fuzz" / "gps" / "corpus")) {
    files.push_back(path);
  }
  long fixes = 0;
  for (const auto& path : files) {
    for (const Talkers talkers : {Talkers::GpsOnly, Talkers::Any}) {
      SideBySide both(talkers);
      for (const std::string& sentence : sentencesOf(readFile(path))) ASSERT_TRUE(both.feed(sentence)) << path;
      fixes += both.fixes;
    }
  }
  EXPECT_GT(fixes, 5000);  // the logs were read, not skipped
}

// Every GGA of the real logs with its checksum taken off (so that damage
// still reaches the fields), then each character replaced in turn by one
// that changes how a field reads.
TEST(DecoderEquivalence, MutatedSentencesGiveTheSameResults) {
  const std::filesystem::path realLogs = std::filesystem::path(CORV_SHARED_DATA_DIR) / "nmea-real";
  if (!std::filesystem::exists(realLogs)) GTEST_SKIP() << "no real NMEA logs in " << realLogs;
  std::vector<std::string> bodies;
  for (const auto& path : filesUnder(realLogs)) {
    for (const std::string& sentence : sentencesOf(readFile(path))) {
      if (sentence.size() > 6 && sentence.compare(3, 3, "GGA") == 0) {
        bodies.push_back(sentence.substr(0, sentence.find('*')));
      }
    }
  }
  ASSERT_FALSE(bodies.empty());
  const char replacements[] = {'.', '-', '+', 'e', 'E', ',', ' ', '0', '9', 'S', 'W', 'x', '*'};
  SideBySide both(Talkers::Any);
  // A sample of them, spread over all logs: each mutation is a fresh fix.
  for (std::size_t i = 0; i < bodies.size(); i += 7) {
    const std::string& body = bodies[i];
    ASSERT_TRUE(both.feed(body + "\r\n$"));
    for (std::size_t at = 1; at < body.size(); ++at) {
      for (const char c : replacements) {
        std::string mutated = body;
        mutated[at] = c;
        ASSERT_TRUE(both.feed(mutated + "\r\n$"));
      }
      ASSERT_TRUE(both.feed(body.substr(0, at) + body.substr(at + 1) + "\r\n$"));  // deleted
    }
  }
}

// Numbers the fast reading must hand to the general reader, or read alike.
TEST(DecoderEquivalence, DecimalsReadAsTheGeneralReaderReadsThem) {
  const char* const texts[] = {
      "0", "-0", "+0.0", "-0.000", "4807.038", "01131.000", "545.4", "-4", ".5", "5.", ".", "-.", "",
      "123456789012345",     // 15 digits: exact as an integer
      "1234567890123456",    // 16 digits: to the general reader
      "12345678901234567890.123456789", "0.1234567890123456789", "9007199254740993",
      "0.000000000000001",   // 15 fraction digits
      "0.0000000000000001",  // 16
      "2.5e1", "2.5E-3", "1e", "1e+", "7e-400", "1e999", "-1e308", " \t12.5", "12.5.6", "0x1A", "1,5",
      "99999999999999999999999999999999999999",  // longer than a field holds
  };
  for (const char* text : texts) {
    EXPECT_TRUE(sameBits(readDecimal(text), reference::readDecimal(text))) << text;
  }
  // Random plain decimals of every length and point position.
  std::mt19937_64 random(13);
  for (int i = 0; i < 200000; ++i) {
    std::string text = (random() % 4 == 0) ? "-" : "";
    const int digits = 1 + static_cast<int>(random() % 19);
    const int point = static_cast<int>(random() % static_cast<uint64_t>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + random() % 10);
    }
    ASSERT_TRUE(sameBits(readDecimal(text.c_str()), reference::readDecimal(text.c_str()))) << text;
  }
}

TEST(DecoderEquivalence, FieldsLongerThanTheBufferKeepTheirFirst31Characters) {
  const std::string digits40 = "1234567890123456789012345678901234567890";
  const std::string cases[] = {
      "$GPGGA," + digits40 + ".5,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,*",  // time
      "$GPGGA,123519," + digits40 + ",N,01131.000,E,1,08,0.9,545.4,M,,",       // latitude
      "$GPGGA,123519,4807.038,N,01131." + digits40 + ",E,1,08,0.9,545.4,M,,",  // longitude
      "$GPGGA,123519,4807.038,N,01131.000,E,1," + digits40 + ",0.9,545.4,M,,", // satellites
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0." + digits40 + ",545.4,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545." + digits40 + "e2,M,,",
      "$GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,12345678901234567890123456789.5e3,M,,",
  };
  for (const std::string& text : cases) {
    SideBySide both(Talkers::GpsOnly);
    EXPECT_TRUE(both.feed(text + "$")) << text;
  }
  // The time reader itself takes a field of any length.
  for (const std::string& time :
       {"123519." + digits40, "1" + digits40, std::string("123519.123456"), std::string("123519"),
        std::string("123519."), std::string("123519.5"), std::string("123519.12345"), std::string("12a519.5"),
        std::string("123519.5x"), std::string("235960.99"), std::string("1235"), std::string(" 23519.5")}) {
    EXPECT_EQ(readTimeOfDay(time.c_str()), reference::readTimeOfDay(time.c_str())) << time;
  }
}

}  // namespace
}  // namespace corvantis
