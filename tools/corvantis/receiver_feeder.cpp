#include "tools/corvantis/receiver_feeder.h"

#include <chrono>

namespace corvantis::demo {

namespace {
constexpr uint32_t kDayMs = 86400000u;
}

ReceiverFeeder::ReceiverFeeder(platform::PseudoTerminal& terminal, Drive drive, bool repeat)
    : terminal_(terminal), drive_(std::move(drive)), repeat_(repeat) {}

ReceiverFeeder::~ReceiverFeeder() { stop(); }

void ReceiverFeeder::start() {
  if (thread_.joinable() || drive_.parts.empty()) return;
  stopping_ = false;
  thread_ = std::thread([this] { run(); });
}

void ReceiverFeeder::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ReceiverFeeder::run() {
  using Clock = std::chrono::steady_clock;
  auto roundStart = Clock::now();
  uint32_t shiftMs = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    for (const TimedText& part : drive_.parts) {
      const auto due = roundStart + std::chrono::milliseconds(part.atMs);
      if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
      lock.unlock();
      terminal_.write(shiftMs == 0 ? part.text : shiftFixTimes(part.text, shiftMs, drive_.anyTalker));
      lock.lock();
    }
    if (!repeat_) return;
    roundStart += std::chrono::milliseconds(drive_.roundMs);
    shiftMs = (shiftMs + drive_.roundMs) % kDayMs;
  }
}

}  // namespace corvantis::demo
