// Damage inside a lap track that the counts and sizes alone do not show:
// each is kept aside as damaged, never loaded as sound data; and the sound
// files that look alike still load.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "store/options_file.h"
#include "tests/store/memory_files.h"
#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

using testing::Bytes;
using testing::MemoryFiles;

// Offsets in the file below.
constexpr size_t kLap = 52;                        // the one lap definition
constexpr size_t kSplitLines = kLap + 8;           // 5 x (longitude, latitude)
constexpr size_t kLapEntries = kLap + 104;         // 100 x 20 bytes
constexpr size_t kLapCount = kLap + 2104;
constexpr size_t kName = kLap + 2108;              // 34 UTF-16 units
constexpr size_t kBox = kLap + 2176;               // min/max longitude, min/max latitude
constexpr size_t kTrack = kLap + 2208;             // the track points

// One track of four points around (8.5, 47.0) with a split line on point 2
// and two laps of one trace sample each.
Bytes trackFile() {
  Bytes b;
  b.defaultSettings(0, 1);
  b.u32(0).u32(0);
  b.f64(8.52).f64(47.02).zeros(4 * 16);
  b.i32(4).i32(1).zeros(8);
  b.run(81000, 100, 1, 4000).run(82000, 200, 1, 5000);
  for (int i = 0; i < 98; ++i) b.run(0, 0, 0);
  b.i32(2);
  const char16_t name[34] = u"Club";
  for (const char16_t unit : name) b.u16(unit);
  b.f64(8.5).f64(8.53).f64(47.0).f64(47.03);
  b.f64(8.5).f64(47.0).f64(8.51).f64(47.01).f64(8.52).f64(47.02).f64(8.53).f64(47.03);
  b.u32(4100).f32(80.0f).f32(0.0f);
  b.u32(5100).f32(81.0f).f32(0.0f);
  return b;
}

void putWord(Bytes& b, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) b.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}
void putDouble(Bytes& b, size_t offset, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  putWord(b, offset, static_cast<uint32_t>(bits));
  putWord(b, offset + 4, static_cast<uint32_t>(bits >> 32));
}
void putUnits(Bytes& b, size_t offset, const std::u16string& units) {
  for (size_t i = 0; i < units.size(); ++i) {
    b.at(offset + 2 * i) = static_cast<uint8_t>(units[i]);
    b.at(offset + 2 * i + 1) = static_cast<uint8_t>(units[i] >> 8);
  }
}

struct Case {
  const char* name;
  std::function<void(Bytes&)> change;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(OptionsFileDamage, ImpossibleTrackContentIsKeptAsideNotLoaded) {
  const Case cases[] = {
      {"a lap count above the laps held", [](Bytes& b) { putWord(b, kLapCount, 10); }},
      {"a lap count of 100 with two laps", [](Bytes& b) { putWord(b, kLapCount, 100); }},
      {"a lap count of 3 with two laps", [](Bytes& b) { putWord(b, kLapCount, 3); }},
      {"an empty lap among the counted ones", [](Bytes& b) { putWord(b, kLapEntries, 0); }},
      {"a NaN track latitude", [](Bytes& b) { putDouble(b, kTrack + 16 + 8, kNaN); }},
      {"an infinite track longitude", [](Bytes& b) { putDouble(b, kTrack + 32, kInf); }},
      {"a track latitude of 1e308", [](Bytes& b) { putDouble(b, kTrack + 8, 1e308); }},
      {"a track latitude past the pole", [](Bytes& b) { putDouble(b, kTrack + 8, 90.5); }},
      {"a track longitude past 180", [](Bytes& b) { putDouble(b, kTrack + 48, -180.01); }},
      {"a NaN split anchor", [](Bytes& b) { putDouble(b, kSplitLines + 8, kNaN); }},
      {"an absurd split anchor", [](Bytes& b) { putDouble(b, kSplitLines, -1e300); }},
      {"a NaN in an unused split anchor", [](Bytes& b) { putDouble(b, kSplitLines + 3 * 16, kNaN); }},
      {"a NaN map box", [](Bytes& b) { putDouble(b, kBox + 8, kNaN); }},
      {"an absurd map box", [](Bytes& b) { putDouble(b, kBox + 24, 1e308); }},
      {"a map box upside down", [](Bytes& b) { putDouble(b, kBox, 8.6); }},
      {"a point outside the map box", [](Bytes& b) { putDouble(b, kTrack + 16, 8.49); }},
      {"a name with no NUL", [](Bytes& b) { putUnits(b, kName, std::u16string(34, u'x')); }},
      {"a name of 32 characters", [](Bytes& b) { putUnits(b, kName, std::u16string(32, u'x') + u'\0'); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = trackFile();
    c.change(b);
    MemoryFiles files;
    files.files["/d/options.bin"] = b.bytes();
    Settings settings;
    RunRecords records;
    LapDefinitions laps;
    const OptionsLoad load = loadOptions(files, "/d/options.bin", settings, records, laps);
    EXPECT_EQ(load.outcome, OptionsLoad::Outcome::Damaged) << load.message;
    EXPECT_EQ(laps.count(), 0);
    EXPECT_EQ(files.files.count("/d/options.bin.damaged"), 1u);
  }
}

TEST(OptionsFileDamage, SoundTracksThatLookAlikeStillLoad) {
  const Case cases[] = {
      {"as made", [](Bytes&) {}},
      // Deleting laps or moving the start line lowers the count and may
      // leave older laps behind it.
      {"a lap count below the laps held", [](Bytes& b) { putWord(b, kLapCount, 1); }},
      {"a lap count of 0 with laps behind it", [](Bytes& b) { putWord(b, kLapCount, 0); }},
      {"a name of 31 characters", [](Bytes& b) { putUnits(b, kName, std::u16string(31, u'x') + u'\0'); }},
      {"31 characters in 33 units", [](Bytes& b) {
         putUnits(b, kName, std::u16string(29, u'x') + u"\U0001F3C1\U0001F3C1" + u'\0');
       }},
      {"control characters in the name", [](Bytes& b) { putUnits(b, kName, std::u16string(u"a\x1b[2Jb\0", 7)); }},
      {"the earth's edges", [](Bytes& b) {
         putDouble(b, kBox, -180.0);
         putDouble(b, kBox + 8, 180.0);
         putDouble(b, kBox + 16, -90.0);
         putDouble(b, kBox + 24, 90.0);
         putDouble(b, kTrack, -180.0);
         putDouble(b, kTrack + 8, -90.0);
         putDouble(b, kTrack + 48, 180.0);
         putDouble(b, kTrack + 56, 90.0);
       }},
      {"a split anchor on no track point", [](Bytes& b) { putDouble(b, kSplitLines, 1.25); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = trackFile();
    c.change(b);
    Settings settings;
    RunRecords records;
    LapDefinitions laps;
    const DecodeReport report = decodeOptions(b.bytes(), settings, records, laps);
    ASSERT_TRUE(report.ok()) << report.problem;
    ASSERT_EQ(laps.count(), 1);
    EXPECT_EQ(encodeOptions(settings, records, laps), b.bytes()) << "a load and save keeps every byte";
  }
}

// A track with no points (a recording that was never driven) has a zero box.
TEST(OptionsFileDamage, ATrackWithoutPointsLoads) {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  FixHistory empty;
  laps.createDefinition(empty, 0, nullptr, "Empty");
  const std::vector<uint8_t> bytes = encodeOptions(settings, records, laps);
  LapDefinitions loaded;
  ASSERT_TRUE(decodeOptions(bytes, settings, records, loaded).ok());
  EXPECT_EQ(loaded.at(0).name, "Empty");
}

}  // namespace
}  // namespace corvantis
