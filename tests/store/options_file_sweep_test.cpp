// A sweep of damaged files: files with lap tracks, made by the stores as the
// program makes them, each damaged thousands of ways (bits flipped, bytes
// and words overwritten with telling values, cut, grown, shifted). Whatever
// loads must be data a sound file can hold, checked here on its own terms
// rather than by the loader's code, and must save back to the same size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "store/options_file.h"
#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

// A closed circuit of `points` fixes around (lon, lat), 100 ms apart.
void circuit(FixHistory& history, int points, double lon, double lat, uint32_t startMs) {
  history.count = points;
  for (int i = 0; i < points; ++i) {
    const double a = 2.0 * 3.141592653589793 * i / points;
    FixSample& s = history.samples[static_cast<size_t>(i)];
    s.longitude = lon + 0.004 * std::cos(a);
    s.latitude = lat + 0.0025 * std::sin(a);
    s.altitude = 140.0f;
    s.speed = 60.0f + static_cast<float>(i % 30);
    s.time = startMs + 100u * static_cast<uint32_t>(i);
  }
}

struct Stores {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  std::vector<uint8_t> encode() {
    keepCountsInStep(settings, records, laps);
    return encodeOptions(settings, records, laps);
  }
};

// Three sound files with tracks of different shapes.
std::vector<std::vector<uint8_t>> soundFiles() {
  std::vector<std::vector<uint8_t>> files;
  auto history = std::make_unique<FixHistory>();
  {
    // Two tracks (split lines, laps with traces) and two run sets.
    Stores s;
    circuit(*history, 120, -1.787, 51.572, 43200000);
    const TrackPoint splits[] = {{history->samples[40].longitude, history->samples[40].latitude},
                                 {history->samples[80].longitude, history->samples[80].latitude}};
    s.laps.createDefinition(*history, 2, splits, "Club circuit");
    circuit(*history, 30, 8.57, 49.33, 43300000);
    for (uint32_t lap = 0; lap < 6; ++lap) s.laps.addLapTime(0, 79000 + 37 * lap, 43300000 + lap, 1796479620 + lap, *history);
    circuit(*history, 60, 6.95, 50.33, 43400000);
    s.laps.createDefinition(*history, 0, nullptr, "Nord");
    for (uint32_t lap = 0; lap < 3; ++lap) s.laps.addLapTime(1, 480000 + lap, 43400000, 1796480000, *history);
    s.records.addRun(RecordKey{0, 60}, 4919, 1796479632, *history);
    s.records.addRun(RecordKey{0, 60}, 5011, 1796479700, *history);
    s.records.addRun(distanceKey(402.336), 12345, 1796479800, *history);
    files.push_back(s.encode());
  }
  {
    // A full track: 100 laps, five split lines, a name of 31 characters.
    Stores s;
    circuit(*history, 64, 174.77, -41.29, 1000);
    std::vector<TrackPoint> splits;
    for (int k = 1; k <= 5; ++k) splits.push_back({history->samples[10 * k].longitude, history->samples[10 * k].latitude});
    s.laps.createDefinition(*history, 5, splits.data(), std::string(29, 'R') + "\xF0\x9F\x8F\x81\xF0\x9F\x8F\x81");
    circuit(*history, 8, 174.77, -41.29, 2000);
    for (uint32_t lap = 0; lap < 100; ++lap) s.laps.addLapTime(0, 61000 + lap, lap, lap, *history);
    files.push_back(s.encode());
  }
  {
    // A track whose laps were all deleted, one never driven, on both sides
    // of the date line and near a pole.
    Stores s;
    circuit(*history, 40, 179.998, 89.99, 5000);
    s.laps.createDefinition(*history, 0, nullptr, "Edge");
    circuit(*history, 20, -179.998, -89.99, 6000);
    const TrackPoint split{history->samples[3].longitude, history->samples[3].latitude};
    s.laps.createDefinition(*history, 1, &split, "");
    s.laps.addLapTime(1, 90000, 6000, 1, *history);
    s.laps.at(1).lapCount = 0;
    files.push_back(s.encode());
  }
  return files;
}

// What no sound file holds, said in words; empty when the data is sound.
std::string unsound(const Settings& settings, const RunRecords& records, const LapDefinitions& laps) {
  const auto onEarth = [](double lon, double lat) {
    return std::isfinite(lon) && std::isfinite(lat) && lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0;
  };
  if (settings.recordSetCount != static_cast<int32_t>(records.sets().size())) return "set count out of step";
  if (settings.lapDefinitionCount != laps.count()) return "track count out of step";
  for (const RecordSet& set : records.sets()) {
    for (int i = 0; i < set.filledCount(); ++i) {
      const RunRecord& run = set.runs[static_cast<size_t>(i)];
      if (run.traceCount != static_cast<int32_t>(run.trace.size())) return "a run's trace count is not its trace";
    }
  }
  for (const LapDefinition& d : laps.definitions()) {
    int filled = 0;
    while (filled < LapDefinition::kMaxLaps && d.laps[static_cast<size_t>(filled)].timeMs != 0) ++filled;
    if (d.lapCount < 0 || d.lapCount > filled) return "the lap count is not the laps held";
    for (int i = 0; i < filled; ++i) {
      const RunRecord& lap = d.laps[static_cast<size_t>(i)];
      if (lap.traceCount != static_cast<int32_t>(lap.trace.size())) return "a lap's trace count is not its trace";
    }
    if (d.splitLineCount < 0 || d.splitLineCount > LapDefinition::kMaxSplitLines) return "split line count";
    bool ended = false;
    for (const uint16_t unit : d.loadedNameUnits) ended = ended || unit == 0;
    if (!ended) return "a name without its end";
    size_t characters = 0;
    for (const char c : d.name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    if (characters > 31) return "a name over 31 characters";
    for (const TrackPoint& p : d.splitLines) {
      if (!onEarth(p.longitude, p.latitude)) return "a split line off the earth";
    }
    if (!onEarth(d.minLongitude, d.minLatitude) || !onEarth(d.maxLongitude, d.maxLatitude)) return "a box off the earth";
    for (const TrackPoint& p : d.track) {
      if (!onEarth(p.longitude, p.latitude)) return "a track point off the earth";
      if (p.longitude < d.minLongitude || p.longitude > d.maxLongitude || p.latitude < d.minLatitude ||
          p.latitude > d.maxLatitude) {
        return "a track point outside the box";
      }
    }
  }
  return {};
}

// One way of damaging a file.
std::vector<uint8_t> mutate(const std::vector<uint8_t>& sound, std::mt19937& random) {
  std::vector<uint8_t> bytes = sound;
  const auto anywhere = [&](size_t width) {
    return std::uniform_int_distribution<size_t>(0, bytes.size() - width)(random);
  };
  // Mostly inside the lap tracks (after the record sets and their traces).
  const auto inTracks = [&](size_t width) {
    const size_t from = std::min(bytes.size() - width, bytes.size() / 3);
    return std::uniform_int_distribution<size_t>(from, bytes.size() - width)(random);
  };
  const auto at = [&](size_t width) { return random() % 4 == 0 ? anywhere(width) : inTracks(width); };
  const auto putWord = [&](size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  static const uint32_t words[] = {0, 1, 2, 3, 5, 6, 31, 32, 33, 34, 99, 100, 101, 2047, 2048, 2049,
                                   0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x00010000};
  static const double doubles[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(), 1e308, -1e308, 90.0000001, -180.5,
                                   1e-310, 0.0, 45.0};
  switch (random() % 9) {
    case 0:  // bits flipped
      for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n) bytes[at(1)] ^= static_cast<uint8_t>(1u << (random() % 8));
      break;
    case 1:  // bytes overwritten
      for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) bytes[at(1)] = static_cast<uint8_t>(random());
      break;
    case 2: {  // a word: a count one off, zero, negative, huge
      const size_t offset = at(4) & ~size_t{3};
      uint32_t value = words[random() % std::size(words)];
      if (random() % 2 == 0) {
        std::memcpy(&value, &bytes[offset], 4);
        value += random() % 2 == 0 ? 1 : static_cast<uint32_t>(-1);
      }
      putWord(offset, value);
      break;
    }
    case 3: {  // a double: NaN, infinite, absurd, just off the earth
      const size_t offset = at(8) & ~size_t{7};
      uint64_t bits = 0;
      const double value = doubles[random() % std::size(doubles)];
      std::memcpy(&bits, &value, 8);
      putWord(offset, static_cast<uint32_t>(bits));
      putWord(offset + 4, static_cast<uint32_t>(bits >> 32));
      break;
    }
    case 4:  // cut short
      bytes.resize(anywhere(1));
      break;
    case 5: {  // bytes put in
      const size_t offset = at(1);
      const size_t count = 1 + random() % 40;
      std::vector<uint8_t> more(count);
      for (uint8_t& b : more) b = static_cast<uint8_t>(random());
      bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(offset), more.begin(), more.end());
      break;
    }
    case 6: {  // bytes taken out
      const size_t offset = at(1);
      const size_t count = std::min<size_t>(1 + random() % 40, bytes.size() - offset);
      bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                  bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
      break;
    }
    case 7: {  // a stretch written twice
      const size_t count = 1 + random() % 64;
      const size_t from = anywhere(std::min(count, bytes.size()));
      const std::vector<uint8_t> stretch(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from + count, bytes.size())));
      bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at(1)), stretch.begin(), stretch.end());
      break;
    }
    default: {  // a stretch copied over another
      const size_t count = 4 + random() % 60;
      if (bytes.size() <= count) break;
      const size_t from = anywhere(count);
      const size_t to = at(count);
      std::memmove(&bytes[to], &sound[from], count);
      break;
    }
  }
  return bytes;
}

TEST(OptionsFileSweep, NoDamagedFileWithTracksLoadsWithImpossibleData) {
  const std::vector<std::vector<uint8_t>> sound = soundFiles();
  for (const std::vector<uint8_t>& file : sound) {
    Stores s;
    ASSERT_TRUE(decodeOptions(file, s.settings, s.records, s.laps).ok());
    ASSERT_EQ(unsound(s.settings, s.records, s.laps), "");
  }
  // CORV_SWEEP_MUTANTS and CORV_SWEEP_SEED run a larger or another sweep.
  const char* mutants = std::getenv("CORV_SWEEP_MUTANTS");
  const char* seed = std::getenv("CORV_SWEEP_SEED");
  std::mt19937 random(seed != nullptr ? static_cast<unsigned>(std::atol(seed)) : 19u);
  const int kPerFile = mutants != nullptr ? std::atoi(mutants) : 3000;
  int loaded = 0;
  int refused = 0;
  for (const std::vector<uint8_t>& file : sound) {
    for (int n = 0; n < kPerFile; ++n) {
      const std::vector<uint8_t> damaged = mutate(file, random);
      if (damaged == file) continue;
      Stores s;
      if (!decodeOptions(damaged, s.settings, s.records, s.laps).ok()) {
        ++refused;
        continue;
      }
      ++loaded;
      const std::string problem = unsound(s.settings, s.records, s.laps);
      ASSERT_EQ(problem, "") << "mutant " << n;
      // Nothing was left behind: saved again, it is as long as it was.
      ASSERT_EQ(encodeOptions(s.settings, s.records, s.laps).size(), damaged.size()) << "mutant " << n;
    }
  }
  std::printf("damaged files with tracks: %d loaded as sound data, %d refused as damaged\n", loaded, refused);
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace corvantis
