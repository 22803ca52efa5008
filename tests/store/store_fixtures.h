#pragma once
// Helpers shared by the store tests: fix histories with known samples, and a
// little-endian byte builder that spells out expected file images on its
// own, without the encoder under test.
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "gps/fix_history.h"
#include "store/lap_definitions.h"
#include "store/run_records.h"

namespace corvantis::testing {

// count samples heading north from (lon 8.5, lat 47.0), 100 ms apart, each
// about 0.9 m after the one before, with speeds 1.5 mph apart.
inline void fillHistory(FixHistory& history, int count, uint32_t firstTimeMs = 45319000) {
  history.count = count;
  for (int i = 0; i < count; ++i) {
    FixSample& s = history.samples[static_cast<size_t>(i)];
    s.longitude = 8.5 + i * 1e-7;
    s.latitude = 47.0 + i * 8e-6;
    s.altitude = 410.0f;
    s.speed = 1.5f * static_cast<float>(i);
    s.time = firstTimeMs + 100u * static_cast<uint32_t>(i);
  }
}

// An independent writer for expected file images.
class Bytes {
 public:
  Bytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b_.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
    return *this;
  }
  Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Bytes& f32(float v) { return u32(std::bit_cast<uint32_t>(v)); }
  Bytes& f64(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    return u32(static_cast<uint32_t>(bits & 0xFFFFFFFFu)).u32(static_cast<uint32_t>(bits >> 32));
  }
  Bytes& u16(uint16_t v) {
    b_.push_back(static_cast<uint8_t>(v & 0xFF));
    b_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes& zeros(size_t n) {
    b_.insert(b_.end(), n, 0);
    return *this;
  }
  Bytes& append(const std::vector<uint8_t>& more) {
    b_.insert(b_.end(), more.begin(), more.end());
    return *this;
  }
  // The size word 48 and the default settings with the two given counts.
  Bytes& defaultSettings(int32_t recordSets = 0, int32_t lapDefinitions = 0) {
    u32(48).i32(5).i32(0).f32(0.0f).f32(60.0f).i32(recordSets).i32(0);
    u32(0x4189374C).u32(0x40792560);  // 402.336 m
    return u32(0).u32(0).i32(lapDefinitions).u32(0);
  }
  // One 20-byte run record with a zero trace slot.
  Bytes& run(uint32_t timeMs, uint32_t stamp, int32_t traceCount, uint32_t startTime = 0) {
    return u32(timeMs).u32(stamp).i32(traceCount).u32(0).u32(startTime);
  }
  // The trace samples of a run as buildTrace makes them.
  Bytes& trace(const RunRecord& run) {
    for (const TraceSample& s : run.trace) u32(s.time).f32(s.speed).f32(s.distance);
    return *this;
  }
  size_t size() const { return b_.size(); }
  const std::vector<uint8_t>& bytes() const { return b_; }
  uint8_t& at(size_t i) { return b_.at(i); }

 private:
  std::vector<uint8_t> b_;
};

inline uint32_t wordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes.at(offset)) | static_cast<uint32_t>(bytes.at(offset + 1)) << 8 |
         static_cast<uint32_t>(bytes.at(offset + 2)) << 16 | static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
}

}  // namespace corvantis::testing
