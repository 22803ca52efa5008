#pragma once
// Setting a GPS receiver up for timing: find it on its line (u-blox by its
// UBX version answer, MediaTek and its kin by their PMTK answer), set its
// baud rate, turn off the sentences the timing does not read, set its fix
// rate, save, and check by counting the fixes that arrive. Everything is
// said as it happens; the result says how it ended.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/receiver/receiver_stream.h"
#include "tools/receiver/ubx.h"

namespace corvantis::receiver {

// The line to the receiver.
class ReceiverLine {
 public:
  virtual ~ReceiverLine() = default;
  // Sets the line's rate; what had arrived is dropped.
  virtual bool setBaud(uint32_t baud) = 0;
  // Writes the bytes and returns once they have left.
  virtual bool send(std::span<const uint8_t> bytes) = 0;
  // Appends what arrives within waitMs, returning as soon as anything has
  // (it may wait less). False when the line has failed.
  virtual bool receive(std::vector<uint8_t>& into, uint32_t waitMs) = 0;
  // A clock in ms for the time-outs.
  virtual uint64_t nowMs() = 0;
};

// Exit statuses of corvantis-receiver.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNoAnswer = 1;      // nothing found, or it stopped answering
inline constexpr int kExitUsage = 2;         // bad command line, or the port cannot be opened
inline constexpr int kExitRefused = 3;       // the receiver refused a setting
inline constexpr int kExitRateNotReached = 4;  // afterwards it does not send at the rate asked

struct SetupRequest {
  int rateHz = 10;                // fixes a second wanted
  std::optional<uint32_t> baud;   // the line's rate wanted; none: keep it
  bool lean = false;              // turn off GSV, GSA and GLL
  bool save = false;              // keep the settings over a power cycle
  // The rates the receiver is looked for at, in order.
  std::vector<uint32_t> searchBauds = {9600, 38400, 115200, 4800, 57600, 19200};
  uint32_t listenMs = 1500;  // at each rate while looking, and after a rate change
  uint32_t answerMs = 1000;  // for an acknowledgement
  uint32_t verifyMs = 2000;  // counting the fixes at the end
};

struct SetupResult {
  int exitCode = kExitDone;
  std::string message;  // why it failed (empty when done)
};

// What arrived while listening: the GGA sentences' times of day, bytes and
// sentences with good checksums.
struct Traffic {
  std::vector<uint32_t> ggaTimesMs;
  std::size_t bytes = 0;
  std::size_t sentences = 0;
  // Fixes a second from the GGA times: from the middle one of the steps
  // between them, so that the last fixes at a rate being left, or one lost
  // on the way, do not count (0 with fewer than two).
  double ratePerSecond() const;
  // Bytes between two GGA sentences (0 with fewer than two).
  double bytesPerFix() const;
  // Takes one item into the counts.
  void count(const StreamItem& item);
};

class ReceiverSetup {
 public:
  ReceiverSetup(ReceiverLine& line, std::function<void(const std::string&)> say);
  SetupResult run(const SetupRequest& request);

 private:
  enum class Maker { None, Ublox, Mediatek };
  enum class Answer { Done, Refused, Silent };

  SetupResult find(const SetupRequest& request);
  // Listens for ms, handing each item to `take` (which may end the wait by
  // answering true). False when the line failed.
  bool listen(uint32_t ms, const std::function<bool(const StreamItem&)>& take);
  Traffic measure(uint32_t ms);
  // Waits for the first sentence (at most the longer of ms and how long a
  // receiver at 1 Hz may take) and measures from it for ms.
  Traffic measureFromFirst(uint32_t waitMs, uint32_t ms);

  // u-blox.
  Answer sendUbx(const std::vector<uint8_t>& frame, uint32_t answerMs);
  Answer ubxSetting(const std::vector<uint8_t>& legacy, const std::vector<ubx::KeyValue>& keys,
                    const SetupRequest& request, const std::string& what);
  // MediaTek.
  Answer sendPmtk(const std::string& sentence, int command, uint32_t answerMs);

  SetupResult setBaud(uint32_t baud, const SetupRequest& request);
  SetupResult turnOffUnread(const SetupRequest& request);
  SetupResult setRate(const SetupRequest& request);
  SetupResult save(const SetupRequest& request);
  SetupResult verify(const SetupRequest& request);
  SetupResult refused(const std::string& what) const;
  SetupResult silent(const std::string& what) const;

  ReceiverLine& line_;
  std::function<void(const std::string&)> say_;
  ReceiverStream stream_;
  Maker maker_ = Maker::None;
  uint32_t baud_ = 0;
  // This u-blox takes its settings as configuration keys (CFG-VALSET) only.
  bool valset_ = false;
  // The last refusal's reason (a NAK, a PMTK001 flag).
  std::string refusal_;
  Traffic heard_;
};

}  // namespace corvantis::receiver
