#include "tools/receiver/receiver_stream.h"

#include <algorithm>

#include "gps/nmea_decoder.h"

namespace corvantis::receiver {
namespace {

// No sentence is longer (82 characters by the standard; some receivers
// exceed it a little), and no answer this program waits for is larger.
constexpr std::size_t kLongestSentence = 200;
constexpr std::size_t kLargestPayload = 1024;

bool printable(uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

}  // namespace

void ReceiverStream::feed(std::span<const uint8_t> bytes) {
  // Keep the buffer from growing without end: drop what was taken.
  if (start_ > 4096 && start_ * 2 > buffer_.size()) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void ReceiverStream::clear() {
  buffer_.clear();
  start_ = 0;
}

void ReceiverStream::skip(std::size_t count) {
  start_ += count;
  skipped_ += count;
}

std::optional<StreamItem> ReceiverStream::next() {
  while (start_ < buffer_.size()) {
    const uint8_t* at = buffer_.data() + start_;
    const std::size_t left = buffer_.size() - start_;
    if (at[0] == '$') {
      std::size_t end = 1;
      while (end < left && end < kLongestSentence && at[end] != '\r' && at[end] != '\n' && printable(at[end])) ++end;
      if (end == left && end < kLongestSentence) return std::nullopt;  // its end has not come yet
      const bool ended = end < left && (at[end] == '\r' || at[end] == '\n');
      std::string text(reinterpret_cast<const char*>(at), end);
      if (!ended || text.find('*') == std::string::npos || !checksumHolds(text.c_str())) {
        skip(1);
        continue;
      }
      start_ += end;
      StreamItem item;
      item.sentence = std::move(text);
      return item;
    }
    if (at[0] == ubx::kSync1) {
      if (left < 2) return std::nullopt;
      if (at[1] != ubx::kSync2) {
        skip(1);
        continue;
      }
      if (left < 6) return std::nullopt;
      const std::size_t length = static_cast<std::size_t>(at[4]) | static_cast<std::size_t>(at[5]) << 8;
      if (length > kLargestPayload) {
        skip(1);
        continue;
      }
      if (left < 8 + length) return std::nullopt;
      const auto [a, b] = ubx::checksum(std::span<const uint8_t>(at + 2, 4 + length));
      if (a != at[6 + length] || b != at[7 + length]) {
        skip(1);
        continue;
      }
      StreamItem item;
      item.kind = StreamItem::Kind::Frame;
      item.frame.messageClass = at[2];
      item.frame.id = at[3];
      item.frame.payload.assign(at + 6, at + 6 + length);
      start_ += 8 + length;
      return item;
    }
    // Line ends between sentences are no damage.
    if (at[0] == '\r' || at[0] == '\n') {
      ++start_;
      continue;
    }
    skip(1);
  }
  return std::nullopt;
}

}  // namespace corvantis::receiver
