// Session logs: a receiver's bytes through the real pump, kept exactly as
// sent; the logs kept under their limit, oldest first; a full disk stops
// the log with one message.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "gps/gps_input.h"
#include "platform/posix/serial_port.h"
#include "platform/posix/session_log.h"
#include "tests/support/nmea_text.h"
#include "tests/support/scripted_message_boxes.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using platform::PosixSessionLog;
using platform::SessionLogOptions;

std::vector<uint8_t> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path makeTempFolder(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

// What a receiver sends: sentences at 10 Hz with a chatty mix, and now and
// then the binary messages some receivers put between them.
std::vector<uint8_t> receiverBytes(size_t atLeast) {
  std::mt19937 random(7);
  std::vector<uint8_t> bytes;
  for (int second = 0; bytes.size() < atLeast; ++second) {
    char time[16];
    std::snprintf(time, sizeof time, "12%02d%02d.%d0", (second / 600) % 60, (second / 10) % 60, second % 10);
    for (const std::string& body :
         {"GPGGA," + std::string(time) + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
          "GPRMC," + std::string(time) + ",A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"}) {
      const std::string sentence = testing::nmeaSentence(body);
      bytes.insert(bytes.end(), sentence.begin(), sentence.end());
    }
    if (second % 7 == 0) {
      const uint8_t binary[] = {0xB5, 0x62, 0x01, 0x07, 0x00, 0xFF, 0x24, 0x0D, 0x0A, 0x80, 0x7F, 0x11, 0x13};
      bytes.insert(bytes.end(), std::begin(binary), std::end(binary));
      bytes.push_back(static_cast<uint8_t>(random()));
    }
  }
  return bytes;
}

TEST(SessionLog, APseudoTerminalReceiverIsLoggedByteForByte) {
  const fs::path folder = makeTempFolder("corv-sessions");
  ASSERT_FALSE(folder.empty());
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  platform::ComDeviceTable table;
  table.setComDevice(6, ::ptsname(master));
  platform::PosixSerialPort device(table);
  const std::vector<uint8_t> sent = receiverBytes(150000);
  std::string logPath;
  {
    SessionLogOptions options;
    options.folder = (folder / "sessions").string();
    options.startUtc = 1796479620;  // 2026-12-05 14:07:00 UTC
    PosixSessionLog log(options);
    platform::LoggedSerialPort port(device, log);
    testing::ScriptedMessageBoxes boxes;
    GpsInput gps(port, boxes);
    ASSERT_TRUE(gps.openPort(5, 0));
    int fixes = 0;
    gps.afterTick = [&fixes](bool newFix) { fixes += newFix ? 1 : 0; };
    // Written a piece at a time as a receiver does, never faster than the
    // terminal takes it, with the pump taking what has come at each tick
    // (and skipping ticks after a screen change).
    gps.tickReadWaitMs = 0;
    size_t at = 0;
    for (int tick = 0; tick < 200000 && (at < sent.size() || log.path().empty() ||
                                         fs::file_size(log.path()) < sent.size());
         ++tick) {
      const size_t piece = std::min<size_t>(600, sent.size() - at);
      if (piece > 0) {
        const ssize_t n = ::write(master, sent.data() + at, piece);
        if (n > 0) at += static_cast<size_t>(n);
      }
      if (tick % 200 == 100) gps.holdOffTicks = 3;
      gps.pumpTick();
      if (tick % 500 == 499) log.flush();
    }
    EXPECT_GT(fixes, 100);
    gps.closePort();
    logPath = log.path();
    EXPECT_TRUE(log.takeProblem().empty());
  }
  ::close(master);
  EXPECT_EQ(logPath, (folder / "sessions" / "2026-12-05_140700Z.nmea").string());
  const std::vector<uint8_t> logged = readFile(logPath);
  ASSERT_EQ(logged.size(), sent.size());
  EXPECT_TRUE(logged == sent);
  fs::remove_all(folder);
}

// Bulk views consumed a part at a time and single bytes: each byte once.
TEST(SessionLog, EachByteIsLoggedOnceWhicheverWayItIsRead) {
  struct Bytes final : platform::SessionLog {
    void append(std::span<const uint8_t> bytes) override { got.insert(got.end(), bytes.begin(), bytes.end()); }
    std::string takeProblem() override { return {}; }
    std::vector<uint8_t> got;
  } log;
  // A port that hands out what it holds, as a real one does.
  struct Source final : platform::SerialPort {
    bool open(const std::string&) override { return true; }
    bool applyLineSettings(const platform::LineSettings&) override { return true; }
    bool applyTimeouts(const platform::Timeouts&) override { return true; }
    platform::ReadResult readByte(uint8_t& byte) override {
      if (at == data.size()) return platform::ReadResult::Nothing;
      byte = data[at++];
      arrived = std::max(arrived, at);
      return platform::ReadResult::Byte;
    }
    // Every call, a few more bytes have arrived; the view is all of them
    // that are not taken yet.
    platform::ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t) override {
      arrived = std::min(data.size(), arrived + 3);
      if (at == arrived) return platform::ReadResult::Nothing;
      bytes = std::span<const uint8_t>(data).subspan(at, arrived - at);
      return platform::ReadResult::Byte;
    }
    void consume(std::size_t count) override { at += count; }
    void close() override {}
    bool isOpen() const override { return true; }
    std::vector<uint8_t> data;
    size_t at = 0;
    size_t arrived = 0;
  } source;
  for (int i = 0; i < 200; ++i) source.data.push_back(static_cast<uint8_t>(i));
  platform::LoggedSerialPort port(source, log);
  std::span<const uint8_t> view;
  for (int step = 0; port.readAvailable(view, 0) == platform::ReadResult::Byte; ++step) {
    if (step % 4 == 3) {
      uint8_t byte = 0;
      port.readByte(byte);  // takes the view's first byte
      continue;
    }
    port.consume(std::min<size_t>(view.size(), static_cast<size_t>(step % 3)));
  }
  EXPECT_EQ(log.got, source.data);
}

TEST(SessionLog, NamesSizesAndWhatMayBeRemoved) {
  EXPECT_EQ(platform::sessionLogName(0), "1970-01-01_000000Z.nmea");
  EXPECT_EQ(platform::sessionLogName(1796479620), "2026-12-05_140700Z.nmea");
  for (const char* ours : {"2026-12-05_140700Z.nmea", "2026-12-05_140700Z-2.nmea", "1999-01-01_000000Z-17.nmea"}) {
    EXPECT_TRUE(platform::isSessionLogName(ours)) << ours;
  }
  for (const char* other : {"2026-12-05_140700Z.nmea.bak", "2026-12-05_140700.nmea", "notes.nmea", "2026-12-05_140700Z-.nmea",
                            "2026-12-05 140700Z.nmea", "options.bin"}) {
    EXPECT_FALSE(platform::isSessionLogName(other)) << other;
  }
  const struct {
    const char* text;
    uint64_t bytes;  // 0: refused
  } sizes[] = {{"2G", uint64_t{2} << 30}, {"500M", 500u << 20}, {"64k", 65536}, {"1000", 1000}, {"3GiB", uint64_t{3} << 30},
               {"0", 0}, {"", 0}, {"G", 0}, {"5X", 0}, {"99999999999T", 0}, {"1.5G", 0}};
  for (const auto& size : sizes) {
    uint64_t bytes = 0;
    EXPECT_EQ(platform::parseByteSize(size.text, bytes), size.bytes != 0) << size.text;
    if (size.bytes != 0) {
      EXPECT_EQ(bytes, size.bytes) << size.text;
    }
  }
}

TEST(SessionLog, TheOldestLogsGoToKeepTheLimit) {
  const fs::path folder = makeTempFolder("corv-rotation");
  ASSERT_FALSE(folder.empty());
  const auto put = [&](const char* name, size_t bytes) { std::ofstream(folder / name) << std::string(bytes, 'x'); };
  put("2026-01-01_080000Z.nmea", 400);
  put("2026-01-02_080000Z.nmea", 400);
  put("2026-01-02_080000Z-2.nmea", 400);
  put("notes.txt", 5000);  // not a session log: never removed
  SessionLogOptions options;
  options.folder = folder.string();
  options.startUtc = 1796479620;
  options.limitBytes = 1000;
  PosixSessionLog log(options);
  const std::vector<uint8_t> first(300, 'a');
  log.append(first);
  log.flush();
  EXPECT_FALSE(fs::exists(folder / "2026-01-01_080000Z.nmea"));
  EXPECT_FALSE(fs::exists(folder / "2026-01-02_080000Z.nmea"));
  EXPECT_TRUE(fs::exists(folder / "2026-01-02_080000Z-2.nmea"));
  EXPECT_TRUE(fs::exists(folder / "notes.txt"));
  EXPECT_TRUE(log.takeProblem().empty());

  // This session alone outgrows the limit: every other log goes, then the
  // log stops, told once; the session's bytes so far stay.
  const std::vector<uint8_t> more(800, 'b');
  log.append(more);
  log.flush();
  EXPECT_FALSE(fs::exists(folder / "2026-01-02_080000Z-2.nmea"));
  EXPECT_TRUE(log.stopped());
  EXPECT_NE(log.takeProblem().find("reached the 1000 bytes"), std::string::npos);
  EXPECT_TRUE(log.takeProblem().empty());
  log.append(first);
  log.flush();
  EXPECT_EQ(fs::file_size(log.path()), 1100u);
  EXPECT_TRUE(fs::exists(folder / "notes.txt"));
  fs::remove_all(folder);
}

// In a child process with a 64 KiB tmpfs of its own: 77 when none can be
// mounted here, 0 when the log behaved, 1 otherwise (the reason on stderr).
int fullDiskChild(const std::string& mountPoint) {
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
    // Without the right to mount, a user and mount namespace of our own.
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return 77;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) return 77;
  }
  const std::string folder = mountPoint + "/sessions";
  std::vector<uint8_t> sent;
  {
    SessionLogOptions options;
    options.folder = folder;
    options.startUtc = 1796479620;
    PosixSessionLog log(options);
    sent = receiverBytes(200000);
    for (size_t at = 0; at < sent.size(); at += 1000) {
      log.append(std::span<const uint8_t>(sent).subspan(at, std::min<size_t>(1000, sent.size() - at)));
      if (at % 20000 == 0) log.flush();
    }
    log.flush();
    const std::string problem = log.takeProblem();
    if (!log.stopped() || problem.find("The disk is full") == std::string::npos || !log.takeProblem().empty()) {
      std::fprintf(stderr, "stopped %d, problem \"%s\"\n", log.stopped() ? 1 : 0, problem.c_str());
      return 1;
    }
  }
  // What fit is the start of what came, unchanged.
  const std::vector<uint8_t> logged = readFile(folder + "/2026-12-05_140700Z.nmea");
  if (logged.empty() || logged.size() >= sent.size() || !std::equal(logged.begin(), logged.end(), sent.begin())) {
    std::fprintf(stderr, "logged %zu of %zu bytes, or not as sent\n", logged.size(), sent.size());
    return 1;
  }
  ::umount(mountPoint.c_str());
  return 0;
}

TEST(SessionLog, AFullDiskStopsTheLogWithOneMessage) {
  const fs::path folder = makeTempFolder("corv-fulldisk");
  ASSERT_FALSE(folder.empty());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(fullDiskChild(folder.string()));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  fs::remove_all(folder);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no small tmpfs can be mounted here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace corvantis
