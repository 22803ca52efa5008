#pragma once
// Decoding of one NMEA 0183 sentence into the current GPS state. Only
// $GPGGA (fix data) is acted on, or with Talkers::Any the GGA sentence of
// any talker ($GNGGA, $GLGGA, ...); every other sentence changes nothing. A
// GGA sentence whose checksum is there and wrong changes nothing either.
#include <cstddef>
#include <cstdint>

#include "gps/current_fix.h"
#include "gps/fix_history.h"

namespace corvantis {

// Room for one field: 31 characters and a NUL, which every NMEA field fits.
inline constexpr std::size_t kFieldBufferSize = 32;
using FieldBuffer = char[kFieldBufferSize];

// Copies field `index` (1 or more; field 0 is the tag) of the NUL-terminated
// sentence into `out`. False, with `out` empty, when the sentence has fewer
// fields, the field is empty, or no comma follows it (so the last field of a
// sentence is never extracted). A field longer than 31 characters keeps its
// first 31: the numbers in it keep their leading digits.
bool extractField(const char* text, int index, FieldBuffer& out);

// True when the sentence (from its leading "$" to the next "$" or the end of
// the text) carries no "*", or when the two characters after its first "*"
// are hex digits (either case) equal to the XOR of the bytes between the "$"
// and that "*". False for a text that does not start with "$".
bool checksumHolds(const char* text);

// Whose GGA sentences carry fixes. Receivers that combine constellations
// send $GNGGA (or $GLGGA, $GAGGA, $BDGGA, ...) and no $GPGGA at all.
enum class Talkers {
  GpsOnly,  // $GPGGA only: the receiver as the program was made for
  Any,      // a GGA sentence of any two-letter talker reads as a $GPGGA
};

// True when text starts with "$GPGGA".
bool isGpgga(const char* text);
// True when text starts with "$xxGGA" for two upper-case letters xx.
bool isGgaOfAnyTalker(const char* text);

// What a GGA sentence that passed its checksum says. Without a fix (its
// fix quality field reads 0) only hasFix is meaningful.
struct GgaReading {
  bool hasFix = false;
  int32_t satellites = 0;
  int32_t hdop = 0;          // truncated toward zero, saturated to 32 bits
  double latitude = 0.0;     // degrees, north positive
  double longitude = 0.0;    // degrees, east positive
  double altitude = 0.0;     // metres
  uint32_t timeOfDayMs = 0;  // as readTimeOfDay gives it
};

// Reads a GGA sentence of the talkers given (text as for decodeSentence).
// False, leaving `reading` as it was, for any other sentence and for one
// whose checksum fails.
bool readGga(const char* text, Talkers talkers, GgaReading& reading);

// Publishes a reading in `fix` and records its fix in `history`; answers
// whether it is a new fix, as decodeSentence does. Readings applied in the
// same order to two fresh states leave them the same: a second fix history
// can follow the receiver without decoding its sentences again.
bool applyGga(const GgaReading& reading, CurrentFix& fix, FixHistory& history);

// Decodes one sentence (NUL-terminated, normally starting with "$"; bytes
// after it such as the checksum, the line end or the next "$" are ignored).
// A GGA fix is recorded in `history` and published in `fix`; one whose
// checksum fails (checksumHolds) changes nothing at all. True when
// this sentence is a new fix: recorded, or moved the fix window of a full
// history (the current speed must keep updating while a driver waits).
// It is readGga, then applyGga.
bool decodeSentence(const char* text, CurrentFix& fix, FixHistory& history,
                    Talkers talkers = Talkers::GpsOnly);

// Time field "hhmmss" or "hhmmss.f..." into milliseconds since UTC
// midnight (32-bit, wrapping). The fraction is scaled by its number of
// digits up to 5 (".5" is 500 ms, ".12345" is 123 ms); more digits are
// taken as read.
uint32_t readTimeOfDay(const char* field);

// Number reading with the leading-characters semantics the receivers' fields
// were always read with (leading blanks, a sign, digits; the rest ignored; an
// empty text is 0), independent of the process locale. Out-of-range
// integers saturate; decimals that are not finite read as 0.
int32_t readInteger(const char* text);
double readDecimal(const char* text);

}  // namespace corvantis
