#include "gps/nmea_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

namespace corvantis {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A field as the sentence holds it: [begin, end), never longer than the 31
// characters that a FieldBuffer keeps, so that every number reads as it
// always did from the extracted copy.
struct Field {
  const char* begin = "";
  const char* end = begin;
  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
};

Field capped(const char* begin, std::size_t length) {
  const std::size_t kept = length < kFieldBufferSize - 1 ? length : kFieldBufferSize - 1;
  return Field{begin, begin + kept};
}

// The first `length` characters of a field (all of it when shorter).
Field prefix(Field field, std::size_t length) {
  return Field{field.begin, field.size() < length ? field.end : field.begin + length};
}

// The field from character `from` on (empty when it is shorter).
Field suffix(Field field, std::size_t from) {
  return Field{field.size() < from ? field.end : field.begin + from, field.end};
}

int32_t readIntegerIn(const char* p, const char* end) {
  while (p < end && isBlank(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
  int64_t value = 0;
  for (; p < end && isDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > std::numeric_limits<int32_t>::max()) {
      return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
// Digits whose value a double holds exactly (below 2^53).
constexpr int kExactDigits = 15;

double readDecimalIn(const char* text, const char* end) {
  while (text < end && isBlank(*text)) ++text;
  bool negative = false;
  if (text < end && (*text == '+' || *text == '-')) negative = (*text++ == '-');

  // Plain decimals, which are all a receiver sends: up to 15 digits make an
  // integer that a double holds exactly, and dividing it by an exact power
  // of ten rounds once, correctly, to the same double as the general
  // reader gives.
  const char* p = text;
  uint64_t digits = 0;
  int digitCount = 0;
  int fractionDigits = 0;
  for (; p < end && isDigit(*p); ++p, ++digitCount) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
  if (p < end && *p == '.') {
    for (++p; p < end && isDigit(*p); ++p, ++digitCount, ++fractionDigits) {
      digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    }
  }
  if (digitCount == 0) return 0.0;
  const bool exponent = p < end && (*p == 'e' || *p == 'E');
  if (digitCount <= kExactDigits && !exponent) {
    const double whole = static_cast<double>(digits);
    const double value = fractionDigits == 0 ? whole : whole / kExactPowersOfTen[fractionDigits];
    return negative ? -value : value;
  }

  // Anything else (long digit strings, exponents) through the general
  // reader: the longest prefix of the form digits[.digits][e[sign]digits];
  // no "nan", "inf" or hexadecimal forms, which a field never means.
  if (exponent) {
    const char* power = p + 1;
    if (power < end && (*power == '+' || *power == '-')) ++power;
    if (power < end && isDigit(*power)) {
      p = power;
      while (p < end && isDigit(*p)) ++p;
    }
  }
  double value = 0.0;
  const auto result = std::from_chars(text, p, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (3) into degrees.
double readDegreesMinutes(Field field, std::size_t degreeDigits) {
  const Field degrees = prefix(field, degreeDigits);
  const Field minutes = suffix(field, degreeDigits);
  return readDecimalIn(degrees.begin, degrees.end) + readDecimalIn(minutes.begin, minutes.end) * (1.0 / 60.0);
}

uint32_t readTimeOfDayIn(Field field) {
  // "hhmmss" or "hhmmss.f" to "hhmmss.fffff", all digits, as receivers send
  // it: read directly. Anything else by the field's parts below.
  const char* t = field.begin;
  const std::size_t size = field.size();
  if (size >= 6 && size <= 12 && size != 7 && isDigit(t[0]) && isDigit(t[1]) && isDigit(t[2]) && isDigit(t[3]) &&
      isDigit(t[4]) && isDigit(t[5]) && (size == 6 || t[6] == '.')) {
    int64_t fraction = 0;
    bool plain = true;
    for (std::size_t i = 7; i < size; ++i) {
      plain = plain && isDigit(t[i]);
      fraction = fraction * 10 + (t[i] - '0');
    }
    if (plain) {
      constexpr int64_t kToMs[] = {0, 100, 10, 1};  // by digit count 1..3; 4 and 5 divide
      const std::size_t digits = size > 7 ? size - 7 : 0;
      if (digits <= 3) fraction *= kToMs[digits];
      else fraction /= digits == 4 ? 10 : 100;
      const int64_t hours = (t[0] - '0') * 10 + (t[1] - '0');
      const int64_t minutes = (t[2] - '0') * 10 + (t[3] - '0');
      const int64_t seconds = (t[4] - '0') * 10 + (t[5] - '0');
      const int64_t timeMs = ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction;
      return static_cast<uint32_t>(static_cast<uint64_t>(timeMs));
    }
  }
  const Field hoursPart = prefix(field, 2);
  const Field minutesPart = prefix(suffix(field, 2), 2);
  const Field secondsPart = prefix(suffix(field, 4), 2);
  const int64_t hours = readIntegerIn(hoursPart.begin, hoursPart.end);
  const int64_t minutes = readIntegerIn(minutesPart.begin, minutesPart.end);
  const int64_t seconds = readIntegerIn(secondsPart.begin, secondsPart.end);
  int64_t fraction = 0;
  if (field.size() > 6 && field.begin[6] == '.') {
    const Field digits = suffix(field, 7);
    fraction = readIntegerIn(digits.begin, digits.end);
    switch (digits.size()) {
      case 1: fraction *= 100; break;
      case 2: fraction *= 10; break;
      case 3: break;
      case 4: fraction /= 10; break;
      case 5: fraction /= 100; break;
      default: break;
    }
  }
  const int64_t timeMs = ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction;
  // A 32-bit time of day, wrapping like the device's arithmetic.
  return static_cast<uint32_t>(static_cast<uint64_t>(timeMs));
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Whether the two characters at p (just after a "*") are the checksum sum.
bool checksumMatches(const char* p, uint8_t sum) {
  const int high = hexValue(p[0]);
  if (high < 0) return false;
  const int low = hexValue(p[1]);  // p[0] was a digit, so p[1] is still inside the text
  return low >= 0 && ((high << 4) | low) == sum;
}

// The fields a GGA sentence is read from: 1 (time) to 9 (altitude).
constexpr int kLastGgaField = 9;

// One pass over a sentence: its checksum verdict and where its commas are.
// Fields are found by their commas anywhere in the text, as extractField
// finds them, while the checksum covers only the sentence itself (up to
// its "*", the next "$" or the end).
struct SplitSentence {
  // commas[i] is the i-th comma after the first character (1-based);
  // nullptr when the text has fewer. Set by split().
  const char* commas[kLastGgaField + 2];
  bool checksumHolds = true;

  // Field i (1..kLastGgaField); empty when extractField finds none.
  Field field(int i) const {
    const char* comma = commas[i];
    const char* next = commas[i + 1];
    if (comma == nullptr || next == nullptr || next == comma + 1) return Field{};
    return capped(comma + 1, static_cast<std::size_t>(next - comma - 1));
  }
};

// What each character is to split(): most are plain; a comma ends a field;
// the end of the text, the next "$" and the "*" end the checksummed part.
enum CharacterKind : uint8_t { kPlain, kComma, kSentenceEnd };
constexpr std::array<uint8_t, 256> kCharacterKinds = [] {
  std::array<uint8_t, 256> kinds{};
  kinds['\0'] = kSentenceEnd;
  kinds['$'] = kSentenceEnd;
  kinds['*'] = kSentenceEnd;
  kinds[','] = kComma;
  return kinds;
}();

constexpr uint64_t kEveryByte = 0x0101010101010101ull;
constexpr uint64_t kLowSevenBits = 0x7F7F7F7F7F7F7F7Full;

// 0x80 in each byte of `word` that equals c, 0 in the others (exact: no
// carry crosses from one byte into the next).
uint64_t bytesEqualTo(uint64_t word, uint8_t c) {
  const uint64_t differs = word ^ (kEveryByte * c);
  return ~(((differs & kLowSevenBits) + kLowSevenBits) | differs | kLowSevenBits);
}

// The XOR of the eight bytes of `word`.
uint8_t foldedXor(uint64_t word) {
  word ^= word >> 32;
  word ^= word >> 16;
  word ^= word >> 8;
  return static_cast<uint8_t>(word);
}

void split(const char* text, SplitSentence& out) {
  int found = 0;
  const char* p = text + 1;
  // Eight characters at a time while none of them ends the checksummed
  // part: their XOR goes into the sum and their commas are found from one
  // mask. Only whole words before the text's NUL are read.
  uint64_t wordSums = 0;
  if constexpr (std::endian::native == std::endian::little) {
    const char* const end = p + std::strlen(p);
    for (; end - p >= 8; p += 8) {
      uint64_t word = 0;
      std::memcpy(&word, p, sizeof word);
      if ((bytesEqualTo(word, '$') | bytesEqualTo(word, '*')) != 0) break;
      wordSums ^= word;
      for (uint64_t commas = bytesEqualTo(word, ','); commas != 0 && found <= kLastGgaField; commas &= commas - 1) {
        out.commas[++found] = p + (std::countr_zero(commas) >> 3);
      }
    }
  }
  uint8_t sum = foldedXor(wordSums);
  // The rest, one table look-up telling each character apart.
  for (;; ++p) {
    const auto c = static_cast<uint8_t>(*p);
    const uint8_t kind = kCharacterKinds[c];
    if (kind == kSentenceEnd) break;
    sum = static_cast<uint8_t>(sum ^ c);
    if (kind == kComma && found <= kLastGgaField) out.commas[++found] = p;
  }
  out.checksumHolds = *p != '*' || checksumMatches(p + 1, sum);
  for (; found <= kLastGgaField && *p != '\0'; ++p) {
    if (*p == ',') out.commas[++found] = p;
  }
  for (int i = found + 1; i <= kLastGgaField + 1; ++i) out.commas[i] = nullptr;
}

}  // namespace

bool checksumHolds(const char* text) {
  if (text[0] != '$') return false;
  // The sentence runs to the next "$" (which the pump leaves in place) or to
  // the end of the text.
  uint8_t sum = 0;
  const char* p = text + 1;
  for (; *p != '\0' && *p != '$' && *p != '*'; ++p) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(*p));
  if (*p != '*') return true;  // a sentence without checksum is taken as it is
  return checksumMatches(p + 1, sum);
}

uint32_t readTimeOfDay(const char* field) { return readTimeOfDayIn(Field{field, field + std::strlen(field)}); }

int32_t readInteger(const char* text) { return readIntegerIn(text, text + std::strlen(text)); }

double readDecimal(const char* text) { return readDecimalIn(text, text + std::strlen(text)); }

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
  const Field field = capped(start, static_cast<std::size_t>(end - start));
  std::memcpy(out, field.begin, field.size());
  out[field.size()] = '\0';
  return true;
}

bool isGpgga(const char* text) {
  // Character by character: a shorter text ends at its NUL, which matches nothing.
  return text[0] == '$' && text[1] == 'G' && text[2] == 'P' && text[3] == 'G' && text[4] == 'G' && text[5] == 'A';
}

bool isGgaOfAnyTalker(const char* text) {
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  return text[0] == '$' && upper(text[1]) && upper(text[2]) && text[3] == 'G' && text[4] == 'G' && text[5] == 'A';
}

bool readGga(const char* text, Talkers talkers, GgaReading& reading) {
  const bool gga = talkers == Talkers::Any ? isGgaOfAnyTalker(text) : isGpgga(text);
  if (!gga) return false;
  // The sentence is split into its fields once, while its checksum is summed.
  SplitSentence sentence;
  split(text, sentence);
  // A garbled sentence changes nothing, not even the satellites: one damaged
  // position reads as a jump of miles, one damaged time as an hour ahead.
  if (!sentence.checksumHolds) return false;
  const auto integer = [&](int i) {
    const Field f = sentence.field(i);
    return readIntegerIn(f.begin, f.end);
  };
  const auto decimal = [&](int i) {
    const Field f = sentence.field(i);
    return readDecimalIn(f.begin, f.end);
  };

  reading = GgaReading{};
  if (integer(6) == 0) return true;
  reading.hasFix = true;
  reading.satellites = integer(7);

  double latitude = readDegreesMinutes(sentence.field(2), 2);
  double longitude = readDegreesMinutes(sentence.field(4), 3);
  reading.altitude = decimal(9);
  if (sentence.field(3).size() > 0 && *sentence.field(3).begin == 'S') latitude = -latitude;
  if (sentence.field(5).size() > 0 && *sentence.field(5).begin == 'W') longitude = -longitude;
  reading.latitude = latitude;
  reading.longitude = longitude;

  const double hdop = std::trunc(decimal(8));
  // Truncation toward zero, kept inside the 32-bit range so the conversion is defined.
  if (hdop >= 2147483647.0) reading.hdop = std::numeric_limits<int32_t>::max();
  else if (hdop <= -2147483648.0) reading.hdop = std::numeric_limits<int32_t>::min();
  else reading.hdop = static_cast<int32_t>(hdop);

  reading.timeOfDayMs = readTimeOfDayIn(sentence.field(1));
  return true;
}

bool applyGga(const GgaReading& reading, CurrentFix& fix, FixHistory& history) {
  if (!reading.hasFix) {
    fix.satellites = 0;
    return false;
  }
  fix.satellites = reading.satellites;
  fix.hdop = reading.hdop;
  if (history.recordFix(reading.latitude, reading.longitude, reading.altitude, reading.timeOfDayMs) ==
      RecordOutcome::Refused) {
    return false;
  }
  // The speed the newest fix carries (speedBetween newest and previous,
  // narrowed to a float); the window moved even when the
  // samples were full, so a waiting driver still sees the speed change.
  fix.speed = history.newest().speed;
  fix.latitude = reading.latitude;
  fix.longitude = reading.longitude;
  return true;
}

bool decodeSentence(const char* text, CurrentFix& fix, FixHistory& history, Talkers talkers) {
  GgaReading reading;
  return readGga(text, talkers, reading) && applyGga(reading, fix, history);
}

std::optional<std::string> gpsStatusText(const CurrentFix& fix) {
  if (fix.deviceError) return std::string("GPS Device Error");
  if (fix.satellites >= 0 && fix.satellites <= 3) return std::string("Waiting for satellite fix...");
  if (fix.satellites < 0) return std::nullopt;
  // Built in place: the line is redrawn whenever the fix quality changes.
  static constexpr std::string_view kLead = "fix quality: ";
  char text[64];
  kLead.copy(text, kLead.size());
  char* end = std::to_chars(text + kLead.size(), text + sizeof text, fix.hdop).ptr;
  std::string_view grade;
  if (fix.hdop < 3) grade = " (excellent)";
  else if (fix.hdop > 7) grade = " (errornous)";
  end = std::copy(grade.begin(), grade.end(), end);
  return std::string(text, end);
}

}  // namespace corvantis
