#pragma once
// NMEA text played into the demo receiver at its own pace: a recorded log cut
// into groups released at their fix times, and the shift of those times that
// lets a drive be played again and again with the clock moving on.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvantis::demo {

// Text written to the receiver atMs after the round started.
struct TimedText {
  uint32_t atMs = 0;
  std::string text;
};

// One round of a drive and how long it lasts (a whole number of seconds, so
// that shifting every time of day by it keeps their decimals exact).
struct Drive {
  std::vector<TimedText> parts;
  uint32_t roundMs = 0;
  // Played for --any-talker: the GGA sentence of every talker is a fix.
  bool anyTalker = false;
};

// Cuts a log at each "$": every $GPGGA sentence with a time of day starts a
// group released at that time (relative to the first one); the sentences
// after it, up to the next such $GPGGA, go with it; bytes before the first
// go with the first. A time that steps back is released at once, and a
// step of more than 12 hours back is taken as the next day. A log without a
// single timed $GPGGA answers an empty drive. With anyTalker, the GGA
// sentence of every talker ($GNGGA, ...) counts as a $GPGGA here and below.
Drive driveFromLog(std::string_view log, bool anyTalker = false);

// A drive's round length: the span of its parts plus the usual gap between
// two of them, rounded up to a whole second.
uint32_t roundLengthMs(const std::vector<TimedText>& parts);

// Moves the time of day of every $GPGGA sentence in text on by shiftMs
// (wrapping at midnight), keeping the field's number of decimals, and puts
// right the checksum of each changed sentence that carries one.
std::string shiftFixTimes(std::string_view text, uint32_t shiftMs, bool anyTalker = false);

// A drive played again and again must not jump from where it ends to where
// it starts: the pump would see thousands of mph for one fix, and a timing
// screen left open would store a run of a tenth of a second. When the last
// fix lies more than a few metres from the first, this appends a gentle
// drive back in a straight line (at most kReturnSpeedMps, accelerating and
// braking at kReturnAccelerationMps2) as $GPGGA fixes at the drive's own fix
// interval, times continuing from the last fix, ending at rest on the first
// fix's position; the round length then covers it. Answers the metres of
// the return leg (0 when none was needed or the drive has no fixes).
inline constexpr double kReturnSpeedMps = 11.0;
inline constexpr double kReturnAccelerationMps2 = 1.0;
double closeTheLoop(Drive& drive);

// "hhmmss" or "hhmmss.f..." as milliseconds since midnight; false when the
// field is no time of day.
bool parseTimeOfDay(std::string_view field, uint32_t& timeOfDayMs);

}  // namespace corvantis::demo
