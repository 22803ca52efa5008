#pragma once
// A GPS receiver on a pseudo-terminal that answers its maker's protocol as
// the real ones do: a u-blox of the older generation (UBX CFG-RATE,
// CFG-PRT, CFG-MSG, CFG-CFG; configuration keys unknown), a newer u-blox
// that takes configuration keys only (CFG-VALSET) and refuses the older
// messages, and a MediaTek (PMTK). It acknowledges what it does, refuses
// what it does not know, sends its NMEA at its fix rate with its sentence
// set, and talks only at its own baud rate: while the line is set to
// another, what it sends arrives as garbage and what it is sent is lost.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/pseudo_terminal.h"
#include "tools/receiver/receiver_stream.h"
#include "tools/receiver/ubx.h"

namespace corvantis::testing {

class SimulatedReceiver {
 public:
  enum class Kind { UbloxClassic, UbloxKeysOnly, Mediatek };
  // Sentences it may send, in the order it sends them each epoch.
  enum Sentence { kGga, kRmc, kVtg, kGsa, kGsv, kGll, kSentenceCount };

  struct Behaviour {
    bool silent = false;   // sends nothing, answers nothing (unplugged, wrong port)
    bool answers = true;   // false: sends NMEA, ignores every command
    bool refuses = false;  // refuses every setting (ACK-NAK, PMTK001 flag 2)
    bool keepsItsRate = false;  // acknowledges a new rate and keeps its own, as some clones do
  };

  // What it is doing now, and what it was asked.
  struct State {
    uint32_t baud = 0;
    int periodMs = 0;
    std::array<int, kSentenceCount> everyNthFix{};  // 0: off
    bool saved = false;
    std::vector<std::string> commands;  // each command understood, by name ("CFG-RATE", "PMTK220", ...)
  };

  SimulatedReceiver(Kind kind, uint32_t baud, int rateHz, Behaviour behaviour);
  SimulatedReceiver(Kind kind, uint32_t baud, int rateHz) : SimulatedReceiver(kind, baud, rateHz, Behaviour()) {}
  ~SimulatedReceiver();
  SimulatedReceiver(const SimulatedReceiver&) = delete;
  SimulatedReceiver& operator=(const SimulatedReceiver&) = delete;

  // The device path the program opens; empty when the terminal could not be made.
  const std::string& devicePath() const { return terminal_.devicePath(); }
  State state() const;

 private:
  void run();
  void takeInput(const std::string& bytes);
  void answerFrame(const receiver::ubx::Frame& frame);
  void answerPmtk(const std::string& sentence);
  void applyKey(uint32_t key, uint32_t value, bool& known);
  void sendEpoch();
  // Writes to the line: garbage when the line's rate is not the receiver's.
  void send(const std::string& bytes);
  void ack(const receiver::ubx::Frame& frame, bool accepted);
  void pmtkAck(int command, int flag);

  const Kind kind_;
  const Behaviour behaviour_;
  platform::PseudoTerminal terminal_;
  mutable std::mutex mutex_;
  State state_;
  receiver::ReceiverStream stream_;  // what the program sends
  uint32_t fixTimeMs_ = 12u * 3600000u;
  long epoch_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace corvantis::testing
