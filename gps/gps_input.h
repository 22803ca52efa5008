#pragma once
// GPS input: the serial link to the receiver, the 100 ms sentence pump that
// cuts the byte stream into sentences, and the state they feed (the current
// fix and the fix history). One instance lives in the application context.
//
// Each tick takes every complete sentence that has arrived, however many:
// a receiver at 25 Hz, or one that sends every satellite system's GSA and
// GSV each epoch, never leaves the program behind, and the first tick after
// a pause (a hold-off, the configuration screen) works off the whole backlog.
// Every fix the history accepts reaches the screens in order, each with an
// update of its own, so their start, finish and crossing logic sees every
// consecutive pair of fixes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "gps/current_fix.h"
#include "gps/fix_rate_watch.h"
#include "gps/fix_history.h"
#include "gps/nmea_decoder.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"

namespace corvantis {

// Rates of the configuration screen's list, indexed by the settings' baudIndex.
inline constexpr uint32_t kBaudRates[] = {4800, 9600, 14400, 19200, 38400, 57600, 115200, 128000, 256000};
inline constexpr int kBaudRateCount = static_cast<int>(sizeof kBaudRates / sizeof kBaudRates[0]);

// Ticks skipped after a screen change (2 s): nothing is decoded and no
// screen is updated; what arrives meanwhile is kept for the tick after.
inline constexpr int32_t kScreenChangeHoldOffTicks = 20;
// What a hold-off keeps of the receiver's bytes: a serial line's own buffer
// holds a few kilobytes, far less than 2 s of a chatty receiver (25 Hz with
// every satellite system's sentences is 75 KB), and drops the rest.
inline constexpr std::size_t kHeldBytesCapacity = 128 * 1024;
// Consecutive ticks ending with an empty read before the receiver counts as gone (10 s).
inline constexpr int32_t kSilentTicksForDeviceError = 100;
// Last index of `line` a byte is stored at; line[511] stays for the NUL.
inline constexpr int32_t kLastLinePos = 510;
// How long a tick's read waits for a first byte when none has arrived, by
// default: the port's read time-out, as the one-byte read always waited.
inline constexpr uint32_t kTickReadWaitMs = 100;

// Ticks without a $GPGGA, while another talker's GGA arrives, before the
// user is told why no fix comes (10 s).
inline constexpr int32_t kTicksBeforeTalkerHint = 100;
// ... and the other talker's GGA must still be arriving: the last one at
// most this many ticks ago (5 s), so that a receiver gone silent gets the
// device error alone.
inline constexpr int32_t kTicksOtherTalkerStillArriving = 50;

class GpsInput {
 public:
  GpsInput(platform::SerialPort& port, platform::MessageBoxes& messageBoxes);

  // (Re)opens "COM<portIndex+1>:" at kBaudRates[baudIndex]. Shows its own
  // message on failure ("Unable to open Comm port", "Unable to set the baud
  // rate.\nTry a lower baud", "Port Error.\nTry another comm port"). On
  // success a device error and the silence count are cleared, so a receiver
  // plugged back in works again.
  bool openPort(int portIndex, int baudIndex);
  void closePort();
  bool portOpen() const;

  // The 100 ms timer's handler: reads everything the port holds and decodes
  // every complete sentence in it. Right after each sentence that gives a
  // new fix it calls afterTick(true), before the next sentence is decoded;
  // a tick without a new fix calls afterTick(false) once at its end.
  // Reading stops early only when an update set a hold-off (a screen
  // change: the next screen takes the rest) or closed the port.
  void pumpTick();

  // The live screens' update(newFix): once per new fix, or once for a tick
  // without one. The shell calls them from here (lap screen, main menu,
  // acceleration, distance, in that order).
  std::function<void(bool newFix)> afterTick;

  // How long a tick's first read waits for the receiver when nothing has
  // arrived; the reads after it in the same tick never wait. The program's
  // 100 ms timer already paces the reads, so there a tick takes what has
  // arrived and returns at once (0): the user interface never sits in a
  // wait for the port. A pump driven in a loop without such a timer waits,
  // so that time passes between its ticks as on the device.
  uint32_t tickReadWaitMs = kTickReadWaitMs;

  // Whose GGA sentences carry fixes (--any-talker: every talker's).
  Talkers talkers = Talkers::GpsOnly;
  // Called once in the program's run, with the sentence tag ("$GNGGA"),
  // when GGA sentences of another talker arrive and no $GPGGA has for
  // kTicksBeforeTalkerHint ticks: the receiver speaks for several
  // constellations and, as configured, no fix will ever come.
  std::function<void(const std::string& tag)> onOtherTalkerOnly;

  // Called once in the program's run, with the receiver's rate in fixes a
  // second, when fixes have come at 5 Hz or slower for 10 s (FixRateWatch):
  // the receiver can do better, and the times would be closer.
  std::function<void(double fixesPerSecond)> onLowFixRate;
  FixRateWatch rateWatch;

  // Each GGA reading, right after this input applied it: another fix
  // history given the same readings follows this one without decoding the
  // stream again (the analyzer times several run definitions over one
  // replay of a log this way).
  std::function<void(const GgaReading&)> onGgaReading;

  CurrentFix currentFix;
  FixHistory history;

  // Pump state.
  int32_t holdOffTicks = 0;  // ticks still to skip (set at screen changes)
  bool pumpBusy = false;     // a tick is under way
  char line[512] = {};       // the sentence being assembled, NUL-terminated
  int32_t linePos = 0;       // where the next byte goes, 0..510
  // Consecutive ticks that ended with an empty read and gave no new fix.
  int32_t emptyTicks = 0;

  // Talker watch: ticks since the last $GPGGA and since the last GGA of
  // another talker, that GGA's tag ("" while none came), and whether the
  // user was told.
  int32_t ticksWithoutGpgga = 0;
  int32_t ticksSinceOtherTalkerGga = kTicksBeforeTalkerHint;
  char otherTalkerTag[7] = {};
  bool talkerHintGiven = false;

 private:
  // During a hold-off: takes what has arrived out of the port into `held_`,
  // undecoded, so that the line's small buffer does not overflow.
  void holdArrivingBytes();
  // Adds bytes to the line, decoding the sentence each "$" completes, and
  // stops right after the "$" that completes a new fix, so that the screens
  // see that fix before the next sentence changes anything. Answers how
  // many bytes it took.
  std::size_t takeBytes(std::span<const uint8_t> bytes, bool& newFix);

  platform::SerialPort& port_;
  platform::MessageBoxes& messageBoxes_;
  // Bytes taken from the port during a hold-off and not decoded yet; the
  // next worked tick takes them before anything newer. Allocated once.
  std::vector<uint8_t> held_;
  std::size_t heldStart_ = 0;
  std::size_t heldEnd_ = 0;
};

}  // namespace corvantis
