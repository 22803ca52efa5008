#pragma once
// The motion a receiver reported, read straight from an NMEA log for the
// time slips: every fix's position ($--GGA) and, where the log carries it,
// the receiver's own speed over ground ($--RMC, $--VTG). Unlike the live
// decoder, this keeps every fix of a fast receiver (no 100 ms spacing),
// accepts any talker and reads the speed sentences, because a slip is an
// analysis of the whole log after the drive.
#include <cstdint>
#include <string_view>
#include <vector>

namespace corvantis::slip {

// One epoch of the receiver.
struct MotionFix {
  double timeMs = 0.0;       // ms since UTC midnight of the log's first fix; days counted on past midnight
  bool hasPosition = false;
  double latitudeDeg = 0.0;  // north positive
  double longitudeDeg = 0.0; // east positive
  double altitudeM = 0.0;
  bool hasSpeed = false;
  double speedMps = 0.0;     // speed over ground as the receiver measured it
  // The steps the receiver writes them in (its last decimal): what the
  // values cannot tell apart even when the receiver is exact.
  double speedResolutionMps = 0.0;
  double positionResolutionM = 0.0;  // the minutes' last decimal, north-south
};

// NMEA 0183's longest sentence, "$" to line end.
inline constexpr size_t kMaxSentenceChars = 82;

// Fields of one sentence between "$" and "*" (field 0 is the tag). False
// when the sentence carries a checksum that does not match its bytes: a
// garbled sentence must not move a fix. A sentence without checksum is taken
// when it is no longer than kMaxSentenceChars. A longer one (receivers with
// many decimals write them) is split only as far as its first
// kMaxSentenceChars characters, its cut last field dropped, once its
// checksum vouches for all of it: however long a line, the fields stay few.
bool splitSentence(std::string_view sentence, std::vector<std::string_view>& fields);

// "hhmmss[.sss]" into ms since midnight; false when it is not a time of day.
bool parseTimeOfDay(std::string_view field, double& ms);
// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (3) with its hemisphere
// letter into signed degrees; false when malformed.
bool parseCoordinate(std::string_view field, int degreeDigits, std::string_view hemisphere, double& degrees);

// Every epoch of the log in time order. Sentences of one epoch are joined
// by their time field; a $--VTG, which has none, belongs to the epoch of the
// sentence before it. Epochs without a position are kept only when they
// carry a speed. A time more than 12 hours below the one before is the next
// day; a smaller step back (a repeated or stray sentence) is dropped.
std::vector<MotionFix> readMotion(std::string_view log);

}  // namespace corvantis::slip
