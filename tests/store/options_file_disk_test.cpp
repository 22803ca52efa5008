// The options file on a real file system: atomic replacement, damaged files
// moved aside, and saves that fail or are cut short.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_file.h"
#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using testing::fillHistory;

class OptionsOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corv-store-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    path_ = (root_ / "corvantis" / "options.bin").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }

  static std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<std::string> folderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Stores of about sets x 10 x samples x 12 bytes of traces.
  static void fillStores(RunRecords& records, int sets, int samples) {
    FixHistory history;
    fillHistory(history, samples);
    for (int k = 0; k < sets; ++k) {
      for (int r = 0; r < 10; ++r) records.addRun(RecordKey{0, static_cast<uint16_t>(k + 1)}, 5000u + static_cast<uint32_t>(r), 1, history);
    }
  }

  fs::path root_;
  std::string path_;
  platform::PosixFiles files_;
  Settings settings_;
  RunRecords records_;
  LapDefinitions laps_;
};

TEST_F(OptionsOnDisk, SaveCreatesTheFolderAndLoadsBack) {
  fillStores(records_, 2, 30);
  settings_.units = 1;
  const OptionsSave save = saveOptions(files_, path_, settings_, records_, laps_);
  ASSERT_TRUE(save.ok) << save.message;
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"}) << "no temporary file is left";
  EXPECT_EQ(readFile(path_), encodeOptions(settings_, records_, laps_));

  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  const OptionsLoad load = loadOptions(files_, path_, settings, records, laps);
  ASSERT_TRUE(load.loaded()) << load.message;
  EXPECT_EQ(settings.units, 1);
  EXPECT_EQ(records.sets().size(), 2u);
}

TEST_F(OptionsOnDisk, ReplacingKeepsTheFilesPermissions) {
  writeFile(path_, {0, 0, 0, 0});
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(saveOptions(files_, path_, settings_, records_, laps_).ok);
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(OptionsOnDisk, ADamagedFileIsMovedAsideUnderADatedName) {
  const std::vector<uint8_t> damaged = {48, 0, 0, 0, 1, 2, 3};
  std::vector<std::string> movedNames;
  for (int round = 0; round < 2; ++round) {
    writeFile(path_, damaged);
    records_.addRun(RecordKey{0, 60}, 5000, 1, FixHistory{});
    const OptionsLoad load = loadOptions(files_, path_, settings_, records_, laps_);
    ASSERT_EQ(load.outcome, OptionsLoad::Outcome::Damaged);
    EXPECT_TRUE(records_.sets().empty());
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_EQ(readFile(load.movedTo), damaged);
    const std::string name = fs::path(load.movedTo).filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(options\.bin\.damaged-\d{8}-\d{6}(-\d+)?)"))) << name;
    EXPECT_NE(load.message.find(load.movedTo), std::string::npos);
    movedNames.push_back(name);
  }
  // A second damaged file in the same second does not replace the first.
  EXPECT_NE(movedNames[0], movedNames[1]);
  EXPECT_EQ(folderEntries().size(), 2u);
}

TEST_F(OptionsOnDisk, AFolderInPlaceOfTheFileIsReportedAndLeftAlone) {
  fs::create_directories(path_);
  const OptionsLoad load = loadOptions(files_, path_, settings_, records_, laps_);
  EXPECT_EQ(load.outcome, OptionsLoad::Outcome::Unreadable);
  EXPECT_FALSE(load.message.empty());
  EXPECT_TRUE(load.movedTo.empty());
  const OptionsSave save = saveOptions(files_, path_, settings_, records_, laps_);
  EXPECT_FALSE(save.ok);
  EXPECT_NE(save.message.find(path_), std::string::npos) << save.message;
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"}) << "the temporary file is removed";
}

TEST_F(OptionsOnDisk, AFileInPlaceOfTheFolderIsReported) {
  writeFile(root_ / "corvantis", {7});
  const OptionsSave save = saveOptions(files_, path_, settings_, records_, laps_);
  EXPECT_FALSE(save.ok);
  EXPECT_FALSE(save.message.empty());
  EXPECT_EQ(readFile(root_ / "corvantis"), std::vector<uint8_t>{7});
}

TEST_F(OptionsOnDisk, AReadOnlyFolderKeepsTheOldFile) {
  const std::vector<uint8_t> old = encodeOptions(settings_, records_, laps_);
  writeFile(path_, old);
  const fs::path folder = fs::path(path_).parent_path();
  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fillStores(records_, 1, 10);
  // Folder permissions do not hold the superuser back, so the save runs in a
  // child that has given up its privileges and owns the tree.
  constexpr uid_t kNobody = 65534;
  const bool privileged = ::geteuid() == 0;
  if (privileged) {
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chown(root_.c_str(), kNobody, kNobody), 0);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (privileged && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
    const OptionsSave save = saveOptions(files_, path_, settings_, records_, laps_);
    const bool reported = !save.ok && save.message.find("ermission denied") != std::string::npos;
    ::_exit(reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported (2: could not drop privileges)";
  EXPECT_EQ(readFile(path_), old);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"});
}

// A full disk, made with a file size limit in a child process: the write
// fails part-way, the old file stays and the temporary file goes.
TEST_F(OptionsOnDisk, AFullDiskKeepsTheOldFile) {
  const std::vector<uint8_t> old = encodeOptions(settings_, records_, laps_);
  writeFile(path_, old);
  fillStores(records_, 3, 200);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const OptionsSave save = saveOptions(files_, path_, settings_, records_, laps_);
    const bool reported = !save.ok && save.message.find("too large") != std::string::npos;
    ::_exit(reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported";
  EXPECT_EQ(readFile(path_), old);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"});
}

// A save killed at any moment leaves either the old or the new whole file.
TEST_F(OptionsOnDisk, ASaveKilledPartWayLeavesTheOldOrTheNewFile) {
  RunRecords small;
  fillStores(small, 1, 5);
  const std::vector<uint8_t> smallBytes = encodeOptions(settings_, small, laps_);
  fillStores(records_, 40, 2048);  // about 10 MB
  const std::vector<uint8_t> bigBytes = encodeOptions(settings_, records_, laps_);
  ASSERT_TRUE(saveOptions(files_, path_, settings_, small, laps_).ok);

  int sawSmall = 0, sawBig = 0;
  for (int delayMs : {0, 2, 5, 10, 20, 40, 80, 160}) {
    SCOPED_TRACE(delayMs);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      const char go = 'g';
      if (::write(ready[1], &go, 1) != 1) ::_exit(2);
      for (;;) {
        saveOptions(files_, path_, settings_, records_, laps_);
        saveOptions(files_, path_, settings_, small, laps_);
      }
    }
    ::close(ready[1]);
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1);
    ::close(ready[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::vector<uint8_t> now = readFile(path_);
    const bool whole = now == smallBytes || now == bigBytes;
    EXPECT_TRUE(whole) << "options.bin holds " << now.size() << " bytes";
    sawSmall += now == smallBytes;
    sawBig += now == bigBytes;
  }
  EXPECT_EQ(sawSmall + sawBig, 8);
}

// Special files and links at the options path.

// Runs body in a child that an alarm ends if it blocks; answers the child's
// exit status (128 + the signal when it was killed).
int inChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(10);
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(OptionsOnDisk, AFifoIsRefusedWithoutWaitingAndLeftInPlace) {
  fs::create_directories(fs::path(path_).parent_path());
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  const int status = inChild([&] {
    const OptionsLoad load = loadOptions(files_, path_, settings_, records_, laps_);
    if (load.outcome != OptionsLoad::Outcome::Unreadable || load.saveAtExit) return 1;
    if (load.message.find("FIFO") == std::string::npos) return 2;
    if (saveOptions(files_, path_, settings_, records_, laps_).ok) return 3;
    return 0;
  });
  EXPECT_EQ(status, 0) << "14 + 128: it blocked";
  EXPECT_TRUE(fs::is_fifo(path_));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"});
}

TEST_F(OptionsOnDisk, ASaveThroughASymlinkReplacesItsTargetAndKeepsTheLink) {
  const fs::path target = root_ / "elsewhere" / "mine.bin";
  writeFile(target, encodeOptions(settings_, records_, laps_));
  fs::create_directories(fs::path(path_).parent_path());
  fs::create_symlink("../elsewhere/mine.bin", path_);
  ASSERT_TRUE(loadOptions(files_, path_, settings_, records_, laps_).loaded());
  fillStores(records_, 1, 10);
  ASSERT_TRUE(saveOptions(files_, path_, settings_, records_, laps_).ok);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(readFile(target), encodeOptions(settings_, records_, laps_));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"});
}

// A file that cannot be read is no damaged file: it stays, and nothing
// written this session may take its place.
TEST_F(OptionsOnDisk, AnUnreadableFileIsLeftInPlaceUntouched) {
  const std::vector<uint8_t> held = encodeOptions(settings_, records_, laps_);
  writeFile(path_, held);
  fs::permissions(path_, fs::perms::none);
  constexpr uid_t kNobody = 65534;
  const bool privileged = ::geteuid() == 0;
  if (privileged) {
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chown(root_.c_str(), kNobody, kNobody), 0);
  }
  const int status = inChild([&] {
    if (privileged && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) return 9;
    const OptionsLoad load = loadOptions(files_, path_, settings_, records_, laps_);
    if (load.outcome != OptionsLoad::Outcome::Unreadable || load.saveAtExit || !load.movedTo.empty()) return 1;
    if (load.exitMessage.find(path_) == std::string::npos) return 2;
    return 0;
  });
  EXPECT_EQ(status, 0);
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(readFile(path_), held);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"options.bin"});
}

// A gigabyte of zeros announces no data at all: it is damaged by its size
// alone and goes aside unread.
TEST_F(OptionsOnDisk, AFileFarLargerThanItsCountsAllowGoesAsideUnread) {
  writeFile(path_, {});
  constexpr uintmax_t kGigabyte = uintmax_t{1} << 30;
  fs::resize_file(path_, kGigabyte);  // sparse: no disk space taken
  const OptionsLoad load = loadOptions(files_, path_, settings_, records_, laps_);
  ASSERT_EQ(load.outcome, OptionsLoad::Outcome::Damaged) << load.message;
  EXPECT_EQ(fs::file_size(load.movedTo), kGigabyte);
  EXPECT_FALSE(fs::exists(path_));
}

// Temporary files of saves killed part-way go at the next start, but not
// one whose process still runs (another instance saving right now).
TEST_F(OptionsOnDisk, StaleTemporaryFilesAreRemovedAndLiveOnesKept) {
  writeFile(path_, encodeOptions(settings_, records_, laps_));
  const pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const pid_t alive = ::fork();
  ASSERT_GE(alive, 0);
  if (alive == 0) {
    ::pause();
    ::_exit(0);
  }
  const std::string staleName = "options.bin.tmp-" + std::to_string(gone) + "-3";
  const std::string liveName = "options.bin.tmp-" + std::to_string(alive) + "-0";
  const fs::path folder = fs::path(path_).parent_path();
  writeFile(folder / staleName, {1, 2, 3});
  writeFile(folder / liveName, {4});
  writeFile(folder / "options.bin.tmp-notes", {5});  // not one of ours
  EXPECT_TRUE(loadOptions(files_, path_, settings_, records_, laps_).loaded());
  ::kill(alive, SIGKILL);
  ::waitpid(alive, nullptr, 0);
  std::vector<std::string> expected{"options.bin", "options.bin.tmp-notes", liveName};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folderEntries(), expected);
}

}  // namespace
}  // namespace corvantis
