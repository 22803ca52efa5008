#pragma once
// The demo receiver's second thread: writes a drive into the pseudo-terminal
// at its real pace, round after round, each round with its times of day moved
// on by the length of a round, so that the program sees one endless drive.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/posix/pseudo_terminal.h"
#include "tools/corvantis/nmea_replay.h"

namespace corvantis::demo {

class ReceiverFeeder {
 public:
  // repeat: play the drive again without end; otherwise once.
  ReceiverFeeder(platform::PseudoTerminal& terminal, Drive drive, bool repeat);
  ~ReceiverFeeder();
  ReceiverFeeder(const ReceiverFeeder&) = delete;
  ReceiverFeeder& operator=(const ReceiverFeeder&) = delete;

  void start();
  // Ends the thread at its next wait and joins it.
  void stop();

 private:
  void run();

  platform::PseudoTerminal& terminal_;
  Drive drive_;
  bool repeat_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace corvantis::demo
