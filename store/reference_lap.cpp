#include "store/reference_lap.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace corvantis {
namespace {

constexpr uint8_t kMagic[4] = {'C', 'V', 'R', 'L'};
constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderBytes = 4 + 2 + 2;
constexpr size_t kKeyBytes = 4 + 4 * 8 + 8 + 2 * 8;
constexpr size_t kLapBytes = 4 * 4;  // time, stamp, start, point count
constexpr size_t kPointBytes = 8 + 8 + 4;
constexpr size_t kSegmentBytes = 4 + LapDefinition::kMaxSplitLines * 16 + (LapDefinition::kMaxSplitLines + 1) * 4;
constexpr size_t kCrcBytes = 4;

uint32_t crc32(std::span<const uint8_t> bytes) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (const uint8_t b : bytes) c = table[(c ^ b) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

class Writer {
 public:
  explicit Writer(size_t size) { bytes_.reserve(size); }
  void u16(uint16_t v) { put(v, 2); }
  void u32(uint32_t v) { put(v, 4); }
  void i32(int32_t v) { put(static_cast<uint32_t>(v), 4); }
  void f64(double v) { put(std::bit_cast<uint64_t>(v), 8); }
  void raw(const uint8_t* data, size_t n) { bytes_.insert(bytes_.end(), data, data + n); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  void put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> bytes_;
};

// Reads within the bytes it was given; the caller has checked the length.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint16_t u16() { return static_cast<uint16_t>(get(2)); }
  uint32_t u32() { return static_cast<uint32_t>(get(4)); }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  double f64() { return std::bit_cast<double>(get(8)); }
  size_t at() const { return at_; }

 private:
  uint64_t get(int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(bytes_[at_ + static_cast<size_t>(i)]) << (8 * i);
    at_ += static_cast<size_t>(n);
    return v;
  }
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

bool onEarth(double longitude, double latitude) {
  return std::isfinite(longitude) && std::isfinite(latitude) && std::fabs(longitude) <= 180.0 &&
         std::fabs(latitude) <= 90.0;
}

size_t fileBytes(size_t points) {
  return kHeaderBytes + kKeyBytes + kLapBytes + points * kPointBytes + kSegmentBytes + kCrcBytes;
}

}  // namespace

// A well-mixed 64-bit value of a point; summed over the points, the order
// they come in makes no difference.
uint64_t pointHash(const TrackPoint& p) {
  uint64_t z = std::bit_cast<uint64_t>(p.longitude) ^ std::rotl(std::bit_cast<uint64_t>(p.latitude), 29);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

TrackKey trackKeyOf(const LapDefinition& definition) {
  TrackKey key;
  key.pointCount = definition.trackPointCount();
  for (const TrackPoint& p : definition.track) key.pointsHash += pointHash(p);
  key.box = {definition.minLongitude, definition.maxLongitude, definition.minLatitude, definition.maxLatitude};
  if (!definition.track.empty()) key.startFinish = definition.track.front();
  return key;
}

std::vector<uint8_t> encodeKeptLaps(const TrackKey& key, const KeptLaps& kept) {
  // An empty reference is written without points.
  const bool hasPath = !kept.reference.empty();
  const std::vector<ReferencePoint>& path = kept.reference.path;
  Writer w(fileBytes(hasPath ? path.size() : 0));
  w.raw(kMagic, sizeof kMagic);
  w.u16(kVersion);
  w.u16(0);
  w.i32(key.pointCount);
  for (const double v : key.box) w.f64(v);
  w.u32(static_cast<uint32_t>(key.pointsHash));
  w.u32(static_cast<uint32_t>(key.pointsHash >> 32));
  w.f64(key.startFinish.longitude);
  w.f64(key.startFinish.latitude);
  w.u32(hasPath ? kept.reference.lapTimeMs : 0);
  w.u32(hasPath ? kept.reference.stamp : 0);
  w.u32(hasPath ? kept.reference.startTimeOfDayMs : 0);
  w.u32(hasPath ? static_cast<uint32_t>(path.size()) : 0);
  if (hasPath) {
    for (const ReferencePoint& p : path) {
      w.f64(p.longitude);
      w.f64(p.latitude);
      w.u32(p.elapsedMs);
    }
  }
  w.i32(kept.segments.splitCount);
  for (const TrackPoint& anchor : kept.segments.splitAnchors) {
    w.f64(anchor.longitude);
    w.f64(anchor.latitude);
  }
  for (const uint32_t best : kept.segments.bestMs) w.u32(best);
  w.u32(crc32(w.bytes()));
  return std::move(w.bytes());
}

bool decodeKeptLaps(std::span<const uint8_t> bytes, TrackKey& key, KeptLaps& kept, std::string& problem) {
  const auto fail = [&](const char* why) {
    problem = why;
    return false;
  };
  if (bytes.size() < fileBytes(0)) return fail("it is shorter than any kept lap");
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return fail("it is not a kept lap");
  const size_t body = bytes.size() - kCrcBytes;
  Reader crcReader(bytes.subspan(body));
  if (crcReader.u32() != crc32(bytes.first(body))) return fail("its checksum does not match its content");

  Reader r(bytes.subspan(sizeof kMagic));
  if (r.u16() != kVersion) return fail("it was written in a format this version does not know");
  r.u16();
  TrackKey readKey;
  readKey.pointCount = r.i32();
  for (double& v : readKey.box) v = r.f64();
  readKey.pointsHash = r.u32();
  readKey.pointsHash |= static_cast<uint64_t>(r.u32()) << 32;
  readKey.startFinish.longitude = r.f64();
  readKey.startFinish.latitude = r.f64();
  KeptLaps readKept;
  ReferenceLap& lap = readKept.reference;
  lap.lapTimeMs = r.u32();
  lap.stamp = r.u32();
  lap.startTimeOfDayMs = r.u32();
  const uint32_t points = r.u32();
  if (points > static_cast<uint32_t>(kMaxReferencePoints)) return fail("its path holds more points than a lap can");
  if (bytes.size() != fileBytes(points)) return fail("its length does not match the points it holds");
  if ((points == 0) != (lap.lapTimeMs == 0) || points == 1) return fail("its lap has no path or no time");
  lap.path.resize(points);
  for (ReferencePoint& p : lap.path) {
    p.longitude = r.f64();
    p.latitude = r.f64();
    p.elapsedMs = r.u32();
    if (!onEarth(p.longitude, p.latitude)) return fail("a point of its path lies off the earth");
  }
  if (points > 0) {
    if (lap.path.front().elapsedMs != 0 || lap.path.back().elapsedMs != lap.lapTimeMs) {
      return fail("its path does not run from the start crossing to the end crossing");
    }
    for (size_t i = 1; i < lap.path.size(); ++i) {
      if (lap.path[i].elapsedMs < lap.path[i - 1].elapsedMs) return fail("its path runs back in time");
    }
  }
  SegmentBests& segments = readKept.segments;
  segments.splitCount = r.i32();
  if (segments.splitCount < 0 || segments.splitCount > LapDefinition::kMaxSplitLines) {
    return fail("it holds an impossible number of split lines");
  }
  for (TrackPoint& anchor : segments.splitAnchors) {
    anchor.longitude = r.f64();
    anchor.latitude = r.f64();
  }
  for (uint32_t& best : segments.bestMs) best = r.u32();
  for (size_t k = static_cast<size_t>(segments.splitCount) + 1; k < segments.bestMs.size(); ++k) {
    if (segments.bestMs[k] != 0) return fail("it holds a segment time beyond its split lines");
  }
  if (!onEarth(readKey.startFinish.longitude, readKey.startFinish.latitude)) {
    return fail("its start/finish point lies off the earth");
  }
  key = readKey;
  kept = std::move(readKept);
  problem.clear();
  return true;
}

}  // namespace corvantis
