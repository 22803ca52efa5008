#include "gps/gps_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gps/nmea_decoder.h"

namespace corvantis {
namespace {

void showError(platform::MessageBoxes& boxes, const char* text) {
  boxes.show(text, platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

}  // namespace

GpsInput::GpsInput(platform::SerialPort& port, platform::MessageBoxes& messageBoxes)
    : port_(port), messageBoxes_(messageBoxes), held_(kHeldBytesCapacity) {}

bool GpsInput::openPort(int portIndex, int baudIndex) {
  if (port_.isOpen()) port_.close();

  char name[24];
  std::snprintf(name, sizeof name, "COM%.1d:", portIndex + 1);
  if (!port_.open(name)) {
    showError(messageBoxes_, "Unable to open Comm port");
    currentFix.satellites = -1;
    return false;
  }

  // A rate index from outside the table (a damaged options file) cannot be
  // applied: it fails like a rate the port refuses.
  platform::LineSettings settings;
  if (baudIndex >= 0 && baudIndex < kBaudRateCount) settings.baudRate = kBaudRates[baudIndex];
  if (baudIndex < 0 || baudIndex >= kBaudRateCount || !port_.applyLineSettings(settings)) {
    port_.close();
    showError(messageBoxes_, "Unable to set the baud rate.\nTry a lower baud");
    return false;
  }

  if (!port_.applyTimeouts(platform::Timeouts{})) {
    port_.close();
    showError(messageBoxes_, "Port Error.\nTry another comm port");
    return false;
  }

  // A reopened receiver starts afresh: without this a device error would
  // stand until the program restarts.
  currentFix.deviceError = false;
  emptyTicks = 0;
  heldStart_ = heldEnd_ = 0;
  return true;
}

void GpsInput::closePort() {
  if (port_.isOpen()) port_.close();
}

bool GpsInput::portOpen() const { return port_.isOpen(); }

void GpsInput::pumpTick() {
  // Hold-off ticks count too: the hint is about time without a $GPGGA.
  if (talkers == Talkers::GpsOnly && !talkerHintGiven) {
    if (ticksWithoutGpgga < kTicksBeforeTalkerHint) ++ticksWithoutGpgga;
    if (ticksSinceOtherTalkerGga < kTicksBeforeTalkerHint) ++ticksSinceOtherTalkerGga;
    if (ticksWithoutGpgga >= kTicksBeforeTalkerHint && ticksSinceOtherTalkerGga <= kTicksOtherTalkerStillArriving) {
      talkerHintGiven = true;
      if (onOtherTalkerOnly) onOtherTalkerOnly(otherTalkerTag);
    }
  }
  if (holdOffTicks > 0) {
    --holdOffTicks;
    holdArrivingBytes();
    return;
  }
  if (pumpBusy) return;
  pumpBusy = true;
  if (!port_.isOpen()) {
    pumpBusy = false;
    return;
  }
  // linePos is public state; never let it index outside `line`.
  if (linePos < 0 || linePos > kLastLinePos) linePos = 0;

  // Everything that has arrived is taken: a tick is bounded by what the
  // receiver sent since the last one, never by a byte count, so no rate or
  // sentence set can leave the program behind.
  bool anyFix = false;
  bool errorRaised = false;
  uint32_t waitMs = tickReadWaitMs;
  for (;;) {
    // What a hold-off kept comes first, then the port.
    const bool fromHeld = heldEnd_ > heldStart_;
    std::span<const uint8_t> bytes;
    const platform::ReadResult result =
        fromHeld ? platform::ReadResult::Byte : port_.readAvailable(bytes, waitMs);
    if (fromHeld) bytes = std::span<const uint8_t>(held_.data() + heldStart_, heldEnd_ - heldStart_);
    const auto consume = [&](std::size_t count) {
      if (!fromHeld) {
        port_.consume(count);
      } else if ((heldStart_ += count) == heldEnd_) {
        heldStart_ = heldEnd_ = 0;
      }
    };
    // Only the first read may wait; the rest take what is already there.
    waitMs = 0;
    if (result == platform::ReadResult::Failed) {
      errorRaised = true;
      currentFix.deviceError = true;
      break;
    }
    if (emptyTicks >= kSilentTicksForDeviceError) {
      errorRaised = true;
      currentFix.deviceError = true;
      if (result == platform::ReadResult::Byte) consume(1);  // the byte is dropped
      break;
    }
    if (currentFix.deviceError) {
      // Nothing is decoded while the error stands; the byte read is dropped.
      if (result == platform::ReadResult::Byte) consume(1);
      break;
    }
    // (A port that answers with an empty view has nothing either.)
    if (result == platform::ReadResult::Nothing || bytes.empty()) {
      // A tick that gave a fix heard the receiver: it does not count as silent.
      if (!anyFix) ++emptyTicks;
      break;
    }
    // Any byte received ends a silence.
    emptyTicks = 0;
    bool newFix = false;
    consume(takeBytes(bytes, newFix));
    if (!newFix) continue;
    anyFix = true;
    if (afterTick) afterTick(true);
    // A screen change inside the update leaves the rest for the screen that
    // comes next, after its hold-off; a closed port has nothing more.
    if (holdOffTicks > 0 || !port_.isOpen()) break;
  }

  // A tick without a fix updates the screens once; so does one whose fixes
  // came before the link failed, so that the error shows at once.
  if ((!anyFix || errorRaised) && afterTick) afterTick(false);
  pumpBusy = false;
}

void GpsInput::holdArrivingBytes() {
  // A device error stands until the port is reopened: nothing to keep. A
  // failing read is left for the next worked tick to find.
  if (pumpBusy || !port_.isOpen() || currentFix.deviceError) return;
  if (heldStart_ > 0) {
    std::memmove(held_.data(), held_.data() + heldStart_, heldEnd_ - heldStart_);
    heldEnd_ -= heldStart_;
    heldStart_ = 0;
  }
  while (heldEnd_ < held_.size()) {
    std::span<const uint8_t> bytes;
    if (port_.readAvailable(bytes, 0) != platform::ReadResult::Byte || bytes.empty()) return;
    const std::size_t count = std::min(bytes.size(), held_.size() - heldEnd_);
    std::memcpy(held_.data() + heldEnd_, bytes.data(), count);
    heldEnd_ += count;
    port_.consume(count);
  }
}

std::size_t GpsInput::takeBytes(std::span<const uint8_t> bytes, bool& newFix) {
  // A port read one byte at a time hands over views of one byte: most of
  // them extend the line, without a search.
  if (bytes.size() == 1 && bytes[0] != '$') {
    line[linePos] = static_cast<char>(bytes[0]);
    line[linePos + 1] = '\0';
    if (linePos < kLastLinePos) ++linePos;
    return 1;
  }
  std::size_t at = 0;
  while (at < bytes.size()) {
    const uint8_t* start = bytes.data() + at;
    const std::size_t left = bytes.size() - at;
    const auto* dollar = static_cast<const uint8_t*>(std::memchr(start, '$', left));
    // The bytes up to the next "$" extend the line; once it is full, each
    // later byte takes its last place.
    const std::size_t plain = dollar == nullptr ? left : static_cast<std::size_t>(dollar - start);
    if (plain > 0) {
      const std::size_t room = static_cast<std::size_t>(kLastLinePos - linePos);
      if (plain <= room) {
        std::memcpy(line + linePos, start, plain);
        linePos += static_cast<int32_t>(plain);
        line[linePos] = '\0';
      } else {
        std::memcpy(line + linePos, start, room);
        linePos = kLastLinePos;
        line[kLastLinePos] = static_cast<char>(start[plain - 1]);
        line[kLastLinePos + 1] = '\0';
      }
      at += plain;
    }
    if (dollar == nullptr) break;
    // The buffer holds the previous sentence followed by this "$".
    line[linePos] = '$';
    line[linePos + 1] = '\0';
    ++at;
    if (isGpgga(line)) {
      ticksWithoutGpgga = 0;
    } else if (isGgaOfAnyTalker(line)) {
      std::memcpy(otherTalkerTag, line, 6);
      otherTalkerTag[6] = '\0';
      ticksSinceOtherTalkerGga = 0;
    }
    if (GgaReading reading; readGga(line, talkers, reading)) {
      newFix = applyGga(reading, currentFix, history) || newFix;
      if (onGgaReading) onGgaReading(reading);
      if (reading.hasFix) {
        if (const auto rateHz = rateWatch.observe(reading.timeOfDayMs); rateHz && onLowFixRate) onLowFixRate(*rateHz);
      }
    }
    line[0] = '$';
    line[1] = '\0';
    linePos = 1;
    if (newFix) break;
  }
  return at;
}

}  // namespace corvantis
