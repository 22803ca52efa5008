// Kept reference laps: the file's round trip, damage refused, the store's
// files beside the options file (moved aside when damaged, discarded when
// the start/finish line moved or the track went), in memory and on disk.
#include "store/reference_lap_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "platform/posix/files.h"
#include "tests/store/memory_files.h"

namespace corvantis {
namespace {

LapDefinition track() {
  LapDefinition d;
  d.track = {{8.0, 48.0}, {8.001, 48.0}, {8.001, 48.001}, {8.0, 48.001}};
  d.minLongitude = 8.0;
  d.maxLongitude = 8.001;
  d.minLatitude = 48.0;
  d.maxLatitude = 48.001;
  return d;
}

KeptLaps kept() {
  KeptLaps k;
  k.reference.lapTimeMs = 61234;
  k.reference.stamp = 1781234567;
  k.reference.startTimeOfDayMs = 45000123;
  k.reference.path = {{8.0, 48.0, 0}, {8.0005, 48.0, 15000}, {8.001, 48.0005, 30500}, {8.0, 48.0, 61234}};
  k.segments.splitCount = 1;
  k.segments.splitAnchors[0] = {8.001, 48.0};
  k.segments.bestMs = {20500, 40100, 0, 0, 0, 0};
  return k;
}

TEST(ReferenceLapFileTest, RoundTripsWithAndWithoutAReferenceLap) {
  const TrackKey key = trackKeyOf(track());
  for (const bool withLap : {true, false}) {
    KeptLaps written = kept();
    if (!withLap) written.reference = ReferenceLap{};
    const std::vector<uint8_t> bytes = encodeKeptLaps(key, written);
    TrackKey readKey;
    KeptLaps read;
    std::string problem;
    ASSERT_TRUE(decodeKeptLaps(bytes, readKey, read, problem)) << problem;
    EXPECT_EQ(readKey, key);
    EXPECT_EQ(read, written);
  }
}

TEST(ReferenceLapFileTest, RefusesDamage) {
  const TrackKey key = trackKeyOf(track());
  const std::vector<uint8_t> good = encodeKeptLaps(key, kept());
  struct Damage {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Damage> cases;
  cases.push_back({"cut short", {good.begin(), good.end() - 1}});
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  cases.push_back({"one byte more", longer});
  for (const size_t at : {size_t{0}, size_t{40}, good.size() / 2, good.size() - 1}) {
    std::vector<uint8_t> flipped = good;
    flipped[at] ^= 0x10;
    cases.push_back({"a bit flipped", flipped});
  }
  cases.push_back({"empty", {}});
  // Whole files, checksum and all, that hold what no kept lap can.
  const auto encoded = [&key](auto change) {
    KeptLaps k = kept();
    change(k);
    return encodeKeptLaps(key, k);
  };
  cases.push_back({"back in time", encoded([](KeptLaps& k) { k.reference.path[2].elapsedMs = 14000; })});
  cases.push_back({"starts late", encoded([](KeptLaps& k) { k.reference.path[0].elapsedMs = 5; })});
  cases.push_back({"ends before the lap", encoded([](KeptLaps& k) { k.reference.path[3].elapsedMs = 61000; })});
  cases.push_back({"off the earth", encoded([](KeptLaps& k) { k.reference.path[1].latitude = 91.0; })});
  cases.push_back({"too many points", encoded([](KeptLaps& k) {
                     k.reference.path.resize(kMaxReferencePoints + 1, k.reference.path[3]);
                   })});
  cases.push_back({"six split lines", encoded([](KeptLaps& k) { k.segments.splitCount = 6; })});
  cases.push_back({"a segment past the lines", encoded([](KeptLaps& k) { k.segments.bestMs[3] = 1000; })});
  for (const Damage& c : cases) {
    TrackKey readKey;
    readKey.pointCount = 77;
    KeptLaps read;
    std::string problem;
    EXPECT_FALSE(decodeKeptLaps(c.bytes, readKey, read, problem)) << c.what;
    EXPECT_FALSE(problem.empty()) << c.what;
    EXPECT_EQ(readKey.pointCount, 77) << c.what;  // untouched
  }
}

TEST(ReferenceLapStoreTest, KeepsOneFileATrackBesideTheOptionsFile) {
  EXPECT_EQ(ReferenceLapStore::folderBeside("/x/options.bin"), "/x/options.reference-laps");
  EXPECT_EQ(ReferenceLapStore::folderBeside("/x.d/options"), "/x.d/options.reference-laps");
  EXPECT_EQ(ReferenceLapStore::folderBeside("/x/.options"), "/x/.options.reference-laps");
  EXPECT_EQ(ReferenceLapStore::folderBeside(""), "");

  testing::MemoryFiles files;
  ReferenceLapStore store;
  store.keepIn(files, "/data/options.reference-laps");
  LapDefinition d = track();
  const std::string path = store.pathFor(d);
  EXPECT_EQ(path.rfind("/data/options.reference-laps/track-", 0), 0u);
  EXPECT_EQ(store.load(d).status, ReferenceLapStore::Loaded::Status::None);
  std::string error;
  ASSERT_TRUE(store.save(d, kept(), error)) << error;
  ASSERT_EQ(files.files.count(path), 1u);
  ReferenceLapStore::Loaded loaded = store.load(d);
  EXPECT_EQ(loaded.status, ReferenceLapStore::Loaded::Status::Kept);
  EXPECT_EQ(loaded.kept, kept());

  // Renamed, split lines changed: the same track, the same file.
  d.name = "Renamed";
  d.splitLineCount = 0;
  EXPECT_EQ(store.pathFor(d), path);
  EXPECT_EQ(store.load(d).status, ReferenceLapStore::Loaded::Status::Kept);
  // Another track keeps a file of its own.
  LapDefinition other = track();
  other.maxLatitude = 48.002;
  other.track.push_back({8.0, 48.002});
  EXPECT_NE(store.pathFor(other), path);
  EXPECT_EQ(store.load(other).status, ReferenceLapStore::Loaded::Status::None);

  // Deleted: gone.
  store.discard(d);
  EXPECT_EQ(files.files.count(path), 0u);
  EXPECT_EQ(store.load(d).status, ReferenceLapStore::Loaded::Status::None);
}

TEST(ReferenceLapStoreTest, AMovedStartFinishLineDiscardsTheLapAndADamagedFileIsMovedAside) {
  for (const bool onDisk : {true, false}) {
    SCOPED_TRACE(onDisk ? "files" : "memory");
    testing::MemoryFiles files;
    ReferenceLapStore store;
    if (onDisk) store.keepIn(files, "/data/options.reference-laps");
    LapDefinition d = track();
    std::string error;
    ASSERT_TRUE(store.save(d, kept(), error));
    // The editor moves the start/finish point to point 2: the points turn
    // round, the box and count stay.
    std::rotate(d.track.begin(), d.track.begin() + 2, d.track.end());
    EXPECT_EQ(store.load(d).status, ReferenceLapStore::Loaded::Status::Discarded);
    EXPECT_EQ(store.load(d).status, ReferenceLapStore::Loaded::Status::None);
    EXPECT_TRUE(files.files.empty());
  }

  testing::MemoryFiles files;
  ReferenceLapStore store;
  store.keepIn(files, "/data/options.reference-laps");
  const LapDefinition d = track();
  std::string error;
  ASSERT_TRUE(store.save(d, kept(), error));
  const std::string path = store.pathFor(d);
  files.files[path][60] ^= 0x01;
  // A reader that only peeks leaves the damaged file where it is.
  EXPECT_EQ(store.peek(d).status, ReferenceLapStore::Loaded::Status::Damaged);
  EXPECT_EQ(files.files.count(path), 1u);
  const ReferenceLapStore::Loaded damaged = store.load(d);
  EXPECT_EQ(damaged.status, ReferenceLapStore::Loaded::Status::Damaged);
  EXPECT_NE(damaged.message.find("checksum"), std::string::npos) << damaged.message;
  EXPECT_EQ(files.files.count(path), 0u);
  EXPECT_EQ(files.files.count(path + ".damaged"), 1u);
  EXPECT_EQ(store.load(d).status, ReferenceLapStore::Loaded::Status::None);

  // A failed write keeps what was there.
  ASSERT_TRUE(store.save(d, kept(), error));
  files.failWrites = "No space left on device";
  KeptLaps faster = kept();
  faster.segments.bestMs[0] = 20000;
  EXPECT_FALSE(store.save(d, faster, error));
  EXPECT_EQ(error, "No space left on device");
  EXPECT_EQ(store.load(d).kept, kept());
}

TEST(ReferenceLapStoreTest, SavesAtomicallyIntoAFolderItMakesOnDisk) {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("corvantis-reference-" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  platform::PosixFiles files;
  ReferenceLapStore store;
  store.keepIn(files, ReferenceLapStore::folderBeside((root / "options.bin").string()));
  const LapDefinition d = track();
  std::string error;
  ASSERT_TRUE(store.save(d, kept(), error)) << error;
  ASSERT_TRUE(store.save(d, kept(), error)) << error;
  EXPECT_EQ(store.load(d).kept, kept());
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root / "options.reference-laps")) {
    ++entries;
    EXPECT_EQ(entry.path().extension(), ".lap");  // no temporary left behind
  }
  EXPECT_EQ(entries, 1);
  store.discard(d);
  EXPECT_TRUE(std::filesystem::is_empty(root / "options.reference-laps"));
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace corvantis
