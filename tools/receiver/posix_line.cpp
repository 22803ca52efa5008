#include "tools/receiver/posix_line.h"

#include <chrono>
#include <filesystem>

namespace corvantis::receiver {
namespace {
// The port table entry the device is opened through.
constexpr int kComNumber = 1;
constexpr const char* kComName = "COM1:";
constexpr uint32_t kWriteTimeoutMs = 1000;
}  // namespace

PosixReceiverLine::PosixReceiverLine(const std::string& devicePath) : port_(table_), devicePath_(devicePath) {
  table_.setComDevice(kComNumber, devicePath);
}

bool PosixReceiverLine::open(uint32_t baud, std::string& error) {
  std::string deniedGroup;
  port_.onPermissionDenied = [&](const std::string&, const std::string& group) { deniedGroup = group; };
  if (!port_.open(kComName)) {
    std::error_code ignored;
    if (!deniedGroup.empty()) {
      error = "permission denied on " + devicePath_ + ": add your user to the " + deniedGroup + " group";
    } else if (!std::filesystem::exists(devicePath_, ignored)) {
      error = devicePath_ + " does not exist (is the receiver plugged in? --port names another device)";
    } else {
      error = "cannot open " + devicePath_ + " (is another program using it?)";
    }
    return false;
  }
  if (!setBaud(baud) || !port_.applyTimeouts(platform::Timeouts{})) {
    error = devicePath_ + " is no serial line that can be set up";
    return false;
  }
  return true;
}

bool PosixReceiverLine::setBaud(uint32_t baud) {
  platform::LineSettings settings;
  settings.baudRate = baud;
  if (!port_.applyLineSettings(settings)) return false;
  port_.discardInput();
  return true;
}

bool PosixReceiverLine::send(std::span<const uint8_t> bytes) {
  return port_.write(bytes, kWriteTimeoutMs) && port_.waitUntilSent();
}

bool PosixReceiverLine::receive(std::vector<uint8_t>& into, uint32_t waitMs) {
  std::span<const uint8_t> bytes;
  const platform::ReadResult result = port_.readAvailable(bytes, waitMs);
  if (result == platform::ReadResult::Failed) return false;
  if (result == platform::ReadResult::Byte) {
    into.insert(into.end(), bytes.begin(), bytes.end());
    port_.consume(bytes.size());
  }
  return true;
}

uint64_t PosixReceiverLine::nowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace corvantis::receiver
