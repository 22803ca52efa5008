// The options file written while it is encoded and read into memory that
// is never zero-filled: the same bytes as one buffer encoded at once, the
// same outcomes as the plain whole-file read.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_file.h"
#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

class OptionsStream : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corv-stream-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    path_ = (root_ / "options.bin").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  static std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void writeFile(const std::vector<uint8_t>& bytes) const {
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path root_;
  std::string path_;
  platform::PosixFiles files_;
};

// Many pieces of the writer's buffer, and more than the size from which a
// read takes huge pages: record sets and lap tracks with full traces.
TEST_F(OptionsStream, ALargeFileIsWrittenAndReadBackByteForByte) {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  FixHistory history;
  testing::fillHistory(history, FixHistory::kCapacity);
  for (uint16_t k = 0; k < 24; ++k) {
    for (uint32_t r = 0; r < 10; ++r) records.addRun(RecordKey{0, static_cast<uint16_t>(k + 1)}, 5000 + r, 7, history);
  }
  for (int t = 0; t < 2; ++t) {
    const int index = laps.createDefinition(history, 0, nullptr, "Track " + std::to_string(t));
    for (uint32_t l = 0; l < 5; ++l) laps.addLapTime(index, 80000 + l, 45319000, 3, history);
  }
  keepCountsInStep(settings, records, laps);
  const std::vector<uint8_t> expected = encodeOptions(settings, records, laps);
  ASSERT_GT(expected.size(), 5u << 20);

  ASSERT_TRUE(saveOptions(files_, path_, settings, records, laps).ok);
  EXPECT_EQ(readFile(path_), expected);
  EXPECT_EQ(entries(), std::vector<std::string>{"options.bin"});

  Settings loadedSettings;
  RunRecords loadedRecords;
  LapDefinitions loadedLaps;
  ASSERT_TRUE(loadOptions(files_, path_, loadedSettings, loadedRecords, loadedLaps).loaded());
  EXPECT_EQ(encodeOptions(loadedSettings, loadedRecords, loadedLaps), expected);
}

TEST_F(OptionsStream, ContentThatCannotBeMadeLeavesTheOldFile) {
  const std::vector<uint8_t> old = {1, 2, 3, 4};
  writeFile(old);
  EXPECT_THROW(files_.writeAtomicallyFrom(path_,
                                          [](const platform::Files::PutPiece& put) {
                                            const std::vector<uint8_t> piece(100000, 7);
                                            put(piece);
                                            throw std::runtime_error("no more");
                                          }),
               std::runtime_error);
  EXPECT_EQ(readFile(path_), old);
  EXPECT_EQ(entries(), std::vector<std::string>{"options.bin"});
}

// readWithinInto against readWithin: the same bytes and the same status,
// and the bytes handed over only when the file was read.
TEST_F(OptionsStream, ReadingInPlaceGivesWhatTheWholeReadGives) {
  const platform::SizeLimit noLimit;
  const platform::SizeLimit tenThousand{4, [](std::span<const uint8_t>) { return uint64_t{10000}; }};
  const struct {
    size_t size;
    const platform::SizeLimit* limit;
  } cases[] = {{0, &noLimit}, {3, &tenThousand}, {4096, &noLimit}, {9999, &tenThousand},
               {10001, &tenThousand}, {(5u << 20) + 3, &noLimit}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(c.size);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 4096);
    writeFile(bytes);
    const platform::FileRead whole = files_.readWithin(path_, *c.limit);
    std::vector<uint8_t> seen;
    bool used = false;
    const platform::FileRead inPlace = files_.readWithinInto(path_, *c.limit, [&](std::span<const uint8_t> b) {
      used = true;
      seen.assign(b.begin(), b.end());
    });
    EXPECT_EQ(inPlace.status, whole.status) << c.size;
    EXPECT_EQ(inPlace.size, whole.size) << c.size;
    EXPECT_TRUE(inPlace.bytes.empty()) << c.size;
    EXPECT_EQ(used, whole.status == platform::FileRead::Status::Ok) << c.size;
    if (used) {
      EXPECT_EQ(seen, whole.bytes) << c.size;
    }
  }
  fs::remove(path_);
  bool used = false;
  EXPECT_EQ(files_.readWithinInto(path_, noLimit, [&](std::span<const uint8_t>) { used = true; }).status,
            platform::FileRead::Status::NotFound);
  EXPECT_FALSE(used);
}

}  // namespace
}  // namespace corvantis
