#pragma once
// What a receiver sends, cut into its pieces: NMEA sentences (its fixes,
// and the PMTK answers of MediaTek receivers) and UBX frames (the answers
// of u-blox receivers), which arrive mixed on the same line. Bytes that are
// neither (a line at the wrong baud rate gives nothing else) are counted
// and skipped.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/receiver/ubx.h"

namespace corvantis::receiver {

struct StreamItem {
  enum class Kind { Sentence, Frame };
  Kind kind = Kind::Sentence;
  std::string sentence;  // "$..." without its line end; its checksum is there and holds
  ubx::Frame frame;
};

class ReceiverStream {
 public:
  void feed(std::span<const uint8_t> bytes);
  // The next whole item, or nothing until more bytes come.
  std::optional<StreamItem> next();
  // Bytes skipped as neither a sentence with a good checksum nor a frame.
  std::size_t skippedBytes() const { return skipped_; }
  void clear();

 private:
  void skip(std::size_t count);
  std::vector<uint8_t> buffer_;
  std::size_t start_ = 0;
  std::size_t skipped_ = 0;
};

}  // namespace corvantis::receiver
