#include "store/options_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/store/memory_files.h"
#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

using testing::Bytes;
using testing::fillHistory;
using testing::MemoryFiles;
using testing::wordAt;

struct Stores {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;

  std::vector<uint8_t> encode() const { return encodeOptions(settings, records, laps); }
  DecodeReport decode(const std::vector<uint8_t>& bytes) { return decodeOptions(bytes, settings, records, laps); }
};

// Pre-filled stores, to see that a refused file leaves them untouched.
Stores sentinelStores() {
  Stores s;
  s.settings.port = 2;
  FixHistory history;
  fillHistory(history, 4);
  s.records.addRun(RecordKey{0, 60}, 4321, 1, history);
  s.laps.createDefinition(history, 0, nullptr, "Kept");
  keepCountsInStep(s.settings, s.records, s.laps);
  return s;
}

void expectSentinel(const Stores& s) {
  EXPECT_EQ(s.settings.port, 2);
  ASSERT_EQ(s.records.sets().size(), 1u);
  EXPECT_EQ(s.records.sets()[0].runs[0].timeMs, 4321u);
  ASSERT_EQ(s.laps.count(), 1);
  EXPECT_EQ(s.laps.at(0).name, "Kept");
}

TEST(OptionsFile, DefaultsMakeThe52ByteFile) {
  const std::vector<uint8_t> expected = {
      0x30, 0, 0, 0,                                   // size 48
      5, 0, 0, 0,                                      // port COM6
      0, 0, 0, 0,                                      // 4800 baud
      0, 0, 0, 0,                                      // from 0 mph
      0, 0, 0x70, 0x42,                                // to 60 mph
      0, 0, 0, 0,                                      // no record sets
      0, 0, 0, 0,                                      // Imperial
      0x4C, 0x37, 0x89, 0x41, 0x60, 0x25, 0x79, 0x40,  // 402.336 m
      0, 0, 0, 0, 0, 0, 0, 0,                          // reserved
      0, 0, 0, 0,                                      // no lap definitions
      0, 0, 0, 0,                                      // reserved
  };
  Stores s;
  loadSettingsDefaults(s.settings);
  EXPECT_EQ(s.encode(), expected);
  EXPECT_EQ(wordAt(expected, 28), 0x4189374Cu);
  EXPECT_EQ(wordAt(expected, 32), 0x40792560u);
}

TEST(OptionsFile, OneRecordSetWithTwoRuns) {
  Stores s;
  FixHistory history;
  fillHistory(history, 100);
  ASSERT_TRUE(s.records.addRun(RecordKey{0, 60}, 5234, 1765090000, history));
  history.count = 0;  // the second run has no trace
  ASSERT_TRUE(s.records.addRun(RecordKey{0, 60}, 6000, 1765090100, history));
  const std::vector<uint8_t> bytes = s.encode();
  ASSERT_EQ(bytes.size(), 4u + 48 + 204 + 1200);

  Bytes expected;
  expected.defaultSettings(1, 0).u32(60).run(5234, 1765090000, 100).run(6000, 1765090100, 0);
  for (int i = 0; i < 8; ++i) expected.run(0, 0, 0);
  expected.trace(s.records.sets()[0].runs[0]);
  EXPECT_EQ(bytes, expected.bytes());
}

TEST(OptionsFile, LapDefinitionWithTrackAndTwoLaps) {
  Stores s;
  FixHistory history;
  fillHistory(history, 500);
  const TrackPoint anchors[] = {{1.25, 2.5}, {3.75, 4.125}};
  s.laps.createDefinition(history, 2, anchors, "N\xC3\xBCrburgring");
  fillHistory(history, 300, 50000000);
  ASSERT_TRUE(s.laps.addLapTime(0, 83456, 50000100, 1765090000, history));
  fillHistory(history, 300, 50090000);
  ASSERT_TRUE(s.laps.addLapTime(0, 82001, 50090200, 1765090090, history));
  const std::vector<uint8_t> bytes = s.encode();
  ASSERT_EQ(bytes.size(), 4u + 48 + 2208 + 8000 + 3600 + 3600);

  const LapDefinition& d = s.laps.at(0);
  Bytes expected;
  expected.defaultSettings(0, 1).u32(0).u32(0);  // track slot, padding
  expected.f64(1.25).f64(2.5).f64(3.75).f64(4.125).zeros(3 * 16);
  expected.i32(500).i32(2).zeros(8);
  expected.run(83456, 1765090000, 300, 50000100).run(82001, 1765090090, 300, 50090200);
  for (int i = 0; i < 98; ++i) expected.run(0, 0, 0);
  expected.i32(2);
  const char16_t name[] = u"N\u00FCrburgring";
  for (char16_t unit : name) expected.u16(unit);
  expected.zeros((34 - 12) * 2);
  expected.f64(d.minLongitude).f64(d.maxLongitude).f64(d.minLatitude).f64(d.maxLatitude);
  ASSERT_EQ(expected.size(), 4u + 48 + 2208);
  for (const TrackPoint& p : d.track) expected.f64(p.longitude).f64(p.latitude);
  expected.trace(d.laps[0]).trace(d.laps[1]);
  EXPECT_EQ(bytes, expected.bytes());
  // The offsets named in the record's layout.
  const size_t record = 52;
  EXPECT_EQ(wordAt(bytes, record + 88), 500u);
  EXPECT_EQ(wordAt(bytes, record + 104), 83456u);
  EXPECT_EQ(wordAt(bytes, record + 2104), 2u);
  EXPECT_EQ(wordAt(bytes, record + 2108), 0x00FC004Eu);  // "Nü"
}

// A file with something in every corner: non-default and reserved settings
// words, runs after an empty slot (with trace counts but no samples),
// padding and reserved bytes of a lap definition, a name with a lone
// surrogate and units after its NUL.
Bytes richFile(uint32_t traceSlot = 0, uint32_t trackSlot = 0) {
  Bytes b;
  b.u32(48).i32(1).i32(4).f32(20.5f).f32(70.0f).i32(2).i32(1).f64(1609.344).u32(0xA1).u32(0xB2).i32(1).u32(0xC3);
  const auto run = [&](uint32_t timeMs, uint32_t stamp, int32_t traceCount, uint32_t start) {
    b.u32(timeMs).u32(stamp).i32(traceCount).u32(traceSlot).u32(start);
  };
  b.u32(20 << 16 | 70);
  run(9000, 11, 2, 0);
  run(8000, 12, 0, 0);
  run(0, 13, 50, 0);     // forgotten: its samples are not in the file
  run(7000, 14, 40, 0);  // after the empty slot: no samples either
  for (int i = 0; i < 6; ++i) run(0, 0, 0, 0);
  b.u32(0x8192u << 16 | 22020);
  for (int i = 0; i < 10; ++i) run(15000 + i, 20 + i, 1, 3);
  // traces of set 0 (slot 0 only), then of set 1 (all ten)
  b.u32(100).f32(1.0f).f32(0.0f).u32(200).f32(2.0f).f32(0.5f);
  for (int i = 0; i < 10; ++i) b.u32(300 + i).f32(3.0f).f32(0.25f);
  // the lap definition
  b.u32(trackSlot).u32(0xDEADBEEF);
  b.f64(8.1).f64(47.1).f64(8.2).f64(47.2).zeros(48);
  b.i32(3).i32(2).u32(0x01020304).u32(0x05060708);
  run(61000, 31, 2, 4000);
  run(0, 32, 9, 5000);
  run(62000, 33, 9, 6000);
  for (int i = 0; i < 97; ++i) run(0, 0, 0, 0);
  b.i32(1);
  const char16_t name[34] = {u'S', u'p', u'a', 0xD800, u'!', 0, u'o', u'l', u'd'};
  for (char16_t unit : name) b.u16(unit);
  b.f64(8.0).f64(8.3).f64(47.0).f64(47.3);
  b.f64(8.1).f64(47.1).f64(8.2).f64(47.2).f64(8.3).f64(47.3);
  b.u32(4100).f32(80.0f).f32(0.0f).u32(4200).f32(81.0f).f32(2.25f);
  return b;
}

TEST(OptionsFile, LoadThenSaveGivesTheSameBytes) {
  Stores s;
  const DecodeReport report = s.decode(richFile().bytes());
  ASSERT_TRUE(report.ok()) << report.problem;
  EXPECT_EQ(report.trailingBytes, 0u);
  EXPECT_EQ(s.encode(), richFile().bytes());

  // What was loaded, as the screens see it.
  EXPECT_EQ(s.settings.accelFrom, 20.5f);
  EXPECT_EQ(s.settings.units, 1);
  EXPECT_EQ(s.settings.reserved36, 0xB2u);
  ASSERT_EQ(s.records.sets().size(), 2u);
  const RecordSet& first = s.records.sets()[0];
  EXPECT_EQ(first.filledCount(), 2);
  EXPECT_EQ(first.runs[0].trace.size(), 2u);
  EXPECT_EQ(first.runs[0].trace[1].distance, 0.5f);
  EXPECT_TRUE(first.runs[2].trace.empty());
  EXPECT_EQ(first.runs[2].traceCount, 50);
  EXPECT_TRUE(first.runs[3].trace.empty()) << "no trace after the first empty slot";
  EXPECT_EQ(s.records.bestTime(keyFromValue(0x8192u << 16 | 22020)), 15000u);
  const LapDefinition& d = s.laps.at(0);
  EXPECT_EQ(d.name, "Spa\xEF\xBF\xBD!");
  EXPECT_EQ(d.trackPointCount(), 3);
  EXPECT_EQ(d.track[2], (TrackPoint{8.3, 47.3}));
  EXPECT_EQ(d.laps[0].trace.size(), 2u);
  EXPECT_TRUE(d.laps[2].trace.empty());
  EXPECT_EQ(s.laps.lastLapTime(0), 61000u);
}

TEST(OptionsFile, TraceAndTrackSlotsAreWrittenAsZero) {
  Stores s;
  ASSERT_TRUE(s.decode(richFile(0x11111111, 0x22222222).bytes()).ok());
  EXPECT_EQ(s.encode(), richFile().bytes());
}

TEST(OptionsFile, ARenamedTrackGetsItsNameAfresh) {
  Stores s;
  ASSERT_TRUE(s.decode(richFile().bytes()).ok());
  s.laps.at(0).name = "Zolder";
  const std::vector<uint8_t> bytes = s.encode();
  const size_t name = 4 + 48 + 2 * 204 + 12 * 12 + 2108;
  Bytes expected;
  for (char16_t unit : std::u16string(u"Zolder")) expected.u16(unit);
  expected.zeros(2 * (34 - 6));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + name, bytes.begin() + name + 68), expected.bytes());
}

TEST(OptionsFile, AForgottenRunsTraceIsNeitherWrittenNorExpected) {
  Stores s;
  FixHistory history;
  const RecordKey key{0, 60};
  for (int n : {5, 6, 7}) {
    fillHistory(history, n);
    s.records.addRun(key, 4000 + static_cast<uint32_t>(n), 0, history);
  }
  s.records.forgetLastRun(key);
  const std::vector<uint8_t> bytes = s.encode();
  EXPECT_EQ(bytes.size(), 4u + 48 + 204 + (5 + 6) * 12);
  EXPECT_EQ(wordAt(bytes, 52 + 4 + 2 * 20), 0u) << "the forgotten run's time";
  EXPECT_EQ(wordAt(bytes, 52 + 4 + 2 * 20 + 8), 7u) << "its trace count stays";

  Stores loaded;
  const DecodeReport report = loaded.decode(bytes);
  ASSERT_TRUE(report.ok()) << report.problem;
  EXPECT_EQ(report.trailingBytes, 0u);
  EXPECT_EQ(loaded.records.sets()[0].runs[1].trace.size(), 6u);
  EXPECT_EQ(loaded.encode(), bytes);
}

TEST(OptionsFile, CountsWrittenAreThoseOfTheStores) {
  Stores s;
  FixHistory history;
  s.records.addRun(RecordKey{0, 60}, 5000, 0, history);
  s.settings.recordSetCount = 7;
  s.settings.lapDefinitionCount = -3;
  const std::vector<uint8_t> bytes = s.encode();
  EXPECT_EQ(wordAt(bytes, 4 + 16), 1u);
  EXPECT_EQ(wordAt(bytes, 4 + 40), 0u);
  Stores loaded;
  ASSERT_TRUE(loaded.decode(bytes).ok());
  EXPECT_EQ(loaded.settings.recordSetCount, 1);
  EXPECT_EQ(loaded.settings.lapDefinitionCount, 0);
}

TEST(OptionsFile, AShorterSettingsRecordKeepsTheRestAtDefaults) {
  struct Case {
    std::vector<uint8_t> file;
    int32_t port;
    int32_t baudIndex;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, 5, 0},
      {{4, 0, 0, 0, 2, 0, 0, 0}, 2, 0},
      {{8, 0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 0}, 2, 7},
      // 6 bytes: only the low half of the rate index comes from the file.
      {{6, 0, 0, 0, 1, 0, 0, 0, 3, 0}, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.size());
    Stores s = sentinelStores();
    ASSERT_TRUE(s.decode(c.file).ok());
    EXPECT_EQ(s.settings.port, c.port);
    EXPECT_EQ(s.settings.baudIndex, c.baudIndex);
    EXPECT_EQ(s.settings.accelTo, 60.0f);
    EXPECT_EQ(s.settings.distance, 402.336);
    EXPECT_TRUE(s.records.sets().empty());
    EXPECT_EQ(s.laps.count(), 0);
  }
}

// Damage that leaves a file which reads as a smaller sound one: a count made
// smaller, or bytes after the data. Each is refused and kept aside byte for
// byte, so the save at exit cannot write the smaller file over it.
TEST(OptionsFile, ADamagedCountNeverLoadsAsASmallerFile) {
  const size_t settings = 4;
  const size_t set1 = 52 + 204;
  const size_t lap = 52 + 2 * 204 + 12 * 12;
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
  };
  const auto flip = [](size_t offset, int bit) {
    return [offset, bit](Bytes& b) { b.at(offset) ^= static_cast<uint8_t>(1u << bit); };
  };
  const Case cases[] = {
      {"zeros after the data", [](Bytes& b) { b.zeros(5); }},
      {"settings size zeroed", [](Bytes& b) { for (size_t i = 0; i < 4; ++i) b.at(i) = 0; }},
      {"record set count 2 read as 0", flip(settings + 16, 1)},
      {"trace count 1 read as 0", flip(set1 + 4 + 8, 0)},
      {"lap definition count 1 read as 0", flip(settings + 40, 0)},
      {"track point count 3 read as 2", flip(lap + 88, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = richFile();
    c.damage(b);
    MemoryFiles files;
    files.files["/d/options.bin"] = b.bytes();
    Stores s = sentinelStores();
    const OptionsLoad load = loadOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
    ASSERT_EQ(load.outcome, OptionsLoad::Outcome::Damaged) << load.message;
    EXPECT_TRUE(load.saveAtExit);
    EXPECT_TRUE(s.records.sets().empty());
    EXPECT_EQ(files.files.at("/d/options.bin.damaged"), b.bytes());
  }
}

// Whatever one flipped bit does, a file that still loads holds exactly what
// was loaded: saving it again writes as many bytes as were there.
// A damaged file that cannot be moved aside stays where it is, and the
// session must not save over it.
TEST(OptionsFile, ADamagedFileThatCannotGoAsideIsNotSavedOver) {
  MemoryFiles files;
  files.failMoves = "Read-only file system";
  const std::vector<uint8_t> damaged = {48, 0, 0, 0, 1, 2, 3};
  files.files["/d/options.bin"] = damaged;
  Stores s = sentinelStores();
  const OptionsLoad load = loadOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
  EXPECT_EQ(load.outcome, OptionsLoad::Outcome::Damaged);
  EXPECT_FALSE(load.saveAtExit);
  EXPECT_NE(load.message.find("Read-only file system"), std::string::npos) << load.message;
  EXPECT_NE(load.exitMessage.find("/d/options.bin"), std::string::npos) << load.exitMessage;
  EXPECT_EQ(files.files.at("/d/options.bin"), damaged);
}

TEST(OptionsFile, NoSingleBitFlipLoadsWithLessDataThanTheFileHolds) {
  const std::vector<uint8_t> sound = richFile().bytes();
  int loaded = 0;
  for (size_t bit = 0; bit < sound.size() * 8; ++bit) {
    std::vector<uint8_t> flipped = sound;
    flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    Stores s;
    if (!s.decode(flipped).ok()) continue;
    ++loaded;
    ASSERT_EQ(s.encode().size(), flipped.size()) << "bit " << bit;
  }
  EXPECT_GT(loaded, 0);
}

TEST(OptionsFile, AFileLargerThanItsCountsAllowIsDamagedUnread) {
  const uint64_t kSet = 204 + 10 * 2048 * 12;
  const uint64_t kLap = 2208 + 2048 * 16 + 100 * 2048 * 12;
  EXPECT_EQ(largestOptionsFileBytes(Bytes().defaultSettings().bytes()), 52u);
  EXPECT_EQ(largestOptionsFileBytes(Bytes().defaultSettings(3, 2).bytes()), 52 + 3 * kSet + 2 * kLap);
  EXPECT_EQ(largestOptionsFileBytes(Bytes().u32(0).bytes()), 4u);
  EXPECT_EQ(largestOptionsFileBytes(Bytes().defaultSettings(-1, 0).bytes()), 52u);

  MemoryFiles files;
  Bytes zeros;
  zeros.zeros(1 << 20);
  files.files["/d/options.bin"] = zeros.bytes();
  Stores s = sentinelStores();
  const OptionsLoad load = loadOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
  ASSERT_EQ(load.outcome, OptionsLoad::Outcome::Damaged);
  EXPECT_NE(load.message.find("1048576 bytes"), std::string::npos) << load.message;
  EXPECT_EQ(files.files.at("/d/options.bin.damaged"), zeros.bytes());
}

// Files that cannot be read whole: nothing of them is loaded.
TEST(OptionsFile, ImpossibleCountsAndSizesAreRefusedWhole) {
  const size_t settings = 4;
  const size_t set0 = 52, set1 = 52 + 204;
  const size_t lap = 52 + 2 * 204 + 12 * 12;
  struct Case {
    const char* name;
    size_t offset;
    uint32_t value;
  };
  const Case cases[] = {
      {"settings size 49", 0, 49},
      {"settings size huge", 0, 0xFFFFFFFF},
      {"negative record set count", settings + 16, 0xFFFFFFFF},
      {"record sets beyond the file", settings + 16, 20},
      {"record set count near the limit", settings + 16, 0x7FFFFFFF},
      {"negative trace count", set0 + 4 + 8, 0xFFFFFFFE},
      {"trace beyond the file", set1 + 4 + 9 * 20 + 8, 1000},
      {"trace count near the limit", set1 + 4 + 8, 0x7FFFFFFF},
      {"negative lap definition count", settings + 40, 0x80000000},
      {"lap definitions beyond the file", settings + 40, 2},
      {"negative track point count", lap + 88, 0xFFFFFFFF},
      {"track beyond the file", lap + 88, 400},
      {"split lines above five", lap + 92, 6},
      {"negative split line count", lap + 92, 0xFFFFFFFF},
      {"laps above a hundred", lap + 2104, 101},
      {"negative lap count", lap + 2104, 0xFFFFFFFF},
      {"lap trace beyond the file", lap + 104 + 8, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = richFile();
    for (int i = 0; i < 4; ++i) b.at(c.offset + static_cast<size_t>(i)) = static_cast<uint8_t>(c.value >> (8 * i));
    Stores s = sentinelStores();
    const DecodeReport report = s.decode(b.bytes());
    EXPECT_FALSE(report.ok());
    expectSentinel(s);
  }
}

TEST(OptionsFile, EveryTruncationLoadsDefaultsAndKeepsTheFileAside) {
  const std::vector<uint8_t> full = richFile().bytes();
  for (size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    // An exact-size copy, so that a read past the end is caught by the
    // address sanitizer.
    const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    MemoryFiles files;
    files.files["/d/options.bin"] = cut;
    Stores s = sentinelStores();
    const OptionsLoad load = loadOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
    ASSERT_EQ(load.outcome, OptionsLoad::Outcome::Damaged);
    EXPECT_EQ(s.settings.port, 5);
    EXPECT_TRUE(s.records.sets().empty());
    EXPECT_EQ(s.laps.count(), 0);
    EXPECT_EQ(load.movedTo, "/d/options.bin.damaged");
    EXPECT_EQ(files.files.count("/d/options.bin"), 0u);
    EXPECT_EQ(files.files.at(load.movedTo), cut);
    EXPECT_NE(load.message.find(load.movedTo), std::string::npos) << load.message;
  }
}

TEST(OptionsFile, NoFileTouchesNothing) {
  MemoryFiles files;
  Stores s = sentinelStores();
  const OptionsLoad load = loadOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
  EXPECT_EQ(load.outcome, OptionsLoad::Outcome::NoFile);
  EXPECT_FALSE(load.loaded());
  EXPECT_TRUE(load.message.empty());
  expectSentinel(s);
}

TEST(OptionsFile, SaveAndLoadThroughTheFileInterface) {
  MemoryFiles files;
  Stores s;
  ASSERT_TRUE(s.decode(richFile().bytes()).ok());
  const OptionsSave save = saveOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
  ASSERT_TRUE(save.ok) << save.message;
  EXPECT_EQ(files.files.at("/d/options.bin"), richFile().bytes());
  Stores loaded;
  const OptionsLoad load = loadOptions(files, "/d/options.bin", loaded.settings, loaded.records, loaded.laps);
  EXPECT_TRUE(load.loaded());
  EXPECT_EQ(loaded.encode(), richFile().bytes());
}

TEST(OptionsFile, AFailedSaveIsReported) {
  MemoryFiles files;
  files.files["/d/options.bin"] = {1, 2, 3};
  files.failWrites = "No space left on device";
  Stores s;
  const OptionsSave save = saveOptions(files, "/d/options.bin", s.settings, s.records, s.laps);
  EXPECT_FALSE(save.ok);
  EXPECT_NE(save.message.find("No space left on device"), std::string::npos) << save.message;
  EXPECT_NE(save.message.find("/d/options.bin"), std::string::npos) << save.message;
  EXPECT_EQ(files.files.at("/d/options.bin"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(OptionsFile, DefaultLocation) {
  EXPECT_EQ(optionsPathFor("/x/data", "/home/u"), "/x/data/corvantis/options.bin");
  EXPECT_EQ(optionsPathFor(nullptr, "/home/u"), "/home/u/.local/share/corvantis/options.bin");
  EXPECT_EQ(optionsPathFor("", "/home/u"), "/home/u/.local/share/corvantis/options.bin");
  EXPECT_EQ(optionsPathFor("relative/data", "/home/u"), "/home/u/.local/share/corvantis/options.bin");
  EXPECT_EQ(optionsPathFor(nullptr, nullptr), "options.bin");
}

}  // namespace
}  // namespace corvantis
