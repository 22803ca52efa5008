// Saving while the program runs, with the writing on a thread of its own:
// nothing changed while a save is under way is lost, nothing unchanged is
// written again, and a failure waits for the next change. Also the lock
// that lets one program at a time hold the file.
#include <unistd.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_saver.h"
#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

// The real files, with each write held at its start until the test lets it go.
class HeldFiles final : public platform::Files {
 public:
  platform::FileRead readWhole(const std::string& path) override { return real_.readWhole(path); }
  platform::FileResult writeAtomically(const std::string& path, std::span<const uint8_t> bytes) override {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++started_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_ >= started_; });
    }
    return real_.writeAtomically(path, bytes);
  }
  platform::FileResult moveAside(const std::string& path, const std::string& reason) override {
    return real_.moveAside(path, reason);
  }
  platform::FileResult createFolder(const std::string& path) override { return real_.createFolder(path); }

  void waitForWrites(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return started_ >= count; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++released_;
    changed_.notify_all();
  }
  int started() {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
  }

 private:
  platform::PosixFiles real_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int started_ = 0;
  int released_ = 0;
};

class OptionsSaverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corv-saver-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    path_ = (root_ / "options.bin").string();
    testing::fillHistory(history_, 20);
  }
  void TearDown() override { fs::remove_all(root_); }

  RunRecords inFile() const {
    std::ifstream in(path_, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Settings settings;
    RunRecords records;
    LapDefinitions laps;
    EXPECT_TRUE(decodeOptions(bytes, settings, records, laps).ok());
    return records;
  }

  fs::path root_;
  std::string path_;
  FixHistory history_;
  Settings settings_;
  RunRecords records_;
  LapDefinitions laps_;
};

TEST_F(OptionsSaverTest, ChangesDuringABackgroundSaveGoIntoTheNext) {
  HeldFiles files;
  OptionsSaver saver(files, path_, OptionsSaver::Writing::Background);
  records_.addRun(RecordKey{0, 60}, 5000, 1, history_);
  ASSERT_TRUE(saver.saveIfChanged(settings_, records_, laps_));
  files.waitForWrites(1);
  // The snapshot was taken: what changes now is for the next save.
  records_.addRun(RecordKey{0, 60}, 5100, 2, history_);
  EXPECT_FALSE(saver.saveIfChanged(settings_, records_, laps_)) << "one save at a time";
  files.release();
  saver.waitUntilIdle();
  ASSERT_TRUE(saver.takeOutcome().value_or(OptionsSave{}).ok);
  EXPECT_EQ(inFile().sets()[0].filledCount(), 1);

  ASSERT_TRUE(saver.saveIfChanged(settings_, records_, laps_));
  files.release();
  saver.waitUntilIdle();
  EXPECT_TRUE(saver.takeOutcome().value_or(OptionsSave{}).ok);
  EXPECT_EQ(inFile().sets()[0].filledCount(), 2);
  EXPECT_FALSE(saver.saveIfChanged(settings_, records_, laps_)) << "nothing changed";
  EXPECT_FALSE(saver.takeOutcome());
  EXPECT_EQ(files.started(), 2);
}

TEST_F(OptionsSaverTest, WhatWasLoadedIsNotWrittenAgainAndAFailureWaitsForAChange) {
  platform::PosixFiles files;
  // The folder is a file: no save can make it.
  const std::string blocked = (root_ / "plain-file" / "options.bin").string();
  std::ofstream(root_ / "plain-file") << "x";
  OptionsSaver saver(files, blocked, OptionsSaver::Writing::OnCallersThread);
  saver.markSaved(settings_, records_, laps_);
  EXPECT_FALSE(saver.saveIfChanged(settings_, records_, laps_));
  settings_.units = 1;
  ASSERT_TRUE(saver.saveIfChanged(settings_, records_, laps_));
  const std::optional<OptionsSave> failed = saver.takeOutcome();
  ASSERT_TRUE(failed);
  EXPECT_FALSE(failed->ok);
  EXPECT_NE(failed->message.find(blocked), std::string::npos) << failed->message;
  EXPECT_FALSE(saver.saveIfChanged(settings_, records_, laps_)) << "the same contents are not tried again";
  // The counts follow the stores, not the settings: no change of their own.
  settings_.recordSetCount = 7;
  EXPECT_FALSE(saver.saveIfChanged(settings_, records_, laps_));
  records_.addRun(RecordKey{0, 60}, 5000, 1, history_);
  EXPECT_TRUE(saver.saveIfChanged(settings_, records_, laps_));
}

TEST_F(OptionsSaverTest, OneProgramAtATimeHoldsTheFile) {
  using platform::FileLock;
  FileLock first;
  ASSERT_EQ(first.acquire(path_, FileLock::Kind::Exclusive, "corvantis", 0).status, FileLock::Status::Held);
  // A lock is held per open file: a second one in this process is turned
  // away as another program's would be, and told who holds it.
  FileLock second;
  const FileLock::Result busy = second.acquire(path_, FileLock::Kind::Exclusive, "corvantis-analyze", 120);
  EXPECT_EQ(busy.status, FileLock::Status::Busy);
  EXPECT_EQ(busy.holder, "corvantis (process " + std::to_string(::getpid()) + ")");
  FileLock reader;
  EXPECT_EQ(reader.acquire(path_, FileLock::Kind::Shared, "", 0).status, FileLock::Status::Busy);

  first.release();
  EXPECT_EQ(reader.acquire(path_, FileLock::Kind::Shared, "", 0).status, FileLock::Status::Held);
  FileLock otherReader;
  EXPECT_EQ(otherReader.acquire(path_, FileLock::Kind::Shared, "", 0).status, FileLock::Status::Held);
  EXPECT_EQ(second.acquire(path_, FileLock::Kind::Exclusive, "corvantis-analyze", 0).status,
            FileLock::Status::Busy);
  reader.release();
  otherReader.release();
  EXPECT_EQ(second.acquire(path_, FileLock::Kind::Exclusive, "corvantis-analyze", 0).status,
            FileLock::Status::Held);
  // Through a link, the same file is the same lock.
  fs::create_symlink(path_, root_ / "link.bin");
  FileLock viaLink;
  EXPECT_EQ(viaLink.acquire((root_ / "link.bin").string(), FileLock::Kind::Exclusive, "corvantis", 0).status,
            FileLock::Status::Busy);
  // A reader never makes the lock file.
  FileLock fresh;
  EXPECT_EQ(fresh.acquire((root_ / "new.bin").string(), FileLock::Kind::Shared, "", 0).status,
            FileLock::Status::NoLockFile);
  EXPECT_FALSE(fs::exists(root_ / "new.bin.lock"));
}

}  // namespace
}  // namespace corvantis
